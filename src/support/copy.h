// Copying from one descriptor to another through the kernel where it can,
// else through the work buffer.
#ifndef VU32_SUPPORT_COPY_H_
#define VU32_SUPPORT_COPY_H_

#include <cstdint>

namespace vu32 {

enum class CopyStatus { kOk, kReadError, kWriteError };

// Copies from `in` to `out` until `limit` bytes are copied or `in` ends,
// adding the bytes written to `*count` (fewer than `limit` means the input
// ended). The kernel moves the data where it can; the held WorkBuffer
// carries it otherwise and confirms the end, so a failure is always named
// by the side (read or write) that met it.
CopyStatus CopyUpTo(int in, int out, uint64_t limit, uint64_t* count);

// CopyUpTo without a limit: everything to the end of `in`.
CopyStatus CopyToEnd(int in, int out, uint64_t* count);

// Turns the kernel path off (tests of the buffered path); true restores it.
void SetKernelCopyEnabled(bool enabled);

}  // namespace vu32

#endif  // VU32_SUPPORT_COPY_H_
