// Byte filters for tabs, ASCII case and control characters (-Tn, -T0, -L,
// -P, -D).
#ifndef VU32_FILTERS_TEXT_H_
#define VU32_FILTERS_TEXT_H_

#include "filters/filter.h"

namespace vu32 {

// Deletes control bytes (0x00-0x1F, 0x7F) except tab, keeping CR only as
// the CR of a CR LF pair.
class Deletecontrolchar : public ByteFilter {
 public:
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);

  uint8_t previous_ = 0;  // a CR here is written if an LF follows
};

enum class LetterCase { kLower, kUpper };

// ASCII letters to lower or upper case, never touching the second byte of a
// two-byte character.
class ChangeCase : public ByteFilter {
 public:
  explicit ChangeCase(LetterCase to);
  // Writes every byte as it arrives, so a lone lead byte at the very end
  // has already been written unchanged.
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);

  uint8_t first_;              // 'A' or 'a': the letters to change
  bool partner_next_ = false;  // the next byte completes a two-byte character
};

// Deletes every tab (-T0).
class DeleteTabs : public ByteFilter {
 public:
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;
};

// Expands each tab to spaces up to the next multiple of `width` (1..8).
// Every written byte is one column; LF and CR both start a new line.
class Tab2space : public ByteFilter {
 public:
  explicit Tab2space(int width) : width_(static_cast<unsigned>(width)) {}
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);

  unsigned width_;
  unsigned column_ = 0;  // kept modulo width_
};

}  // namespace vu32

#endif  // VU32_FILTERS_TEXT_H_
