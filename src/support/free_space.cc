#include "support/free_space.h"

#include "support/messages.h"

namespace vu32 {
namespace {

// The geometry query in use; tests inject fixed geometries.
FreeSpaceQuery g_query = nullptr;

}  // namespace

void SetFreeSpaceQuery(FreeSpaceQuery query) { g_query = query; }

int CheckFreeSpace(uint64_t count, const std::string& target) {
  platform::DiskGeometry geometry;
  bool ok = g_query ? g_query(target, &geometry)
                    : platform::QueryFreeSpace(target, &geometry);
  if (!ok || geometry.cluster_bytes == 0) {
    Report(kDriveNotReady);
    return -2;
  }
  uint64_t clusters_needed = count / geometry.cluster_bytes;
  return clusters_needed > geometry.free_clusters ? -1 : 0;
}

}  // namespace vu32
