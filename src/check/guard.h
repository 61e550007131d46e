// The guard of the operations that interpret characters (-K, -L, -P, -U+,
// -Tn with n >= 1, split by size or pattern): before any output is written
// they look at the start of their input and refuse one that is plainly not
// Shift-JIS, rather than damage it.
//
// An input is refused when it begins with a UTF-8 byte-order mark; when it
// is valid UTF-8 holding multi-byte sequences and also holds CP932 encoding
// faults (a lead byte followed by a byte that cannot follow it, a lead byte
// at the very end, an unassigned two-byte code, a byte 0x80, 0xA0 or
// 0xFD-0xFF on its own; control bytes do not count); or when it is UTF-16
// (a UTF-16 byte-order mark, or the NUL pattern of encoding.h). An input
// whose start shows no such evidence is never refused, whatever its faults.
#ifndef VU32_CHECK_GUARD_H_
#define VU32_CHECK_GUARD_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "check/encoding.h"
#include "support/messages.h"

namespace vu32::check {

enum class GuardVerdict {
  kPass,
  kUtf8Bom,  // begins with a UTF-8 byte-order mark
  kUtf8,     // valid UTF-8 with multi-byte sequences and CP932 faults
  kUtf16,    // a UTF-16 byte-order mark or the NUL pattern
};

// Judges the start of an input: the first block of a file (up to 1 MiB),
// or what the first read of a pipe returned (never wait for more). `whole`
// says these bytes are all of the input, so that a lead byte at their end
// is a fault; a UTF-8 sequence cut at their end counts as valid either way.
// Pure, and cheap next to reading the block: a start that is not UTF-8 is
// known as such within a few bytes, and only a start without a NUL byte
// passes the UTF-16 test at memchr speed.
GuardVerdict JudgeStart(const uint8_t* data, size_t size, bool whole);

// What an operation refuses: UTF-16 is damaged by anything that looks for
// line ends, UTF-8 by what interprets two-byte characters.
enum class GuardScope { kNothing, kUtf16, kUtf8AndUtf16 };

// The message that says why `verdict` is refused (followed by the input's
// name), or null when `scope` lets it pass.
const Message* GuardRefusal(GuardVerdict verdict, GuardScope scope);

// The start of the input behind `fd` as JudgeStart wants it: up to 1 MiB
// of a regular file, read in place (its position stays as it was), or what
// one read of anything else returns, which `*consumed` then says the caller
// must convert first. `*whole`: that is all of the input. False, errno set,
// on a read error.
bool ReadStart(int fd, std::string* start, bool* whole, bool* consumed);

// The same judgement over all of an input fed in pieces (--in-place judges
// the whole file before the rename). Stops looking once the input cannot be
// refused any more; memory stays at its first 64 KiB.
class WholeInputGuard {
 public:
  WholeInputGuard();
  void Feed(const uint8_t* data, size_t size);
  GuardVerdict Finish();

 private:
  std::unique_ptr<uint8_t[]> head_;  // the first kWindow bytes
  size_t head_size_ = 0;
  Utf8Validator utf8_;
  bool fault_ = false;  // a CP932 encoding fault was met
  uint8_t lead_ = 0;    // a lead byte waits for its second byte
};

}  // namespace vu32::check

#endif  // VU32_CHECK_GUARD_H_
