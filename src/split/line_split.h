// Cutting at line ends: every n lines, or at every n-th line that matches
// the split pattern.
#ifndef VU32_SPLIT_LINE_SPLIT_H_
#define VU32_SPLIT_LINE_SPLIT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "pattern/pattern.h"
#include "split/pieces.h"

namespace vu32 {

// Cuts the whole input into pieces. Without `pattern` a piece holds `n`
// complete lines (a last line without LF stays with the lines before it).
// With `pattern` (the text after -# or --#, possibly empty) a new piece
// opens at every n-th line after the first that the pattern matches; with
// --# that line is left out. Lines are whole whatever their length, NULs
// and LF included. False after a reported failure that ends the run: a
// line whose match the matcher could not decide is one.
bool SplitByLines(const SplitContext& context, uint64_t n,
                  const std::string* pattern);

// Says whether a line (LF included, NUL-terminated by the string) matches.
using LineMatcher = std::function<MatchOutcome(const std::string& line)>;

// The pattern half of SplitByLines with the matcher given (tests supply
// their own, so the cutting is checked apart from the pattern language).
// Lines that do not hold `literal` (the pattern's LiteralPrefixOf) are
// taken for no match without asking.
bool SplitAtMatchingLines(const SplitContext& context, uint64_t n,
                          const LineMatcher& matches,
                          const LiteralPrefix& literal = LiteralPrefix());

}  // namespace vu32

#endif  // VU32_SPLIT_LINE_SPLIT_H_
