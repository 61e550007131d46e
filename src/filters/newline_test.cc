#include "filters/newline.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace vu32 {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::RunWhole;

TEST(CrconvTest, Table) {
  struct Row {
    const char* in;
    const char* crlf;
    const char* lf;
    const char* cr;
  };
  const Row kRows[] = {
      {"", "", "", ""},
      {"0D 0A", "0D 0A", "0A", "0D"},
      {"0A", "0D 0A", "0A", "0D"},
      {"0D", "0D 0A", "0A", "0D"},
      {"0D 41", "0D 0A 41", "0A 41", "0D 41"},
      {"0A 0D", "0D 0A 0D 0A", "0A 0A", "0D 0D"},
      {"0D 0D 0A", "0D 0A 0D 0A", "0A 0A", "0D 0D"},
      {"0D 41 0A", "0D 0A 41 0D 0A", "0A 41 0A", "0D 41 0D"},
      // Two-byte characters, EOF mark and NUL pass unchanged.
      {"95 5C 83 41 1A 00 E0 FC", "95 5C 83 41 1A 00 E0 FC",
       "95 5C 83 41 1A 00 E0 FC", "95 5C 83 41 1A 00 E0 FC"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    const std::string in = FromHex(row.in);
    Crconv crlf(NewlineKind::kCrLf), lf(NewlineKind::kLf), cr(NewlineKind::kCr);
    EXPECT_EQ(Hex(RunWhole(crlf, in)), row.crlf);
    EXPECT_EQ(Hex(RunWhole(lf, in)), row.lf);
    EXPECT_EQ(Hex(RunWhole(cr, in)), row.cr);
  }
}

TEST(CrconvTest, LfThenCrLfMakesEveryLineEndCrLf) {
  const std::string in = FromHex("41 0A 0D 42 0D 0D 0A 43 0D");
  Crconv lf(NewlineKind::kLf), crlf(NewlineKind::kCrLf);
  EXPECT_EQ(Hex(RunWhole(crlf, RunWhole(lf, in))),
            "41 0D 0A 0D 0A 42 0D 0A 0D 0A 43 0D 0A");
}

TEST(JoinTest, Table) {
  const struct {
    const char* in;
    const char* out;
  } kRows[] = {
      {"", ""},
      {"41 0D 0A 42 0D 0A", "41 42"},
      {"41 0A 42 0A", "41 0A 42 0A"},
      {"41 0D 42 0D", "41 42"},
      {"41 0D 42 0A 43", "41 42 43"},
      {"41 0D 0D 0A 42", "41 42"},
      {"41 0A 0D 42", "41 0A 42"},
      {"41 0D", "41"},
      {"0D 0A 0A", "0A"},
      {"95 5C 1A 00 0D 0A 83 0A", "95 5C 1A 00 83 0A"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.in);
    Join join;
    EXPECT_EQ(Hex(RunWhole(join, FromHex(row.in))), row.out);
  }
}

}  // namespace
}  // namespace vu32
