// What only the Win32 build does, through the real vu32.exe under Wine:
// character devices count as terminals, "/" introduces switches, the
// command line reaches the program unexpanded and in code page 932, the
// directory search follows the system's matching and attributes, and drive
// letters name the drive whose free space is checked. Skipped elsewhere.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

std::string Usage() {
  std::string usage(kUsageFormat.sjis);
  for (size_t at; (at = usage.find("%s")) != std::string::npos;) {
    usage.replace(at, 2, "VU32");
  }
  return BannerLine() + usage;
}

class Win32E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TargetIsWin32()) GTEST_SKIP() << "for the Win32 build only";
  }
  RunResult Run(const std::vector<std::string>& args, RunOptions options) {
    options.cwd = dir_.path();
    return RunVu32(args, options);
  }
  void Write(const std::string& name, const std::string& data) {
    WriteFile(dir_.File(name), data);
  }
  std::string Read(const std::string& name) {
    return ReadFile(dir_.File(name));
  }

  ScopedTempDir dir_;
};

// NUL is a character device, so a standard input redirected from it counts
// as the console: no data is taken from it.
TEST_F(Win32E2eTest, NulAsStandardInputIsATerminal) {
  Write("in.txt", "Ab\r\n");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Usage());
  r = Run({"-L"}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, BannerLine() + Line(kNoStreams) + Line(kUsageHint));
  // One name is then the input, not the output.
  r = Run({"-L", "in.txt"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "ab\r\n");
  EXPECT_EQ(r.err, BannerLine());
}

TEST_F(Win32E2eTest, SlashIntroducesSwitches) {
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const Row rows[] = {
      {{"/L"}, 0, "ab\r\n", BannerLine()},
      {{"/cd"}, 0, "a\r\nb", BannerLine()},
      {{"/?"}, 1, "", Usage()},
      {{"/X"}, 1, "", BannerLine() + Line(kBadSwitch, "/X") + Line(kUsageHint)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0]);
    RunOptions pipe;
    pipe.stdin_data = row.args[0] == "/cd" ? "a\nb" : "Ab\r\n";
    RunResult r = Run(row.args, pipe);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(Hex(r.out), Hex(row.out));
    EXPECT_EQ(r.err, row.err);
  }
}

TEST_F(Win32E2eTest, SlashOIsTheMergeOutputOption) {
  Write("a", "a");
  Write("b", "b");
  Write("out2", "old");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-M", "a", "b", "/oout1"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out1"), "ab");
  r = Run({"/m", "/O+", "out2", "b", "a"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out2"), "oldba");
}

// The runtime expands no wildcards: "-L *.txt" names a file that does not
// exist instead of turning into "-L a.txt b.txt", which would overwrite
// b.txt.
TEST_F(Win32E2eTest, WildcardsReachTheProgramUnexpanded) {
  Write("a.txt", "AAA");
  Write("b.txt", "BBB");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-L", "*.txt"}, nul);
  EXPECT_EQ(r.status, 1);
  // "*.txt" is a name that no file has (the system's reason follows it).
  EXPECT_TRUE(WithoutBanner(r.err).starts_with(std::string(kCannotOpen.sjis) +
                                               "*.txt: "))
      << r.err;
  EXPECT_TRUE(r.err.ends_with(Line(kNoStreams) + Line(kUsageHint)));
  EXPECT_EQ(Read("b.txt"), "BBB");
}

TEST_F(Win32E2eTest, BackslashesAndSlashesSeparateDirectories) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  Write("sub/in.txt", "Ab");
  RunResult r = Run({"-P", "sub\\in.txt", "sub/out.txt"}, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  EXPECT_EQ(Read("sub/out.txt"), "AB");
}

// Arguments arrive in code page 932, so a name whose second byte is 0x5C
// (表) is one name, not a directory and a name; the file system then holds
// it in its own encoding.
TEST_F(Win32E2eTest, ShiftJisNames) {
  Write("in.txt", "Ab");
  RunResult r = Run({"-P", "in.txt", "\x95\x5C.txt"}, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  EXPECT_EQ(Read("\xE8\xA1\xA8.txt"), "AB");  // 表.txt in UTF-8
}

// The system matches the wildcard (case-insensitively) and reports hidden
// entries (Wine hides names that begin with a dot) and directories; the
// program takes hidden files, passes ordinary directories over, and sorts
// by unsigned bytes whatever order the system used.
TEST_F(Win32E2eTest, MergeWildcardUsesTheSystemSearch) {
  Write("a.txt", "a");
  Write("B.txt", "B");
  Write("C.TXT", "C");
  Write(".d.txt", "d");
  Write("\xE3\x81\x82.txt", "e");  // あ.txt, 82 A0 in code page 932
  ASSERT_EQ(mkdir(dir_.File("sub.txt").c_str(), 0755), 0);
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-M", "*.txt", "-o", "out"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out"), "dBCae");
  EXPECT_EQ(WithoutBanner(r.err),
            "Total Marge Size = 5 byte\nMerging to 'out'\n"
            "allocated buf size =16384 . ok\n"
            ".d.txt 1bytes ok\nB.txt 1bytes ok\nC.TXT 1bytes ok\n"
            "a.txt 1bytes ok\n\x82\xA0.txt 1bytes ok\n");
}

// "X:" at the start of the target names the drive to check; a drive that
// does not exist is not ready, and nothing is written.
TEST_F(Win32E2eTest, FreeSpaceOfANamedDrive) {
  Write("a", "a");
  Write("b", "b");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-M", "a", "b", "-o", "Q:\\out"}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            "Total Marge Size = 2 byte\n" + Line(kDriveNotReady));
  r = Run({"-S1", "a", "q:out"}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Line(kDriveNotReady)), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vu32::testing
