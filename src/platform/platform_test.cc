// The platform layer's contract, on whichever platform is built.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace vu32::platform {
namespace {

TEST(PlatformTest, SameNameSpelling) {
  struct Row {
    const char* a;
    const char* b;
    bool exact;   // the same bytes
    bool folded;  // the same under Win32's case rules
  };
  const Row kRows[] = {
      {"a.txt", "a.txt", true, true},
      {"", "", true, true},
      {"Data.CSV", "data.csv", false, true},
      {"A.TXT", "./A.TXT", false, false},
      {"a.txt", "a.txt ", false, false},
      {"a", "", false, false},
      {"[", "{", false,
       false},  // 0x5B and 0x7B differ by 0x20 but are no letters
      // A second byte is never folded: ア and ヂ are two names.
      {"\x83"
       "A",
       "\x83"
       "a",
       false, false},
      {"\x88\x9F"
       "a",
       "\x88\x9F"
       "A",
       false, true},
      {"\xC1", "\xE1", false, false},
      // Every letter with a case folds: full-width Ａ/ａ, Greek Α/α.
      {"\x82\x60.txt", "\x82\x81.TXT", false, true},
      {"\x83\x9F", "\x83\xBF", false, true},
      {"\x82\x60", "\x82\x61", false, false},  // Ａ is no Ｂ
      // No valid text (a lead byte that ends the name): ASCII letters
      // alone fold, and two such names are not one.
      {"a\x81", "A\x81", false, true},
      {"\x81", "\x82", false, false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.a) + " | " + row.b);
    const bool same = kWin32Spellings ? row.folded : row.exact;
    EXPECT_EQ(SameNameSpelling(row.a, row.b), same);
    EXPECT_EQ(SameNameSpelling(row.b, row.a), same);
  }
}

TEST(PlatformTest, ReadAtLeavesThePositionAlone) {
  testing::ScopedTempDir dir;
  const std::string path = dir.File("f");
  testing::WriteFile(path, "0123456789");
  int fd = OpenForRead(path);
  ASSERT_GE(fd, 0);
  char head[3] = {};
  ASSERT_EQ(ReadSome(fd, head, 2), 2);
  char at[4] = {};
  EXPECT_EQ(ReadAt(fd, at, 3, 6), 3);
  EXPECT_STREQ(at, "678");
  EXPECT_EQ(ReadAt(fd, at, 3, 10), 0);  // past the end
  char next[3] = {};
  ASSERT_EQ(ReadSome(fd, next, 2), 2);
  EXPECT_STREQ(next, "23");
  CloseFd(fd);
}

}  // namespace
}  // namespace vu32::platform
