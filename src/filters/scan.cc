#include "filters/scan.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "support/ascii.h"

namespace vu32::scan {

#ifdef VU32_X86_KERNELS
extern const Kernels kSse2Kernels;
extern const Kernels kAvx2Kernels;
extern const Kernels kAvx512Kernels;
#endif

namespace {

// Eight bytes at a time in a 64-bit word: the bytes equal to `c` become
// zero, the exact zero-byte test marks them with 0x80 (no carry crosses a
// byte, as each byte's low seven bits are added alone), and a multiply
// gathers the eight marks into the top byte, in byte order.
void FindByte(const uint8_t* s, size_t n, uint8_t c, uint64_t* bits) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
  const uint64_t pattern = uint64_t{c} * 0x0101010101010101;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    uint64_t word_bits = 0;
    for (unsigned k = 0; k < 64; k += 8) {
      uint64_t x;
      std::memcpy(&x, s + i + k, 8);
      if constexpr (std::endian::native == std::endian::big) {
        x = __builtin_bswap64(x);  // byte j of memory to bits 8j..8j+7
      }
      x ^= pattern;
      const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
      word_bits |= (((zero >> 7) * 0x0102040810204080) >> 56) << k;
    }
    *bits++ = word_bits;
  }
  if (i == n) return;
  uint64_t last = 0;
  for (unsigned k = 0; i + k < n; ++k) last |= uint64_t{s[i + k] == c} << k;
  *bits = last;
}

size_t CountByte(const uint8_t* s, size_t n, uint8_t c) {
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) count += s[i] == c;
  return count;
}

// The scalar level converts nothing itself: the filters' loops do it all.
const Kernels kScalarKernels = {
    .level = Level::kScalar,
    .change_case = [](const uint8_t*, size_t, uint8_t*, uint8_t,
                      bool*) { return size_t{0}; },
    .crconv = [](const uint8_t*, size_t, uint8_t*, LineEnd,
                 bool*) { return Progress{}; },
    .join = [](const uint8_t*, size_t, uint8_t*, bool*) { return Progress{}; },
    .delete_control = [](const uint8_t*, size_t, uint8_t*,
                         uint8_t*) { return Progress{}; },
    .delete_tabs = [](const uint8_t*, size_t, uint8_t*) { return Progress{}; },
    .tab2space = [](const uint8_t*, size_t, uint8_t*, unsigned,
                    unsigned*) { return Progress{}; },
    .kana = [](const uint8_t*, size_t, uint8_t*) { return Progress{}; },
    // Uniq has no loop of its own to find line ends.
    .find_byte = FindByte,
    // Uniq's own loop tells whether it has a kernel.
    .uniq = nullptr,
    .count_byte = CountByte,
};

// The table of `level`, or null when this build or processor lacks it.
const Kernels* Table(Level level) {
  switch (level) {
    case Level::kScalar:
      return &kScalarKernels;
#ifdef VU32_X86_KERNELS
    case Level::kSse2:
      return &kSse2Kernels;
    case Level::kAvx2:
      // The library's test includes the system's support for the wider
      // registers, not only the processor's.
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                     __builtin_cpu_supports("popcnt")
                 ? &kAvx2Kernels
                 : nullptr;
    case Level::kAvx512:
      return __builtin_cpu_supports("avx512bw") &&
                     __builtin_cpu_supports("avx512vbmi") &&
                     __builtin_cpu_supports("avx512vbmi2") &&
                     __builtin_cpu_supports("bmi2") &&
                     __builtin_cpu_supports("popcnt")
                 ? &kAvx512Kernels
                 : nullptr;
#endif
    default:
      return nullptr;
  }
}

const Kernels* active = nullptr;  // null until first asked for

}  // namespace

Level BestLevel() {
  static const Level best = [] {
    Level found = Level::kScalar;
    for (Level level : {Level::kAvx512, Level::kAvx2, Level::kSse2}) {
      if (Table(level)) {
        found = level;
        break;
      }
    }
    return CapLevel(found, std::getenv("VU32_KERNEL"));
  }();
  return best;
}

Level CapLevel(Level best, const char* cap) {
  if (cap == nullptr) return best;
  static constexpr struct {
    const char* name;
    Level level;
  } kNames[] = {{"scalar", Level::kScalar},
                {"sse2", Level::kSse2},
                {"avx2", Level::kAvx2},
                {"avx512", Level::kAvx512}};
  for (const auto& entry : kNames) {
    size_t k = 0;
    while (entry.name[k] != '\0' && AsciiToLower(cap[k]) == entry.name[k]) {
      ++k;
    }
    if (entry.name[k] == '\0' && cap[k] == '\0') {
      return std::min(best, entry.level);
    }
  }
  return best;
}

const Kernels& Active() {
  if (!active) active = Table(BestLevel());
  return *active;
}

bool ByteFinder::NextWindow() {
  if (next_window_ == end_) return false;
  const size_t n = std::min(kWindow, static_cast<size_t>(end_ - next_window_));
  Active().find_byte(next_window_, n, c_, bits_);
  base_ = next_window_ - 64;  // Next() steps to each word's start first
  word_ = bits_;
  words_end_ = bits_ + (n + 63) / 64;
  next_window_ += n;
  return true;
}

bool Supported(Level level) { return Table(level) != nullptr; }

bool UseLevel(Level level) {
  const Kernels* table = Table(level);
  if (table) active = table;
  return table != nullptr;
}

const char* LevelName(Level level) {
  switch (level) {
    case Level::kScalar:
      return "scalar";
    case Level::kSse2:
      return "SSE2";
    case Level::kAvx2:
      return "AVX2";
    case Level::kAvx512:
      return "AVX-512";
  }
  return "?";
}

}  // namespace vu32::scan
