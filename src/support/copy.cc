#include "support/copy.h"

#include "platform/platform.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

// Largest single request to the kernel copy; it may move less.
constexpr size_t kKernelCopyChunk = size_t{1} << 30;

}  // namespace

CopyStatus CopyToEnd(int in, int out, uint64_t* count) {
  for (;;) {
    long long n = platform::KernelCopy(in, out, kKernelCopyChunk);
    if (n <= 0) break;
    *count += static_cast<uint64_t>(n);
  }
  // The end is confirmed by a plain read (some files report a size of 0
  // but still have data), and an error is met again by the plain calls.
  for (;;) {
    long n = platform::ReadSome(in, WorkBuffer.address, WorkBuffer.size);
    if (n < 0) return CopyStatus::kReadError;
    if (n == 0) return CopyStatus::kOk;
    if (!platform::WriteAll(out, WorkBuffer.address, static_cast<size_t>(n))) {
      return CopyStatus::kWriteError;
    }
    *count += static_cast<uint64_t>(n);
  }
}

}  // namespace vu32
