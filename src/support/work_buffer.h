// The one process-wide block buffer through which the plain copy, merge and
// split move their data.
#ifndef VU32_SUPPORT_WORK_BUFFER_H_
#define VU32_SUPPORT_WORK_BUFFER_H_

#include <cstddef>
#include <cstdint>

namespace vu32 {

inline constexpr uint32_t kDefaultWorkBufferSize = 16384;

struct WorkBufferState {
  uint8_t* address = nullptr;  // null while no block is held
  uint32_t size = 0;           // 0 after a failed allocation
};

// The process's work buffer.
extern WorkBufferState WorkBuffer;

// Takes a block of `requested` bytes (0: the default 16,384), halving the
// size while the allocation fails. False, after writing "global buf memory
// allocate error!", when none of any size could be had.
bool AllocWorkBuffer(uint32_t requested);
// Releases the block, if one is held.
void FreeWorkBuffer();

// Holds the work buffer for a scope: takes it (reporting when it cannot)
// and releases it on every way out.
class HeldWorkBuffer {
 public:
  HeldWorkBuffer() : ok_(AllocWorkBuffer(0)) {}
  ~HeldWorkBuffer() { FreeWorkBuffer(); }
  HeldWorkBuffer(const HeldWorkBuffer&) = delete;
  HeldWorkBuffer& operator=(const HeldWorkBuffer&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// Replaces the allocator (tests); nullptr restores the page-aligned one.
using WorkBufferAllocator = void* (*)(size_t);
void SetWorkBufferAllocator(WorkBufferAllocator allocator);

}  // namespace vu32

#endif  // VU32_SUPPORT_WORK_BUFFER_H_
