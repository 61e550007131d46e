#include "pattern/memo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pattern/match.h"
#include "pattern/pattern.h"

namespace vu32::pattern_internal {
namespace {

TEST(FailureMemoTest, EachStateIsNewOnceUntilReset) {
  // k 0 and 1 go to the pages (keyed by join cell), k of 2 or more to the
  // table (keyed by cell); positions on one page, the next and far away.
  struct State {
    uint32_t join;
    size_t cell, pos;
    uint32_t k;
  } states[] = {{0, 7, 0, 0},         {0, 7, 0, 1},   {1, 9, 0, 0},
                {0, 7, 511, 0},       {0, 7, 512, 0}, {0, 7, 1u << 30, 1},
                {0, 7, 0, 2},         {0, 8, 0, 2},   {0, 7, 0, 3},
                {2, 7, 513, 1u << 20}};
  FailureMemo memo(SIZE_MAX);
  for (int round = 0; round < 2; ++round) {
    memo.Reset(3);
    for (const State& s : states) {
      SCOPED_TRACE(::testing::Message()
                   << "round " << round << " join " << s.join << " cell "
                   << s.cell << " pos " << s.pos << " k " << s.k);
      EXPECT_EQ(memo.Check(s.join, s.cell, s.pos, s.k), FailureMemo::kNew);
      EXPECT_EQ(memo.Check(s.join, s.cell, s.pos, s.k), FailureMemo::kSeen);
    }
    memo.Trim();
  }
}

TEST(FailureMemoTest, FullAtItsLimitUntilReset) {
  // No room even for the pages of one join cell.
  FailureMemo none(0);
  none.Reset(1);
  EXPECT_EQ(none.Check(0, 0, 0, 0), FailureMemo::kFull);
  // Room for one chunk of pages: new pages run out, and then every state,
  // even one seen before, is answered kFull.
  FailureMemo memo(100 << 10);
  memo.Reset(1);
  ASSERT_EQ(memo.Check(0, 0, 0, 0), FailureMemo::kNew);
  size_t pos = 0;
  while (memo.Check(0, 0, pos, 0) != FailureMemo::kFull) pos += 512;
  EXPECT_GT(pos, 0u);
  EXPECT_EQ(memo.Check(0, 0, 0, 0), FailureMemo::kFull);
  EXPECT_EQ(memo.Check(0, 0, 0, 2), FailureMemo::kFull);
  memo.Trim();
  memo.Reset(1);
  EXPECT_EQ(memo.Check(0, 0, 0, 0), FailureMemo::kNew);
}

TEST(FailureMemoTest, TakesOnlyTheStatesMet) {
  // 2 MiB of a's times 2,000 cells where ways join make billions of
  // possible states, of which the search meets those of three cells. A
  // memo that gave room to every possible state, or stopped remembering at
  // a cap, would not fit in the limit below or would run for ever.
  std::string pattern = "(a*)*b";
  for (int k = 0; k < 2000; ++k) pattern += "(c?)";
  const std::string line(2 << 20, 'a');
  Matcher matcher({size_t{1} << 26, 32 << 20});
  EXPECT_EQ(matcher.Match(line.c_str(), CompilePattern(pattern), nullptr),
            MatchOutcome::kNoMatch);
}

}  // namespace
}  // namespace vu32::pattern_internal
