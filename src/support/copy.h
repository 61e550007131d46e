// Copying one descriptor to another to the end, through the work buffer.
#ifndef VU32_SUPPORT_COPY_H_
#define VU32_SUPPORT_COPY_H_

#include <cstdint>

namespace vu32 {

enum class CopyStatus { kOk, kReadError, kWriteError };

// Copies everything from `in` to `out`, adding the bytes written to
// `*count`. The kernel moves the data where it can; the held WorkBuffer
// carries it otherwise and confirms the end, so a failure is always named by
// the side (read or write) that met it.
CopyStatus CopyToEnd(int in, int out, uint64_t* count);

}  // namespace vu32

#endif  // VU32_SUPPORT_COPY_H_
