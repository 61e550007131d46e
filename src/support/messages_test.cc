#include "support/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace vu32 {
namespace {

TEST(MessagesTest, ReportFormsOneLineAndFollowsTheChoice) {
  std::string captured;
  CaptureMessages(&captured);
  Report(kReadFailed, "stdin");
  Report(kDriveNotReady);
  SetMessagesUtf8(true);
  Report(kReadFailed, "\x95\x5C.txt");  // names are bytes, never converted
  ReportFormat(kSplitting, "a", "1,000");
  SetMessagesUtf8(false);
  CaptureMessages(nullptr);
  EXPECT_EQ(captured, std::string(kReadFailed.sjis) + "stdin\n" +
                          "Drive Not Ready!\n" + std::string(kReadFailed.text) +
                          "\x95\x5C.txt\n" + "Splitting 'a'(1,000 byte)\n");
}

TEST(MessagesTest, QuietLeavesOutProgressOnly) {
  std::string captured;
  CaptureMessages(&captured);
  SetQuiet(true);
  ReportFormat(kBannerFormat, "v", "c");
  ReportFormat(kPieceCreated, "x._00");
  Report(kReadFailed, "stdin");
  SetQuiet(false);
  ReportFormat(kPieceCreated, "x._01");
  CaptureMessages(nullptr);
  EXPECT_EQ(captured, std::string(kReadFailed.sjis) + "stdin\nx._01\n");
}

}  // namespace
}  // namespace vu32
