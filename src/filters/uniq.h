// Consecutive duplicate-line removal (-U, -U+).
#ifndef VU32_FILTERS_UNIQ_H_
#define VU32_FILTERS_UNIQ_H_

#include <memory>

#include "filters/filter.h"

namespace vu32 {

std::unique_ptr<ByteFilter> MakeUniq(bool ignore_case);

}  // namespace vu32

#endif  // VU32_FILTERS_UNIQ_H_
