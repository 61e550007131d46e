// The vectorised loops against plain byte-at-a-time models of the same
// filters, on random data long enough to cross many 16-byte blocks at every
// alignment.
#include <gtest/gtest.h>

#include <random>

#include "filters/newline.h"
#include "filters/text.h"
#include "support/sjis.h"
#include "test_util.h"

namespace vu32 {
namespace {

using testing::Hex;

std::string ModelChangeCase(const std::string& in, bool lower) {
  std::string out;
  bool partner = false;
  for (unsigned char c : in) {
    if (partner) {
      partner = false;
    } else if (SjisLeadByte(c)) {
      partner = true;
    } else if (lower && c >= 'A' && c <= 'Z') {
      c = static_cast<unsigned char>(c + 0x20);
    } else if (!lower && c >= 'a' && c <= 'z') {
      c = static_cast<unsigned char>(c - 0x20);
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

std::string ModelCrconv(const std::string& in, const std::string& newline) {
  std::string out;
  bool cr = false;
  for (char c : in) {
    if (c == '\r') {
      out += newline;
    } else if (c != '\n' || !cr) {
      out += c == '\n' ? newline : std::string(1, c);
    }
    cr = c == '\r';
  }
  return out;
}

std::string ModelDeletecontrolchar(const std::string& in) {
  std::string out;
  unsigned char prev = 0;
  for (unsigned char c : in) {
    if (c == '\n') {
      if (prev == '\r') out += '\r';
      out += '\n';
    } else if (c == '\t' || (c >= 0x20 && c != 0x7F)) {
      out += static_cast<char>(c);
    }
    prev = c;
  }
  return out;
}

std::string ModelTab2space(const std::string& in, unsigned width) {
  std::string out;
  unsigned column = 0;
  for (char c : in) {
    if (c == '\t') {
      unsigned k = width - column % width;
      out.append(k, ' ');
      column += k;
    } else {
      out += c;
      column = (c == '\r' || c == '\n') ? 0 : column + 1;
    }
  }
  return out;
}

TEST(ScanTest, VectorLoopsMatchByteModels) {
  std::mt19937 rng(932);
  for (int round = 0; round < 60; ++round) {
    // Lengths around block multiples so the scalar tails are exercised too.
    std::string in = testing::RandomSjisLike(rng, 1000 + round * 37);
    SCOPED_TRACE(round);
    ChangeCase lower(true), upper(false);
    EXPECT_EQ(Hex(testing::RunWhole(lower, in)), Hex(ModelChangeCase(in, true)));
    EXPECT_EQ(Hex(testing::RunWhole(upper, in)),
              Hex(ModelChangeCase(in, false)));
    Crconv dos(kNewlineCrLf), mac(kNewlineCr);
    EXPECT_EQ(Hex(testing::RunWhole(dos, in)), Hex(ModelCrconv(in, "\r\n")));
    EXPECT_EQ(Hex(testing::RunWhole(mac, in)), Hex(ModelCrconv(in, "\r")));
    Deletecontrolchar control;
    EXPECT_EQ(Hex(testing::RunWhole(control, in)),
              Hex(ModelDeletecontrolchar(in)));
    for (unsigned width : {1u, 3u, 8u}) {
      Tab2space tabs(static_cast<int>(width));
      EXPECT_EQ(Hex(testing::RunWhole(tabs, in)),
                Hex(ModelTab2space(in, width)));
    }
  }
}

}  // namespace
}  // namespace vu32
