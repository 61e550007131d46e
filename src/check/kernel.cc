// The portable scanner, the choice among the levels, and locating a byte.
#include "check/kernel.h"

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

// What each byte value can be, one bit per mask of Masks.
enum : uint16_t {
  kLead = 1 << 0,
  kTrail = 1 << 1,
  kLf = 1 << 2,
  kCr = 1 << 3,
  kBad = 1 << 4,
  kOnlySecond = 1 << 5,
  kTab = 1 << 6,
  kEofMark = 1 << 7,
  kControl = 1 << 8,
  kKana = 1 << 9,
  kCounted = 1 << 10,
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

// A byte at a time, with the exact assigned test.
struct Portable {
  struct Carry {
    uint8_t previous;
  };
  static Carry Start(uint8_t previous) { return {previous}; }

  template <bool kInfo>
  static Masks Classify(const uint8_t* p, Carry* carry) {
    Masks m;
    uint8_t previous = carry->previous;
    for (unsigned i = 0; i < kBlock; ++i) {
      const uint8_t b = p[i];
      const uint16_t f = kProperties.of[b];
      auto bit = [&](uint16_t flag) { return uint64_t{(f & flag) != 0} << i; };
      m.leads |= bit(kLead);
      m.trails |= bit(kTrail);
      m.good |= bit(kTrail) & (uint64_t{Assigned(previous, b)} << i);
      m.lfs |= bit(kLf);
      m.crs |= bit(kCr);
      m.bad |= bit(kBad);
      m.only_second |= bit(kOnlySecond);
      if constexpr (kInfo) {
        m.tabs |= bit(kTab);
        m.eof_marks |= bit(kEofMark);
        m.controls |= bit(kControl);
        m.kana |= bit(kKana);
        m.counted |= bit(kCounted);
      }
      previous = b;
    }
    carry->previous = previous;
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
