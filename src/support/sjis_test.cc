#include "support/sjis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace vu32 {
namespace {

using testing::Bytes;
using testing::Hex;

TEST(SjisTest, ByteKindRows) {
  struct Row {
    std::string text;
    std::vector<int> kinds;  // one per byte
  };
  const Row rows[] = {
      {Bytes({0x81, 0x20, 0x41}), {1, 0, 0}},  // 0x20 is no trail byte
      {Bytes({0x81, 0x81, 0x40}), {1, 2, 0}},  // two lead-range bytes pair up
      {Bytes({0x81, 0x7F, 0x81, 0x40}), {1, 0, 1, 2}},
      {Bytes({0x43, 0x3A, 0x5C, 0x95, 0x5C, 0x5C, 0x61}),
       {0, 0, 0, 1, 2, 0, 0}},
      {Bytes({0xB1, 0x5C}), {0, 0}},  // half-width kana is one byte
      {Bytes({0x41, 0x9F}), {0, 1}},  // a lead byte at the end
      {Bytes({0xE0, 0xFC, 0xFC, 0xFD}), {1, 2, 1, 0}},
      {Bytes({0xFD, 0xA0, 0x80}), {0, 0, 0}},  // 0xFD, 0xA0 and 0x80 never lead
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Hex(row.text));
    const char* text = row.text.c_str();
    for (size_t i = 0; i < row.kinds.size(); ++i) {
      EXPECT_EQ(SjisByteKind(text, static_cast<long>(i)), row.kinds[i]) << i;
    }
    EXPECT_EQ(SjisByteKind(text, static_cast<long>(row.text.size())), -1);
    EXPECT_EQ(SjisByteKind(text, -1), -1);
  }
  EXPECT_EQ(SjisByteKind("", 0), -1);
}

TEST(SjisTest, SearchesSkipTrailBytes) {
  struct Row {
    std::string text;
    char ch;
    long first;  // -1: not found
    long last;
  };
  const Row rows[] = {
      // C:\表\a: the 0x5C inside 表 (95 5C) is never a separator.
      {Bytes({0x43, 0x3A, 0x5C, 0x95, 0x5C, 0x5C, 0x61}), '\\', 2, 5},
      {Bytes({0x95, 0x5C}), '\\', -1, -1},
      {Bytes({0x95, 0x5C, 0x95, 0x5C}), '\\', -1, -1},
      {Bytes({0xB1, 0x5C}), '\\', 1, 1},        // after half-width kana
      {Bytes({0x81, 0x20, 0x5C}), '\\', 2, 2},  // after a broken pair
      {Bytes({0x83, 0x2E, 0x2E}), '.', 1, 2},   // 0x2E is no trail byte
      {Bytes({0x82, 0xA0, 0x2E, 0x74, 0x2E}), '.', 2, 4},
      {"a/b/c", '/', 1, 3},
      {"abc", '/', -1, -1},
      {"", '\\', -1, -1},
      {"abc", '\0', -1, -1},  // the terminator never matches
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Hex(row.text) + " / " + Hex(std::string(1, row.ch)));
    const char* text = row.text.c_str();
    const char* first = SjisFindChar(text, row.ch);
    const char* last = SjisFindLastChar(text, row.ch);
    EXPECT_EQ(first ? first - text : -1, row.first);
    EXPECT_EQ(last ? last - text : -1, row.last);
  }
}

// The searches walk forward once; they must agree with asking SjisByteKind
// at every candidate, which is what they stand for.
TEST(SjisTest, SearchesAgreeWithByteKind) {
  const unsigned char alphabet[] = {0x5C, 0x2E, 0x41, 0x81, 0x95, 0xA0,
                                    0xB1, 0xE0, 0xFC, 0xFD, 0x7F, 0x40};
  std::string text;
  // Every string of length 4 over the alphabet.
  const size_t n = sizeof alphabet;
  for (size_t code = 0; code < n * n * n * n; ++code) {
    text.clear();
    for (size_t c = code, i = 0; i < 4; ++i, c /= n) {
      text.push_back(static_cast<char>(alphabet[c % n]));
    }
    long want_first = -1, want_last = -1;
    for (long i = 0; i < 4; ++i) {
      if (text[static_cast<size_t>(i)] == '\\' &&
          SjisByteKind(text.c_str(), i) == 0) {
        if (want_first < 0) want_first = i;
        want_last = i;
      }
    }
    const char* first = SjisFindChar(text.c_str(), '\\');
    const char* last = SjisFindLastChar(text.c_str(), '\\');
    ASSERT_EQ(first ? first - text.c_str() : -1, want_first) << Hex(text);
    ASSERT_EQ(last ? last - text.c_str() : -1, want_last) << Hex(text);
  }
}

}  // namespace
}  // namespace vu32
