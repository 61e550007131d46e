#ifndef VU32_SUPPORT_FORMAT_H_
#define VU32_SUPPORT_FORMAT_H_

#include <cstdint>
#include <string>

namespace vu32 {

// Width that no 64-bit value reaches ("-9,223,372,036,854,775,808" is 26).
inline constexpr int kCommaWidth = 32;

// `value` in decimal with a comma before every group of three digits
// (1234567 -> "1,234,567"). A text longer than `width` - 1 characters is
// cut: copying stops once more than `width` - 2 characters are written,
// and one more character ends it.
std::string FormatWithCommas(int64_t value, int width = kCommaWidth);

}  // namespace vu32

#endif  // VU32_SUPPORT_FORMAT_H_
