#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/byte_stream.h"
#include "test_util.h"

namespace vu32 {
namespace {

// A pipe holding `data`, its write end closed; returns the read end.
int PipeWith(const std::string& data) {
  int p[2];
  EXPECT_EQ(pipe(p), 0);
  EXPECT_EQ(write(p[1], data.data(), data.size()),
            static_cast<ssize_t>(data.size()));
  close(p[1]);
  return p[0];
}

TEST(ByteReaderTest, ReadFillsAcrossBlocksAndBypassesTheBuffer) {
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  int fd = PipeWith(data);
  ByteReader reader(fd, 64);
  std::string got(data.size() + 10, '\0');
  EXPECT_EQ(reader.Read(got.data(), 10), 10u);
  EXPECT_EQ(reader.Read(got.data() + 10, 100), 100u);
  EXPECT_EQ(reader.Read(got.data() + 110, 5000), 890u);
  got.resize(1000);
  EXPECT_EQ(got, data);
  close(fd);
}

TEST(ByteReaderTest, ReadErrorIsKept) {
  int fd = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ByteReader reader(fd);
  const uint8_t* block;
  EXPECT_EQ(reader.NextBlock(&block), 0u);
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(reader.NextBlock(&block), 0u);
  close(fd);
}

TEST(ByteWriterTest, KeepsTheFirstWriteError) {
  int fd = open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  ByteWriter writer(fd, 64);
  writer.Write("a", 1);
  EXPECT_FALSE(writer.failed());  // still buffered
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(writer.error(), ENOSPC);
  std::string big(1000, 'b');
  writer.Write(big.data(), big.size());
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(writer.error(), ENOSPC);
  close(fd);
}

TEST(ByteWriterTest, SmallBlocksStillTakeEveryByte) {
  std::string path = ::testing::TempDir() + "/byte_writer_test.out";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  std::string expected;
  {
    ByteWriter writer(fd, 1);  // raised to a workable minimum
    for (int i = 0; i < 200; ++i) {
      const char pair[] = {'x', static_cast<char>(i)};
      writer.Write(pair, 2);
      uint8_t* room = writer.Reserve(8);
      for (int k = 0; k < 8; ++k) room[k] = static_cast<uint8_t>(k);
      writer.Commit(3);
      expected += 'x';
      expected += static_cast<char>(i);
      expected += std::string("\0\1\2", 3);
    }
    EXPECT_TRUE(writer.Flush());
  }
  close(fd);
  int in = open(path.c_str(), O_RDONLY);
  std::string got(expected.size() + 1, '\0');
  EXPECT_EQ(read(in, got.data(), got.size()),
            static_cast<ssize_t>(expected.size()));
  close(in);
  unlink(path.c_str());
  got.resize(expected.size());
  EXPECT_EQ(testing::Hex(got), testing::Hex(expected));
}

}  // namespace
}  // namespace vu32
