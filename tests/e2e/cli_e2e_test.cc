// The command line through the real binary: switches, usage, streams,
// messages and exit statuses.
#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

TEST(CliE2eTest, PlainCopyFromPipe) {
  RunOptions opt;
  opt.stdin_data = Bytes({0x41, 0x0D, 0x0A, 0x95, 0x5C, 0x0A, 0x1A, 0x00});
  RunResult r = RunVu32({}, opt);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Hex(r.out), Hex(opt.stdin_data));
  EXPECT_EQ(r.err, BannerLine());
}

TEST(CliE2eTest, BadSwitch) {
  RunResult r = RunVu32({"-X"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kBadSwitch, "-X") + Line(kUsageHint));
}

TEST(CliE2eTest, CrLfSampleToLf) {
  RunOptions opt;
  opt.stdin_data = "a\r\nb\r\n";
  RunResult r = RunVu32({"-Cu"}, opt);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a\nb\n");
}

TEST(CliE2eTest, WriteFailureOnDevFull) {
  RunOptions opt;
  opt.stdin_data = "abc\n";
  opt.stdout_kind = StdoutKind::kDevFull;
  RunResult r = RunVu32({"-L"}, opt);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kWriteFailed, "stdout"));
}

}  // namespace
}  // namespace vu32::testing
