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
// size while the allocation fails. 0 when a block is held; -1 (after writing
// "global buf memory allocate error!") when none of any size could be had.
int AllocWorkBuffer(uint32_t requested);
// Releases the block, if one is held.
void FreeWorkBuffer();

// Replaces the allocator (tests); nullptr restores malloc.
using WorkBufferAllocator = void* (*)(size_t);
void SetWorkBufferAllocator(WorkBufferAllocator allocator);

}  // namespace vu32

#endif  // VU32_SUPPORT_WORK_BUFFER_H_
