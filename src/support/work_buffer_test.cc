#include "support/work_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/messages.h"

namespace vu32 {
namespace {

// A system that can hand out at most kLimit bytes at once; records every
// size asked for.
constexpr size_t kLimit = 5000;
alignas(16) uint8_t g_arena[kLimit];
std::vector<size_t> g_requests;

void* ShortMemory(size_t size) {
  g_requests.push_back(size);
  return size <= kLimit ? g_arena : nullptr;
}

void* NoMemory(size_t size) {
  g_requests.push_back(size);
  return nullptr;
}

class WorkBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_requests.clear();
    CaptureMessages(&messages_);
  }
  void TearDown() override {
    FreeWorkBuffer();
    SetWorkBufferAllocator(nullptr);
    CaptureMessages(nullptr);
  }
  std::string messages_;
};

TEST_F(WorkBufferTest, DefaultBlock) {
  ASSERT_TRUE(AllocWorkBuffer(0));
  EXPECT_NE(WorkBuffer.address, nullptr);
  EXPECT_EQ(WorkBuffer.size, 16384u);
  WorkBuffer.address[WorkBuffer.size - 1] = 1;  // the whole block is ours
  FreeWorkBuffer();
  EXPECT_EQ(WorkBuffer.address, nullptr);
  EXPECT_EQ(WorkBuffer.size, 0u);
  FreeWorkBuffer();  // nothing held: nothing happens
  EXPECT_EQ(messages_, "");
}

TEST_F(WorkBufferTest, HalvesUntilTheSystemCanGiveIt) {
  SetWorkBufferAllocator(ShortMemory);
  ASSERT_TRUE(AllocWorkBuffer(0));
  EXPECT_EQ(WorkBuffer.address, g_arena);
  EXPECT_EQ(WorkBuffer.size, 4096u);
  EXPECT_EQ(g_requests, (std::vector<size_t>{16384, 8192, 4096}));
  EXPECT_EQ(messages_, "");
}

TEST_F(WorkBufferTest, NoBlockOfAnySize) {
  SetWorkBufferAllocator(NoMemory);
  EXPECT_FALSE(AllocWorkBuffer(0));
  EXPECT_EQ(WorkBuffer.address, nullptr);
  EXPECT_EQ(WorkBuffer.size, 0u);
  // 16,384 down to 1: fifteen attempts.
  ASSERT_EQ(g_requests.size(), 15u);
  EXPECT_EQ(g_requests.front(), 16384u);
  EXPECT_EQ(g_requests.back(), 1u);
  EXPECT_EQ(messages_, "global buf memory allocate error!");  // no line end
}

}  // namespace
}  // namespace vu32
