#include "check/encoding.h"

#include <algorithm>
#include <cstring>

namespace vu32::check {

void Utf8Validator::Feed(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (valid_ && i < size) {
    if (need_ > 0) {
      const uint8_t b = data[i++];
      if (b < low_ || b > high_) {
        valid_ = false;
        break;
      }
      low_ = 0x80;
      high_ = 0xBF;
      if (--need_ == 0) multibyte_ = true;
      continue;
    }
    // ASCII 32 bytes at a time: most text, and all of CP932's lines
    // without Japanese.
    while (i + 32 <= size) {
      uint64_t w[4];
      std::memcpy(w, data + i, 32);
      if ((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080) break;
      i += 32;
    }
    if (i == size) break;
    const uint8_t b = data[i++];
    if (b < 0x80) continue;
    low_ = 0x80;
    high_ = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need_ = 2;
      if (b == 0xE0) low_ = 0xA0;   // no overlong form
      if (b == 0xED) high_ = 0x9F;  // no surrogate
    } else if (b >= 0xF0 && b <= 0xF4) {
      need_ = 3;
      if (b == 0xF0) low_ = 0x90;
      if (b == 0xF4) high_ = 0x8F;  // nothing above U+10FFFF
    } else {
      valid_ = false;
    }
  }
}

bool Utf8Bom(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
}

bool Utf16Bom(const uint8_t* data, size_t size) {
  return size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) ||
                       (data[0] == 0xFE && data[1] == 0xFF));
}

bool Utf16Pattern(const uint8_t* data, size_t size) {
  const size_t n = std::min(size, kWindow) & ~size_t{1};
  const size_t units = n / 2;
  if (units < 2 || !std::memchr(data, 0, n)) return false;
  size_t low_first = 0, high_first = 0;
  for (size_t i = 0; i < n; i += 2) {
    low_first += data[i] != 0 && data[i + 1] == 0;
    high_first += data[i] == 0 && data[i + 1] != 0;
  }
  return std::max(low_first, high_first) * 2 > units;
}

bool LooksUtf16(const uint8_t* data, size_t size) {
  return Utf16Bom(data, size) || Utf16Pattern(data, size);
}

bool LooksBinary(const uint8_t* data, size_t size) {
  const size_t n = std::min(size, kWindow);
  size_t nuls = 0, controls = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = data[i];
    nuls += b == 0;
    controls +=
        (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != 0x1A) ||
        b == 0x7F;
  }
  // A short input counts as 1 KiB: a few stray bytes in a short text
  // leave it text, to be checked.
  const size_t shares = std::max<size_t>(n, 1024);
  return nuls * 1024 > shares || controls * 32 > shares;
}

}  // namespace vu32::check
