#include "check/report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/messages.h"
#include "test_util.h"

namespace vu32::check {
namespace {

// A CSV with a broken character, an unassigned code and an LF among CR LF.
const char kCsv[] = "id,name\r\n1,\x82\xA0\x81 \r\n2,\x85\x40\r\n3,x\n";

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessagesUtf8(true);
    CaptureMessages(&errors_);
    testing::WriteFile(dir_.File("a.csv"), kCsv);
    testing::WriteFile(dir_.File("clean.txt"), "\x82\xA0\r\n");
  }
  void TearDown() override {
    CaptureMessages(nullptr);
    SetMessagesUtf8(false);
    SetQuiet(false);
  }
  Input File(const std::string& name) { return {dir_.File(name), -1}; }
  int Check(CheckRequest request) {
    ByteWriter out(&output_);
    const int status = RunCheck(request, out);
    out.Flush();
    return status;
  }

  testing::ScopedTempDir dir_;
  std::string output_;
  std::string errors_;
};

TEST_F(ReportTest, LinesSummaryAndVerdict) {
  const Input a = File("a.csv");
  EXPECT_EQ(Check({{a}}), 1);
  const std::string& n = a.name;
  EXPECT_EQ(output_,
            n + ":2:4: bad-trail: byte 13: 2C 82 A0 [81 20] 0D 0A 32\n" + n +
                ":3:3: unassigned: byte 19: 0A 32 2C [85 40] 0D 0A 33\n" + n +
                ":4:4: mixed-line-ends: first LF line end (1 LF, 3 CR LF)\n");
  EXPECT_EQ(errors_, n +
                         ": 2 faults (1 bad-trail, 1 unassigned); 1 note (1 "
                         "mixed-line-ends)\n" +
                         n + ": CP932 with 2 faults\n");
}

TEST_F(ReportTest, MaxErrorsListsFewerFaultsAndKeepsTheCounts) {
  const Input a = File("a.csv");
  CheckRequest request{{a}};
  request.max_errors = 1;
  EXPECT_EQ(Check(request), 1);
  EXPECT_EQ(output_.find("unassigned"), std::string::npos);
  EXPECT_NE(output_.find("bad-trail"), std::string::npos);
  EXPECT_NE(output_.find("mixed-line-ends"), std::string::npos);  // a note
  EXPECT_NE(errors_.find("2 faults (1 bad-trail, 1 unassigned), 1 listed"),
            std::string::npos);
  output_.clear();
  request.max_errors = 0;
  EXPECT_EQ(Check(request), 1);
  EXPECT_EQ(output_.find("byte"), std::string::npos);
}

TEST_F(ReportTest, StatusesAndAnUnreadableFileAmongOthers) {
  EXPECT_EQ(Check({{File("clean.txt")}}), 0);
  errors_.clear();
  // The missing file is reported, the one after it still checked.
  EXPECT_EQ(Check({{File("missing"), File("a.csv")}}), 2);
  EXPECT_NE(errors_.find(std::string(kCannotOpen.text) + File("missing").name),
            std::string::npos);
  EXPECT_NE(errors_.find("a.csv: CP932 with 2 faults"), std::string::npos);
  // A file judged UTF-8 fails even without a CP932 fault.
  testing::WriteFile(dir_.File("u8.txt"), "\xE6\x97\xA5\xE6\x9C\xAC\n");
  EXPECT_EQ(Check({{File("u8.txt")}}), 1);
  EXPECT_NE(errors_.find("u8.txt: UTF-8"), std::string::npos);
}

TEST_F(ReportTest, QuietDropsTheSummaryOnly) {
  SetQuiet(true);
  EXPECT_EQ(Check({{File("a.csv")}}), 1);
  EXPECT_EQ(errors_, File("a.csv").name + ": CP932 with 2 faults\n");
  EXPECT_NE(output_.find("bad-trail"), std::string::npos);
}

TEST_F(ReportTest, InfoTable) {
  InfoRequest request{{File("a.csv"), File("clean.txt")}};
  ByteWriter out(&output_);
  EXPECT_EQ(RunInfo(request, out), 0);
  out.Flush();
  EXPECT_EQ(output_,
            "     CR LF        LF        CR  CR CR LF  final  changed by   "
            "verdict                 file\n"
            "         3         1         0         0  yes    -Cd -Cu -Cm  "
            "CP932 with 2 faults     " +
                File("a.csv").name +
                "\n"
                "         1         0         0         0  yes    -Cu -Cm      "
                "CP932                   " +
                File("clean.txt").name + "\n");
}

TEST(JsonStringTest, KeepsUtf8AndEscapesTheRest) {
  const struct {
    std::string text;
    const char* json;
    bool exact;
  } cases[] = {
      {"plain", "\"plain\"", true},
      {"a\"b\\c\t", "\"a\\\"b\\\\c\\u0009\"", true},
      {"\xE3\x81\x82.txt", "\"\xE3\x81\x82.txt\"", true},
      {"\x95\x5C.txt", "\"\\u0095\\\\.txt\"", false},        // Shift-JIS 表
      {"\xE3\x81", "\"\\u00E3\\u0081\"", false},             // cut
      {"\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\"", false},  // a surrogate
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(AppendJsonString(&out, c.text), c.exact);
    EXPECT_EQ(out, c.json);
  }
}

TEST(MaxErrorsTest, Parse) {
  uint64_t n = 7;
  EXPECT_TRUE(ParseMaxErrors("0", &n));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(ParseMaxErrors("1000", &n));
  EXPECT_EQ(n, 1000u);
  for (const char* bad : {"", "-1", "1x", "+2", "99999999999999999999"}) {
    EXPECT_FALSE(ParseMaxErrors(bad, &n)) << bad;
  }
}

}  // namespace
}  // namespace vu32::check
