// Blocks that the system reads into and writes from, each starting on a
// page.
//
// Most of a filter's time is the kernel's copy into its input block and out
// of its output block. A large new[] is served from mmap 16 bytes past a
// page start, so every read would land on a destination that is not even
// cache-line aligned; on some processors (measured on an AMD EPYC) the
// kernel's copy is then much slower, up to half the speed of a run. Every
// block that a read lands in or a write is taken from comes from here.
#ifndef VU32_SUPPORT_PAGE_BLOCK_H_
#define VU32_SUPPORT_PAGE_BLOCK_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace vu32 {

inline constexpr size_t kPageSize = 4096;

struct PageBlockFree {
  void operator()(uint8_t* block) const {
    ::operator delete (block, std::align_val_t{kPageSize});
  }
};

using PageBlock = std::unique_ptr<uint8_t[], PageBlockFree>;

// `size` bytes, not cleared, starting on a page; throws std::bad_alloc.
inline PageBlock NewPageBlock(size_t size) {
  return PageBlock(static_cast<uint8_t*>(
      ::operator new (size, std::align_val_t{kPageSize})));
}

// The same, or null when memory is short; freed with FreePageBlock.
inline uint8_t* TryNewPageBlock(size_t size) {
  return static_cast<uint8_t*>(
      ::operator new (size, std::align_val_t{kPageSize}, std::nothrow));
}

inline void FreePageBlock(uint8_t* block) { PageBlockFree()(block); }

}  // namespace vu32

#endif  // VU32_SUPPORT_PAGE_BLOCK_H_
