#include "filters/uniq.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>

#include "test_util.h"

namespace vu32 {
namespace {

using testing::Hex;
using testing::RunCut;
using testing::RunWhole;

enum Mode { kExact, kFold, kBoth };

struct Row {
  const char* what;
  Mode mode;
  std::string input;
  std::string expected;
};

std::string S(const char* bytes, size_t n) { return std::string(bytes, n); }

std::unique_ptr<ByteFilter> MakeUniqFor(bool ignore_case) {
  return MakeUniq(ignore_case ? UniqMode::kIgnoreCase : UniqMode::kExact);
}

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"empty", kBoth, "", ""},
      {"adjacent duplicates only", kBoth, "a\na\nb\na\n", "a\nb\na\n"},
      {"long run", kBoth, "x\nx\nx\nx\ny\ny\n", "x\ny\n"},
      {"blank lines", kBoth, "\n\n\nz\n\n", "\nz\n\n"},
      {"case differs, exact", kExact, "ABC\nabc\n", "ABC\nabc\n"},
      {"case differs, folded: first of the run keeps its case", kFold,
       "aBc\nABC\nabc\nd\n", "aBc\nd\n"},
      {"only a..z fold: [ and { differ", kFold, "[\n{\n", "[\n{\n"},
      {"only a..z fold: @ and ` differ", kFold, "@\n`\n", "@\n`\n"},
      // Only one-byte letters fold; a second byte is compared exactly.
      {"second bytes never fold: ア 83 41 and ヂ 83 61", kFold,
       "\x83\x41\n\x83\x61\n", "\x83\x41\n\x83\x61\n"},
      {"コーヒー セット, コーヒー ホット (セ 83 5A, ホ 83 7A)", kFold,
       "\x83R\x81[\x83q\x81[ \x83Z\x83"
       "b\x83g\n"
       "\x83R\x81[\x83q\x81[ \x83z\x83"
       "b\x83g\n",
       "\x83R\x81[\x83q\x81[ \x83Z\x83"
       "b\x83g\n"
       "\x83R\x81[\x83q\x81[ \x83z\x83"
       "b\x83g\n"},
      {"letters after two-byte characters still fold", kFold,
       "\x88\x9F"
       "a\x81\x81"
       "B\n\x88\x9F"
       "A\x81\x81"
       "b\n",
       "\x88\x9F"
       "a\x81\x81"
       "B\n"},
      {"a lead byte before a letter takes it as its second byte", kFold,
       "\x82"
       "a\n\x82"
       "A\n",
       "\x82"
       "a\n\x82"
       "A\n"},
      {"exact keeps 83 41 and 83 61", kExact, "\x83\x41\n\x83\x61\n",
       "\x83\x41\n\x83\x61\n"},
      {"high bytes do not fold", kFold, "\xC1\n\xE1\n", "\xC1\n\xE1\n"},
      {"last line without LF differs", kBoth, "x\nx", "x\nx"},
      {"last line without LF after its twin", kBoth, "x\nx\nx", "x\nx"},
      {"input without any LF", kBoth, "abc", "abc"},
      {"CR LF differs from LF", kBoth, "a\r\na\n", "a\r\na\n"},
      {"CR LF duplicates", kBoth, "a\r\na\r\nb\r\n", "a\r\nb\r\n"},
      {"CR alone is no line end", kBoth, "a\ra\n", "a\ra\n"},
      {"line that is a prefix of the next", kBoth, "ab\nabc\nabc\nab\n",
       "ab\nabc\nab\n"},
      // NULs are ordinary bytes: compared and written.
      {"NUL inside lines", kBoth, S("a\0b\na\0c\n", 8), S("a\0b\na\0c\n", 8)},
      {"NUL-led duplicates", kBoth, S("\0x\n\0x\ny\n", 8), S("\0x\ny\n", 5)},
      {"NUL line after empty start", kBoth, S("\0\n\n", 3), S("\0\n\n", 3)},
  };
  return rows;
}

void RunRows(bool ignore_case) {
  for (const Row& row : Rows()) {
    if (row.mode == (ignore_case ? kExact : kFold)) continue;
    SCOPED_TRACE(row.what);
    auto uniq = MakeUniqFor(ignore_case);
    ASSERT_NE(uniq, nullptr);
    EXPECT_EQ(Hex(RunWhole(*uniq, row.input)), Hex(row.expected));
  }
}

TEST(UniqTest, RowsExact) { RunRows(false); }
TEST(UniqTest, RowsFolded) { RunRows(true); }

TEST(UniqTest, EveryCutOfEveryRow) {
  for (bool ignore_case : {false, true}) {
    for (const Row& row : Rows()) {
      if (row.mode == (ignore_case ? kExact : kFold)) continue;
      for (size_t cut = 0; cut <= row.input.size(); ++cut) {
        SCOPED_TRACE(std::string(row.what) + " cut at " + std::to_string(cut));
        auto uniq = MakeUniqFor(ignore_case);
        EXPECT_EQ(Hex(RunCut(*uniq, row.input, {cut})), Hex(row.expected));
      }
    }
  }
}

// Lines longer than any block: written whole, duplicates dropped whole.
TEST(UniqTest, LongLines) {
  const std::string a(8190, 'a');
  const std::string b = a + "b";
  const std::string input = a + "\n" + a + "\n" + b + "\n" + b + "\n" + a;
  const std::string expected = a + "\n" + b + "\n" + a;
  for (bool ignore_case : {false, true}) {
    auto whole = MakeUniqFor(ignore_case);
    EXPECT_TRUE(RunWhole(*whole, input) == expected);
    // Cuts inside the lines, at their LFs and in the last line.
    std::vector<size_t> cuts = {1,     4095,  4096,  8190, 8191,
                                10000, 16382, 16383, 30000};
    auto cut = MakeUniqFor(ignore_case);
    EXPECT_TRUE(RunCut(*cut, input, cuts) == expected);
  }
}

// Text made of a few short lines, so that runs of duplicates are common.
std::string RandomLines(std::mt19937& rng, size_t lines) {
  static const char* const kLines[] = {
      "a\n",  "A\n",        "a\r\n",      "\n",   "ab\n",
      "aB\n", "\x83\x41\n", "\x83\x61\n", "\0\n", "a"};
  std::uniform_int_distribution<size_t> pick(0, std::size(kLines) - 1);
  std::uniform_int_distribution<int> repeat(1, 3);
  std::string out;
  while (lines-- > 0) {
    size_t k = pick(rng);
    std::string line = k == 8 ? std::string("\0\n", 2) : kLines[k];
    for (int r = repeat(rng); r > 0; --r) out += line;
  }
  return out;
}

TEST(UniqTest, RandomCutsGiveTheSameOutput) {
  std::mt19937 rng(3);
  for (int round = 0; round < 300; ++round) {
    const bool ignore_case = round % 2 == 1;
    std::uniform_int_distribution<size_t> lines(0, 40);
    const std::string input = round % 3 == 0
                                  ? testing::RandomSjisLike(rng, lines(rng) * 4)
                                  : RandomLines(rng, lines(rng));
    const std::vector<size_t> cuts = testing::RandomCuts(rng, input.size());
    auto whole = MakeUniqFor(ignore_case);
    auto cut = MakeUniqFor(ignore_case);
    const std::string expected = RunWhole(*whole, input);
    SCOPED_TRACE(Hex(input));
    EXPECT_EQ(Hex(RunCut(*cut, input, cuts)), Hex(expected));
  }
}

TEST(UniqTest, OneByteBlocks) {
  std::mt19937 rng(5);
  const std::string input = RandomLines(rng, 200);
  for (bool ignore_case : {false, true}) {
    auto whole = MakeUniqFor(ignore_case);
    const std::string expected = RunWhole(*whole, input);
    std::vector<size_t> cuts;
    for (size_t i = 1; i < input.size(); ++i) cuts.push_back(i);
    auto uniq = MakeUniqFor(ignore_case);
    EXPECT_EQ(Hex(RunCut(*uniq, input, cuts)), Hex(expected));
  }
}

}  // namespace
}  // namespace vu32
