// The kernels' bit arithmetic against the sequential rules, and the filters
// on every kernel level against plain byte-at-a-time models or, where the
// filter's own loop is that model, against the scalar level, on data long
// enough to cross many blocks at every alignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "filters/kana.h"
#include "filters/newline.h"
#include "filters/scan_kernels.h"
#include "filters/text.h"
#include "filters/uniq.h"
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

using FilterMaker = std::function<std::unique_ptr<ByteFilter>()>;

// What the filter gives at the scalar level, where its own byte loop does
// all the work: the reference for the kernels of the filters whose rule
// that loop states as plainly as a model would.
std::string AtScalarLevel(const FilterMaker& make, const std::string& in) {
  const scan::Level level = scan::Active().level;
  EXPECT_TRUE(scan::UseLevel(scan::Level::kScalar));
  const std::unique_ptr<ByteFilter> filter = make();
  const std::string out = testing::RunWhole(*filter, in);
  EXPECT_TRUE(scan::UseLevel(level));
  return out;
}

// The filters checked against their scalar level.
const FilterMaker kScalarIsTheModel[] = {
    [] { return std::make_unique<Join>(); },
    [] { return std::make_unique<Deletecontrolchar>(); },
};

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

// The second bytes of `bytes` by the sequential rule, from the given state.
uint64_t SequentialSecondBytes(uint64_t leads, bool* partner) {
  uint64_t second = 0;
  for (unsigned i = 0; i < 64; ++i) {
    if (*partner) {
      second |= uint64_t{1} << i;
      *partner = false;
    } else {
      *partner = (leads >> i) & 1;
    }
  }
  return second;
}

TEST(SecondBytesTest, MatchTheSequentialRule) {
  // Every 16-bit pattern at the bottom, the middle and the top of the word
  // (the top one carrying out), the rest of the word lead-range or not.
  for (unsigned shift : {0u, 23u, 48u}) {
    for (uint64_t fill : {uint64_t{0}, ~uint64_t{0}}) {
      for (uint64_t low = 0; low < 0x10000; ++low) {
        const uint64_t keep = ~(uint64_t{0xFFFF} << shift);
        const uint64_t leads = (fill & keep) | low << shift;
        for (bool carry_in : {false, true}) {
          bool want_carry = carry_in, carry = carry_in;
          const uint64_t want = SequentialSecondBytes(leads, &want_carry);
          ASSERT_EQ(scan::SecondBytes(leads, &carry), want)
              << std::hex << leads << " carry " << carry_in;
          ASSERT_EQ(carry, want_carry) << std::hex << leads;
        }
      }
    }
  }
}

TEST(SecondBytesTest, RunsAcrossWords) {
  // A run of every length up to three words, starting anywhere in the first
  // word, classified word by word with the carry.
  for (unsigned length = 0; length <= 192; ++length) {
    for (unsigned start = 0; start < 64; ++start) {
      bool carry = false, want_carry = false;
      for (unsigned word = 0; word < 4; ++word) {
        uint64_t leads = 0;
        for (unsigned bit = 0; bit < 64; ++bit) {
          const unsigned at = word * 64 + bit;
          if (at >= start && at < start + length) leads |= uint64_t{1} << bit;
        }
        const uint64_t want = SequentialSecondBytes(leads, &want_carry);
        ASSERT_EQ(scan::SecondBytes(leads, &carry), want)
            << "length " << length << " start " << start << " word " << word;
        ASSERT_EQ(carry, want_carry);
      }
    }
  }
}

TEST(ScanDispatchTest, BestLevelIsActiveAndOthersAreRefused) {
  EXPECT_TRUE(scan::Supported(scan::Level::kScalar));
  EXPECT_TRUE(scan::Supported(scan::BestLevel()));
  EXPECT_EQ(scan::Active().level, scan::BestLevel());
  for (scan::Level level :
       {scan::Level::kSse2, scan::Level::kAvx2, scan::Level::kAvx512}) {
    if (scan::Supported(level)) continue;
    EXPECT_FALSE(scan::UseLevel(level)) << scan::LevelName(level);
    EXPECT_EQ(scan::Active().level, scan::BestLevel());
  }
}

TEST(ScanDispatchTest, CapNamesOnlyALowerLevel) {
  using L = scan::Level;
  const struct {
    L best;
    const char* cap;
    L want;
  } kCases[] = {
      {L::kAvx512, "avx2", L::kAvx2},    {L::kAvx512, "SSE2", L::kSse2},
      {L::kAvx2, "Scalar", L::kScalar},  {L::kAvx2, "avx512", L::kAvx2},
      {L::kSse2, "avx2", L::kSse2},      {L::kAvx512, nullptr, L::kAvx512},
      {L::kAvx512, "", L::kAvx512},      {L::kAvx512, "avx", L::kAvx512},
      {L::kAvx512, "avx22", L::kAvx512}, {L::kAvx512, "avx-512", L::kAvx512},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(scan::CapLevel(c.best, c.cap), c.want)
        << (c.cap ? c.cap : "(null)");
  }
}

using ScanTest = testing::KernelLevelTest;
INSTANTIATE_KERNEL_LEVELS(ScanTest);

// Every filter on plain text with what it acts on (line ends, tabs,
// controls, kana and marks) placed around the ends of a kernel's blocks,
// where its carries and its look-ahead meet, fed whole and cut inside the
// event (the kernel then starts the second block of input with the state
// the filter's loop left).
TEST_P(ScanTest, EventsAroundBlockEnds) {
  const std::string events[] = {"\r\n",     "\r",       "\n",       "\n\r",
                                "\r\r\n",   "\t",       "\t\t",     "\x1B",
                                "\xB6\xDE", "\xCA\xDF", "\xB3\xDE", "\xB1"};
  struct Check {
    FilterMaker make;
    // Null: the scalar level is the reference.
    std::function<std::string(const std::string&)> model;
  };
  const Check checks[] = {
      {[] { return std::make_unique<Crconv>(NewlineKind::kCrLf); },
       [](const std::string& in) { return ModelCrconv(in, "\r\n"); }},
      {[] { return std::make_unique<Crconv>(NewlineKind::kLf); },
       [](const std::string& in) { return ModelCrconv(in, "\n"); }},
      {[] { return std::make_unique<Crconv>(NewlineKind::kCr); },
       [](const std::string& in) { return ModelCrconv(in, "\r"); }},
      {kScalarIsTheModel[0], nullptr},
      {kScalarIsTheModel[1], nullptr},
      {[] { return std::make_unique<Tab2space>(3); },
       [](const std::string& in) { return ModelTab2space(in, 3); }},
      {[] { return std::make_unique<Tab2space>(8); },
       [](const std::string& in) { return ModelTab2space(in, 8); }},
      {MakeKana, ModelKana},
  };
  for (const std::string& event : events) {
    for (size_t at : {0u, 1u, 2u, 61u, 62u, 63u, 64u, 65u, 126u, 127u, 128u,
                      129u, 191u, 192u}) {
      // The filler has none of the events, so every column count and carry
      // runs from the start of the input; the event comes again two blocks
      // on.
      std::string in(at, 'x');
      in += event + std::string(150, 'y') + event + std::string(300, 'z');
      SCOPED_TRACE(Hex(event) + " at " + std::to_string(at));
      for (const Check& check : checks) {
        const std::string want =
            Hex(check.model ? check.model(in) : AtScalarLevel(check.make, in));
        auto whole = check.make();
        EXPECT_EQ(Hex(testing::RunWhole(*whole, in)), want);
        auto cut = check.make();
        EXPECT_EQ(Hex(testing::RunCut(*cut, in, {at + 1})), want);
      }
    }
  }
}

TEST_P(ScanTest, ByteFinderVisitsEveryMatchAcrossWindows) {
  std::mt19937 rng(4096);
  std::uniform_int_distribution<size_t> gap(1, 200);
  for (size_t n : {0u, 1u, 63u, 4095u, 4096u, 4097u, 9000u}) {
    std::string in(n, 'a');
    for (size_t at : {0u, 63u, 64u, 4095u, 4096u, 4097u}) {
      if (at < n) in[at] = '\n';
    }
    for (size_t at = gap(rng); at < n; at += gap(rng)) in[at] = '\n';
    std::vector<size_t> want, got;
    for (size_t i = 0; i < n; ++i) {
      if (in[i] == '\n') want.push_back(i);
    }
    const auto* data = reinterpret_cast<const uint8_t*>(in.data());
    scan::ByteFinder finder(data, n, '\n');
    while (const uint8_t* at = finder.Next()) {
      got.push_back(static_cast<size_t>(at - data));
    }
    EXPECT_EQ(got, want) << "n " << n;
  }
}

// The filters that tell first from second bytes, on runs of lead-range
// bytes of every length that end on either side of each block end of a
// kernel, followed by the bytes whose treatment depends on it.
TEST_P(ScanTest, LeadRunsAcrossBlockEnds) {
  const std::string after[] = {"a",        "A",        "\xB6\xDE", "\xDE",
                               "\xCA\xDF", "\x81\x61", "\n"};
  const std::string leads = "\x81\x83\x9F\xE0\xFC\x88";
  for (size_t length = 0; length <= 140; ++length) {
    for (const std::string& tail : after) {
      std::string run;
      for (size_t i = 0; i < length; ++i) run += leads[i % leads.size()];
      // The run ends just before, at and after the ends of blocks 1 and 2.
      for (size_t end : {63u, 64u, 65u, 127u, 128u, 129u}) {
        if (end < length) continue;
        std::string in(end - length, 'b');
        in += run + tail + std::string(200, 'c');
        SCOPED_TRACE(testing::Hex(in.substr(0, end + 4)));
        ChangeCase lower(LetterCase::kLower), upper(LetterCase::kUpper);
        ASSERT_EQ(Hex(testing::RunWhole(lower, in)),
                  Hex(ModelChangeCase(in, true)));
        ASSERT_EQ(Hex(testing::RunWhole(upper, in)),
                  Hex(ModelChangeCase(in, false)));
        std::unique_ptr<ByteFilter> kana = MakeKana();
        ASSERT_EQ(Hex(testing::RunWhole(*kana, in)), Hex(ModelKana(in)));
      }
    }
  }
}

TEST_P(ScanTest, FindByteMarksAndCountByteCountsEveryMatch) {
  std::mt19937 rng(64);
  for (size_t n = 0; n <= 200; ++n) {
    const std::string in = testing::RandomSjisLike(rng, n);
    for (uint8_t c : {0x0A, 0x00, 0xFF, 0x83}) {
      const auto* s = reinterpret_cast<const uint8_t*>(in.data());
      EXPECT_EQ(scan::Active().count_byte(s, n, c),
                static_cast<size_t>(
                    std::count(in.begin(), in.end(), static_cast<char>(c))))
          << "n " << n << " c " << int{c};
      std::vector<uint64_t> bits((n + 63) / 64, ~uint64_t{0});
      scan::Active().find_byte(s, n, c, bits.data());
      for (size_t i = 0; i < bits.size() * 64; ++i) {
        const bool want = i < n && static_cast<uint8_t>(in[i]) == c;
        ASSERT_EQ((bits[i / 64] >> (i % 64)) & 1, want ? 1u : 0u)
            << "n " << n << " byte " << i << " c " << int{c};
      }
    }
  }
}

// Duplicate-line removal against the scalar level's loop, on lines around
// 64 bytes long (one kernel compare), longer ones, and lines that differ
// only in case, in runs.
TEST_P(ScanTest, UniqMatchesTheScalarLoop) {
  std::mt19937 rng(2024);
  std::vector<std::string> lines;
  for (size_t size : {1, 2, 30, 63, 64, 65, 127, 128, 129, 300}) {
    std::string line = testing::RandomSjisLike(rng, size - 1);
    std::replace(line.begin(), line.end(), '\n', 'x');
    line += '\n';
    lines.push_back(line);
    for (char& c : line) c = static_cast<char>(std::toupper(c));
    lines.push_back(line);
  }
  std::uniform_int_distribution<size_t> pick(0, lines.size() - 1);
  std::uniform_int_distribution<int> repeat(1, 3);
  for (int round = 0; round < 20; ++round) {
    std::string in;
    while (in.size() < 20000) {
      const std::string& line = lines[pick(rng)];
      for (int k = repeat(rng); k > 0; --k) in += line;
    }
    for (UniqMode mode : {UniqMode::kExact, UniqMode::kIgnoreCase}) {
      ASSERT_TRUE(scan::UseLevel(scan::Level::kScalar));
      auto scalar = MakeUniq(mode);
      const std::string want = testing::RunWhole(*scalar, in);
      ASSERT_TRUE(scan::UseLevel(GetParam()));
      auto uniq = MakeUniq(mode);
      ASSERT_TRUE(testing::RunWhole(*uniq, in) == want)
          << "round " << round << " mode " << static_cast<int>(mode);
    }
  }
}

TEST_P(ScanTest, KernelsMatchByteModels) {
  std::mt19937 rng(932);
  for (int round = 0; round < 60; ++round) {
    // Lengths around block multiples so the scalar tails are exercised too.
    std::string in = testing::RandomSjisLike(rng, 1000 + round * 37);
    SCOPED_TRACE(round);
    ChangeCase lower(LetterCase::kLower), upper(LetterCase::kUpper);
    EXPECT_EQ(Hex(testing::RunWhole(lower, in)),
              Hex(ModelChangeCase(in, true)));
    EXPECT_EQ(Hex(testing::RunWhole(upper, in)),
              Hex(ModelChangeCase(in, false)));
    Crconv dos(NewlineKind::kCrLf), mac(NewlineKind::kCr);
    EXPECT_EQ(Hex(testing::RunWhole(dos, in)), Hex(ModelCrconv(in, "\r\n")));
    EXPECT_EQ(Hex(testing::RunWhole(mac, in)), Hex(ModelCrconv(in, "\r")));
    std::unique_ptr<ByteFilter> kana = MakeKana();
    EXPECT_EQ(Hex(testing::RunWhole(*kana, in)), Hex(ModelKana(in)));
    for (const FilterMaker& make : kScalarIsTheModel) {
      const std::unique_ptr<ByteFilter> filter = make();
      EXPECT_EQ(Hex(testing::RunWhole(*filter, in)),
                Hex(AtScalarLevel(make, in)));
    }
    for (unsigned width : {1u, 3u, 8u}) {
      Tab2space tabs(static_cast<int>(width));
      EXPECT_EQ(Hex(testing::RunWhole(tabs, in)),
                Hex(ModelTab2space(in, width)));
    }
  }
}

// The ways a level writes a changed block (one run deleted, the shuffle
// tables' halves and their joins, a block wholly deleted or widened, a lone
// CR among pairs), against the filters' own loops: every filter on blocks
// whose events lie where a 64-bit mask says, the events' bytes taken in
// turn from each event text.
TEST_P(ScanTest, EventMasksMatchTheScalarLoop) {
  std::mt19937_64 rng(20);
  std::vector<uint64_t> masks = {0,
                                 ~uint64_t{0},
                                 1,
                                 uint64_t{1} << 63,
                                 uint64_t{3} << 15,
                                 0xFF00,
                                 0xFFFF0000FFFF0000,
                                 0x5555555555555555,
                                 0x8000000000000001,
                                 0x00000000FFFFFFFE};
  for (int k = 0; k < 64; k += 7) masks.push_back(uint64_t{1} << k);
  for (int k = 0; k < 24; ++k) masks.push_back(rng() & rng());
  const std::string events[] = {"\t",   "\r",       "\n",
                                "\r\n", "\n\r",     "\x01",
                                "\x83", "\xb6\xde", "\xca\xdf\xb1"};
  auto filters = [] {
    std::vector<std::unique_ptr<ByteFilter>> all;
    for (NewlineKind kind :
         {NewlineKind::kCrLf, NewlineKind::kLf, NewlineKind::kCr}) {
      all.push_back(std::make_unique<Crconv>(kind));
    }
    all.push_back(std::make_unique<Join>());
    all.push_back(std::make_unique<Deletecontrolchar>());
    all.push_back(std::make_unique<DeleteTabs>());
    all.push_back(std::make_unique<Tab2space>(3));
    all.push_back(MakeKana());
    return all;
  };
  for (const std::string& event : events) {
    for (uint64_t mask : masks) {
      std::string in;
      size_t next = 0;
      for (int block = 0; block < 4; ++block) {
        for (int bit = 0; bit < 64; ++bit) {
          in += mask >> bit & 1 ? event[next++ % event.size()] : 'a';
        }
      }
      SCOPED_TRACE(Hex(event) + " mask " + std::to_string(mask));
      auto at_level = filters();
      ASSERT_TRUE(scan::UseLevel(scan::Level::kScalar));
      auto scalar = filters();
      for (size_t f = 0; f < scalar.size(); ++f) {
        const std::string want = testing::RunWhole(*scalar[f], in);
        ASSERT_TRUE(scan::UseLevel(GetParam()));
        EXPECT_EQ(Hex(testing::RunWhole(*at_level[f], in)), Hex(want))
            << "filter " << f;
        ASSERT_TRUE(scan::UseLevel(scan::Level::kScalar));
      }
      ASSERT_TRUE(scan::UseLevel(GetParam()));
    }
  }
}

}  // namespace
}  // namespace vu32
