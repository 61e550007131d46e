// Consecutive duplicate-line removal (-U, -U+).
#ifndef VU32_FILTERS_UNIQ_H_
#define VU32_FILTERS_UNIQ_H_

#include <memory>

#include "filters/filter.h"

namespace vu32 {

// Which lines count as equal: byte for byte, or also when they differ only
// in the case of ASCII letters (-U+).
enum class UniqMode { kExact, kIgnoreCase };

std::unique_ptr<ByteFilter> MakeUniq(UniqMode mode);

}  // namespace vu32

#endif  // VU32_FILTERS_UNIQ_H_
