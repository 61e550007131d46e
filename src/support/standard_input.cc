#include "support/standard_input.h"

#include "platform/platform.h"

namespace vu32 {

bool StandardInputRedirected() {
  return !platform::IsTerminal(0) && !platform::IsNullDevice(0);
}

int OpenRedirectedStdin() {
  if (!StandardInputRedirected()) return -1;
  platform::SetBinaryMode(0, true);
  int fd = platform::DuplicateStdin();
  if (fd < 0) return -1;
  if (!platform::ReopenConsoleStdin()) {
    platform::CloseFd(fd);
    return -1;
  }
  return fd;
}

}  // namespace vu32
