#include "filters/text.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace vu32 {
namespace {

using testing::FromHex;
using testing::Hex;
using testing::RunWhole;

struct Row {
  const char* in;
  const char* out;
};

TEST(DeletecontrolcharTest, Table) {
  const Row kRows[] = {
      {"", ""},
      {"41 0D 0A 42", "41 0D 0A 42"},
      {"41 0D 42", "41 42"},
      {"41 0A", "41 0A"},
      {"41 1A", "41"},
      {"0D 0D 0A", "0D 0A"},
      {"41 0D", "41"},
      {"09 1B 5B 6D 7F 00", "09 5B 6D"},
      // The byte before the LF decides, written or not.
      {"0D 00 0A", "0A"},
      {"0D 09 0A", "09 0A"},
      {"95 5C 83 0D 0A B1 FF 80", "95 5C 83 0D 0A B1 FF 80"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    Deletecontrolchar filter;
    EXPECT_EQ(Hex(RunWhole(filter, FromHex(row.in))), row.out);
  }
}

TEST(DeletecontrolcharTest, EveryByteAlone) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const bool kept = b == 0x09 || b == 0x0A || (b >= 0x20 && b != 0x7F);
    const std::string in(1, static_cast<char>(b));
    Deletecontrolchar filter;
    EXPECT_EQ(RunWhole(filter, in), kept ? in : "");
  }
}

TEST(ChangeCaseTest, Table) {
  const struct {
    const char* in;
    const char* lower;
    const char* upper;
  } kRows[] = {
      {"", "", ""},
      {"41 61 5A 7A", "61 61 7A 7A", "41 41 5A 5A"},
      // Neighbours of the letter ranges stay.
      {"40 5B 60 7B", "40 5B 60 7B", "40 5B 60 7B"},
      // Trail bytes that look like letters stay: ア (83 41), ヂ (83 61).
      {"83 41 83 61", "83 41 83 61", "83 41 83 61"},
      // The second 0x81 is a trail byte; the letter after it is converted.
      {"81 81 61 41", "81 81 61 61", "81 81 41 41"},
      // Whatever follows a lead byte is its partner, an LF too.
      {"82 0A 61", "82 0A 61", "82 0A 41"},
      {"9F 41 E0 61 FC 5A", "9F 41 E0 61 FC 5A", "9F 41 E0 61 FC 5A"},
      // 0x80, 0xA0 and 0xFD-0xFF open nothing; half-width kana are one byte.
      {"80 41 A0 61 FD 41 B1 61 DF 41", "80 61 A0 61 FD 61 B1 61 DF 61",
       "80 41 A0 41 FD 41 B1 41 DF 41"},
      // A lone lead byte at the very end is written unchanged.
      {"41 81", "61 81", "41 81"},
      {"E0", "E0", "E0"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.in);
    ChangeCase lower(LetterCase::kLower), upper(LetterCase::kUpper);
    EXPECT_EQ(Hex(RunWhole(lower, FromHex(row.in))), row.lower);
    EXPECT_EQ(Hex(RunWhole(upper, FromHex(row.in))), row.upper);
  }
}

TEST(DeleteTabsTest, DeletesOnlyTabs) {
  const Row kRows[] = {
      {"", ""},
      {"09 09 41 09", "41"},
      {"09", ""},
      {"41 0D 0A 00 1A 95 09 42", "41 0D 0A 00 1A 95 42"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.in);
    DeleteTabs filter;
    EXPECT_EQ(Hex(RunWhole(filter, FromHex(row.in))), row.out);
  }
}

// Spaces as hex, for readable rows.
std::string Spaces(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += i ? " 20" : "20";
  return out;
}

TEST(Tab2spaceTest, WidthFour) {
  const std::string s4 = Spaces(4);
  const struct {
    const char* in;
    std::string out;
  } kRows[] = {
      {"", ""},
      {"09 41", s4 + " 41"},
      {"41 09 42", "41 " + Spaces(3) + " 42"},
      {"41 42 43 44 09", "41 42 43 44 " + s4},
      {"41 42 43 44 45 09", "41 42 43 44 45 " + Spaces(3)},
      {"09 09", s4 + " " + s4},
      {"41 0D 0A 09", "41 0D 0A " + s4},
      // Every LF and every CR starts a new line, with or without a CR
      // earlier in the input: LF-only and CR-only files work line by line.
      {"41 42 0A 09", "41 42 0A " + s4},
      {"41 0D 42 0A 09", "41 0D 42 0A " + s4},
      {"41 0D 09", "41 0D " + s4},
      {"41 42 0A 43 0A 44 09", "41 42 0A 43 0A 44 " + Spaces(3)},
      // Each written byte is one column: two-byte characters count two,
      // half-width kana and control bytes one.
      {"88 9F 09", "88 9F " + Spaces(2)},
      {"B1 1B 00 09", "B1 1B 00 20"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.in);
    Tab2space filter(4);
    EXPECT_EQ(Hex(RunWhole(filter, FromHex(row.in))), row.out);
  }
}

TEST(Tab2spaceTest, EveryWidth) {
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    // A tab at column 0 fills a whole stop; after one byte it fills the rest.
    Tab2space at_zero(n), after_one(n), after_line(n);
    EXPECT_EQ(Hex(RunWhole(at_zero, FromHex("09"))), Spaces(n));
    EXPECT_EQ(Hex(RunWhole(after_one, FromHex("41 09"))),
              "41 " + Spaces(n == 1 ? 1 : n - 1));
    EXPECT_EQ(Hex(RunWhole(after_line, FromHex("41 42 43 0A 09 41"))),
              "41 42 43 0A " + Spaces(n) + " 41");
  }
}

}  // namespace
}  // namespace vu32
