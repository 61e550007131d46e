// The matcher's knobs, for its own tests and the fuzz target: each setting
// changes only how fast a result is found, never the result.
#ifndef VU32_PATTERN_MATCH_H_
#define VU32_PATTERN_MATCH_H_

#include <cstddef>

#include "pattern/pattern.h"

namespace vu32 {

struct MatchTuning {
  // Remember failed states from the first step, instead of only once a
  // search has taken many more steps than the line has characters.
  bool memo_from_start = false;
  // Run a repetition of one character-wide construct (a*, .*, [^x]+) as one
  // scan with one stack entry, instead of a pass per character.
  bool compress_runs = true;
  // The backtracking stack may always grow to this many entries (24 bytes
  // each), and to 16 per character of the line beyond; a search that needs
  // more gives up and the match reports -1.
  size_t min_stack_limit = size_t{1} << 26;
};

int MatchPatternTuned(MatchResult* result, const char* text,
                      const PatternProgram& program, const MatchTuning& tuning);

}  // namespace vu32

#endif  // VU32_PATTERN_MATCH_H_
