#include "split/size_split.h"

#include <gtest/gtest.h>

#include <random>

#include "split_test_util.h"
#include "support/copy.h"
#include "support/sjis.h"
#include "support/work_buffer.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::vector<size_t> Sizes(const std::vector<std::string>& pieces) {
  std::vector<size_t> sizes;
  for (const std::string& p : pieces) sizes.push_back(p.size());
  return sizes;
}

TEST(SplitBySizeTest, PieceSizesAndCharacterBoundaries) {
  std::string lead_at_end = Ascii(250000);
  lead_at_end[99999] = '\x82';
  std::string lead_at_block = Ascii(40000);
  lead_at_block[16383] = '\x82';       // a piece of exactly one buffer
  std::string me = "abcd\x83\x81xyz";  // メ ends the first piece whole
  std::string ma = "abcde\x82\xDCxy";  // ま would be cut after its 82
  std::string long_run = Ascii(5) + std::string(1000, '\x81') + Ascii(995);
  struct Row {
    const char* name;
    std::string input;
    uint64_t piece_bytes;
    uint32_t buffer;
    std::vector<size_t> sizes;
  } rows[] = {
      {"ascii", Ascii(250000), 100000, 0, {100000, 100000, 50000}},
      {"exact multiple", Ascii(200000), 100000, 0, {100000, 100000, 0}},
      {"lead byte moves on", lead_at_end, 100000, 0, {99999, 100000, 50001}},
      {"piece of one buffer", lead_at_block, 16384, 0, {16383, 16384, 7233}},
      {"second byte in lead range ends the piece", me, 6, 0, {6, 3}},
      {"... also through a small buffer", me, 6, 3, {6, 3}},
      {"first byte moves on", ma, 6, 0, {5, 4}},
      {"kana not adjusted", "abcde\xB1xyz", 6, 0, {6, 3}},
      {"ascii not adjusted", "abcdefxyz", 6, 0, {6, 3}},
      // 1,000 lead-range bytes from byte 5 pair up from there, so byte 999
      // is a first byte; the next piece begins with it.
      {"run of lead bytes longer than a scan",
       long_run,
       1000,
       0,
       {999, 1000, 1}},
      {"last piece never adjusted", "abc\x81", 10, 0, {4}},
      {"last piece never adjusted after a carry",
       "ab\x81"
       "c\x82",
       3,
       2,
       {2, 3}},
      // A lead byte cannot end a one-byte piece: each leaves it to the next
      // until the last takes it.
      {"one-byte pieces of lead bytes", "\x81\x81\x81", 1, 0, {0, 0, 0, 3}},
  };
  BothCopyPaths paths;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    paths.Run([&] {
      ScopedWorkBuffer buffer(row.buffer);
      SplitDir dir(row.input);
      ASSERT_TRUE(
          SplitBySize(dir.context(), row.input.size(), row.piece_bytes));
      std::vector<std::string> pieces = dir.Pieces();
      EXPECT_EQ(Sizes(pieces), row.sizes);
      EXPECT_EQ(Joined(pieces), row.input);
      EXPECT_EQ(dir.messages(), dir.Announced(row.sizes.size()));
    });
  }
}

// True when `piece` read on its own ends inside a two-byte character.
bool EndsInsideCharacter(const std::string& piece) {
  bool second = false;
  for (unsigned char c : piece) second = !second && SjisLeadByte(c);
  return second;
}

// Concatenated pieces give the input back, every piece but the last decodes
// on its own, and a piece is one byte short only to keep a character whole.
TEST(SplitBySizeTest, RoundTripOnShiftJisLikeData) {
  std::mt19937 rng(20240601);
  BothCopyPaths paths;
  for (uint64_t piece_bytes : {1, 2, 3, 7, 1000, 16384, 16385}) {
    for (uint32_t buffer_size : {3u, 16384u}) {
      SCOPED_TRACE(::testing::Message()
                   << "piece " << piece_bytes << " buffer " << buffer_size);
      paths.Run([&] {
        size_t size = piece_bytes < 1000 ? 90 : 40000;
        std::string input = RandomSjisLike(rng, size);
        ScopedWorkBuffer buffer(buffer_size);
        SplitDir dir(input);
        ASSERT_TRUE(SplitBySize(dir.context(), size, piece_bytes));
        std::vector<std::string> pieces = dir.Pieces();
        ASSERT_EQ(pieces.size(), size / piece_bytes + 1);
        EXPECT_EQ(Hex(Joined(pieces)), Hex(input));
        for (size_t i = 0; i + 1 < pieces.size(); ++i) {
          const std::string& p = pieces[i];
          EXPECT_FALSE(EndsInsideCharacter(p)) << "piece " << i;
          if (p.size() != piece_bytes && piece_bytes > 1) {
            EXPECT_EQ(p.size() + 1, piece_bytes) << "piece " << i;
            EXPECT_TRUE(EndsInsideCharacter(p + pieces[i + 1].substr(0, 1)))
                << "piece " << i;
          }
        }
      });
    }
  }
}

TEST(SplitBySizeTest, PiecesGetThePieceTimes) {
  ScopedWorkBuffer buffer(0);
  SplitDir dir(Ascii(25));
  // 2001-02-03 04:05:06 UTC and a second and a fraction later.
  const platform::FileTime access{981173106, 0, true};
  const platform::FileTime write{981173107, 500000000, true};
  dir.context().piece_times.access = access;
  dir.context().piece_times.write = write;
  ASSERT_TRUE(SplitBySize(dir.context(), 25, 10));
  for (uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    platform::FileTimes times;
    ASSERT_TRUE(platform::GetFileTimes(dir.PiecePath(i), &times));
    EXPECT_EQ(times.access, access);
    EXPECT_EQ(times.write, write);
  }
}

// An input that ends before the length measured at the start has changed
// under the run: its pieces would not rejoin to it.
TEST(SplitBySizeTest, InputShorterThanMeasuredIsAReadFailure) {
  BothCopyPaths paths;
  paths.Run([] {
    ScopedWorkBuffer buffer(0);
    SplitDir dir(Ascii(2500));
    EXPECT_FALSE(SplitBySize(dir.context(), 4000, 1000));
    EXPECT_EQ(dir.messages(),
              dir.Announced(3) + std::string(kReadFailed.sjis) + "IN.TXT\n");
  });
}

}  // namespace
}  // namespace vu32::testing
