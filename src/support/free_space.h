// The test whether a target file system has room for what will be written.
#ifndef VU32_SUPPORT_FREE_SPACE_H_
#define VU32_SUPPORT_FREE_SPACE_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vu32 {

// 0: `count` bytes fit on the file system that holds `target` (empty: the
// current directory); -1: they do not (the caller writes its own message);
// -2: the query failed ("Drive Not Ready!" written). The test counts whole
// clusters, so anything smaller than one cluster always fits.
int CheckFreeSpace(uint64_t count, const std::string& target);

// Replaces the geometry query (tests); nullptr restores the platform's.
using FreeSpaceQuery = bool (*)(const std::string& target,
                                platform::DiskGeometry* geometry);
void SetFreeSpaceQuery(FreeSpaceQuery query);

}  // namespace vu32

#endif  // VU32_SUPPORT_FREE_SPACE_H_
