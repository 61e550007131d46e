// The matcher as an object: it keeps its scratch space from line to line,
// and takes the limits past which a search gives up and the tunings that
// the tests and the fuzz target vary. No setting changes the result of a
// search that completes.
#ifndef VU32_PATTERN_MATCH_H_
#define VU32_PATTERN_MATCH_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pattern/pattern.h"

namespace vu32 {
namespace pattern_internal {
class Backtracker;
}  // namespace pattern_internal

// How far a search may grow before it gives up (MatchOutcome::kGaveUp).
// Running out of memory gives up as well, whatever the limits.
struct MatchLimits {
  // The backtracking stack may always grow to this many entries (24 bytes
  // each), and to 16 per character of the line beyond.
  size_t min_stack_entries = size_t{1} << 26;
  // Bytes the failure memo may take. The memo holds only the states a
  // search has met, so a line that fits in memory needs no other bound.
  size_t max_memo_bytes = SIZE_MAX;
};

// Ways to reach the same result, for checking that they agree.
struct MatchTuning {
  // Remember failed states from the first step, instead of only once a
  // search has taken many more steps than the line has characters.
  bool memo_from_start = false;
  // Run a repetition of one character-wide construct (a*, .*, [^x]+) as one
  // scan with one stack entry, instead of a pass per character.
  bool compress_runs = true;
};

class Matcher {
 public:
  explicit Matcher(const MatchLimits& limits = {},
                   const MatchTuning& tuning = {});
  ~Matcher();
  Matcher(const Matcher&) = delete;
  Matcher& operator=(const Matcher&) = delete;

  // Searches the zero-terminated `text` for the leftmost match of
  // `program`, as MatchPattern does; `result` (may be null) is filled on a
  // match.
  MatchOutcome Match(const char* text, const PatternProgram& program,
                     MatchResult* result);

 private:
  std::unique_ptr<pattern_internal::Backtracker> backtracker_;
};

}  // namespace vu32

#endif  // VU32_PATTERN_MATCH_H_
