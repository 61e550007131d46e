#include "support/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vu32 {
namespace {

TEST(FormatWithCommasTest, Table) {
  const struct {
    int64_t value;
    const char* text;
  } kRows[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {123456, "123,456"},
      {1234567, "1,234,567"},
      {-123, "-123"},
      {-1234, "-1,234"},
      {-123456, "-123,456"},
      {-1, "-1"},
      {INT32_MAX, "2,147,483,647"},
      {INT32_MIN, "-2,147,483,648"},
      // Sizes are 64-bit.
      {4294967296LL, "4,294,967,296"},
      {std::numeric_limits<int64_t>::max(), "9,223,372,036,854,775,807"},
      {std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(FormatWithCommas(row.value), row.text);
  }
}

}  // namespace
}  // namespace vu32
