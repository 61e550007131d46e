#include "support/free_space.h"

#include <gtest/gtest.h>

#include <string>

#include "support/messages.h"

namespace vu32 {
namespace {

// The geometry the injected query reports, and the target it was asked for.
platform::DiskGeometry g_geometry;
bool g_query_ok = true;
std::string g_asked;

bool FakeQuery(const std::string& target, platform::DiskGeometry* geometry) {
  g_asked = target;
  if (g_query_ok) *geometry = g_geometry;
  return g_query_ok;
}

class FreeSpaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_query_ok = true;
    g_asked = "?";
    SetFreeSpaceQuery(FakeQuery);
    CaptureMessages(&messages_);
  }
  void TearDown() override {
    SetFreeSpaceQuery(nullptr);
    CaptureMessages(nullptr);
  }
  std::string messages_;
};

TEST_F(FreeSpaceTest, CountsWholeClusters) {
  const struct {
    uint64_t cluster_bytes;
    uint64_t free_clusters;
    uint64_t count;
    FreeSpace result;
  } kRows[] = {
      {4096, 0, 0, FreeSpace::kEnough},
      {4096, 0, 4095, FreeSpace::kEnough},  // less than one cluster always fits
      {4096, 0, 4096, FreeSpace::kNotEnough},
      {4096, 2, 3 * 4096 - 1, FreeSpace::kEnough},
      {4096, 2, 3 * 4096, FreeSpace::kNotEnough},
      {512, 1, 1023, FreeSpace::kEnough},
      // Beyond 32 bits on both sides.
      {4096, 1ull << 22, (1ull << 34) + 4095, FreeSpace::kEnough},
      {4096, 1ull << 22, (1ull << 34) + 4096, FreeSpace::kNotEnough},
      {65536, 1ull << 48, UINT64_MAX, FreeSpace::kEnough},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::to_string(row.count) + " bytes, " +
                 std::to_string(row.free_clusters) + " free clusters of " +
                 std::to_string(row.cluster_bytes));
    g_geometry = {row.cluster_bytes, row.free_clusters};
    EXPECT_EQ(CheckFreeSpace(row.count, "out/dir"), row.result);
    EXPECT_EQ(g_asked, "out/dir");
  }
  EXPECT_EQ(messages_, "");
}

TEST_F(FreeSpaceTest, FailedQuery) {
  g_query_ok = false;
  EXPECT_EQ(CheckFreeSpace(1, ""), FreeSpace::kUnknown);
  EXPECT_EQ(g_asked, "");
  // A geometry without a cluster size is no answer either.
  g_query_ok = true;
  g_geometry = {0, 100};
  EXPECT_EQ(CheckFreeSpace(1, "x"), FreeSpace::kUnknown);
  EXPECT_EQ(messages_, "");  // the caller reports
}

TEST(FreeSpacePlatformTest, NewFileInAnExistingDirectory) {
  platform::DiskGeometry geometry;
  const std::string dir = ::testing::TempDir();
  ASSERT_TRUE(
      platform::QueryFreeSpace(dir + "/no-such-dir/new-file", &geometry));
  EXPECT_GT(geometry.cluster_bytes, 0u);
  ASSERT_TRUE(platform::QueryFreeSpace("", &geometry));
  EXPECT_GT(geometry.cluster_bytes, 0u);
}

}  // namespace
}  // namespace vu32
