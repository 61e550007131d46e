#include "support/free_space.h"

#include <cerrno>

#include "support/messages.h"

namespace vu32 {
namespace {

// The geometry query in use; tests inject fixed geometries.
FreeSpaceQuery g_query = nullptr;

}  // namespace

void SetFreeSpaceQuery(FreeSpaceQuery query) { g_query = query; }

bool ReportFreeSpace(FreeSpace result, const Message& no_room,
                     const std::string& target) {
  switch (result) {
    case FreeSpace::kEnough:
      return true;
    case FreeSpace::kNotEnough:
      Report(no_room);
      return false;
    case FreeSpace::kUnknown:
      if (errno == ENAMETOOLONG || errno == EACCES || errno == ENOTDIR ||
          errno == ELOOP) {
        ReportFormat(kNameAndReason, target.c_str(),
                     platform::LastErrorText().c_str());
      } else {
        Report(kDriveNotReady);
      }
      return false;
  }
  return false;
}

FreeSpace CheckFreeSpace(uint64_t count, const std::string& target) {
  platform::DiskGeometry geometry;
  errno = 0;
  bool ok = g_query ? g_query(target, &geometry)
                    : platform::QueryFreeSpace(target, &geometry);
  if (!ok || geometry.cluster_bytes == 0) return FreeSpace::kUnknown;
  uint64_t clusters_needed = count / geometry.cluster_bytes;
  return clusters_needed > geometry.free_clusters ? FreeSpace::kNotEnough
                                                  : FreeSpace::kEnough;
}

}  // namespace vu32
