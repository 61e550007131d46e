#include "support/copy.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "support/page_block.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

// Largest single request to the kernel copy; it may move less.
constexpr uint64_t kKernelCopyChunk = uint64_t{1} << 30;

bool g_kernel_copy = true;

}  // namespace

void SetKernelCopyEnabled(bool enabled) { g_kernel_copy = enabled; }

CopyStatus CopyUpTo(int in, int out, uint64_t limit, uint64_t* count) {
  uint64_t left = limit;
  while (g_kernel_copy && left > 0) {
    long long n = platform::KernelCopy(
        in, out, static_cast<size_t>(std::min(left, kKernelCopyChunk)));
    if (n <= 0) break;
    *count += static_cast<uint64_t>(n);
    left -= static_cast<uint64_t>(n);
  }
  // The end is confirmed by a plain read (some files report a size of 0
  // but still have data), and an error is met again by the plain calls.
  while (left > 0) {
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(left, WorkBuffer.size));
    long n = platform::ReadSome(in, WorkBuffer.address, want);
    if (n < 0) return CopyStatus::kReadError;
    if (n == 0) break;
    if (!platform::WriteAll(out, WorkBuffer.address, static_cast<size_t>(n))) {
      return CopyStatus::kWriteError;
    }
    *count += static_cast<uint64_t>(n);
    left -= static_cast<uint64_t>(n);
  }
  return CopyStatus::kOk;
}

CopyStatus CopyToEnd(int in, int out, uint64_t* count) {
  return CopyUpTo(in, out, std::numeric_limits<uint64_t>::max(), count);
}

}  // namespace vu32
