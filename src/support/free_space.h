// The test whether a target file system has room for what will be written.
#ifndef VU32_SUPPORT_FREE_SPACE_H_
#define VU32_SUPPORT_FREE_SPACE_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "support/messages.h"

namespace vu32 {

enum class FreeSpace {
  kEnough,
  kNotEnough,  // the caller says so in its operation's words
  kUnknown,    // the query failed, errno says why: see ReportFreeSpace
};

// Whether `count` bytes fit on the file system that holds `target` (empty:
// the current directory). Reports nothing. The test counts whole clusters,
// so anything smaller than one cluster always fits.
FreeSpace CheckFreeSpace(uint64_t count, const std::string& target);

// True when `result` says there is room; otherwise reports why, with
// `no_room` (the operation's own words) when there is not enough. A query
// that failed on the name itself (too long, a folder that may not be
// entered) names `target` and the reason, read from errno, which the call
// must follow at once; any other failure is "Drive Not Ready!".
bool ReportFreeSpace(FreeSpace result, const Message& no_room,
                     const std::string& target);

// Replaces the geometry query (tests); nullptr restores the platform's.
using FreeSpaceQuery = bool (*)(const std::string& target,
                                platform::DiskGeometry* geometry);
void SetFreeSpaceQuery(FreeSpaceQuery query);

}  // namespace vu32

#endif  // VU32_SUPPORT_FREE_SPACE_H_
