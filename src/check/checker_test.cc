#include "check/checker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "check/assigned.h"
#include "test_util.h"

namespace vu32::check {
namespace {

using testing::FromHex;
using testing::Hex;

// Faults as "LINE:COLUMN class @OFFSET", notes as "LINE:COLUMN class".
struct Collect : Listener {
  std::vector<std::string> lines;
  std::vector<FaultRecord> faults;
  void OnFault(const FaultRecord& r) override {
    faults.push_back(r);
    lines.push_back(std::to_string(r.at.line) + ":" +
                    std::to_string(r.at.column) + " " + FaultToken(r.fault) +
                    " @" + std::to_string(r.offset));
  }
  void OnNote(const NoteRecord& n) override {
    lines.push_back(std::to_string(n.at.line) + ":" +
                    std::to_string(n.at.column) + " " + NoteToken(n.note));
  }
};

struct Result {
  std::vector<std::string> lines;
  std::vector<FaultRecord> faults;
  Summary summary;
};

// Feeds `input` cut at `cuts` (ascending offsets), with the --info counts.
Result Check(const std::string& input, const std::vector<size_t>& cuts = {}) {
  Collect collect;
  Checker checker(&collect, true);
  size_t at = 0;
  for (size_t cut : cuts) {
    checker.Feed(reinterpret_cast<const uint8_t*>(input.data()) + at, cut - at);
    at = cut;
  }
  checker.Feed(reinterpret_cast<const uint8_t*>(input.data()) + at,
               input.size() - at);
  checker.Finish();
  return {collect.lines, collect.faults, checker.summary()};
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "; ";
  return out;
}

// Every test runs once per scanner.
class CheckerTest : public ::testing::TestWithParam<scan::Level> {
 protected:
  void SetUp() override {
    if (!UseKernel(GetParam())) GTEST_SKIP() << "not on this processor";
  }
  void TearDown() override {
    for (scan::Level l :
         {scan::Level::kAvx512, scan::Level::kAvx2, scan::Level::kScalar}) {
      if (UseKernel(l)) break;
    }
  }
};

struct ClassCase {
  const char* hex;
  const char* expected;  // the findings, each followed by "; "
  bool anywhere;         // also after other text (not the BOM)
};

// Each row at offset 0, then (where `anywhere`) after padding that puts it
// across each block boundary: same line, columns and offsets shifted.
const ClassCase kClassCases[] = {
    {"81 20 41 0A", "1:1 bad-trail @0; ", true},
    {"81 00 41 0A", "1:1 bad-trail @0; 1:2 nul @1; ", true},
    {"81 FF 0A", "1:1 bad-trail @0; 1:2 invalid-byte @1; ", true},
    {"81 0A 85 40 0A", "1:1 bad-trail @0; 2:1 unassigned @2; ", true},
    {"81 7F 41 0A", "1:1 bad-trail @0; 1:2 control @1; ", true},
    {"41 81", "1:2 cut-char @1; 1:3 no-final-line-end; ", true},
    {"82 A0 81", "1:2 cut-char @2; 1:3 no-final-line-end; ", true},
    {"85 40 0A", "1:1 unassigned @0; ", true},
    {"82 F2 41 0A", "1:1 unassigned @0; ", true},
    {"EB 40 EF FC FC 4C EE ED 87 5E 0A",
     "1:1 unassigned @0; 1:2 unassigned @2; "
     "1:3 unassigned @4; 1:4 unassigned @6; 1:5 unassigned @8; ",
     true},
    // Assigned, though the quick test passes them to the exact one.
    {"81 C8 81 FC 81 80 81 A0 FC 4B 0A", "", true},
    {"80 A0 FD FE FF 0A",
     "1:1 invalid-byte @0; 1:2 invalid-byte @1; "
     "1:3 invalid-byte @2; 1:4 invalid-byte @3; 1:5 invalid-byte @4; ",
     true},
    {"00 01 1B 7F 09 41 0A",
     "1:1 nul @0; 1:2 control @1; 1:3 control @2; "
     "1:4 control @3; ",
     true},
    {"1A 41 0A", "1:1 eof-mark @0; ", true},
    {"41 1A", "1:2 no-final-line-end; 1:2 final-eof-mark; ", true},
    {"41 0A 1A", "2:1 final-eof-mark; ", true},
    {"EF BB BF 82 A0 85 40 0A", "1:1 bom @0; 1:3 unassigned @5; ", false},
    {"EF BB BF", "1:1 bom @0; ", false},
    // Line ends: the minority kinds where they first appear, CR CR LF.
    {"41 0D 0A 42 0A 43 0D 0A", "2:2 mixed-line-ends; ", true},
    {"41 0D 0D 0A", "1:2 cr-cr-lf; ", true},
    {"0A 0D 41 0D", "1:1 mixed-line-ends; ", true},
    {"41 0D 0A 42 0D 43 0D 0A", "2:2 mixed-line-ends; ", true},
    {"41 0D 0D 0D 0A 42 0D", "1:3 cr-cr-lf; ", true},
    {"41 0D 0D 0A 42 0D 43 0A", "2:2 mixed-line-ends; 1:2 cr-cr-lf; ", true},
    {"82 A0 41", "1:3 no-final-line-end; ", true},
};

TEST_P(CheckerTest, EachClassAtTheStartAcrossBlockEndsAndAtTheEnd) {
  for (const ClassCase& c : kClassCases) {
    const std::string input = FromHex(c.hex);
    for (size_t pad : {0, 61, 62, 63, 64, 65, 127, 65536 - 1, 65536 + 63}) {
      if (pad > 0 && !c.anywhere) continue;
      SCOPED_TRACE(std::string(c.hex) + " after " + std::to_string(pad));
      // The expected lines with the columns and offsets moved by `pad`.
      std::string expected;
      for (const char* p = c.expected; *p;) {
        const char* end = std::strchr(p, ';');
        std::string line(p, end);
        p = end + 2;
        const size_t colon = line.find(':'), space = line.find(' ');
        const uint64_t row = std::stoull(line.substr(0, colon));
        uint64_t col = std::stoull(line.substr(colon + 1, space - colon - 1));
        if (row == 1) col += pad;
        std::string rest = line.substr(space);
        const size_t at = rest.find('@');
        if (at != std::string::npos) {
          rest = rest.substr(0, at + 1) +
                 std::to_string(std::stoull(rest.substr(at + 1)) + pad);
        }
        expected +=
            std::to_string(row) + ":" + std::to_string(col) + rest + "; ";
      }
      const std::string padded = std::string(pad, 'a') + input;
      EXPECT_EQ(Joined(Check(padded).lines), expected);
      EXPECT_EQ(Joined(Check(padded, {pad / 2, pad + 1}).lines), expected);
    }
  }
}

TEST_P(CheckerTest, ContextBytesReachAcrossBlocksAndFeeds) {
  const std::string input = std::string(62, 'a') + FromHex("81 20 62 63 64");
  for (const std::vector<size_t>& cuts : std::vector<std::vector<size_t>>{
           {}, {63}, {64}, {65}, {62, 63, 64, 65}}) {
    const Result r = Check(input, cuts);
    ASSERT_EQ(r.faults.size(), 1u);
    EXPECT_EQ(
        Hex(std::string(r.faults[0].before.byte, r.faults[0].before.byte + 3)),
        "61 61 61");
    EXPECT_EQ(r.faults[0].bytes.size, 2);
    EXPECT_EQ(r.faults[0].after.size, 3);
    EXPECT_EQ(r.faults[0].after.byte[2], 0x64);
  }
  // Fewer bytes of context at the ends of the input.
  const Result r = Check(FromHex("41 81"));
  EXPECT_EQ(r.faults[0].before.size, 1);
  EXPECT_EQ(r.faults[0].after.size, 0);
}

struct VerdictCase {
  std::string input;
  const char* verdict;
};

TEST_P(CheckerTest, Verdicts) {
  const std::string japanese = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x95\xB6\n";
  const std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\n";
  std::string many_nuls;
  for (int i = 0; i < 200; ++i) many_nuls += std::string("ab\0", 3);
  std::string few_nuls = std::string(4000, 'a') + '\0' + 'b';
  const VerdictCase cases[] = {
      {"", "empty"},
      {"abc\r\n", "ASCII"},
      {"abc\x7F\n", "CP932 with 1 fault"},
      {japanese, "CP932"},
      {japanese + "\x85\x40\x85\x40", "CP932 with 2 faults"},
      {"\xEF\xBB\xBF" + japanese, "CP932 with 1 fault"},
      {utf8, "UTF-8"},
      {"\xEF\xBB\xBF" + utf8, "UTF-8"},
      {"\xEF\xBB\xBF", "UTF-8"},
      // The first line decodes as CP932; the verdict goes by all of them.
      {"\xE6\x97\xA5\xE6\x9C\xAC\n" + utf8 + utf8, "UTF-8"},
      // A UTF-8 piece cut inside a character is still UTF-8.
      {utf8 + "\xE6\x97", "UTF-8"},
      {std::string("\xFF\xFE"
                   "a\0",
                   4),
       "UTF-16"},
      {std::string("a\0b\0c\0\r\0\n\0", 10), "UTF-16"},
      {std::string("\0a\0b\0c", 6), "UTF-16"},
      {many_nuls, "binary"},
      {few_nuls, "CP932 with 1 fault"},
      {std::string(100, '\x07') + "text", "binary"},
  };
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(Hex(c.input.substr(0, 16)));
    EXPECT_EQ(Check(c.input).summary.verdict.Text(), c.verdict);
  }
}

TEST_P(CheckerTest, UnlistedFaultsAreCountedForBinaryAndUtf16) {
  std::string input;
  for (int i = 0; i < 100; ++i) input += std::string("\0\x01\x85\x40", 4);
  const Result r = Check(input);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_FALSE(r.summary.listed);
  EXPECT_EQ(r.summary.faults[static_cast<int>(Fault::kNul)], 100u);
  EXPECT_EQ(r.summary.faults[static_cast<int>(Fault::kUnassigned)], 100u);
  EXPECT_EQ(r.summary.total_faults, 300u);
}

TEST_P(CheckerTest, InfoCounts) {
  // Tab, control, kana (one a second byte), NEC special, NEC-selected IBM,
  // IBM, user-defined, an unassigned NEC code, 0x1A inside and last.
  const std::string input = FromHex(
      "09 01 B1 81 A1 0D 0A 87 40 ED 40 FA 40 F0 40 87 5E 0A 1A 41 42 43 44 "
      "45 46 47 0A 1A");
  const Summary s = Check(input).summary;
  EXPECT_EQ(s.tabs, 1u);
  EXPECT_EQ(s.controls, 1u);
  EXPECT_EQ(s.eof_marks, 2u);
  EXPECT_EQ(s.kana, 1u);
  EXPECT_EQ(s.two_byte, 5u);  // 81 A1 and the four assigned of the rows
  EXPECT_EQ(s.nec, 1u);
  EXPECT_EQ(s.nec_ibm, 1u);
  EXPECT_EQ(s.ibm, 1u);
  EXPECT_EQ(s.user, 1u);
  EXPECT_EQ(s.lines, 3u);
  EXPECT_EQ(s.longest_line, 10u);  // the five codes of line 2
  EXPECT_EQ(s.line_ends[kCrLf], 1u);
  EXPECT_EQ(s.line_ends[kLf], 2u);
  EXPECT_TRUE(s.final_line_end);
  EXPECT_TRUE(s.final_eof_mark);
  EXPECT_EQ(s.total_faults, 3u);  // control, unassigned, inner 1A
}

TEST_P(CheckerTest, LineEndCountsAndWhatTheConversionsWouldChange) {
  struct Case {
    const char* input;
    uint64_t crlf, lf, cr, crcrlf;
    bool dos, unix, mac;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", 2, 0, 0, 0, false, true, true},
      {"a\nb\n", 0, 2, 0, 0, true, false, true},
      {"a\rb\r", 0, 0, 2, 0, true, true, false},
      {"a\r\r\nb\r\r\r\n\r", 0, 0, 2, 2, true, true, true},
      {"abc", 0, 0, 0, 0, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const Summary s = Check(c.input).summary;
    EXPECT_EQ(s.line_ends[kCrLf], c.crlf);
    EXPECT_EQ(s.line_ends[kLf], c.lf);
    EXPECT_EQ(s.line_ends[kCr], c.cr);
    EXPECT_EQ(s.line_ends[kCrCrLf], c.crcrlf);
    EXPECT_EQ(s.ChangedByDos(), c.dos);
    EXPECT_EQ(s.ChangedByUnix(), c.unix);
    EXPECT_EQ(s.ChangedByMac(), c.mac);
  }
}

// The same findings and counts wherever the input is cut.
TEST_P(CheckerTest, ResultsDoNotDependOnTheCuts) {
  std::mt19937 rng(19);
  for (int round = 0; round < 60; ++round) {
    std::string input = testing::RandomSjisLike(rng, rng() % 3000);
    if (round % 5 == 0) input = "\xEF\xBB\xBF" + input;
    const Result whole = Check(input);
    const Result cut = Check(input, testing::RandomCuts(rng, input.size()));
    std::vector<size_t> each;
    for (size_t i = 1; i < input.size() && input.size() < 400; ++i) {
      each.push_back(i);
    }
    const Result bytewise = Check(input, each);
    for (const Result* r : {&cut, &bytewise}) {
      EXPECT_EQ(Joined(r->lines), Joined(whole.lines));
      EXPECT_EQ(r->summary.total_faults, whole.summary.total_faults);
      EXPECT_EQ(r->summary.longest_line, whole.summary.longest_line);
      EXPECT_EQ(r->summary.two_byte, whole.summary.two_byte);
      EXPECT_EQ(r->summary.kana, whole.summary.kana);
      EXPECT_EQ(r->summary.verdict.Text(), whole.summary.verdict.Text());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, CheckerTest,
                         ::testing::Values(scan::Level::kScalar,
                                           scan::Level::kAvx2,
                                           scan::Level::kAvx512),
                         testing::LevelTestName);

TEST(AssignedTest, TheSetAndItsLandmarks) {
  int count = 0;
  for (int lead = 0; lead < 256; ++lead) {
    for (int trail = 0; trail < 256; ++trail) count += Assigned(lead, trail);
  }
  EXPECT_EQ(count, 9604);
  const int assigned[][2] = {
      {0x81, 0x40}, {0x82, 0xA0}, {0x82, 0xF1}, {0x87, 0x40}, {0x88, 0x9F},
      {0x98, 0x72}, {0xEA, 0xA4}, {0xF0, 0x40}, {0xF9, 0xFC}, {0xFC, 0x4B}};
  for (const auto& c : assigned) EXPECT_TRUE(Assigned(c[0], c[1])) << c[0];
  const int unassigned[][2] = {{0x81, 0x7F}, {0x82, 0xF2}, {0x85, 0x40},
                               {0x88, 0x9E}, {0x98, 0x73}, {0xEB, 0x40},
                               {0xEE, 0xED}, {0xFC, 0x4C}, {0xA0, 0x40}};
  for (const auto& c : unassigned) EXPECT_FALSE(Assigned(c[0], c[1])) << c[0];
}

// The vector scanners' quick test leaves only a few rare symbols to the
// exact one, so text pays for it only where they occur.
TEST(AssignedTest, TheQuickTestMissesFewCodes) {
  int missed = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      missed += Assigned(lead, trail) && !QuickAssigned(lead, trail);
    }
  }
  EXPECT_LE(missed, 8);
}

}  // namespace
}  // namespace vu32::check
