// libFuzzer target: any bytes as a pattern and a text. The input is the
// pattern up to its first NUL, then the text. Checks that every pattern
// compiles into a well-formed program, that matching never crashes, and
// that the matcher's tunings never change a result.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pattern/match.h"
#include "pattern/pattern.h"
#include "pattern/program.h"

namespace vu32 {
namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// Walks the program as the matcher does and checks every offset.
void CheckProgram(const PatternProgram& p) {
  Require(!p.empty() && p.back() == kEndCell, "program ends with the end cell");
  size_t i = p[0] == kOpAnchor ? 1 : 0;
  size_t n = p.size();
  while (p[i] != kEndCell) {
    uint16_t c = p[i];
    Require(c != kOpAnchor, "anchor only first");
    if (!IsOperation(c)) {
      ++i;
      continue;
    }
    CellClass cls = ClassOfOperation(c);
    if (cls == kClassDollar || cls == kClassAny) {
      ++i;
      continue;
    }
    Require(cls == kClassBracket || cls == kClassStar || cls == kClassPlus ||
                cls == kClassOption || cls == kClassBar || cls == kClassJump,
            "known operation");
    Require(i + 1 < n && (p[i + 1] != kLongOffset || i + 3 < n),
            "offset inside");
    size_t target = Target(p, i + 1);
    size_t next = AfterOffset(p, i + 1);
    Require(target < n && next < n, "target inside");
    if (cls == kClassBracket) {
      Require(target > next && p[target - 1] == kEndCell, "class ends with 0");
      for (size_t j = next; j + 1 < target;) {
        Require(p[j] != kEndCell, "no end cell among the members");
        j += p[j] == kOpRange ? 3 : 1;
        Require(j + 1 <= target, "range inside the class");
      }
      i = target;
      continue;
    }
    if ((cls == kClassStar || cls == kClassPlus || cls == kClassOption) &&
        OffsetDistance(p, i + 1) > 0) {
      // The back cell sits right before the target and points at X.
      Require(target >= next + 2, "room for the back cell");
      bool found = false;
      for (size_t back : {target - 2, target >= 4 ? target - 4 : 0}) {
        if (back > next && p[back] == c && OffsetDistance(p, back + 1) < 0 &&
            Target(p, back + 1) == next && AfterOffset(p, back + 1) == target) {
          found = true;
        }
      }
      Require(found, "repetition has its back cell");
    }
    i = next;
  }
  Require(i == n - 1, "end cell is the last cell");
}

constexpr MatchLimits kFuzzLimits = {size_t{1} << 20, size_t{256} << 20};

std::string Describe(MatchOutcome outcome, const MatchResult& r) {
  if (outcome == MatchOutcome::kNoMatch) return "no match";
  return std::to_string(r.start_bytes) + "," + std::to_string(r.start_chars) +
         "," + std::to_string(r.length_bytes) + "," +
         std::to_string(r.length_chars);
}

}  // namespace
}  // namespace vu32

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vu32;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t nul = input.find('\0');
  std::string pattern = input.substr(0, nul);
  std::string text = nul == std::string::npos ? "" : input.substr(nul + 1);

  PatternProgram program = CompilePattern(pattern);
  CheckProgram(program);

  // Kept from input to input, so that what one search leaves behind is
  // exercised by the next. The limits stay well inside the RSS limit.
  static Matcher matchers[] = {
      Matcher(kFuzzLimits, {false, true}),
      Matcher(kFuzzLimits, {true, true}),    // the memo from the first step
      Matcher(kFuzzLimits, {false, false}),  // one-wide runs pass by pass
  };
  std::string first;
  for (Matcher& matcher : matchers) {
    MatchResult r;
    MatchOutcome found = matcher.Match(text.c_str(), program, &r);
    if (found == MatchOutcome::kGaveUp) return 0;  // nothing to compare
    if (found == MatchOutcome::kMatch) {
      size_t len = std::char_traits<char>::length(text.c_str());
      Require(r.start_bytes + r.length_bytes <= len, "match inside the text");
      Require(
          r.start_chars <= r.start_bytes && r.length_chars <= r.length_bytes,
          "characters are at least one byte");
    }
    std::string got = Describe(found, r);
    if (&matcher == &matchers[0]) {
      first = got;
    } else {
      Require(got == first, "tunings change no result");
    }
  }
  return 0;
}
