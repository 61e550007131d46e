#include "split/command.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_util.h"

namespace vu32 {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::ScopedTempDir;
using testing::WriteFile;

TEST(ParseSplitSwitchTest, NumbersDigitsAndMode) {
  struct Row {
    const char* arg;
    uint64_t n1;
    int digits;
    uint32_t max;
    bool line_mode;
  } rows[] = {
      {"-S100", 100, 2, 99, false},
      {"-S100.3", 100, 3, 999, false},
      {"-S100.3L", 100, 3, 999, true},
      {"-S5l", 5, 2, 99, true},
      {"-S1.1", 1, 2, 99, false},     // raised to 2
      {"-S1.9", 1, 5, 99999, false},  // lowered to 5
      {"-S1.4", 1, 4, 9999, false},
      {"-S1.", 1, 2, 99, false},  // no digit after the dot
      {"-S1.x", 1, 2, 99, false},
      {"-S10L.3", 10, 3, 999, false},  // the last character decides the mode
      {"-S007x", 7, 2, 99, false},     // n1 is the leading run of digits
      {"-S1.0000000000000000000009", 1, 5, 99999, false},
      // Held at 10^15 so that the piece size still fits.
      {"-S99999999999999999999999", 1000000000000000, 2, 99, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arg);
    SplitSwitch parsed;
    ASSERT_TRUE(ParseSplitSwitch(row.arg, &parsed));
    EXPECT_EQ(parsed.n1, row.n1);
    EXPECT_EQ(parsed.piece_digits, row.digits);
    EXPECT_EQ(parsed.max_piece_number, row.max);
    EXPECT_EQ(parsed.line_mode, row.line_mode);
  }
}

TEST(ParseSplitSwitchTest, ZeroIsRefused) {
  for (const char* arg : {"-S0", "-S00", "-S0L", "-S0.3"}) {
    SCOPED_TRACE(arg);
    SplitSwitch parsed;
    EXPECT_FALSE(ParseSplitSwitch(arg, &parsed));
  }
}

TEST(MakeBaseNameTest, NameWithoutDirectoryAndLastExtension) {
  struct Row {
    const char* path;
    const char* base;
  } rows[] = {
      {"BIG.TXT", "BIG"},
      {"A.B.TXT", "A.B"},
      {"README", "README"},
      {"sub/BIG.TXT", "BIG"},
      {"/abs/dir.d/NAME", "NAME"},  // a dot in the directory is no extension
      {".profile", ""},
      {"x.", "x"},
      // 表示.TXT: two-byte characters before the extension stay whole.
      {"\x95\x5C\x8E\xA6.TXT", "\x95\x5C\x8E\xA6"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(MakeBaseName(row.path), row.base);
  }
}

TEST(MakeBaseNameTest, BackslashInsideTwoByteCharacterIsNoSeparator) {
  // 表 is 0x95 0x5C: its second byte must not cut the name on Win32, and
  // on POSIX the backslash separates nothing at all.
  const std::string path = "DOC\\\x95\x5C.TXT";
  if (platform::kWin32Spellings) {
    EXPECT_EQ(MakeBaseName(path), "\x95\x5C");
    EXPECT_EQ(MakeBaseName("C:\\DOC/BIG.TXT"), "BIG");
  } else {
    EXPECT_EQ(MakeBaseName(path), "DOC\\\x95\x5C");
  }
}

TEST(ProbeOutputDirTest, TrailingSeparatorOrNotGivesOnePrefix) {
  ScopedTempDir dir;
  const std::string sep(1, platform::kPathSeparator);
  std::string plain, trailing, probe;
  ASSERT_EQ(ProbeOutputDir(dir.path(), &plain, &probe), ProbeResult::kOk);
  ASSERT_EQ(ProbeOutputDir(dir.path() + sep, &trailing, &probe),
            ProbeResult::kOk);
  EXPECT_EQ(plain, dir.path() + sep);
  EXPECT_EQ(trailing, plain);
  EXPECT_FALSE(FileExists(dir.File("_KZ_$$$$.TMP")));
}

TEST(ProbeOutputDirTest, ExistingProbeFileIsLeftAlone) {
  ScopedTempDir dir;
  WriteFile(dir.File("_KZ_$$$$.TMP"), "someone else's");
  std::string prefix, probe;
  ASSERT_EQ(ProbeOutputDir(dir.path(), &prefix, &probe), ProbeResult::kOk);
  EXPECT_EQ(ReadFile(dir.File("_KZ_$$$$.TMP")), "someone else's");
}

TEST(ProbeOutputDirTest, NoDirectoryNoPrefix) {
  ScopedTempDir dir;
  WriteFile(dir.File("plain"), "x");
  for (const std::string& outdir :
       {dir.File("missing"), dir.File("plain"), std::string()}) {
    SCOPED_TRACE(outdir);
    std::string prefix = "untouched", probe;
    EXPECT_EQ(ProbeOutputDir(outdir, &prefix, &probe),
              ProbeResult::kNoDirectory);
    EXPECT_EQ(prefix, "untouched");
  }
}

}  // namespace
}  // namespace vu32
