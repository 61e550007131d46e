// The portable scanner, the choice among the levels, and locating a byte.
#include "check/kernel.h"

#include <bit>
#include <cstring>
#include <initializer_list>

#include "check/assigned.h"

namespace vu32::check {

#ifdef VU32_X86_KERNELS
extern const Kernel kAvx2Kernel;
extern const Kernel kAvx512Kernel;
#endif

}  // namespace vu32::check

#define VU32_CHECK_LEVEL portable
#include "check/kernel_impl.h"

namespace vu32::check {
namespace portable {
namespace {

// What each byte value can be, one bit per mask of Masks: the check's in
// the low byte, the --info ones in the high byte. Bit 6 of the low byte is
// "a second byte, and assigned after the byte before", filled per block.
enum : uint16_t {
  kLead = 1 << 0,
  kTrail = 1 << 1,
  kLf = 1 << 2,
  kCr = 1 << 3,
  kBad = 1 << 4,
  kOnlySecond = 1 << 5,
  kGood = 1 << 6,
  kTab = 1 << 8,
  kEofMark = 1 << 9,
  kControl = 1 << 10,
  kKana = 1 << 11,
  kCounted = 1 << 12,
};

struct ByteProperties {
  uint16_t of[256];
  constexpr ByteProperties() : of() {
    for (int b = 0; b < 256; ++b) {
      uint16_t f = 0;
      if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) f |= kLead;
      if ((b >= 0x40 && b <= 0xFC) && b != 0x7F) f |= kTrail;
      if (b == '\n') f |= kLf;
      if (b == '\r') f |= kCr;
      const bool control =
          (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F;
      if (control || b >= 0xFD) f |= kBad;
      if (control && b != 0x1A) f |= kControl;
      if (b == 0x80 || b == 0xA0) f |= kOnlySecond;
      if (b == '\t') f |= kTab;
      if (b == 0x1A) f |= kEofMark;
      if (b >= 0xA1 && b <= 0xDF) f |= kKana;
      if (CountedRow(b)) f |= kCounted;
      of[b] = f;
    }
  }
};
constexpr ByteProperties kProperties;

// Bit `bit` of each of 64 flag bytes, as a mask: eight at a time, the bits
// moved to the bottom of their bytes and a multiply gathering the eight
// into the top byte, in byte order (as the filters' portable FindByte).
uint64_t Gather(const uint8_t* flags, unsigned bit) {
  uint64_t mask = 0;
  for (unsigned k = 0; k < kBlock; k += 8) {
    uint64_t x;
    std::memcpy(&x, flags + k, 8);
    if constexpr (std::endian::native == std::endian::big) {
      x = __builtin_bswap64(x);
    }
    const uint64_t ones = (x >> bit) & 0x0101010101010101;
    mask |= ((ones * 0x0102040810204080) >> 56) << k;
  }
  return mask;
}

// A byte at a time into flag bytes, with the exact assigned test, then the
// masks from those.
struct Portable {
  struct Carry {
    uint8_t previous;
  };
  static Carry Start(uint8_t previous) { return {previous}; }

  template <bool kInfo>
  static Masks Classify(const uint8_t* p, Carry* carry) {
    uint8_t low[kBlock], high[kBlock];
    uint8_t previous = carry->previous;
    for (unsigned i = 0; i < kBlock; ++i) {
      const uint8_t b = p[i];
      const uint16_t f = kProperties.of[b];
      const bool good = (f & kTrail) && Assigned(previous, b);
      low[i] = static_cast<uint8_t>(f | (good ? kGood : 0));
      if constexpr (kInfo) high[i] = static_cast<uint8_t>(f >> 8);
      previous = b;
    }
    carry->previous = previous;
    Masks m;
    m.leads = Gather(low, 0);
    m.trails = Gather(low, 1);
    m.lfs = Gather(low, 2);
    m.crs = Gather(low, 3);
    m.bad = Gather(low, 4);
    m.only_second = Gather(low, 5);
    m.good = Gather(low, 6);
    if constexpr (kInfo) {
      m.tabs = Gather(high, 0);
      m.eof_marks = Gather(high, 1);
      m.controls = Gather(high, 2);
      m.kana = Gather(high, 3);
      m.counted = Gather(high, 4);
    }
    return m;
  }
};

}  // namespace
}  // namespace portable

namespace {

const Kernel kPortableKernel =
    portable::MakeKernel<portable::Portable>(scan::Level::kScalar);

// The scanner of `level`, or null when this build or processor lacks it.
const Kernel* KernelFor(scan::Level level) {
  switch (level) {
    case scan::Level::kScalar:
      return &kPortableKernel;
#ifdef VU32_X86_KERNELS
    case scan::Level::kAvx2:
      return scan::Supported(level) ? &kAvx2Kernel : nullptr;
    case scan::Level::kAvx512:
      return scan::Supported(level) ? &kAvx512Kernel : nullptr;
#endif
    default:
      return nullptr;
  }
}

const Kernel* active = nullptr;  // null until first asked for

}  // namespace

const Kernel& ActiveKernel() {
  if (!active) {
    for (scan::Level level : {scan::Level::kAvx512, scan::Level::kAvx2}) {
      if ((active = KernelFor(level))) break;
    }
    if (!active) active = &kPortableKernel;
  }
  return *active;
}

bool UseKernel(scan::Level level) {
  const Kernel* kernel = KernelFor(level);
  if (kernel) active = kernel;
  return kernel != nullptr;
}

Location LocateInBlock(const BlockMasks& m, int p) {
  if (p < 0) return {m.lines + 1, m.column + 1 + static_cast<uint64_t>(p)};
  const uint64_t below = (uint64_t{1} << p) - 1;
  const uint64_t lfs = m.lfs & below;
  const uint64_t line =
      m.lines + static_cast<uint64_t>(__builtin_popcountll(lfs));
  if (lfs == 0) {
    return {line + 1,
            m.column +
                static_cast<uint64_t>(__builtin_popcountll(m.starts & below)) +
                1};
  }
  const unsigned last_lf = 63u - static_cast<unsigned>(__builtin_clzll(lfs));
  const uint64_t after_lf = below & (~uint64_t{1} << last_lf);
  return {line + 1,
          static_cast<uint64_t>(__builtin_popcountll(m.starts & after_lf)) + 1};
}

}  // namespace vu32::check
