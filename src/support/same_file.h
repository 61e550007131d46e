// Whether two names or descriptors reach the same file, which writing one
// of them would destroy for the other.
#ifndef VU32_SUPPORT_SAME_FILE_H_
#define VU32_SUPPORT_SAME_FILE_H_

#include <string>

namespace vu32 {

// True when both are one file (device and index); false when either cannot
// be identified.
bool SameFile(int a, int b);
bool SameFile(int fd, const std::string& path);

// The same, but only for a regular file: a device such as /dev/null may
// safely be both input and output.
bool SameRegularFile(int a, int b);
bool SameRegularFile(int fd, const std::string& path);

}  // namespace vu32

#endif  // VU32_SUPPORT_SAME_FILE_H_
