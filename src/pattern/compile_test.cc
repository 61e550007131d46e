// Golden layouts of small patterns: a quick look at what the compiler builds
// for each kind of construct and for the oddities of the syntax. The
// matching tests are where the real confidence comes from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern/pattern.h"
#include "pattern/program.h"
#include "test_util.h"

namespace vu32 {
namespace {

struct GoldenRow {
  const char* pattern;
  const char* dump;
};

void CheckGolden(const std::vector<GoldenRow>& rows) {
  for (const GoldenRow& row : rows) {
    SCOPED_TRACE(std::string("pattern \"") + row.pattern + "\" " +
                 testing::Hex(row.pattern));
    EXPECT_EQ(Dump(CompilePattern(row.pattern)), row.dump);
  }
}

TEST(CompileTest, AtomsAnchorsAndTheIgnoredCases) {
  CheckGolden({
      {"", "0. end\n"},
      {"abc", "0. char 0061\n1. char 0062\n2. char 0063\n3. end\n"},
      {"^", "0. anchor\n1. end\n"},
      {"a.$", "0. char 0061\n1. any\n2. dollar\n3. end\n"},
      // ^ is special only as the very first byte.
      {"a^", "0. char 0061\n1. char 005E\n2. end\n"},
      {"^^", "0. anchor\n1. char 005E\n2. end\n"},
      // A repetition with nothing before it is ignored.
      {"*a", "0. char 0061\n1. end\n"},
      {"^*a", "0. anchor\n1. char 0061\n2. end\n"},
      {"(*a)", "0. char 0061\n1. end\n"},
      // `)` closing no group ends the pattern.
      {"ab)cd", "0. char 0061\n1. char 0062\n2. end\n"},
      // An empty group has no cells, and wrapping it would change nothing.
      {"()*a", "0. char 0061\n1. end\n"},
      {"a{2}",
       "0. char 0061\n1. char 007B\n2. char 0032\n3. char 007D\n"
       "4. end\n"},
      {"abc\\", "0. char 0061\n1. char 0062\n2. char 0063\n3. end\n"},
      // The jump's ASCII code is an ordinary pattern character.
      {"\x7F", "0. char 007F\n1. end\n"},
      // Dollar cells everywhere; the matcher decides by the next cell.
      {"a$|b",
       "0. alt -> 6\n2. char 0061\n3. dollar\n4. jump -> 7\n"
       "6. char 0062\n7. end\n"},
      {"a$)b", "0. char 0061\n1. dollar\n2. end\n"},
      {"\\$", "0. char 0024\n1. end\n"},
  });
}

TEST(CompileTest, Escapes) {
  CheckGolden({
      {"\\a", "0. char 0041\n1. end\n"},
      {"\\A", "0. char 0041\n1. end\n"},
      {"\\x41", "0. char 0041\n1. end\n"},
      {"\\X4a", "0. char 004A\n1. end\n"},
      {"\\j0041", "0. char 0041\n1. end\n"},
      {"\\J82a0", "0. char 2422\n1. end\n"},
      {"\\j2422", "0. char 2422\n1. end\n"},
      {"\\J0041", "0. char 0041\n1. end\n"},
      {"\\t\\T\\n\\N\\r\\R",
       "0. char 0009\n1. char 0009\n2. char 000A\n3. char 000A\n"
       "4. char 000D\n5. char 000D\n6. end\n"},
      {"\\.\\*\\\\\\[\\(\\|",
       "0. char 002E\n1. char 002A\n2. char 005C\n3. char 005B\n"
       "4. char 0028\n5. char 007C\n6. end\n"},
      // A two-byte character after a backslash is that character; its
      // trail byte is never taken for an escape letter.
      {"\\\x82\xA0", "0. char 2422\n1. end\n"},
      {"\\\x95\x5C", "0. char 493D\n1. end\n"},
      // Values that name no character of a text match nothing.
      {"\\x00", "0. char FF00\n1. end\n"},
      {"\\j2A00", "0. char FF00\n1. end\n"},
      {"\\J4142", "0. char FF00\n1. end\n"},
      // Fewer hex digits than asked for: the value of those read; the rest
      // is pattern text again.
      {"\\x4", "0. char 0004\n1. end\n"},
      {"\\x4g", "0. char 0004\n1. char 0067\n2. end\n"},
      {"\\xZ", "0. char FF00\n1. char 005A\n2. end\n"},
      {"\\j41", "0. char 0041\n1. end\n"},
      // A lone lead byte ending the pattern is a character of its own.
      {"a\x82", "0. char 0061\n1. char 8200\n2. end\n"},
      // A lead byte with an invalid trail byte still makes one character.
      {"\x81\x20", "0. char 22A0\n1. end\n"},
      {"\\J8120", "0. char 22A0\n1. end\n"},
  });
}

TEST(CompileTest, Repetitions) {
  CheckGolden({
      {"a*", "0. star -> 5\n2. char 0061\n3. star back -> 2\n5. end\n"},
      {"a+", "0. plus -> 5\n2. char 0061\n3. plus back -> 2\n5. end\n"},
      {"a?", "0. option -> 5\n2. char 0061\n3. option back -> 2\n5. end\n"},
      // Operators stack: a** is (a*)*, a+? is (a+)?.
      {"a**",
       "0. star -> 9\n2. star -> 7\n4. char 0061\n5. star back -> 4\n"
       "7. star back -> 2\n9. end\n"},
      {"a+?",
       "0. option -> 9\n2. plus -> 7\n4. char 0061\n5. plus back -> 4\n"
       "7. option back -> 2\n9. end\n"},
      // Only the most recent atom is wrapped.
      {"ab*",
       "0. char 0061\n1. star -> 6\n3. char 0062\n4. star back -> 3\n"
       "6. end\n"},
      {"(ab)+",
       "0. plus -> 6\n2. char 0061\n3. char 0062\n4. plus back -> 2\n"
       "6. end\n"},
      {"(a|b)*",
       "0. star -> 10\n2. alt -> 7\n4. char 0061\n5. jump -> 8\n"
       "7. char 0062\n8. star back -> 2\n10. end\n"},
      {"[ab]*",
       "0. star -> 9\n2. class -> 7 [0061 0062]\n7. star back -> 2\n"
       "9. end\n"},
      {"x*$",
       "0. star -> 5\n2. char 0078\n3. star back -> 2\n5. dollar\n"
       "6. end\n"},
  });
}

TEST(CompileTest, AlternationAndGroups) {
  CheckGolden({
      {"a|b",
       "0. alt -> 5\n2. char 0061\n3. jump -> 6\n5. char 0062\n6. end\n"},
      // The anchor belongs to the whole pattern.
      {"^a|b",
       "0. anchor\n1. alt -> 6\n3. char 0061\n4. jump -> 7\n"
       "6. char 0062\n7. end\n"},
      {"a|^b",
       "0. alt -> 5\n2. char 0061\n3. jump -> 7\n5. char 005E\n"
       "6. char 0062\n7. end\n"},
      // a|b|c is a|(b|c).
      {"a|b|c",
       "0. alt -> 5\n2. char 0061\n3. jump -> 11\n5. alt -> 10\n"
       "7. char 0062\n8. jump -> 11\n10. char 0063\n11. end\n"},
      // The left alternative is everything before `|` in its group.
      {"ab|c",
       "0. alt -> 6\n2. char 0061\n3. char 0062\n4. jump -> 7\n"
       "6. char 0063\n7. end\n"},
      {"x(ab|a)c",
       "0. char 0078\n1. alt -> 7\n3. char 0061\n4. char 0062\n"
       "5. jump -> 8\n7. char 0061\n8. char 0063\n9. end\n"},
      // A `|` with nothing before it is ignored; an empty right side
      // matches the empty text.
      {"|a", "0. char 0061\n1. end\n"},
      {"(|a)", "0. char 0061\n1. end\n"},
      {"a||b",
       "0. alt -> 5\n2. char 0061\n3. jump -> 6\n5. char 0062\n6. end\n"},
      {"a|", "0. alt -> 5\n2. char 0061\n3. jump -> 5\n5. end\n"},
      // An empty group is something before `|`: the left side matches the
      // empty text.
      {"(()|a)", "0. alt -> 4\n2. jump -> 5\n4. char 0061\n5. end\n"},
      // A group still open at the end is closed there.
      {"(a|b",
       "0. alt -> 5\n2. char 0061\n3. jump -> 6\n5. char 0062\n6. end\n"},
      {"((a", "0. char 0061\n1. end\n"},
      // `)` closes the right side and its group; at the outer level it ends
      // the pattern.
      {"(a|b)c",
       "0. alt -> 5\n2. char 0061\n3. jump -> 6\n5. char 0062\n"
       "6. char 0063\n7. end\n"},
      {"a|b)c",
       "0. alt -> 5\n2. char 0061\n3. jump -> 6\n5. char 0062\n"
       "6. end\n"},
  });
}

TEST(CompileTest, Classes) {
  CheckGolden({
      {"[abc]", "0. class -> 6 [0061 0062 0063]\n6. end\n"},
      {"[]a]", "0. class -> 3 []\n3. char 0061\n4. char 005D\n5. end\n"},
      {"[\\]a]", "0. class -> 5 [005D 0061]\n5. end\n"},
      {"[a-]", "0. class -> 4 [0061]\n4. end\n"},
      {"[a-", "0. class -> 4 [0061]\n4. end\n"},
      {"[-a]", "0. class -> 5 [002D 0061]\n5. end\n"},
      {"[--a]", "0. class -> 6 [002D 002D 0061]\n6. end\n"},
      {"[--/]", "0. class -> 6 [002D 002D 002F]\n6. end\n"},
      {"[z-a]", "0. class -> 6 [007A-0061]\n6. end\n"},
      {"[a-c-e]", "0. class -> 8 [0061-0063 002D 0065]\n8. end\n"},
      {"[\\--/]", "0. class -> 6 [002D-002F]\n6. end\n"},
      {"[a--]", "0. class -> 6 [0061-002D]\n6. end\n"},
      {"[a\\-z]", "0. class -> 6 [0061 002D 007A]\n6. end\n"},
      {"[\\x41-\\x5a]", "0. class -> 6 [0041-005A]\n6. end\n"},
      // Inside a class the operators are ordinary characters.
      {"[.*+?()|$[]",
       "0. class -> 12 [002E 002A 002B 003F 0028 0029 007C 0024 "
       "005B]\n12. end\n"},
      // Negation: ^ first, however written; a ^ that starts a range is a
      // bound.
      {"[^abc]", "0. class -> 7 [^0061 0062 0063]\n7. end\n"},
      {"[\\^a]", "0. class -> 5 [^0061]\n5. end\n"},
      {"[\\x5ea]", "0. class -> 5 [^0061]\n5. end\n"},
      {"[^]", "0. class -> 4 [^]\n4. end\n"},
      {"[^-a]", "0. class -> 6 [005E-0061]\n6. end\n"},
      {"[a^]", "0. class -> 5 [0061 005E]\n5. end\n"},
      // Two-byte members and ranges compare JIS codes.
      {"[\x82\x9F-\x82\xF1]", "0. class -> 6 [2421-2473]\n6. end\n"},
      {"[\x87\x40]", "0. class -> 4 [2D21]\n4. end\n"},
      // A bound of value 0 stays as written: it is the lowest code.
      {"[\\x00-\\x1f]", "0. class -> 6 [0000-001F]\n6. end\n"},
      // A single member that names no text character.
      {"[\\x00a]", "0. class -> 5 [FF00 0061]\n5. end\n"},
      // Still open at the end, or ended by a trailing backslash.
      {"[ab", "0. class -> 5 [0061 0062]\n5. end\n"},
      {"[a\\", "0. class -> 4 [0061]\n4. end\n"},
      {"[ab]+",
       "0. plus -> 9\n2. class -> 7 [0061 0062]\n7. plus back -> 2\n"
       "9. end\n"},
  });
}

TEST(CompileTest, CellsOfTheLayouts) {
  // The raw cells, offsets included, for one of each layout.
  struct Row {
    const char* pattern;
    PatternProgram cells;
  } rows[] = {
      {"a**",
       {0x2A00, 0x0008, 0x2A00, 0x0004, 0x0061, 0x2A00, 0xFFFE, 0x2A00, 0xFFFA,
        0x0000}},
      {"(a|b)*",
       {0x2A00, 0x0009, 0x7C00, 0x0004, 0x0061, 0x7F00, 0x0002, 0x0062, 0x2A00,
        0xFFF9, 0x0000}},
      {"^[^a-z\\]]?",
       {0x5E00, 0x3F00, 0x000B, 0x5B00, 0x0007, 0x005E, 0x2D00, 0x0061, 0x007A,
        0x005D, 0x0000, 0x3F00, 0xFFF7, 0x0000}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    EXPECT_EQ(CompilePattern(row.pattern), row.cells);
  }
}

TEST(CompileTest, ConstructsBeyondTheShortOffsetRange) {
  // X of 40,000 cells: both offsets of the star need the long form.
  std::string pattern = "(" + std::string(40000, 'a') + ")*";
  PatternProgram p = CompilePattern(pattern);
  ASSERT_EQ(p.size(), 40009u);
  EXPECT_EQ(p[0], kOpStar);
  EXPECT_EQ(p[1], kLongOffset);
  EXPECT_EQ(Target(p, 1), 40008u);
  EXPECT_EQ(AfterOffset(p, 1), 4u);
  EXPECT_EQ(p[40004], kOpStar);
  EXPECT_EQ(p[40005], kLongOffset);
  EXPECT_EQ(Target(p, 40005), 4u);
  EXPECT_EQ(p[40008], kEndCell);

  // Around the limit each offset takes the width it needs.
  for (size_t n = 32760; n <= 32770; ++n) {
    SCOPED_TRACE(n);
    PatternProgram q = CompilePattern("(" + std::string(n, 'a') + ")*");
    size_t x = AfterOffset(q, 1);
    size_t back = x + n;
    ASSERT_EQ(q[back], kOpStar);
    EXPECT_EQ(Target(q, 1), q.size() - 1);
    EXPECT_EQ(Target(q, back + 1), x);
    EXPECT_EQ(AfterOffset(q, back + 1), q.size() - 1);
    EXPECT_EQ(q[1] == kLongOffset, n + 3 > 32767);
  }
}

TEST(CompileTest, HugeAndDeepPatternsCompileWithoutRecursion) {
  std::string deep_groups(200000, '(');
  deep_groups += "a";
  EXPECT_EQ(CompilePattern(deep_groups), (PatternProgram{0x0061, 0}));

  // 100,000 stars around one another, the outer ones with long offsets.
  PatternProgram p = CompilePattern("a" + std::string(100000, '*'));
  EXPECT_EQ(p[0], kOpStar);
  EXPECT_EQ(Target(p, 1), p.size() - 1);
  EXPECT_EQ(p.back(), kEndCell);
}

TEST(CompileTest, LiteralPrefix) {
  const struct {
    const char* pattern;
    const char* bytes;
    bool anchored;
  } kRows[] = {
      {"abc", "abc", false},
      {"^\\.TH LS ", ".TH LS ", true},
      {"ab*", "a", false},  // the star takes b only
      {"x(ab|a)c", "x", false},
      {"a|b", "", false},
      {"^a|b", "", true},
      {"a.b", "a", false},
      {"a$", "a", false},
      {"[a]b", "", false},
      {"\x82\xA0\xB1z", "\x82\xA0\xB1z", false},  // two-byte and kana
      {"\\j2422", "\x82\xA0", false},             // JIS code of the same
      {"a\\x00b", "a", false},  // no text holds that character
      {"a\nb", "a", false},     // a line ends at its LF
      {"^", "", true},
      {"", "", false},
  };
  for (const auto& row : kRows) {
    const LiteralPrefix prefix = LiteralPrefixOf(CompilePattern(row.pattern));
    EXPECT_EQ(prefix.bytes, row.bytes) << row.pattern;
    EXPECT_EQ(prefix.anchored, row.anchored) << row.pattern;
  }
}

}  // namespace
}  // namespace vu32
