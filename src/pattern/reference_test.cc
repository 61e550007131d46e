// The matcher against a plain recursive interpreter of the same cells, on
// every small pattern and text over a few characters. The interpreter is
// written to be obviously right, not fast: it recurses once per cell, tries
// each choice in order, and keeps the pass starts in a map that it restores
// on the way back.
//
// VU32_EXPENSIVE_TESTS=1 widens the sweep (longer patterns and texts).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pattern/match.h"
#include "pattern/pattern.h"
#include "pattern/program.h"
#include "support/sjis.h"
#include "test_util.h"

namespace vu32 {
namespace {

class ReferenceMatcher {
 public:
  ReferenceMatcher(const PatternProgram& program, const std::string& text)
      : program_(program) {
    const unsigned char* s =
        reinterpret_cast<const unsigned char*>(text.c_str());
    for (size_t k = 0; s[k] != 0;) {
      if (!SjisLeadByte(s[k])) {
        codes_.push_back(s[k]);
        k += 1;
      } else if (s[k + 1] == 0) {
        break;  // a lead byte before the end is no character
      } else {
        codes_.push_back(SjisCharCode(s[k], s[k + 1]));
        k += 2;
      }
    }
  }

  // 1 or 0 as the matcher, or -1 when the search takes too long (the
  // reference has no memo, so some generated patterns are exponential).
  int Search(MatchResult* r) {
    size_t first = program_[0] == kOpAnchor ? 1 : 0;
    size_t last_start = first == 1 ? 0 : codes_.size();
    for (size_t s = 0; s <= last_start; ++s) {
      if (!Match(first, s)) {
        if (steps_ > kMaxSteps) return -1;
        continue;
      }
      r->start_bytes = Bytes(0, s);
      r->start_chars = static_cast<uint32_t>(s);
      r->length_bytes = Bytes(s, end_);
      r->length_chars = static_cast<uint32_t>(end_ - s);
      return 1;
    }
    return 0;
  }

 private:
  uint16_t At(size_t p) const { return p < codes_.size() ? codes_[p] : 0; }

  uint32_t Bytes(size_t from, size_t to) const {
    uint32_t n = 0;
    for (size_t k = from; k < to; ++k) n += codes_[k] < 0x100 ? 1 : 2;
    return n;
  }

  bool InClass(size_t i, uint16_t code) const {
    size_t j = i + 2;
    bool negated = program_[j] == 0x005E;
    if (negated) ++j;
    bool hit = false;
    while (program_[j] != 0) {
      if (program_[j] == kOpRange) {
        uint16_t a = program_[j + 1], b = program_[j + 2];
        if (code >= std::min(a, b) && code <= std::max(a, b)) hit = true;
        j += 3;
      } else {
        if (program_[j] == code) hit = true;
        ++j;
      }
    }
    return hit != negated;
  }

  // Another pass of the repetition whose X begins at x, from p.
  bool Pass(size_t x, size_t p) {
    size_t saved = pass_start_[x];
    pass_start_[x] = p;
    if (Match(x, p)) return true;
    pass_start_[x] = saved;
    return false;
  }

  bool Match(size_t i, size_t p) {
    if (++steps_ > kMaxSteps) return false;
    uint16_t c = program_[i];
    if (c == 0) {
      end_ = p;
      return true;
    }
    if (!IsOperation(c)) return At(p) == c && Match(i + 1, p + 1);
    size_t target = i + 1 + static_cast<int16_t>(program_[i + 1]);
    bool forward = static_cast<int16_t>(program_[i + 1]) > 0;
    switch (c) {
      case kOpDollar:
        if (program_[i + 1] == 0) return At(p) == 0 && Match(i + 1, p);
        return At(p) == '$' && Match(i + 1, p + 1);
      case kOpAny:
        return At(p) != 0 && Match(i + 1, p + 1);
      case kOpClass:
        return At(p) != 0 && InClass(i, At(p)) && Match(target, p + 1);
      case kOpAlt:
        return Match(i + 2, p) || Match(target, p);
      case kOpJump:
        return Match(target, p);
      case kOpStar:
        if (forward) return Pass(i + 2, p) || Match(target, p);
        if (p == pass_start_[target]) return Match(i + 2, p);
        return Pass(target, p) || Match(i + 2, p);
      case kOpPlus:
        if (forward) return Pass(i + 2, p);
        if (p == pass_start_[target]) return Match(i + 2, p);
        return Pass(target, p) || Match(i + 2, p);
      case kOpOption:
        if (forward) return Match(i + 2, p) || Match(target, p);
        return Match(i + 2, p);
    }
    ADD_FAILURE() << "unexpected cell " << c;
    return false;
  }

  static constexpr size_t kMaxSteps = 1000000;

  const PatternProgram& program_;
  size_t steps_ = 0;
  std::vector<uint16_t> codes_;
  std::map<size_t, size_t> pass_start_;
  size_t end_ = 0;
};

std::string Describe(MatchOutcome outcome, const MatchResult& r) {
  if (outcome == MatchOutcome::kNoMatch) return "no match";
  if (outcome == MatchOutcome::kGaveUp) return "gave up";
  return std::to_string(r.start_bytes) + "," + std::to_string(r.start_chars) +
         "," + std::to_string(r.length_bytes) + "," +
         std::to_string(r.length_chars);
}

const MatchTuning kTunings[] = {
    {false, true},  // as shipped
    {true, true},   // memo from the first step
    {false, false},
    {true, false},
};

// A matcher per tuning, kept from call to call as the split keeps its own,
// so that scratch space left by one search is exercised by the next.
Matcher& TunedMatcher(size_t k) {
  static Matcher matchers[] = {
      Matcher({}, kTunings[0]), Matcher({}, kTunings[1]),
      Matcher({}, kTunings[2]), Matcher({}, kTunings[3])};
  return matchers[k];
}

// Compares every tuning of the matcher with the reference; returns the
// number of disagreements (reported through gtest, the first few only).
int Compare(const std::string& pattern, const std::vector<std::string>& texts,
            int* reported) {
  PatternProgram program = CompilePattern(pattern);
  int bad = 0;
  for (const std::string& text : texts) {
    MatchResult want;
    int want_found = ReferenceMatcher(program, text).Search(&want);
    if (want_found < 0) continue;  // too slow to tell
    std::string expected = Describe(
        want_found == 1 ? MatchOutcome::kMatch : MatchOutcome::kNoMatch, want);
    // The split asks only about lines that hold the literal prefix.
    const LiteralPrefix prefix = LiteralPrefixOf(program);
    if (want_found == 1 &&
        (prefix.anchored ? text.rfind(prefix.bytes, 0) != 0
                         : text.find(prefix.bytes) == std::string::npos)) {
      ++bad;
      ADD_FAILURE() << "pattern \"" << pattern << "\" matches \"" << text
                    << "\" without its prefix \"" << prefix.bytes << "\"";
    }
    for (size_t k = 0; k < std::size(kTunings); ++k) {
      const MatchTuning& tuning = kTunings[k];
      MatchResult got;
      MatchOutcome found = TunedMatcher(k).Match(text.c_str(), program, &got);
      std::string actual = Describe(found, got);
      if (actual == expected) continue;
      ++bad;
      if (++*reported <= 10) {
        ADD_FAILURE() << "pattern " << testing::Hex(pattern) << " \"" << pattern
                      << "\" text \"" << text << "\" memo "
                      << tuning.memo_from_start << " runs "
                      << tuning.compress_runs << ": got " << actual
                      << ", reference " << expected << "\n"
                      << Dump(program);
      }
    }
  }
  return bad;
}

// Every concatenation of up to `max_len` of the tokens.
std::vector<std::string> AllStrings(const std::vector<std::string>& tokens,
                                    int max_len) {
  std::vector<std::string> out = {""};
  size_t begin = 0;
  for (int len = 1; len <= max_len; ++len) {
    size_t end = out.size();
    for (size_t k = begin; k < end; ++k) {
      for (const std::string& t : tokens) out.push_back(out[k] + t);
    }
    begin = end;
  }
  return out;
}

std::vector<std::string> Chars(const std::string& alphabet) {
  std::vector<std::string> out;
  for (char c : alphabet) out.push_back(std::string(1, c));
  return out;
}

bool Expensive() {
  const char* v = std::getenv("VU32_EXPENSIVE_TESTS");
  return v != nullptr && *v != '\0' && std::string(v) != "0";
}

TEST(ReferenceTest, StructureOperators) {
  // Groups, alternation, repetitions and anchors over a and b.
  int max_pattern = Expensive() ? 5 : 4;
  int max_text = Expensive() ? 5 : 4;
  std::vector<std::string> texts = AllStrings(Chars("ab"), max_text);
  texts.push_back("a$");
  texts.push_back("$b");
  int reported = 0;
  int bad = 0;
  std::vector<std::string> tokens = Chars("ab.()|*+?$");
  tokens.push_back("()");
  for (const std::string& p : AllStrings(tokens, max_pattern)) {
    bad += Compare(p, texts, &reported);
    if (p.size() < static_cast<size_t>(max_pattern)) {
      bad += Compare("^" + p, texts, &reported);
    }
  }
  EXPECT_EQ(bad, 0);
}

TEST(ReferenceTest, Classes) {
  int max_pattern = Expensive() ? 6 : 5;
  std::vector<std::string> texts =
      AllStrings(Chars(Expensive() ? "ab-^]" : "a-^]"), 2);
  int reported = 0;
  int bad = 0;
  for (const std::string& p : AllStrings(Chars("[]-^a\\"), max_pattern)) {
    bad += Compare(p, texts, &reported);
  }
  EXPECT_EQ(bad, 0);
}

// A random pattern of nested constructs over a, b and two-byte characters.
std::string RandomPattern(std::mt19937& rng, int budget) {
  static const char* const kAtoms[] = {"a",    "b",    ".", "\x82\xA0",
                                       "[ab]", "[^a]", "$", "()"};
  static const char* const kOps[] = {"*", "+", "?"};
  std::string out;
  while (budget > 0) {
    int pick = static_cast<int>(rng() % 10);
    if (pick < 5) {
      out += kAtoms[rng() % 8];
      --budget;
    } else if (pick < 7 && budget > 2) {
      int inner = 1 + static_cast<int>(rng() % (budget - 1));
      out += "(" + RandomPattern(rng, inner) + ")";
      budget -= inner + 1;
    } else if (pick < 9) {
      out += kOps[rng() % 3];
      --budget;
    } else {
      out += "|";
      --budget;
    }
  }
  return out;
}

TEST(ReferenceTest, RandomNestedPatterns) {
  std::mt19937 rng(20240611);
  int patterns = Expensive() ? 20000 : 1500;
  int reported = 0;
  int bad = 0;
  std::vector<std::string> texts;
  for (int n = 0; n < patterns; ++n) {
    std::string pattern = RandomPattern(rng, 2 + static_cast<int>(rng() % 9));
    texts.clear();
    for (int t = 0; t < 12; ++t) {
      std::string text;
      int len = static_cast<int>(rng() % 9);
      for (int k = 0; k < len; ++k) {
        static const char* const kChars[] = {"a", "b", "$", "\x82\xA0"};
        text += kChars[rng() % 4];
      }
      texts.push_back(text);
    }
    bad += Compare(pattern, texts, &reported);
  }
  EXPECT_EQ(bad, 0);
}

TEST(ReferenceTest, PassStartsAreKeptPerRepetition) {
  // The back cell of the outer star compares with where its own pass began,
  // not with the inner one's: a memo keyed on (cell, position) alone would
  // reuse the failure of the empty pass at position 1.
  int reported = 0;
  EXPECT_EQ(Compare("(()|.)*a", {"baa", "ba", "bba", "aab"}, &reported), 0);
  EXPECT_EQ(Compare("((a|)*b|.)*c", {"abac", "aabc", "bbbc"}, &reported), 0);
  EXPECT_EQ(Compare("(a*|b)*(a|b)*c", {"abababc", "bbac"}, &reported), 0);
}

}  // namespace
}  // namespace vu32
