// The character filters: each is a small state machine fed with blocks of
// input. Its state carries across block boundaries, so the output never
// depends on where the input was cut.
#ifndef VU32_FILTERS_FILTER_H_
#define VU32_FILTERS_FILTER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "support/byte_stream.h"

namespace vu32 {

class ByteFilter {
 public:
  virtual ~ByteFilter() = default;
  // Converts one block of input, writing what is known to `out`.
  virtual void Feed(const uint8_t* data, size_t size, ByteWriter& out) = 0;
  // Ends the input: writes whatever the end-of-input rule leaves pending.
  virtual void Finish(ByteWriter& /*out*/) {}
  // True once the filter gave up on its own failure (it has written its
  // message); the run then ends with status 1.
  virtual bool failed() const { return false; }
};

// The most output a conversion writes for n input bytes: per_byte * n +
// extra (what pending state adds, and room for a kernel's last stores).
struct OutputBound {
  size_t per_byte;
  size_t extra;
};

// Runs `convert(src, n, dst) -> dst_end` over `data` in chunks small enough
// that each chunk's output fits in one reservation of `out`.
template <typename Convert>
void FeedInChunks(const uint8_t* data, size_t size, ByteWriter& out,
                  OutputBound bound, Convert convert) {
  const size_t chunk = (out.capacity() - bound.extra) / bound.per_byte;
  while (size > 0) {
    size_t n = std::min(size, chunk);
    uint8_t* dst = out.Reserve(n * bound.per_byte + bound.extra);
    uint8_t* end = convert(data, n, dst);
    out.Commit(static_cast<size_t>(end - dst));
    data += n;
    size -= n;
  }
}

}  // namespace vu32

#endif  // VU32_FILTERS_FILTER_H_
