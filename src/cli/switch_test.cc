#include "cli/switch.h"

#include <gtest/gtest.h>

#include <string>

#include "filters/newline.h"
#include "platform/platform.h"
#include "support/messages.h"

namespace vu32 {
namespace {

// Collects what the parser writes to the message stream.
class SwitchTest : public ::testing::Test {
 protected:
  void SetUp() override { CaptureMessages(&messages_); }
  void TearDown() override { CaptureMessages(nullptr); }
  std::string messages_;
};

std::string BadSwitchLine(const std::string& arg) {
  return std::string(kBadSwitch.sjis) + arg + "\n";
}

TEST_F(SwitchTest, Table) {
  struct Row {
    const char* arg;
    int mode;
    int newline_kind;  // expected; -9 means left alone
    int tab_width;     // expected; -9 means left alone
  };
  const Row kRows[] = {
      {"IN.TXT", kRunNoSwitch, -9, -9},
      {"", kRunNoSwitch, -9, -9},
      // "/" begins an absolute path here, never a switch.
      {"/Cd", kRunNoSwitch, -9, -9},
      {"/?", kRunNoSwitch, -9, -9},
      {"/tmp/in.txt", kRunNoSwitch, -9, -9},
      {"-Cd", kRunCrconv, kNewlineCrLf, -9},
      {"-Cu", kRunCrconv, kNewlineLf, -9},
      {"-Cm", kRunCrconv, kNewlineCr, -9},
      {"-cD", kRunCrconv, kNewlineCrLf, -9},
      {"-CD", kRunCrconv, kNewlineCrLf, -9},
      {"-cU", kRunCrconv, kNewlineLf, -9},
      {"-CM", kRunCrconv, kNewlineCr, -9},
      {"-Cdos", kRunCrconv, kNewlineCrLf, -9},
      {"-D", kRunDeleteControl, -9, -9},
      {"-d", kRunDeleteControl, -9, -9},
      {"-J", kRunJoin, -9, -9},
      {"-K", kRunKana, -9, -9},
      {"-L", kRunLower, -9, -9},
      {"-l", kRunLower, -9, -9},
      {"-Lxyz", kRunLower, -9, -9},
      {"-M", kRunMerge, -9, -9},
      {"-m", kRunMerge, -9, -9},
      {"-P", kRunUpper, -9, -9},
      {"-S0", kRunSplit, -9, -9},
      {"-S100.3L", kRunSplit, -9, -9},
      {"-s9", kRunSplit, -9, -9},
      {"-T0", kRunTabs, -9, 0},
      {"-T1", kRunTabs, -9, 1},
      {"-T4", kRunTabs, -9, 4},
      {"-T8", kRunTabs, -9, 8},
      {"-t8", kRunTabs, -9, 8},
      {"-T08", kRunTabs, -9, 8},
      {"-T008", kRunTabs, -9, 8},
      {"-T4abc", kRunTabs, -9, 4},
      {"-U", kRunUniq, -9, -9},
      {"-Uz", kRunUniq, -9, -9},
      {"-U+", kRunUniqIgnoreCase, -9, -9},
      {"-u+", kRunUniqIgnoreCase, -9, -9},
      {"-U+x", kRunUniqIgnoreCase, -9, -9},
  };
  for (const Row& row : kRows) {
    // On Win32 "/" introduces switches (win32_e2e_test.cc).
    if (platform::kWin32Spellings && row.arg[0] == '/') continue;
    SCOPED_TRACE(row.arg);
    messages_.clear();
    NewlineKind newline_kind = static_cast<NewlineKind>(-9);
    int tab_width = -9;
    EXPECT_EQ(ParseSwitch(row.arg, &newline_kind, &tab_width), row.mode);
    EXPECT_EQ(newline_kind, row.newline_kind);
    EXPECT_EQ(tab_width, row.tab_width);
    EXPECT_EQ(messages_, "");
  }
}

TEST_F(SwitchTest, InvalidSwitchesWriteTheirLine) {
  const char* kInvalid[] = {
      "-",
      "-X",
      "-x",
      "-C",
      "-Cx",
      "-C+",
      "-S",
      "-Sx",
      "-S.1",
      "-T",
      "-T9",
      "-T10",
      "-T09",
      "-Tx",
      "-T-1",
      "-Z",
      "-#",
      "--",
      "-\x83"
      "A",  // a two-byte character after the dash
  };
  for (const char* arg : kInvalid) {
    SCOPED_TRACE(arg);
    messages_.clear();
    NewlineKind newline_kind = kNewlineNone;
    int tab_width = 0;
    EXPECT_EQ(ParseSwitch(arg, &newline_kind, &tab_width), kRunBadSwitch);
    EXPECT_EQ(messages_, BadSwitchLine(arg));
    EXPECT_EQ(newline_kind, 0);
    EXPECT_EQ(tab_width, 0);
  }
}

TEST_F(SwitchTest, HelpWritesUsage) {
  std::string usage;
  CaptureMessages(&usage);
  PrintUsage();
  CaptureMessages(&messages_);
  ASSERT_NE(usage.find("[Usage] VU32 -[Cx|J|K|Tn|U[+]|L|P|D]"),
            std::string::npos);
  ASSERT_NE(usage.find("\tex. SORT < OLD.TXT | VU32 -U > NEW.TXT\n"),
            std::string::npos);
  for (const char* arg : {"-?", "-H", "-h", "-help", "-?x"}) {
    SCOPED_TRACE(arg);
    messages_.clear();
    NewlineKind newline_kind = kNewlineNone;
    int tab_width = 0;
    EXPECT_EQ(ParseSwitch(arg, &newline_kind, &tab_width), kRunHelp);
    EXPECT_EQ(messages_, usage);
  }
}

}  // namespace
}  // namespace vu32
