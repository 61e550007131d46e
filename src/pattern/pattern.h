// The pattern language of split (-#PATTERN): a small regular-expression
// dialect over Shift-JIS characters, compiled into 16-bit cells and run by
// a backtracking matcher.
#ifndef VU32_PATTERN_PATTERN_H_
#define VU32_PATTERN_PATTERN_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vu32 {

// Where a match lies, filled by a successful MatchPattern.
struct MatchResult {
  uint32_t start_bytes = 0;
  uint32_t start_chars = 0;
  uint32_t length_bytes = 0;
  uint32_t length_chars = 0;
};

// A compiled pattern: its cells, ending with the end cell 0.
using PatternProgram = std::vector<uint16_t>;

// Compiles `pattern` (the bytes after -# or --#, up to its first NUL).
// Never fails: every byte string is a pattern.
PatternProgram CompilePattern(std::string_view pattern);

// The bytes that every match of a program begins with: those of the plain
// characters that open the pattern (after a leading ^), up to its first
// operation, line feed, or character that no text holds. With `anchored`
// (the pattern starts with ^) they must also open the line. A line that
// does not hold them (at its start, when anchored) cannot match; with no
// bytes this tells nothing.
struct LiteralPrefix {
  std::string bytes;
  bool anchored = false;
};

LiteralPrefix LiteralPrefixOf(const PatternProgram& program);

enum class MatchOutcome {
  kNoMatch,
  kMatch,
  // The search stopped before it could tell: its stack or its memory of
  // failed states could not grow. Only patterns nesting repetitions
  // thousands deep, or lines and patterns that together take most of the
  // memory, get here. The line is neither a match nor not one.
  kGaveUp,
};

// Searches the zero-terminated `text` (a line as read, line end included;
// it ends for matching at its first NUL) for the leftmost match of
// `program`; `*result` is filled on a match. A Matcher (match.h) does the
// same and keeps its scratch space for the next line.
MatchOutcome MatchPattern(MatchResult* result, const char* text,
                          const PatternProgram& program);

// The same, compiling `pattern` first.
MatchOutcome MatchPattern(MatchResult* result, const char* text,
                          const char* pattern);

}  // namespace vu32

#endif  // VU32_PATTERN_PATTERN_H_
