// Every filter must give the same output however its input is cut into
// blocks: its state has to carry across Feed calls, on every kernel level.
#include "filters/filter.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filters/kana.h"
#include "filters/newline.h"
#include "filters/text.h"
#include "filters/uniq.h"
#include "test_util.h"

namespace vu32 {
namespace {

using testing::Hex;
using testing::RandomCuts;
using testing::RandomSjisLike;
using testing::RunCut;
using testing::RunWhole;

struct Maker {
  const char* name;
  std::function<std::unique_ptr<ByteFilter>()> make;
};

template <typename F, typename... Args>
Maker Make(const char* name, Args... args) {
  return {name, [=] { return std::make_unique<F>(args...); }};
}

std::vector<Maker> AllFilters() {
  std::vector<Maker> all = {
      Make<Crconv>("Crconv CR LF", NewlineKind::kCrLf),
      Make<Crconv>("Crconv LF", NewlineKind::kLf),
      Make<Crconv>("Crconv CR", NewlineKind::kCr),
      Make<Join>("Join"),
      Make<Deletecontrolchar>("Deletecontrolchar"),
      Make<ChangeCase>("ChangeCase lower", LetterCase::kLower),
      Make<ChangeCase>("ChangeCase upper", LetterCase::kUpper),
      Make<DeleteTabs>("DeleteTabs"),
      {"Kana", [] { return MakeKana(); }},
      {"Uniq", [] { return MakeUniq(UniqMode::kExact); }},
      {"Uniq ignoring case", [] { return MakeUniq(UniqMode::kIgnoreCase); }},
  };
  for (int n = 1; n <= 8; ++n) all.push_back(Make<Tab2space>("Tab2space", n));
  return all;
}

using BlockCutTest = testing::KernelLevelTest;
INSTANTIATE_KERNEL_LEVELS(BlockCutTest);

TEST_P(BlockCutTest, EveryCutOffsetOfASmallInput) {
  std::mt19937 rng(20260101);
  // Long enough for a kernel to take blocks from either side of most cuts.
  const std::string input = RandomSjisLike(rng, 300);
  for (const Maker& maker : AllFilters()) {
    SCOPED_TRACE(maker.name);
    std::unique_ptr<ByteFilter> whole = maker.make();
    ASSERT_NE(whole, nullptr);
    const std::string expected = RunWhole(*whole, input);
    for (size_t cut = 0; cut <= input.size(); ++cut) {
      std::unique_ptr<ByteFilter> filter = maker.make();
      ASSERT_EQ(Hex(RunCut(*filter, input, {cut})), Hex(expected))
          << "cut at " << cut;
    }
    // One byte per block.
    std::vector<size_t> every(input.size());
    for (size_t i = 0; i < every.size(); ++i) every[i] = i;
    std::unique_ptr<ByteFilter> filter = maker.make();
    EXPECT_EQ(Hex(RunCut(*filter, input, every)), Hex(expected));
  }
}

TEST_P(BlockCutTest, RandomInputsAndCuts) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<size_t> length(0, 600);
  for (int round = 0; round < 40; ++round) {
    // One input larger than the writer's buffer, so that a filter also
    // splits a single block into several output reservations.
    const size_t size = round == 0 ? 150000 : length(rng);
    const std::string input = RandomSjisLike(rng, size);
    const std::vector<size_t> cuts = RandomCuts(rng, input.size());
    for (const Maker& maker : AllFilters()) {
      std::unique_ptr<ByteFilter> whole = maker.make();
      ASSERT_NE(whole, nullptr);
      std::unique_ptr<ByteFilter> cut = maker.make();
      const std::string expected = RunWhole(*whole, input);
      const std::string got = RunCut(*cut, input, cuts);
      ASSERT_TRUE(got == expected)
          << maker.name << ", round " << round << ", size " << size
          << "\ninput:    " << Hex(input.substr(0, 400))
          << "\nexpected: " << Hex(expected.substr(0, 400))
          << "\ngot:      " << Hex(got.substr(0, 400));
    }
  }
}

}  // namespace
}  // namespace vu32
