// Every finding against an independent reading of the input: a plain
// decoder that follows the rules byte by byte, with iconv(3) deciding which
// two-byte codes CP932 assigns. Seeded and bounded; VU32_EXPENSIVE_TESTS=1
// runs ten times as many inputs.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "check/checker.h"
#include "filters/scan.h"
#include "test_util.h"

namespace vu32::check {
namespace {

// Whether iconv(3) decodes `lead` `trail` as one CP932 character.
bool IconvAssigned(unsigned char lead, unsigned char trail) {
  static const std::vector<bool> table = [] {
    std::vector<bool> t(65536);
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int code = 0x8100; code < 0x10000; ++code) {
      char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code)};
      char out[8];
      char* src = in;
      char* dst = out;
      size_t src_left = 2, dst_left = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      t[code] = iconv(cd, &src, &src_left, &dst, &dst_left) !=
                    static_cast<size_t>(-1) &&
                src_left == 0 && dst_left == sizeof out - 2;
    }
    iconv_close(cd);
    return t;
  }();
  return table[lead << 8 | trail];
}

bool Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || b >= 0xE0; }
bool Trail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

std::string At(uint64_t line, uint64_t column) {
  return std::to_string(line) + ":" + std::to_string(column) + " ";
}

// The findings as Collect below writes them.
std::vector<std::string> Model(const std::string& in) {
  std::vector<std::string> out;
  const size_t n = in.size();
  auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
  uint64_t line = 1, column = 1;  // of the next character
  size_t i = 0;
  auto fault = [&](const char* what, size_t offset) {
    out.push_back(At(line, column) + what + " @" + std::to_string(offset));
  };
  if (n >= 3 && in.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    fault("bom", 0);
    ++column;
    i = 3;
  }
  // Line ends: counts and where each kind first begins.
  const char* kNames[] = {"CR LF", "LF", "CR", "CR CR LF"};
  uint64_t count[4] = {};
  std::string first[4];
  auto line_end = [&](int kind) {
    if (count[kind]++ == 0) first[kind] = At(line, column);
  };
  while (i < n) {
    const unsigned char b = byte(i);
    if (Lead(b) && b <= 0xFC) {
      if (i + 1 == n) {
        fault("cut-char", i);
        ++column;
        ++i;
        continue;
      }
      if (Trail(byte(i + 1))) {
        if (!IconvAssigned(b, byte(i + 1))) fault("unassigned", i);
        ++column;
        i += 2;
        continue;
      }
      fault("bad-trail", i);
      ++column;
      ++i;
      continue;
    }
    if (b == 0) {
      fault("nul", i);
    } else if (b == 0x1A) {
      if (i + 1 < n) fault("eof-mark", i);
    } else if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F) {
      fault("control", i);
    } else if (b == 0x80 || b == 0xA0 || b >= 0xFD) {
      fault("invalid-byte", i);
    }
    if (b == '\r') {
      if (i + 1 < n && byte(i + 1) == '\n') {
        line_end(0);
      } else if (i + 2 < n && byte(i + 1) == '\r' && byte(i + 2) == '\n') {
        line_end(3);
        column += 2;  // the CR after it
        i += 2;       // on to the LF, which ends the line
        ++line;
        column = 1;
        ++i;
        continue;
      } else {
        line_end(2);
      }
    } else if (b == '\n' && !(i > 0 && byte(i - 1) == '\r')) {
      line_end(1);
    }
    if (b == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    ++i;
  }
  int most = 0;
  for (int k : {1, 2}) {
    if (count[k] > count[most]) most = k;
  }
  for (int k : {0, 1, 2}) {
    if (k != most && count[k] > 0 && count[most] > 0) {
      out.push_back(first[k] + "mixed-line-ends " + kNames[k]);
    }
  }
  if (count[3] > 0) out.push_back(first[3] + "cr-cr-lf");
  const bool mark = n > 0 && byte(n - 1) == 0x1A;
  const size_t text_end = n - (mark ? 1 : 0);
  const size_t bom = out.size() && out[0].find(" bom ") != std::string::npos;
  if (text_end > bom * 3 && byte(text_end - 1) != '\n' &&
      byte(text_end - 1) != '\r') {
    out.push_back(At(line, column - (mark ? 1 : 0)) + "no-final-line-end");
  }
  if (mark) out.push_back(At(line, column - 1) + "final-eof-mark");
  return out;
}

struct Collect : Listener {
  std::vector<std::string> lines;
  void OnFault(const FaultRecord& r) override {
    lines.push_back(At(r.at.line, r.at.column) + FaultToken(r.fault) + " @" +
                    std::to_string(r.offset));
  }
  void OnNote(const NoteRecord& n) override {
    std::string line = At(n.at.line, n.at.column) + NoteToken(n.note);
    if (n.note == Note::kMixedLineEnds)
      line += std::string(" ") + LineEndName(n.kind);
    lines.push_back(line);
  }
};

// Text biased towards what the rules care about, with few enough control
// bytes that it is not taken for binary.
std::string RandomText(std::mt19937& rng, size_t size) {
  static const unsigned char kBytes[] = {
      0x81, 0x82, 0x83, 0x84, 0x85, 0x87, 0x88, 0x98, 0x9F, 0xE0, 0xEA,
      0xEB, 0xED, 0xEE, 0xEF, 0xF0, 0xFA, 0xFC, 0x40, 0x4C, 0x5E, 0x72,
      0x73, 0x7E, 0x7F, 0x80, 0x9E, 0xA0, 0xA1, 0xC8, 0xDF, 0xEC, 0xF1,
      0xF2, 0xFD, 0xFF, 0x0D, 0x0D, 0x0A, 0x0A, 0x09, 'a',  ' ',  0x5C};
  std::uniform_int_distribution<size_t> pick(0, sizeof kBytes - 1);
  std::uniform_int_distribution<int> any(0, 255), rare(0, 2999);
  std::string out;
  if (rng() % 8 == 0) out = "\xEF\xBB\xBF";
  while (out.size() < size) {
    const int r = rare(rng);
    if (r < 60) {
      out += r < 30 ? "\r\r\n" : "\r\n";  // line ends of several bytes
      continue;
    }
    out.push_back(static_cast<char>(r == 60   ? 0x00
                                    : r == 61 ? 0x1A
                                    : r == 62 ? 0x01
                                    : r < 360 ? any(rng)
                                              : kBytes[pick(rng)]));
  }
  if (rng() % 6 == 0) out.push_back('\x1A');
  return out;
}

class DifferentialTest : public ::testing::TestWithParam<scan::Level> {
 protected:
  void SetUp() override {
    if (!UseKernel(GetParam())) GTEST_SKIP() << "not on this processor";
  }
  void TearDown() override {
    for (scan::Level l : {scan::Level::kAvx512, scan::Level::kAvx2}) {
      if (UseKernel(l)) return;
    }
    UseKernel(scan::Level::kScalar);
  }
};

TEST_P(DifferentialTest, EveryFindingAgreesWithAPlainDecoder) {
  const char* more = std::getenv("VU32_EXPENSIVE_TESTS");
  const int rounds = more && *more == '1' ? 4000 : 400;
  std::mt19937 rng(932);
  int listed = 0;
  for (int round = 0; round < rounds; ++round) {
    const size_t size = round % 10 == 0 ? rng() % 5000 : rng() % 300;
    const std::string input = RandomText(rng, size);
    Collect collect;
    Checker checker(&collect, false);
    size_t at = 0;
    for (size_t cut : testing::RandomCuts(rng, input.size())) {
      checker.Feed(reinterpret_cast<const uint8_t*>(input.data()) + at,
                   cut - at);
      at = cut;
    }
    checker.Feed(reinterpret_cast<const uint8_t*>(input.data()) + at,
                 input.size() - at);
    checker.Finish();
    if (!checker.summary().listed) continue;
    ++listed;
    const std::vector<std::string> expected = Model(input);
    if (collect.lines != expected) {
      std::string got, want;
      for (const auto& l : collect.lines) got += l + "\n";
      for (const auto& l : expected) want += l + "\n";
      FAIL() << "input " << testing::Hex(input) << "\ngot:\n"
             << got << "expected:\n"
             << want;
    }
  }
  EXPECT_GT(listed, rounds * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Levels, DifferentialTest,
                         ::testing::Values(scan::Level::kScalar,
                                           scan::Level::kAvx2,
                                           scan::Level::kAvx512),
                         testing::LevelTestName);

}  // namespace
}  // namespace vu32::check
