// Split at matching lines (-S...L -#PATTERN / --#PATTERN) through the real
// binary: which lines open pieces, which are dropped, and that the matcher
// sees each line whole, line end included.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

bool Win32Target() {
  const char* target = std::getenv("VU32_E2E_TARGET");
  return target != nullptr && std::strcmp(target, "win32") == 0;
}

// Splits IN.TXT holding `input` in a fresh directory; returns the run and
// the pieces' contents in order.
struct SplitRun {
  RunResult result;
  std::vector<std::string> pieces;
};

SplitRun SplitLines(const std::string& input,
                    const std::vector<std::string>& switches) {
  ScopedTempDir dir;
  WriteFile(dir.File("IN.TXT"), input);
  std::vector<std::string> args = switches;
  args.push_back("IN.TXT");
  RunOptions options;
  // FILE is read from the command line only when standard input is not
  // redirected.
  options.stdin_kind = Win32Target() ? StdinKind::kDevNull : StdinKind::kClosed;
  options.cwd = dir.path();
  SplitRun run;
  run.result = RunVu32(args, options);
  for (int i = 0; i < 100; ++i) {
    std::string name =
        dir.File((i < 10 ? "IN._0" : "IN._") + std::to_string(i));
    if (!FileExists(name)) break;
    run.pieces.push_back(ReadFile(name));
  }
  return run;
}

std::string Progress(size_t input_size, int pieces) {
  std::string out = "allocated buf size =16384 . ok\nSplitting 'IN.TXT'(" +
                    std::to_string(input_size) + " byte)\n";
  for (int i = 0; i < pieces; ++i) out += "IN._0" + std::to_string(i) + "\n";
  return out;
}

std::vector<std::string> HexAll(const std::vector<std::string>& pieces) {
  std::vector<std::string> out;
  for (const std::string& p : pieces) out.push_back(Hex(p));
  return out;
}

TEST(SplitPatternE2eTest, ChaptersAsDocumented) {
  const std::string chapters = "CH1\nx\nCH2\ny\nCH3\n";
  struct Row {
    std::vector<std::string> switches;
    std::vector<std::string> pieces;
  } rows[] = {
      {{"-S1L", "-#^CH"}, {"CH1\nx\n", "CH2\ny\n", "CH3\n"}},
      // The matching line that opens a piece is not written; ._02 stays
      // empty.
      {{"-S1L", "--#^CH"}, {"CH1\nx\n", "y\n", ""}},
      // Every second matching line opens a piece.
      {{"-S2L", "-#^CH"}, {"CH1\nx\nCH2\ny\n", "CH3\n"}},
      // Matching lines that open no piece are written even with --#.
      {{"-S2L", "--#^CH"}, {"CH1\nx\nCH2\ny\n", ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.switches[0] + " " + row.switches[1]);
    SplitRun run = SplitLines(chapters, row.switches);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(WithoutBanner(run.result.err),
              Progress(chapters.size(), static_cast<int>(row.pieces.size())));
    EXPECT_EQ(run.pieces, row.pieces);
  }
}

TEST(SplitPatternE2eTest, TheFirstLineNeverOpensAPiece) {
  struct Row {
    std::string input;
    std::vector<std::string> pieces;
  } rows[] = {
      // The first line matches: no empty piece in front of it.
      {"CH0\nCH1\nx\n", {"CH0\n", "CH1\nx\n"}},
      {"CH0\nx\n", {"CH0\nx\n"}},
      // Lines before the first match that is not the first line.
      {"a\nb\nCH1\n", {"a\nb\n", "CH1\n"}},
      {"a\nb\n", {"a\nb\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Hex(row.input));
    SplitRun run = SplitLines(row.input, {"-S1L", "-#^CH"});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.pieces, row.pieces);
  }
}

TEST(SplitPatternE2eTest, LineEndsArePartOfTheLine) {
  const std::string crlf = "CH1\r\nx\r\nCH2\r\ny\r\nCH2";
  struct Row {
    std::string pattern;
    std::vector<std::string> pieces;
  } rows[] = {
      // The CR LF must be spelt out to match at the end of a line.
      {"-#2\\R\\N$", {"CH1\r\nx\r\n", "CH2\r\ny\r\nCH2"}},
      {"-#2\\r\\n", {"CH1\r\nx\r\n", "CH2\r\ny\r\nCH2"}},
      // `2$` only matches the last line, which has no line end.
      {"-#2$", {"CH1\r\nx\r\nCH2\r\ny\r\n", "CH2"}},
      // `.` takes CR and LF like any other character.
      {"-#^...\\r.$", {"CH1\r\nx\r\n", "CH2\r\ny\r\nCH2"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    SplitRun run = SplitLines(crlf, {"-S1L", row.pattern});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(HexAll(run.pieces), HexAll(row.pieces));
  }
}

TEST(SplitPatternE2eTest, LongLinesAreMatchedWhole) {
  // A line longer than the work buffer is one line to the matcher: ^CH does
  // not match its middle, however the line is read.
  const std::string filler(16383, 'x');
  const std::string long_line = filler + "CH in the middle\n";
  // 第.章 far into a line, written in Shift-JIS.
  const std::string chapter =
      std::string(30000, '-') + "\x91\xE6\x88\xEA\x8F\xCD\n";  // 第一章
  const std::string input = "head\n" + long_line + chapter + "tail\n";

  SplitRun anchored = SplitLines(input, {"-S1L", "-#^CH"});
  EXPECT_EQ(anchored.result.status, 0);
  ASSERT_EQ(anchored.pieces.size(), 1u);
  EXPECT_EQ(anchored.pieces[0].size(), input.size());

  SplitRun unanchored =
      SplitLines(input, {"-S1L", "-#\x91\xE6.\x8F\xCD"});  // 第.章
  EXPECT_EQ(unanchored.result.status, 0);
  ASSERT_EQ(unanchored.pieces.size(), 2u);
  EXPECT_EQ(unanchored.pieces[0], "head\n" + long_line);
  EXPECT_EQ(unanchored.pieces[1], chapter + "tail\n");
}

TEST(SplitPatternE2eTest, PatternCharactersAreWholeShiftJisCharacters) {
  // The bytes 91 E6 (第) stand here across a character boundary: 82 91 is
  // one character and E6 82 the next, so 第.章 must not match.
  const std::string shifted = "a\n\x82\x91\xE6\x82\xA0\x8F\xCD\nb\n";
  SplitRun run = SplitLines(shifted, {"-S1L", "-#\x91\xE6.\x8F\xCD"});
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(HexAll(run.pieces), HexAll({shifted}));

  // A trail byte 5C (表 = 95 5C) is no backslash.
  const std::string table = "a\n\x95\x5C\nb\\\n";
  run = SplitLines(table, {"-S1L", "-#\\\\"});
  EXPECT_EQ(HexAll(run.pieces), HexAll({"a\n\x95\x5C\n", "b\\\n"}));
}

// Runs with the address space limited to 128 MiB, so that a search that
// would need gigabytes runs out of memory within a fraction of a second.
SplitRun SplitLinesInSmallMemory(const std::string& input,
                                 const std::vector<std::string>& switches) {
  struct rlimit old_limit;
  getrlimit(RLIMIT_AS, &old_limit);
  struct rlimit limit = old_limit;
  limit.rlim_cur = rlim_t{128} << 20;
  setrlimit(RLIMIT_AS, &limit);
  SplitRun run = SplitLines(input, switches);
  setrlimit(RLIMIT_AS, &old_limit);
  return run;
}

TEST(SplitPatternE2eTest, LineTheMatcherCannotDecideEndsTheRun) {
  if (Win32Target()) GTEST_SKIP() << "no address-space limit under Wine";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  // After the a's of line 3, each of the 10,000 nested stars makes empty
  // passes inside all the outer ones: a stack of about 50 million entries,
  // which the limit refuses. The run stops there with the line's number;
  // the pieces before it stay.
  const std::string input = "one\nCH2\naa\nCH4\n";
  const std::string pattern = "-#CH|a" + std::string(10000, '*') + "b";
  SplitRun run = SplitLinesInSmallMemory(input, {"-S1L", pattern});
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(Hex(WithoutBanner(run.result.err)),
            Hex(Progress(input.size(), 2) + std::string(kPatternGaveUp.sjis) +
                "IN.TXT:3\n"));
  EXPECT_EQ(run.pieces, (std::vector<std::string>{"one\n", "CH2\n"}));
}

}  // namespace
}  // namespace vu32::testing
