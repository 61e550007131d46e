#include "support/format.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace vu32 {

std::string FormatWithCommas(int64_t value, int width) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%" PRId64, value);
  size_t len = std::strlen(digits);
  size_t first_digit = digits[0] == '-' ? 1 : 0;
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    if (i + 1 < len && static_cast<int>(out.size()) > width - 2) {
      out.push_back(digits[i]);
      break;
    }
    out.push_back(digits[i]);
    size_t right = len - 1 - i;
    if (i >= first_digit && right > 0 && right % 3 == 0) out.push_back(',');
  }
  return out;
}

}  // namespace vu32
