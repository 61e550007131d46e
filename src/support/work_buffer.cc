#include "support/work_buffer.h"

#include "support/messages.h"
#include "support/page_block.h"

namespace vu32 {

WorkBufferState WorkBuffer;

namespace {

// Stands in for malloc in tests that simulate short memory.
WorkBufferAllocator g_allocator = nullptr;
// Whether the held block came from g_allocator (tests free nothing then).
bool g_block_from_test_allocator = false;

}  // namespace

void SetWorkBufferAllocator(WorkBufferAllocator allocator) {
  g_allocator = allocator;
}

bool AllocWorkBuffer(uint32_t requested) {
  FreeWorkBuffer();
  uint32_t size = requested ? requested : kDefaultWorkBufferSize;
  while (size > 0) {
    // Page-aligned, as the copies read into it (see page_block.h).
    void* block = g_allocator ? g_allocator(size) : TryNewPageBlock(size);
    if (block) {
      WorkBuffer.address = static_cast<uint8_t*>(block);
      WorkBuffer.size = size;
      g_block_from_test_allocator = g_allocator != nullptr;
      return true;
    }
    size /= 2;
  }
  WorkBuffer = {};
  ReportText(kNoWorkBuffer);  // no line end, as it always was
  return false;
}

void FreeWorkBuffer() {
  if (WorkBuffer.address && !g_block_from_test_allocator) {
    FreePageBlock(WorkBuffer.address);
  }
  WorkBuffer.address = nullptr;
  WorkBuffer.size = 0;
}

}  // namespace vu32
