// The vectorised loops against plain byte-at-a-time models of the same
// filters, on random data long enough to cross many 16-byte blocks at every
// alignment.
#include <gtest/gtest.h>

#include <random>

#include "filters/kana.h"
#include "filters/newline.h"
#include "filters/scan.h"
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

// Half-width kana, byte by byte, straight from the conversion rules.
std::string ModelKana(const std::string& in) {
  static const char* const kFull =
      "\x81\x42\x81\x75\x81\x76\x81\x41\x81\x45\x83\x92\x83\x40\x83\x42"
      "\x83\x44\x83\x46\x83\x48\x83\x83\x83\x85\x83\x87\x83\x62\x81\x5B"
      "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49\x83\x4A\x83\x4C\x83\x4E"
      "\x83\x50\x83\x52\x83\x54\x83\x56\x83\x58\x83\x5A\x83\x5C\x83\x5E"
      "\x83\x60\x83\x63\x83\x65\x83\x67\x83\x69\x83\x6A\x83\x6B\x83\x6C"
      "\x83\x6D\x83\x6E\x83\x71\x83\x74\x83\x77\x83\x7A\x83\x7D\x83\x7E"
      "\x83\x80\x83\x81\x83\x82\x83\x84\x83\x86\x83\x88\x83\x89\x83\x8A"
      "\x83\x8B\x83\x8C\x83\x8D\x83\x8F\x83\x93\x81\x4A\x81\x4B";
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (SjisLeadByte(c)) {
      out += in.substr(i, 2);
      ++i;
    } else if (c >= 0xA1 && c <= 0xDF) {
      std::string full(kFull + (c - 0xA1) * 2, 2);
      unsigned char next =
          i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
      bool voiced = (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE);
      bool semi = c >= 0xCA && c <= 0xCE;
      if (next == 0xDE && voiced) {
        full[1] = static_cast<char>(full[1] + 1);
        ++i;
      } else if (next == 0xDF && semi) {
        full[1] = static_cast<char>(full[1] + 2);
        ++i;
      }
      out += full;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

TEST(ScanTest, TrailMaskMatchesTheSequentialRule) {
  for (unsigned leads = 0; leads < 0x10000; ++leads) {
    for (bool carry_in : {false, true}) {
      bool partner = carry_in;
      unsigned want = 0;
      for (unsigned i = 0; i < 16; ++i) {
        if (partner) {
          want |= 1u << i;
          partner = false;
        } else {
          partner = (leads >> i) & 1;
        }
      }
      bool carry = carry_in;
      unsigned got = scan::TrailMask16(leads, &carry);
      ASSERT_EQ(got, want) << std::hex << leads << " carry " << carry_in;
      ASSERT_EQ(carry, partner) << std::hex << leads << " carry " << carry_in;
    }
  }
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
    std::unique_ptr<ByteFilter> kana = MakeKana();
    EXPECT_EQ(Hex(testing::RunWhole(*kana, in)), Hex(ModelKana(in)));
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
