#include "support/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vu32 {
namespace {

TEST(FormatWithCommasTest, Table) {
  const struct {
    int64_t value;
    int width;
    const char* text;
  } kRows[] = {
      {0, 16, "0"},
      {999, 16, "999"},
      {1000, 16, "1,000"},
      {123456, 16, "123,456"},
      {1234567, 16, "1,234,567"},
      {-123, 16, "-123"},
      {-1234, 16, "-1,234"},
      {-123456, 16, "-123,456"},
      {-1, 16, "-1"},
      // The longest 32-bit texts fit at width 16.
      {INT32_MAX, 16, "2,147,483,647"},
      {INT32_MIN, 16, "-2,147,483,648"},
      // Sizes are 64-bit.
      {4294967296LL, 16, "4,294,967,296"},
      {std::numeric_limits<int64_t>::max(), kCommaWidth,
       "9,223,372,036,854,775,807"},
      {std::numeric_limits<int64_t>::min(), kCommaWidth,
       "-9,223,372,036,854,775,808"},
      {std::numeric_limits<int64_t>::max(), 16, "9,223,372,036,85"},
      // A narrow width cuts, never rounds.
      {1234567, 5, "1,234"},
      {1234567, 6, "1,234,5"},  // the cut text may take width + 1
      {999, 2, "99"},
      {-1234, 3, "-1,2"},
      {7, 1, "7"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::to_string(row.value) + " width " +
                 std::to_string(row.width));
    EXPECT_EQ(FormatWithCommas(row.value, row.width), row.text);
  }
  EXPECT_EQ(FormatWithCommas(1234567), "1,234,567");
}

}  // namespace
}  // namespace vu32
