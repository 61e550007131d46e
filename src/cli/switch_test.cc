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

// Not a line end: what ParseSwitch must leave alone unless it sets one.
constexpr NewlineKind kUntouched = static_cast<NewlineKind>(99);

TEST_F(SwitchTest, Table) {
  struct Row {
    const char* arg;
    int mode;
    NewlineKind newline_kind;  // expected; kUntouched means left alone
    int tab_width;             // expected; -9 means left alone
  };
  const Row kRows[] = {
      {"IN.TXT", kRunNoSwitch, kUntouched, -9},
      {"", kRunNoSwitch, kUntouched, -9},
      // "/" begins an absolute path here, never a switch.
      {"/Cd", kRunNoSwitch, kUntouched, -9},
      {"/?", kRunNoSwitch, kUntouched, -9},
      {"/tmp/in.txt", kRunNoSwitch, kUntouched, -9},
      {"-Cd", kRunCrconv, NewlineKind::kCrLf, -9},
      {"-Cu", kRunCrconv, NewlineKind::kLf, -9},
      {"-Cm", kRunCrconv, NewlineKind::kCr, -9},
      {"-cD", kRunCrconv, NewlineKind::kCrLf, -9},
      {"-CD", kRunCrconv, NewlineKind::kCrLf, -9},
      {"-cU", kRunCrconv, NewlineKind::kLf, -9},
      {"-CM", kRunCrconv, NewlineKind::kCr, -9},
      {"-Cdos", kRunCrconv, NewlineKind::kCrLf, -9},
      {"-D", kRunDeleteControl, kUntouched, -9},
      {"-d", kRunDeleteControl, kUntouched, -9},
      {"-J", kRunJoin, kUntouched, -9},
      {"-K", kRunKana, kUntouched, -9},
      {"-L", kRunLower, kUntouched, -9},
      {"-l", kRunLower, kUntouched, -9},
      {"-Lxyz", kRunLower, kUntouched, -9},
      {"-M", kRunMerge, kUntouched, -9},
      {"-m", kRunMerge, kUntouched, -9},
      {"-P", kRunUpper, kUntouched, -9},
      {"-S0", kRunSplit, kUntouched, -9},
      {"-S100.3L", kRunSplit, kUntouched, -9},
      {"-s9", kRunSplit, kUntouched, -9},
      {"-T0", kRunTabs, kUntouched, 0},
      {"-T1", kRunTabs, kUntouched, 1},
      {"-T4", kRunTabs, kUntouched, 4},
      {"-T8", kRunTabs, kUntouched, 8},
      {"-t8", kRunTabs, kUntouched, 8},
      {"-T08", kRunTabs, kUntouched, 8},
      {"-T008", kRunTabs, kUntouched, 8},
      {"-T4abc", kRunTabs, kUntouched, 4},
      {"-U", kRunUniq, kUntouched, -9},
      {"-Uz", kRunUniq, kUntouched, -9},
      {"-U+", kRunUniqIgnoreCase, kUntouched, -9},
      {"-u+", kRunUniqIgnoreCase, kUntouched, -9},
      {"-U+x", kRunUniqIgnoreCase, kUntouched, -9},
  };
  for (const Row& row : kRows) {
    // On Win32 "/" introduces switches (win32_e2e_test.cc).
    if (platform::kWin32Spellings && row.arg[0] == '/') continue;
    SCOPED_TRACE(row.arg);
    messages_.clear();
    NewlineKind newline_kind = kUntouched;
    int tab_width = -9;
    EXPECT_EQ(ParseSwitch(row.arg, &newline_kind, &tab_width), row.mode);
    EXPECT_EQ(newline_kind, row.newline_kind);
    EXPECT_EQ(tab_width, row.tab_width);
    EXPECT_EQ(messages_, "");
  }
}

// The caller answers a bad switch; the parser only says it is one.
TEST_F(SwitchTest, InvalidSwitches) {
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
    NewlineKind newline_kind = kUntouched;
    int tab_width = 0;
    EXPECT_EQ(ParseSwitch(arg, &newline_kind, &tab_width), kRunBadSwitch);
    EXPECT_EQ(messages_, "");
    EXPECT_EQ(newline_kind, kUntouched);
    EXPECT_EQ(tab_width, 0);
  }
}

TEST_F(SwitchTest, HelpAndUsage) {
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
    NewlineKind newline_kind = kUntouched;
    int tab_width = 0;
    EXPECT_EQ(ParseSwitch(arg, &newline_kind, &tab_width), kRunHelp);
    EXPECT_EQ(messages_, "");
  }
}

}  // namespace
}  // namespace vu32
