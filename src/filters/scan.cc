#include "filters/scan.h"

#include <initializer_list>

namespace vu32::scan {

#ifdef VU32_X86_KERNELS
extern const Kernels kSse2Kernels;
extern const Kernels kAvx2Kernels;
extern const Kernels kAvx512Kernels;
#endif

namespace {

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
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi")
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
    for (Level level : {Level::kAvx512, Level::kAvx2, Level::kSse2}) {
      if (Table(level)) return level;
    }
    return Level::kScalar;
  }();
  return best;
}

const Kernels& Active() {
  if (!active) active = Table(BestLevel());
  return *active;
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
