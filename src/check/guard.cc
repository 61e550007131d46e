#include "check/guard.h"

#include <algorithm>
#include <cstring>

#include "check/assigned.h"
#include "platform/platform.h"
#include "support/sjis.h"

namespace vu32::check {
namespace {

// Follows s[0, n) as CP932 from `*lead` (a lead byte waiting, or 0) until
// the first encoding fault; true when it meets one.
bool FindEncodingFault(const uint8_t* s, size_t n, uint8_t* lead) {
  size_t i = 0;
  while (i < n) {
    if (*lead) {
      const uint8_t second = s[i++];
      if (!SjisTrailByte(second) || !Assigned(*lead, second)) return true;
      *lead = 0;
      continue;
    }
    // ASCII, eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (word & 0x8080808080808080) break;
      i += 8;
    }
    if (i == n) break;
    const uint8_t b = s[i++];
    if (SjisLeadByte(b)) {
      *lead = b;
    } else if (b == 0x80 || b == 0xA0 || b >= 0xFD) {
      return true;
    }
  }
  return false;
}

GuardVerdict Judge(const uint8_t* head, size_t head_size,
                   const Utf8Validator& utf8, bool fault) {
  if (Utf8Bom(head, head_size)) return GuardVerdict::kUtf8Bom;
  if (LooksUtf16(head, head_size)) return GuardVerdict::kUtf16;
  if (utf8.valid() && utf8.multibyte() && fault) return GuardVerdict::kUtf8;
  return GuardVerdict::kPass;
}

}  // namespace

GuardVerdict JudgeStart(const uint8_t* data, size_t size, bool whole) {
  Utf8Validator utf8;
  utf8.Feed(data, size);
  uint8_t lead = 0;
  // Only valid UTF-8 needs its CP932 faults known.
  const bool fault = utf8.valid() && utf8.multibyte() &&
                     (FindEncodingFault(data, size, &lead) || (whole && lead));
  return Judge(data, size, utf8, fault);
}

WholeInputGuard::WholeInputGuard() : head_(new uint8_t[kWindow]) {}

void WholeInputGuard::Feed(const uint8_t* data, size_t size) {
  const size_t take = std::min(size, kWindow - head_size_);
  std::memcpy(head_.get() + head_size_, data, take);
  head_size_ += take;
  if (!utf8_.valid()) return;  // decided by the head alone
  utf8_.Feed(data, size);
  if (utf8_.valid() && !fault_) fault_ = FindEncodingFault(data, size, &lead_);
}

GuardVerdict WholeInputGuard::Finish() {
  return Judge(head_.get(), head_size_, utf8_, fault_ || lead_ != 0);
}

const Message* GuardRefusal(GuardVerdict verdict, GuardScope scope) {
  switch (verdict) {
    case GuardVerdict::kPass:
      return nullptr;
    case GuardVerdict::kUtf8Bom:
    case GuardVerdict::kUtf8:
      return scope == GuardScope::kUtf8AndUtf16 ? &kLooksLikeUtf8 : nullptr;
    case GuardVerdict::kUtf16:
      return scope == GuardScope::kNothing ? nullptr : &kLooksLikeUtf16;
  }
  return nullptr;
}

bool ReadStart(int fd, std::string* start, bool* whole, bool* consumed) {
  constexpr size_t kStart = size_t{1} << 20;
  start->clear();
  *whole = false;
  *consumed = platform::FileLength(fd) < 0;
  if (*consumed) {
    // A pipe or a terminal: what is there now, never a wait for more.
    start->resize(64 * 1024);
    const long n = platform::ReadSome(fd, start->data(), start->size());
    if (n < 0) return false;
    start->resize(static_cast<size_t>(n));
    *whole = n == 0;
    return true;
  }
  const int64_t at = platform::CurrentOffset(fd);
  start->resize(kStart);
  size_t got = 0;
  while (got < kStart) {
    const long n = platform::ReadAt(fd, start->data() + got, kStart - got,
                                    at + static_cast<int64_t>(got));
    if (n < 0) return false;
    if (n == 0) {
      *whole = true;
      break;
    }
    got += static_cast<size_t>(n);
  }
  start->resize(got);
  return true;
}

}  // namespace vu32::check
