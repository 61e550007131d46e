#include "check/guard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "test_util.h"

namespace vu32::check {
namespace {

GuardVerdict Judge(const std::string& s, bool whole) {
  return JudgeStart(reinterpret_cast<const uint8_t*>(s.data()), s.size(),
                    whole);
}

TEST(GuardTest, RefusesWhatIsPlainlyNotShiftJis) {
  using V = GuardVerdict;
  const std::string a_utf8 =
      "\xE3\x81\x82"
      "A";  // E3 81 | 82 41: unassigned
  const struct {
    std::string start;
    bool whole;
    V verdict;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "abc",
       true, V::kUtf8Bom},
      {"\xEF\xBB\xBF\x82\xA0", true, V::kUtf8Bom},
      {std::string("\xFF\xFE"
                   "a\0",
                   4),
       true, V::kUtf16},
      {std::string("a\0b\0c\0\n\0", 8), false, V::kUtf16},
      {a_utf8 + "\n", true, V::kUtf8},
      // A sequence cut at the end of the read is valid UTF-8.
      {a_utf8 + "\xE3\x81", false, V::kUtf8},
      // A lead byte at the end is a fault only at the end of the input.
      {"\xE2\x86\x92", false, V::kPass},
      {"\xE2\x86\x92", true, V::kUtf8},
      // UTF-8 that also reads as CP932 without a fault, ASCII, CP932.
      {"\xE6\x97\xA5\xE6\x9C\xAC\n", true, V::kPass},
      {"plain ASCII\r\n", true, V::kPass},
      {"\x93\xFA\x96\x7B\x8C\xEA\x85\x40\n", true, V::kPass},
      // Control bytes are no evidence.
      {"\xE6\x97\xA5\x01\n", true, V::kPass},
      {"", true, V::kPass},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Hex(c.start));
    EXPECT_EQ(Judge(c.start, c.whole), c.verdict);
  }
}

TEST(GuardTest, TheWholeInputInPiecesJudgesAsTheWholeStart) {
  std::mt19937 rng(3);
  const std::string pieces[] = {
      "\xE3\x81\x82", "A",        "\x82\xA0",    "abc\n",
      "\xEF\xBB\xBF", "\x85\x40", "\xE6\x97\xA5"};
  for (int round = 0; round < 300; ++round) {
    std::string input;
    for (int k = rng() % 12; k > 0; --k) input += pieces[rng() % 7];
    WholeInputGuard guard;
    size_t at = 0;
    for (size_t cut : testing::RandomCuts(rng, input.size())) {
      guard.Feed(reinterpret_cast<const uint8_t*>(input.data()) + at, cut - at);
      at = cut;
    }
    guard.Feed(reinterpret_cast<const uint8_t*>(input.data()) + at,
               input.size() - at);
    EXPECT_EQ(guard.Finish(), Judge(input, true)) << testing::Hex(input);
  }
}

}  // namespace
}  // namespace vu32::check
