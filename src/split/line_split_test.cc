#include "split/line_split.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "pattern/match.h"
#include "split_test_util.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

// Read block sizes that put block ends everywhere, and the real one.
constexpr size_t kBlockSizes[] = {1, 2, 3, 5, kStreamBlockSize};

// The pieces a cut every n lines should give, worked out the slow and simple
// way: a piece takes n complete lines, and only a complete line opens the
// next piece.
std::vector<std::string> EveryNLines(const std::string& input, uint64_t n) {
  std::vector<std::string> pieces(1);
  uint64_t lines = 0;
  size_t start = 0;
  while (start < input.size()) {
    size_t lf = input.find('\n', start);
    size_t end = lf == std::string::npos ? input.size() : lf + 1;
    if (lf != std::string::npos) {
      if (lines == n) {
        pieces.emplace_back();
        lines = 0;
      }
      ++lines;
    }
    pieces.back() += input.substr(start, end - start);
    start = end;
  }
  return pieces;
}

std::string HexPieces(const std::vector<std::string>& pieces) {
  std::string text;
  for (const std::string& p : pieces) text += "[" + Hex(p) + "] ";
  return text;
}

MatchOutcome StartsWithCh(const std::string& line) {
  return line.rfind("CH", 0) == 0 ? MatchOutcome::kMatch
                                  : MatchOutcome::kNoMatch;
}

TEST(SplitByLinesTest, EveryNLines) {
  const std::string long_line = std::string(20000, 'x') + "\n";
  const std::string longer_line = std::string(70000, 'y') + "\n";
  struct Row {
    const char* name;
    std::string input;
    uint64_t n;
    std::vector<std::string> pieces;
  } rows[] = {
      {"two per piece", "a\nb\nc\nd\ne\n", 2, {"a\nb\n", "c\nd\n", "e\n"}},
      {"last line without LF stays", "a\nb\nc", 2, {"a\nb\nc"}},
      {"stays even in a full piece", "a\nb\nc", 1, {"a\n", "b\nc"}},
      {"no empty last piece", "a\nb\n", 2, {"a\nb\n"}},
      {"CR is an ordinary byte", "\r\n\n\r\r\n", 1, {"\r\n", "\n", "\r\r\n"}},
      {"NUL bytes written whole",
       std::string("x\0y\nz\n", 6),
       1,
       {std::string("x\0y\n", 4), "z\n"}},
      {"long lines whole",
       long_line + "b\n" + longer_line,
       1,
       {long_line, "b\n", longer_line}},
      {"long last line without LF",
       "a\n" + std::string(70000, 'z'),
       1,
       {"a\n" + std::string(70000, 'z')}},
      {"one line", "only\n", 3, {"only\n"}},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(EveryNLines(row.input, row.n), row.pieces) << row.name;
    for (size_t block : kBlockSizes) {
      SCOPED_TRACE(::testing::Message() << row.name << ", block " << block);
      SplitDir dir(row.input);
      dir.context().line_block_size = block;
      ASSERT_TRUE(SplitByLines(dir.context(), row.n, nullptr));
      EXPECT_EQ(HexPieces(dir.Pieces()), HexPieces(row.pieces));
      EXPECT_EQ(dir.messages(), dir.Announced(row.pieces.size()));
    }
  }
}

TEST(SplitByLinesTest, EveryNLinesAgreesWithTheSlowWayOnRandomData) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> pick_n(1, 4);
  std::uniform_int_distribution<size_t> pick_size(1, 400);
  std::uniform_int_distribution<size_t> pick_block(0,
                                                   std::size(kBlockSizes) - 1);
  for (int round = 0; round < 200; ++round) {
    std::string input = RandomSjisLike(rng, pick_size(rng));
    uint64_t n = static_cast<uint64_t>(pick_n(rng));
    size_t block = kBlockSizes[pick_block(rng)];
    SCOPED_TRACE(::testing::Message() << "n " << n << ", block " << block
                                      << ", input " << Hex(input));
    std::vector<std::string> expected = EveryNLines(input, n);
    if (expected.size() > 100) continue;
    SplitDir dir(input);
    dir.context().line_block_size = block;
    ASSERT_TRUE(SplitByLines(dir.context(), n, nullptr));
    ASSERT_EQ(HexPieces(dir.Pieces()), HexPieces(expected));
  }
}

TEST(SplitAtMatchingLinesTest, UnitsAndDroppedLines) {
  const std::string chapters = "CH1\nx\nCH2\ny\nCH3\n";
  struct Row {
    const char* name;
    std::string input;
    uint64_t n;
    bool keep;
    std::vector<std::string> pieces;
  } rows[] = {
      {"every match", chapters, 1, true, {"CH1\nx\n", "CH2\ny\n", "CH3\n"}},
      {"every match dropped", chapters, 1, false, {"CH1\nx\n", "y\n", ""}},
      {"every second match", chapters, 2, true, {"CH1\nx\nCH2\ny\n", "CH3\n"}},
      {"first line is never tested",
       "CH1\nCH2\nz\n",
       1,
       true,
       {"CH1\n", "CH2\nz\n"}},
      {"first line opens nothing", "a\nCH1\n", 1, true, {"a\n", "CH1\n"}},
      {"only opening matches dropped",
       "CH1\nCH2\nCH3\nCH4\n",
       2,
       false,
       {"CH1\nCH2\n", "CH4\n"}},
      {"no match", "a\nb", 1, true, {"a\nb"}},
  };
  for (const Row& row : rows) {
    for (size_t block : kBlockSizes) {
      SCOPED_TRACE(::testing::Message() << row.name << ", block " << block);
      SplitDir dir(row.input);
      dir.context().line_block_size = block;
      dir.context().keep_match_line = row.keep;
      ASSERT_TRUE(SplitAtMatchingLines(dir.context(), row.n, StartsWithCh));
      EXPECT_EQ(HexPieces(dir.Pieces()), HexPieces(row.pieces));
    }
  }
}

TEST(SplitAtMatchingLinesTest, MatcherSeesWholeLinesWithTheirEnds) {
  const std::string input = "first\r\n" + std::string("b\0c\r\n", 5) +
                            std::string(20000, 'w') + "\nlast";
  SplitDir dir(input);
  dir.context().line_block_size = 7;
  std::vector<std::string> seen;
  auto record = [&](const std::string& line) {
    seen.push_back(line);
    return MatchOutcome::kNoMatch;
  };
  ASSERT_TRUE(SplitAtMatchingLines(dir.context(), 1, record));
  std::vector<std::string> expected = {std::string("b\0c\r\n", 5),
                                       std::string(20000, 'w') + "\n", "last"};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(dir.Pieces(), std::vector<std::string>{input});
}

TEST(SplitByLinesTest, PiecesGetThePieceTimes) {
  SplitDir dir("a\nb\n");
  // Nanoseconds are kept on POSIX, 100-ns units on Win32.
  const platform::FileTime write{981173106, 123456700, true};
  dir.context().piece_times.write = write;
  ASSERT_TRUE(SplitByLines(dir.context(), 1, nullptr));
  for (uint32_t i = 0; i < 2; ++i) {
    platform::FileTimes times;
    ASSERT_TRUE(platform::GetFileTimes(dir.PiecePath(i), &times));
    EXPECT_EQ(times.write, write) << i;
  }
}

TEST(SplitByLinesTest, TooManyPiecesEndsTheRun) {
  std::string input;
  for (int i = 1; i <= 101; ++i) input += std::to_string(i) + "\n";
  for (bool with_pattern : {false, true}) {
    SCOPED_TRACE(with_pattern ? "pattern" : "count");
    SplitDir dir(input);
    EXPECT_FALSE(CutLines(dir.context(), with_pattern));
    std::vector<std::string> pieces = dir.Pieces();
    ASSERT_EQ(pieces.size(), 100u);
    EXPECT_EQ(pieces[99], "100\n");
    EXPECT_EQ(dir.messages(),
              dir.Announced(100) + std::string(kPiecesTooSmall.sjis) + "\n");
  }
}

TEST(SplitByLinesTest, UncreatablePieceEndsTheRun) {
  for (bool with_pattern : {false, true}) {
    SCOPED_TRACE(with_pattern ? "pattern" : "count");
    SplitDir dir("a\nb\nc\n");
    ASSERT_TRUE(std::filesystem::create_directory(dir.PiecePath(1)));
    EXPECT_FALSE(CutLines(dir.context(), with_pattern));
    EXPECT_EQ(ReadFile(dir.PiecePath(0)), "a\n");
    EXPECT_FALSE(FileExists(dir.PiecePath(2)));
    EXPECT_EQ(dir.messages(), dir.Announced(1) +
                                  std::string(kCannotCreate.sjis) +
                                  dir.PiecePath(1) + "\n");
  }
}

TEST(SplitAtMatchingLinesTest, UndecidedLineEndsTheRunWithItsNumber) {
  // A matcher that gave up ends the run there: the line is not taken for
  // no match, the pieces so far stay, and the message names the line.
  auto stop_or_ch = [](const std::string& line) {
    return line == "STOP\n" ? MatchOutcome::kGaveUp : StartsWithCh(line);
  };
  // The real matcher, given a stack too small for a thousand nested stars
  // to make their empty passes after a's.
  Matcher small_stack({1000});
  const PatternProgram stars =
      CompilePattern("a" + std::string(1000, '*') + "b");
  auto real = [&](const std::string& line) {
    return small_stack.Match(line.c_str(), stars, nullptr);
  };
  struct Row {
    const char* name;
    std::string input;
    LineMatcher matches;
    const char* literal;  // null: every line is asked about
    std::vector<std::string> pieces;
    std::string where;
  } rows[] = {
      {"after a cut",
       "a\nCH1\nb\nSTOP\nc\n",
       stop_or_ch,
       nullptr,
       {"a\n", "CH1\nb\n"},
       "big.txt:4"},
      {"the real matcher",
       "one\naa\nthree\n",
       real,
       nullptr,
       {"one\n"},
       "big.txt:2"},
      // Lines without the literal are counted, not asked about.
      {"only lines with the literal asked",
       "a\nCH1\nb\nSTOP\nc\n",
       stop_or_ch,
       "ST",
       {"a\nCH1\nb\n"},
       "big.txt:4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SplitDir dir(row.input, "big.txt", "big");
    LiteralPrefix literal;
    if (row.literal) literal.bytes = row.literal;
    EXPECT_FALSE(SplitAtMatchingLines(dir.context(), 1, row.matches, literal));
    EXPECT_EQ(HexPieces(dir.Pieces()), HexPieces(row.pieces));
    EXPECT_EQ(dir.messages(), dir.Announced(row.pieces.size()) +
                                  std::string(kPatternGaveUp.sjis) + row.where +
                                  "\n");
  }
}

// Asking the matcher only about the lines that hold the pattern's literal
// prefix cuts where asking about every line does: patterns anchored or
// not, literals cut by block ends or found more than once in a line, a
// trail byte that looks like the literal (表 is 95 5C), dropped lines.
using LinePrefilterTest = KernelLevelTest;
INSTANTIATE_KERNEL_LEVELS(LinePrefilterTest);

TEST_P(LinePrefilterTest, CutsWhereAskingEveryLineDoes) {
  const std::string patterns[] = {
      "^CH",  "CH",   "^\\.TH LS ", "\\\\", "\x95\\\\", "H.", "^C|x",
      "^CHx", "\xb1", "CH*",        "^",    "",         "^ab"};
  std::mt19937 rng(4);
  std::vector<std::string> inputs = {
      "CH1\nx\nCH2 CH\ny\nCH3\n",
      ".TH LS 1\nls\n.TH LSX\n .TH LS \n.TH LS \n\x95\\ \\\nab",
      "x\x95\\CH\n\\\nCHCHCH\n\xb1\xb1\n" + std::string(200, 'C') + "H\n"};
  for (int k = 0; k < 5; ++k) {
    std::string text;
    for (int line = 0; line < 30; ++line) {
      static const char* const kParts[] = {
          "CH", "C", "H", "x", "\\", "\x95\\", "\xb1", "ab", ".TH LS "};
      for (int part = static_cast<int>(rng() % 4); part > 0; --part) {
        text += kParts[rng() % std::size(kParts)];
      }
      text += "\n";
    }
    inputs.push_back(text.substr(0, text.size() - rng() % 3));
  }
  Matcher matcher;
  for (const std::string& pattern : patterns) {
    const PatternProgram program = CompilePattern(pattern);
    auto ask = [&](const std::string& line) {
      return matcher.Match(line.c_str(), program, nullptr);
    };
    for (const std::string& input : inputs) {
      for (size_t block : {size_t{3}, size_t{1} << 20}) {
        for (bool keep : {true, false}) {
          SCOPED_TRACE(::testing::Message()
                       << "pattern " << Hex(pattern) << ", block " << block
                       << ", keep " << keep << ", input " << Hex(input));
          SplitDir every(input), filtered(input);
          for (SplitDir* dir : {&every, &filtered}) {
            dir->context().line_block_size = block;
            dir->context().keep_match_line = keep;
          }
          ASSERT_TRUE(SplitAtMatchingLines(every.context(), 1, ask));
          ASSERT_TRUE(SplitByLines(filtered.context(), 1, &pattern));
          ASSERT_EQ(HexPieces(filtered.Pieces()), HexPieces(every.Pieces()));
        }
      }
    }
  }
}

}  // namespace
}  // namespace vu32::testing
