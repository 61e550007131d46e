#include "support/format.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace vu32 {

std::string FormatWithCommas(int64_t value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%" PRId64, value);
  const size_t len = std::strlen(digits);
  const size_t first_digit = digits[0] == '-' ? 1 : 0;
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    out.push_back(digits[i]);
    const size_t right = len - 1 - i;
    if (i >= first_digit && right > 0 && right % 3 == 0) out.push_back(',');
  }
  return out;
}

}  // namespace vu32
