#include "filters/kana.h"

#include <gtest/gtest.h>

#include <random>

#include "test_util.h"

namespace vu32 {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::RunCut;
using testing::RunWhole;

struct Row {
  const char* what;
  const char* input;     // hex
  const char* expected;  // hex
};

// How kana meet marks, line ends, two-byte characters and the end of input.
// (Every single table entry is checked through the binary in the end-to-end
// test.)
const Row kRows[] = {
    {"empty", "", ""},
    {"ASCII and full-width copied", "41 0D 0A 83 41 82 A0 7E 80 A0 FD FF",
     "41 0D 0A 83 41 82 A0 7E 80 A0 FD FF"},
    {"voiced merge", "B6 DE", "83 4B"},
    {"semi-voiced merge", "CE DF", "83 7C"},
    {"voiced ha-row", "CA DE", "83 6F"},
    {"u takes no voiced mark", "B3 DE", "83 45 81 4A"},
    {"ka takes no semi-voiced mark", "B6 DF", "83 4A 81 4B"},
    {"mark after ASCII", "41 DE", "41 81 4A"},
    {"semi-voiced mark after ASCII", "41 DF", "41 81 4B"},
    {"two marks", "DE DE", "81 4A 81 4A"},
    {"only the first mark merges", "B6 DE DE", "83 4B 81 4A"},
    {"mark does not merge with a mark", "DE DF", "81 4A 81 4B"},
    {"mark merges only with the byte just before", "B6 0A DE",
     "83 4A 0A 81 4A"},
    {"mark after a two-byte character", "83 4A DE", "83 4A 81 4A"},
    {"kana byte as second byte stays", "83 B1", "83 B1"},
    {"mark byte as second byte stays", "B6 83 DE DE", "83 4A 83 DE 81 4A"},
    {"any byte after a lead byte is its partner", "81 0A B6", "81 0A 83 4A"},
    {"kana at the very end", "41 B1", "41 83 41"},
    {"kana before a lead byte", "B6 83 41", "83 4A 83 41"},
    {"lone lead byte at the end is kept", "41 83", "41 83"},
    {"kana then lone lead byte at the end", "CA E0", "83 6E E0"},
    {"long ASCII run around kana",
     "30 31 32 33 34 35 36 37 38 39 B1 30 31 32 33 34 35 36 37 38 CA DF",
     "30 31 32 33 34 35 36 37 38 39 83 41 30 31 32 33 34 35 36 37 38 83 70"},
};

TEST(KanaTest, Rows) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    auto kana = MakeKana();
    ASSERT_NE(kana, nullptr);
    EXPECT_EQ(Hex(RunWhole(*kana, FromHex(row.input))), row.expected);
  }
}

// 0x00..0x80, 0xA0 and 0xFD..0xFF are neither kana nor lead bytes.
TEST(KanaTest, OtherBytesPassUnchanged) {
  std::string input;
  for (int c = 0x00; c <= 0x80; ++c) input.push_back(static_cast<char>(c));
  for (int c : {0xA0, 0xFD, 0xFE, 0xFF}) input.push_back(static_cast<char>(c));
  auto kana = MakeKana();
  EXPECT_EQ(Hex(RunWhole(*kana, input)), Hex(input));
}

// Two pending states meet block edges: a lead byte waiting for its partner
// and a kana waiting for a possible mark. Every single cut of every row must
// give the uncut output.
TEST(KanaTest, EveryCutOfEveryRow) {
  for (const Row& row : kRows) {
    const std::string input = FromHex(row.input);
    for (size_t cut = 0; cut <= input.size(); ++cut) {
      SCOPED_TRACE(std::string(row.what) + " cut at " + std::to_string(cut));
      auto kana = MakeKana();
      EXPECT_EQ(Hex(RunCut(*kana, input, {cut})), row.expected);
    }
  }
}

TEST(KanaTest, OneByteBlocks) {
  std::mt19937 rng(11);
  const std::string input = testing::RandomSjisLike(rng, 600);
  auto whole = MakeKana();
  const std::string expected = RunWhole(*whole, input);
  std::vector<size_t> cuts;
  for (size_t i = 1; i < input.size(); ++i) cuts.push_back(i);
  auto kana = MakeKana();
  EXPECT_EQ(Hex(RunCut(*kana, input, cuts)), Hex(expected));
}

TEST(KanaTest, RandomCutsGiveTheSameOutput) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::uniform_int_distribution<size_t> length(0, 200);
    const std::string input = testing::RandomSjisLike(rng, length(rng));
    const std::vector<size_t> cuts = testing::RandomCuts(rng, input.size());
    auto whole = MakeKana();
    auto cut = MakeKana();
    const std::string expected = RunWhole(*whole, input);
    SCOPED_TRACE(Hex(input));
    EXPECT_EQ(Hex(RunCut(*cut, input, cuts)), Hex(expected));
  }
}

// Inputs larger than the writer's buffer go through several reservations.
TEST(KanaTest, LargeBlockOfKana) {
  std::string input;
  std::string expected;
  for (int i = 0; i < 50000; ++i) {
    input += FromHex("B6 DE A1 41");
    expected += FromHex("83 4B 81 42 41");
  }
  auto kana = MakeKana();
  const std::string out = RunWhole(*kana, input);
  ASSERT_EQ(out.size(), expected.size());
  EXPECT_TRUE(out == expected);
}

}  // namespace
}  // namespace vu32
