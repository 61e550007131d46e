#include "pattern/match.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "pattern/pattern.h"
#include "pattern/program.h"
#include "test_util.h"

namespace vu32 {
namespace {

using testing::Bytes;
using testing::Hex;

// "no match", or the four words "start bytes, start chars, length bytes,
// length chars".
std::string Find(const std::string& pattern, const std::string& text,
                 const MatchTuning& tuning = MatchTuning()) {
  MatchResult r;
  Matcher matcher({}, tuning);
  switch (matcher.Match(text.c_str(), CompilePattern(pattern), &r)) {
    case MatchOutcome::kNoMatch:
      return "no match";
    case MatchOutcome::kGaveUp:
      return "gave up";
    case MatchOutcome::kMatch:
      break;
  }
  return std::to_string(r.start_bytes) + "," + std::to_string(r.start_chars) +
         "," + std::to_string(r.length_bytes) + "," +
         std::to_string(r.length_chars);
}

struct MatchRow {
  std::string pattern;
  std::string text;
  std::string expected;
};

void CheckRows(const std::vector<MatchRow>& rows) {
  for (const MatchRow& row : rows) {
    SCOPED_TRACE("pattern " + Hex(row.pattern) + " \"" + row.pattern +
                 "\", text " + Hex(row.text));
    EXPECT_EQ(Find(row.pattern, row.text), row.expected);
    // The knobs change speed only.
    EXPECT_EQ(Find(row.pattern, row.text, {true, false}), row.expected);
  }
}

TEST(MatchTest, Basics) {
  CheckRows({
      {"abc", "xxabcxx", "2,2,3,3"},
      {"b.*d", "abcdedf", "1,1,5,5"},
      {"^abc", "xabc", "no match"},
      {"c$", "abc", "2,2,1,1"},
      {"abc$", "abc\n", "no match"},
      {"abc\\N$", "abc\n", "0,0,4,4"},
      {"a.c", Bytes({'a', 0x82, 0xA0, 'c'}), "0,0,4,3"},
      {"x*$", "aaxx", "2,2,2,2"},
      {"a+", "", "no match"},
      {".*", "", "0,0,0,0"},
      {"$", "x", "1,1,0,0"},
      {"^", "x", "0,0,0,0"},
      {"", "x", "0,0,0,0"},
      {"(a(b?)*)*", "abab", "0,0,4,4"},
      {"[\x82\x9F-\x82\xF1]", Bytes({0x82, 0xA0}), "0,0,2,1"},
      {"[\x87\x40]", Bytes({0x87, 0x40}), "0,0,2,1"},
      {"A", Bytes({0xF0, 0xBF}), "no match"},
      {"\\a", "a", "no match"},
      {"a|", "b", "0,0,0,0"},
      {"(ab|a)c", "abc", "0,0,3,3"},
  });
}

TEST(MatchTest, SyntaxCornerCasesAtWork) {
  CheckRows({
      {"a**", "baab", "0,0,0,0"},
      {"a**b", "baab", "0,0,1,1"},
      {"a**b", "xaab", "1,1,3,3"},
      {"*a", "ba", "1,1,1,1"},
      {"^a|b", "b", "0,0,1,1"},
      {"^a|b", "xb", "no match"},
      {"^a|b", "ax", "0,0,1,1"},
      {"a|^b", "x^b", "1,1,2,2"},
      {"a|^b", "b", "no match"},
      {"ab)cd", "xabx", "1,1,2,2"},
      {"(a|b", "xb", "1,1,1,1"},
      {"|a", "xa", "1,1,1,1"},
      {"a|", "a", "0,0,1,1"},
      {"a$", "ba", "1,1,1,1"},
      {"a$", "a\n", "no match"},
      {"a$|b", "a$", "0,0,2,2"},
      {"a$|b", "a", "no match"},
      {"(a|b$)", "xb", "1,1,1,1"},
      {"(a|b$)", "b\n", "no match"},
      {"b|a$", "xa", "1,1,1,1"},
      {"(a$)*", "a$a$", "0,0,4,4"},
      {"$*", "$$x", "0,0,2,2"},
      {"x$y", "x$y", "0,0,3,3"},
      {"[]a]", "a]", "no match"},
      {"[a-]", "-", "no match"},
      {"[a-]", "a", "0,0,1,1"},
      {"[--a]", "-a", "0,0,1,1"},
      {"[--a]", ",", "no match"},
      {"[--/]", ".", "no match"},
      {"[--/]", "/", "0,0,1,1"},
      {"[z-a]", "m", "0,0,1,1"},
      {"[a-c-e]", "d", "no match"},
      {"[a-c-e]", "x-", "1,1,1,1"},
      {"[\\--/]", ".", "0,0,1,1"},
      {"[a--]", "M", "0,0,1,1"},
      {"[\\^a]", "a", "no match"},
      {"[\\^a]", "^", "0,0,1,1"},
      {"[^]", "\r", "0,0,1,1"},
      {"[^]", "", "no match"},
      {"[^-a]", "_", "0,0,1,1"},
      {"\\a", "A", "0,0,1,1"},
      {"\\x41", "A", "0,0,1,1"},
      {"\\j0041", "A", "0,0,1,1"},
      {"\\J82a0", Bytes({0x82, 0xA0}), "0,0,2,1"},
      {"\\j2422", Bytes({'x', 0x82, 0xA0}), "1,1,2,1"},
      {"a{2}", "aa{2}", "1,1,4,4"},
      {"abc\\", "abc", "0,0,3,3"},
  });
}

TEST(MatchTest, OrderOfWays) {
  CheckRows({
      // Greedy: as many passes as possible first.
      {"a*", "aaa", "0,0,3,3"},
      {"a?a", "aa", "0,0,2,2"},
      {"(a|ab)(c|bcd)", "abcd", "0,0,4,4"},
      {"(ab|a)(c|bcd)", "abcd", "0,0,3,3"},
      {"(a|ab)*c", "ababc", "0,0,5,5"},
      // Leftmost wins over longer.
      {"b+|a+b+", "aabbb", "0,0,5,5"},
      {"b+|ab", "aabbb", "1,1,2,2"},
      // The empty right side is tried last.
      {"(a|)+b", "aab", "0,0,3,3"},
      // A pass that consumed nothing ends its repetition.
      {"(a*)*b", "aab", "0,0,3,3"},
      {"(a?)+$", "aa", "0,0,2,2"},
      {"(()|.)*a", "baa", "0,0,2,2"},
      {"(|.)*a", "baa", "0,0,3,3"},  // `|` with nothing before it is ignored
  });
}

TEST(MatchTest, CharactersOfTheText) {
  CheckRows({
      // `.` takes whole characters, CR and LF included.
      {"a.b", "a\nb", "0,0,3,3"},
      {"^...$", Bytes({'a', 0x82, 0xA0, 0x0D}), "0,0,4,3"},
      // A lone lead byte before the end is no character.
      {".$", Bytes({'a', 0x82}), "0,0,1,1"},
      {"a$", Bytes({'a', 0x82}), "0,0,1,1"},
      // The pattern's own lone lead byte equals nothing.
      {"a\x82", Bytes({'a', 0x82}), "no match"},
      {"a\x82", Bytes({'a', 0x82, 0xA0}), "no match"},
      // A trail byte is never a one-byte character: 0x95 0x5C holds no
      // backslash, and a one-byte pattern character never equals a lead
      // byte.
      {"\\\\", Bytes({0x95, 0x5C}), "no match"},
      {"\\x82", Bytes({0x82, 0xA0}), "no match"},
      {"\x95\x5C", Bytes({'x', 0x95, 0x5C}), "1,1,2,1"},
      {"[\\x5c]", Bytes({0x95, 0x5C, 0x5C}), "2,1,1,1"},
      // A lead byte and an invalid trail byte are one character.
      {"^.$", Bytes({0x81, 0x20}), "0,0,2,1"},
      {" ", Bytes({0x81, 0x20}), "no match"},
      {"\\J8120", Bytes({0x81, 0x20}), "0,0,2,1"},
      {"\x81\x20", Bytes({0x81, 0x20}), "0,0,2,1"},
      {"\x81\x7F", Bytes({0x81, 0x80}), "no match"},
      // Half-width kana are one-byte characters.
      {"\xB1.", Bytes({0xB1, 0xB2}), "0,0,2,2"},
      // Lead bytes 0xF0-0xFC make characters of their own.
      {"\xF0\x40", Bytes({0xF0, 0x40}), "0,0,2,1"},
      {"\xF0\x40", Bytes({0xEF, 0x40}), "no match"},
      // A range from a one-byte to a two-byte character.
      {"[~-\\j2422]", Bytes({0x82, 0xA0}), "0,0,2,1"},
      {"[~-\\j2422]", Bytes({0x82, 0xA1}), "no match"},
      {"[~-\\j2422]", "}", "no match"},
      {"[~-\\j2422]", Bytes({0xB1}), "0,0,1,1"},
      // Control characters by a range from \x00.
      {"[\\x00-\\x1f]+", "ab\t\r\n", "2,2,3,3"},
      // Escapes that name no character match nothing.
      {"\\x00|b", "ab", "1,1,1,1"},
      {"[\\x00]", "a", "no match"},
      {"[^\\x00]", "a", "0,0,1,1"},
      {"\\j2A00", "*", "no match"},
  });
}

TEST(MatchTest, LineEndsAreText) {
  CheckRows({
      {"CH", "CH1\r\n", "0,0,2,2"},
      {"1$", "CH1\r\n", "no match"},
      {"1\\R\\N$", "CH1\r\n", "2,2,3,3"},
      {"1\\r\\n", "CH1\r\n", "2,2,3,3"},
      {"\\N", "\n", "0,0,1,1"},
  });
}

TEST(MatchTest, TextEndsAtItsFirstNul) {
  std::string text("ab\0cd", 5);
  PatternProgram program = CompilePattern("b$");
  MatchResult r;
  EXPECT_EQ(MatchPattern(&r, text.c_str(), program), MatchOutcome::kMatch);
  EXPECT_EQ(r.start_bytes, 1u);
  EXPECT_EQ(MatchPattern(&r, text.c_str(), CompilePattern("c")),
            MatchOutcome::kNoMatch);
  // A pattern ends at its first NUL too.
  EXPECT_EQ(CompilePattern(std::string("a\0b", 3)), CompilePattern("a"));
}

TEST(MatchTest, CompilingOverloadAgrees) {
  MatchResult r;
  EXPECT_EQ(MatchPattern(&r, "xxabcxx", "abc"), MatchOutcome::kMatch);
  EXPECT_EQ(r.start_bytes, 2u);
  EXPECT_EQ(r.length_chars, 3u);
  EXPECT_EQ(MatchPattern(&r, "xabc", "^abc"), MatchOutcome::kNoMatch);
  EXPECT_EQ(MatchPattern(nullptr, "abc", "b"), MatchOutcome::kMatch);
}

TEST(MatchTest, LongLinesAreMatchedWhole) {
  // Matches past the 16,383-byte part a line would once have been cut at.
  std::string line(100000, 'x');
  line += "\x91\xE6\x82\xA0\x8F\xCD\n";       // 第 あ 章
  std::string pattern = "\x91\xE6.\x8F\xCD";  // 第.章
  EXPECT_EQ(Find(pattern, line), "100000,100000,6,3");
  EXPECT_EQ(Find("x*\x91\xE6", line), "0,0,100002,100001");
  EXPECT_EQ(Find(".*$", line), "0,0,100007,100004");
  EXPECT_EQ(Find("^x+\\N", line), "no match");
}

// Elapsed seconds of `f`.
template <typename F>
double Seconds(F f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

TEST(MatchTest, PathologicalPatternsFinish) {
  // Without the failure memo each of these takes time exponential in the
  // line, and a recursive matcher would run out of stack on the long ones.
  std::string a20k(20000, 'a');
  struct Row {
    std::string pattern;
    std::string text;
    std::string expected;
  } rows[] = {
      {"(a*)*b", a20k, "no match"},
      {"(a*)*$", a20k, "0,0,20000,20000"},
      {"(a|aa)*b", a20k, "no match"},
      {"((a+)+)+c", a20k, "no match"},
      {"(a*)*(a*)*b", a20k.substr(0, 5000), "no match"},
      {"(.*)*x", a20k, "no match"},
      {"", std::string(30, 'a'), "0,0,30,30"},  // (a?)^30 a^30
      {".*.*.*x", a20k, "no match"},
      {"(aa|a)*$", a20k, "0,0,20000,20000"},
      {"(a|b)*c", std::string(1000000, 'a'), "no match"},
      {".*x", std::string(1000000, 'a'), "no match"},
  };
  for (int k = 0; k < 30; ++k) rows[6].pattern += "(a?)";
  rows[6].pattern += std::string(30, 'a');
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    std::string got;
    double s = Seconds([&] { got = Find(row.pattern, row.text); });
    EXPECT_EQ(got, row.expected);
    EXPECT_LT(s, 20.0);
  }
}

TEST(MatchTest, DeepNestingNeedsNoCallStack) {
  // The success path of these is long: after the a's, every star makes an
  // empty pass inside each of the outer ones, a million steps for 1,000
  // stars, all on the heap.
  std::string nested;
  for (int k = 0; k < 1000; ++k) nested += "(";
  nested += "a";
  for (int k = 0; k < 1000; ++k) nested += ")*";
  EXPECT_EQ(Find(nested + "b", "aaab"), "0,0,4,4");
  EXPECT_EQ(Find(nested + "c", "aaab"), "no match");
  std::string stars = "a" + std::string(1000, '*');
  EXPECT_EQ(Find(stars + "b", "xaab"), "1,1,3,3");
  EXPECT_EQ(Find(std::string(50000, '(') + "a|b", "b"), "0,0,1,1");
}

TEST(MatchTest, GivesUpRatherThanExhaustMemory) {
  // Past the limit of its stack the search stops and says so. The limit is
  // the larger of a floor (lowered here) and 16 entries per character of
  // the line.
  MatchLimits small;
  small.min_stack_entries = 1000;
  Matcher matcher(small);
  PatternProgram stars = CompilePattern("a" + std::string(1000, '*') + "b");
  MatchResult r;
  EXPECT_EQ(matcher.Match("xaab", stars, &r), MatchOutcome::kGaveUp);
  // A long line may use its 16 entries per character.
  PatternProgram pairs = CompilePattern("(ab)*c");
  std::string line;
  for (int k = 0; k < 10000; ++k) line += "ab";
  EXPECT_EQ(matcher.Match((line + "c").c_str(), pairs, &r),
            MatchOutcome::kMatch);
  EXPECT_EQ(r.length_chars, 20001u);
}

TEST(MatchTest, GivesUpAtTheLimitsItWasGiven) {
  // Past its stack limit, or past its memo limit, a search says it gave up
  // rather than report a line it could not finish as no match; the same
  // matcher then takes the next line afresh.
  const std::string stars = "a" + std::string(1000, '*');
  const MatchTuning memo_at_once = {true, true};
  struct Row {
    const char* name;
    MatchLimits limits;
    MatchTuning tuning;
    std::string pattern;
    std::string text;
  } rows[] = {
      {"stack", {1000, SIZE_MAX}, {}, stars + "b", "xaab"},
      {"memo pages",
       {size_t{1} << 26, 100 << 10},
       memo_at_once,
       "(a*)*b",
       std::string(1 << 20, 'a')},
      {"memo of empty passes nested deep",
       {size_t{1} << 26, 100 << 10},
       memo_at_once,
       stars + "c",
       "xaab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Matcher matcher(row.limits, row.tuning);
    MatchResult r;
    EXPECT_EQ(matcher.Match(row.text.c_str(), CompilePattern(row.pattern), &r),
              MatchOutcome::kGaveUp);
    EXPECT_EQ(matcher.Match("xaab", CompilePattern("(a*)*b"), &r),
              MatchOutcome::kMatch);
    EXPECT_EQ(r.start_bytes, 1u);
  }
}

TEST(MatchTest, ConstructsWithLongOffsets) {
  std::string body(40000, 'a');
  std::string twice = body + body;
  EXPECT_EQ(Find("(" + body + ")*b", twice + "b"), "0,0,80001,80001");
  EXPECT_EQ(Find("(" + body + ")+b", "b"), "no match");
  EXPECT_EQ(Find("(" + body + "|b)c", "xbc"), "1,1,2,2");
  EXPECT_EQ(Find("c|" + body, "xc"), "1,1,1,1");
  EXPECT_EQ(Find("(c|" + body + ")d", body + "d"), "0,0,40001,40001");
  EXPECT_EQ(Find("[" + std::string(40000, 'b') + "a]", "xa"), "1,1,1,1");
  EXPECT_EQ(Find("[^" + std::string(40000, 'b') + "a]", "bax"), "2,2,1,1");
}

TEST(MatchTest, CodesOfTwoByteCharacters) {
  struct Row {
    int lead, trail;
    uint16_t code;
  } rows[] = {
      {0x81, 0x40, 0x2121},
      {0x81, 0x7E, 0x215F},
      {0x81, 0x80, 0x2160},
      {0x81, 0x9E, 0x217E},
      {0x81, 0x9F, 0x2221},
      {0x81, 0xFC, 0x227E},
      {0x82, 0xA0, 0x2422},
      {0x95, 0x5C, 0x493D},
      {0x9F, 0xFC, 0x5E7E},
      {0xE0, 0x40, 0x5F21},
      {0xEF, 0xFC, 0x7E7E},
      {0xF0, 0x40, 0x7F21},
      {0xFC, 0xFC, 0x987E},
      // Invalid trail bytes: the lead byte's row, a low byte of 0x80 or more.
      {0x81, 0x01, 0x2281},
      {0x81, 0x3F, 0x22BF},
      {0x81, 0x7F, 0x22C0},
      {0x81, 0xFD, 0x22FD},
      {0xFC, 0xFF, 0x98FF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Hex(Bytes({row.lead, row.trail})));
    EXPECT_EQ(SjisCharCode(static_cast<unsigned char>(row.lead),
                           static_cast<unsigned char>(row.trail)),
              row.code);
  }
  // Every pair gets its own code, none of which looks like a one-byte
  // character, an operation or the end.
  std::vector<bool> seen(0x10000);
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 1; trail <= 0xFF; ++trail) {
      uint16_t code = SjisCharCode(static_cast<unsigned char>(lead),
                                   static_cast<unsigned char>(trail));
      ASSERT_FALSE(seen[code]) << Hex(Bytes({lead, trail}));
      seen[code] = true;
      ASSERT_GE(code, 0x100);
      ASSERT_NE(code & 0xFF, 0);
    }
  }
}

}  // namespace
}  // namespace vu32
