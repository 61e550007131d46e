#include "support/same_file.h"

#include "platform/platform.h"

namespace vu32 {

bool SameFile(int a, int b) {
  platform::FileId x, y;
  return a >= 0 && b >= 0 && platform::FileIdOfFd(a, &x) &&
         platform::FileIdOfFd(b, &y) && x == y;
}

bool SameFile(int fd, const std::string& path) {
  platform::FileId x, y;
  return fd >= 0 && platform::FileIdOfFd(fd, &x) &&
         platform::FileIdOfPath(path, &y) && x == y;
}

bool SameRegularFile(int a, int b) {
  return platform::FileLength(a) >= 0 && SameFile(a, b);
}

bool SameRegularFile(int fd, const std::string& path) {
  return platform::FileLength(fd) >= 0 && SameFile(fd, path);
}

}  // namespace vu32
