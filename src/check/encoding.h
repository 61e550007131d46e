// The tests that tell other encodings from Shift-JIS: UTF-8 validity, the
// UTF-16 marks and the share of control bytes that makes a file binary.
#ifndef VU32_CHECK_ENCODING_H_
#define VU32_CHECK_ENCODING_H_

#include <cstddef>
#include <cstdint>

namespace vu32::check {

// The start of an input that the UTF-16 and binary rules look at: the first
// 64 KiB, or all of a shorter input.
inline constexpr size_t kWindow = 64 * 1024;

// Follows an input in pieces and says whether it is UTF-8 (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF). Stops looking once
// it is not.
class Utf8Validator {
 public:
  void Feed(const uint8_t* data, size_t size);
  // Nothing invalid so far; a sequence may still be open (see open()).
  bool valid() const { return valid_; }
  // The input so far ends inside a sequence.
  bool open() const { return need_ > 0; }
  // A whole multi-byte sequence was seen (the input holds non-ASCII).
  bool multibyte() const { return multibyte_; }

 private:
  bool valid_ = true;
  bool multibyte_ = false;
  uint8_t need_ = 0;    // continuation bytes still to come
  uint8_t low_ = 0x80;  // the range of the next one
  uint8_t high_ = 0xBF;
};

// Begins with a UTF-8 byte-order mark (EF BB BF).
bool Utf8Bom(const uint8_t* data, size_t size);
// Begins with a UTF-16 byte-order mark (FF FE or FE FF).
bool Utf16Bom(const uint8_t* data, size_t size);
// NUL in every other byte: of the two-byte units of the window (at least
// two), more than half hold NUL on one side, the same side for all, and a
// byte other than NUL on the other (ASCII text in UTF-16).
bool Utf16Pattern(const uint8_t* data, size_t size);
// A UTF-16 byte-order mark or the NUL pattern.
bool LooksUtf16(const uint8_t* data, size_t size);
// Binary, unless UTF-16: in the window, NUL bytes are more than one in
// 1,024, or control bytes (NUL, 0x01-0x1F but TAB, LF, CR and 0x1A, DEL)
// more than one in 32; a window shorter than 1,024 bytes counts as 1,024.
bool LooksBinary(const uint8_t* data, size_t size);

}  // namespace vu32::check

#endif  // VU32_CHECK_ENCODING_H_
