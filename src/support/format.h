// Byte counts as the progress lines show them.
#ifndef VU32_SUPPORT_FORMAT_H_
#define VU32_SUPPORT_FORMAT_H_

#include <cstdint>
#include <string>

namespace vu32 {

// `value` in decimal with a comma before every group of three digits
// (1234567 -> "1,234,567", -1234 -> "-1,234").
std::string FormatWithCommas(int64_t value);

}  // namespace vu32

#endif  // VU32_SUPPORT_FORMAT_H_
