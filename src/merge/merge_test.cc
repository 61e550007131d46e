#include "merge/merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/free_space.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32 {
namespace {

// A file system with no free cluster at all.
bool FullDisk(const std::string&, platform::DiskGeometry* geometry) {
  geometry->cluster_bytes = 512;
  geometry->free_clusters = 0;
  return true;
}

// Only an output that is or will be a regular file is held to the room on
// its file system, and one that is replaced gives its own room back.
TEST(MergeFreeSpaceTest, OnlyRegularOutputsAreChecked) {
  testing::ScopedTempDir dir;
  const std::string a = dir.File("a"), b = dir.File("b");
  testing::WriteFile(a, std::string(4000, 'a'));
  testing::WriteFile(b, std::string(4000, 'b'));
  const std::string big = dir.File("big"), small = dir.File("small");
  struct Row {
    const char* what;
    std::string option;  // "-o" or "-o+"
    std::string output;
    std::string before;  // written first unless "-": the file replaced
    bool ok;
    bool no_room;  // refused for want of room
  } rows[] = {
      {"new file", "-o", dir.File("new"), "-", false, true},
      {"replaces a larger file", "-o", big, std::string(9000, 'x'), true,
       false},
      {"replaces a smaller file", "-o", small, "x", false, true},
      {"appends to a larger file", "-o+", big, std::string(9000, 'x'), false,
       true},
      // Not held to the room; refused when it cannot be opened.
      {"a directory", "-o", dir.path(), "-", false, false},
  };
  std::vector<Row> all(std::begin(rows), std::end(rows));
  if (!platform::kWin32Spellings) {
    all.push_back({"a device", "-o", "/dev/null", "-", true, false});
  }
  SetFreeSpaceQuery(FullDisk);
  for (const Row& row : all) {
    SCOPED_TRACE(row.what);
    if (row.before != "-") testing::WriteFile(row.output, row.before);
    std::string messages;
    CaptureMessages(&messages);
    const bool ok =
        RunMerge(ClassifyMergeArguments({a, b, row.option, row.output}));
    CaptureMessages(nullptr);
    EXPECT_EQ(ok, row.ok) << messages;
    const bool refused_for_room =
        messages.find(std::string(kMergeNoSpace.sjis)) != std::string::npos;
    EXPECT_EQ(refused_for_room, row.no_room) << messages;
  }
  SetFreeSpaceQuery(nullptr);
}

}  // namespace
}  // namespace vu32
