#include "merge/merge_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32 {
namespace {

using testing::Hex;

// The output option and the errors of the argument scan, with sources that
// do not exist (their reports are part of the expected messages).
TEST(BuildMergePlanTest, OutputOption) {
  const std::string missing = "no-such-merge-source";
  const std::string cannot_open =
      std::string(kCannotOpen.sjis) + missing + "\n";
  const std::string no_output = std::string(kNoOutputName.sjis) + "\n";
  struct Row {
    std::vector<std::string> args;
    bool ok;
    std::string output;
    bool append;
    std::string messages;
  };
  const Row rows[] = {
      {{"-o", "out"}, true, "out", false, ""},
      {{"-oout"}, true, "out", false, ""},
      {{"-Oout"}, true, "out", false, ""},
      {{"-o+out"}, true, "out", true, ""},
      {{"-o+", "out"}, true, "out", true, ""},
      {{"-o+", "a", "-ob"}, true, "b", true, ""},  // "+" sticks
      {{"-oa", "-o", "b"}, true, "b", false, ""},  // the later name wins
      {{"-o", "@x"}, true, "@x", false, ""},       // consumed, not a list
      {{"-o", "-o"}, true, "-o", false, ""},
      {{"-oa", "-o"}, true, "a", false, ""},  // keeps the earlier name
      {{"-oxyz*"}, true, "", false, ""},      // a wildcard, not an option
      {{"-o"}, false, "", false, no_output},
      {{"-o+"}, false, "", true, no_output},
      {{"-o", ""}, false, "", false, no_output},
      {{missing, "-o"}, false, "", false, cannot_open + no_output},
      {{"-o", "-o", missing}, true, "-o", false, cannot_open},
      // "/o" begins an absolute path here.
      {{"/o" + missing},
       true,
       "",
       false,
       std::string(kCannotOpen.sjis) + "/o" + missing + "\n"},
  };
  for (const Row& row : rows) {
    // On Win32 "/o" is the output option (win32_e2e_test.cc).
    if (platform::kWin32Spellings && row.args[0].rfind("/o", 0) == 0) continue;
    std::string trace;
    for (const std::string& a : row.args) trace += "[" + a + "] ";
    SCOPED_TRACE(trace);
    MergePlan plan;
    std::string messages;
    CaptureMessages(&messages);
    const bool ok = BuildMergePlan(ClassifyMergeArguments(row.args), &plan);
    CaptureMessages(nullptr);
    EXPECT_EQ(ok, row.ok);
    EXPECT_EQ(Hex(messages), Hex(row.messages));
    if (!ok) continue;
    EXPECT_EQ(plan.output_name, row.output);
    EXPECT_EQ(plan.append, row.append);
    EXPECT_EQ(plan.plain_count, 0);
    EXPECT_EQ(plan.total_bytes, 0u);
    // No position counts as a source, the consumed names included.
    for (const MergeSource& source : plan.sources) {
      if (source.kind != SourceKind::kWildcard) {
        EXPECT_EQ(source.kind, SourceKind::kNone);
      }
    }
  }
}

}  // namespace
}  // namespace vu32
