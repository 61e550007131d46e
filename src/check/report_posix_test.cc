// The JSON documents, read by a real parser (python3's json module), and
// a report that cannot be written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check/report.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::check {
namespace {

// What python3 makes of the documents: "ok" for each one it parses, or
// its error.
std::string Parse(const std::vector<std::string>& docs,
                  const testing::ScopedTempDir& dir) {
  std::string command =
      "python3 -c 'import json,sys\nfor f in sys.argv[1:]: "
      "json.load(open(f)); print(\"ok\")'";
  for (size_t k = 0; k < docs.size(); ++k) {
    const std::string path = dir.File("doc" + std::to_string(k) + ".json");
    testing::WriteFile(path, docs[k]);
    command += " " + path;
  }
  std::string out;
  if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

TEST(ReportJsonTest, ValidForAnyInputAndName) {
  if (std::system("python3 -c pass 2>/dev/null") != 0) {
    GTEST_SKIP() << "no python3";
  }
  testing::ScopedTempDir dir;
  std::string errors;
  CaptureMessages(&errors);
  // Names with a Shift-JIS byte pair, a quote, a backslash, a control byte.
  const std::string odd = dir.File("\x95\\\"\x01.txt");
  testing::WriteFile(odd, std::string("a\0\"\\\x81\n\x85\x40\xFF\r", 10));
  testing::WriteFile(dir.File("bin"), std::string(5000, '\0'));
  testing::WriteFile(dir.File("empty"), "");
  std::vector<std::string> docs;
  for (bool info : {false, true}) {
    for (const std::vector<Input>& inputs : std::vector<std::vector<Input>>{
             {{odd, -1}},
             {{dir.File("bin"), -1}, {dir.File("missing"), -1}},
             {{dir.File("empty"), -1}, {odd, -1}}}) {
      std::string json;
      ByteWriter out(&json);
      if (info) {
        RunInfo({inputs, true}, out);
      } else {
        CheckRequest request{inputs, true};
        request.max_errors = 2;
        RunCheck(request, out);
      }
      out.Flush();
      docs.push_back(json);
    }
  }
  CaptureMessages(nullptr);
  std::string all_ok;
  for (size_t k = 0; k < docs.size(); ++k) all_ok += "ok\n";
  EXPECT_EQ(Parse(docs, dir), all_ok) << docs[0];
}

TEST(ReportJsonTest, AFailedWriteIsTrouble) {
  testing::ScopedTempDir dir;
  testing::WriteFile(dir.File("a"), "\x85\x40\n");  // a line to write
  const int fd = open("/dev/null", O_RDONLY);       // writes fail
  std::string errors;
  CaptureMessages(&errors);
  {
    ByteWriter out(fd);
    EXPECT_EQ(RunCheck({{{dir.File("a"), -1}}}, out), 2);
  }
  CaptureMessages(nullptr);
  close(fd);
  EXPECT_NE(errors.find("stdout"), std::string::npos);
}

}  // namespace
}  // namespace vu32::check
