// Cutting by size: pieces of a fixed byte count, none of them (but the
// last) ending on a byte that opens a two-byte Shift-JIS character.
#ifndef VU32_SPLIT_SIZE_SPLIT_H_
#define VU32_SPLIT_SIZE_SPLIT_H_

#include <cstdint>

#include "split/pieces.h"

namespace vu32 {

// What one piece hands on to the next.
struct SizeSplitState {
  // Number of the next piece; advances only when a piece was created.
  uint32_t next_piece_number = 0;
  // The byte moved off the end of the previous piece, delivered first to
  // the next one; -1 when there is none.
  int pushed_back = -1;
  // Whether whole blocks may be copied inside the kernel; cleared for the
  // rest of the run when that path proves unavailable or fails (the
  // buffered path then retries and names the failing side).
  bool kernel_copy = true;
};

// Writes the next piece: up to `count` bytes of the input through the work
// buffer. Unless `last`, a final byte in the lead-byte range is pushed back
// for the next piece. Returns the bytes of `count` not copied (1 after
// that push-back, more if the input ended early), or -1 after a reported
// failure that ends the run (piece not creatable or the input itself,
// read error, write or close error).
int64_t WriteSizePiece(const SplitContext& context, SizeSplitState* state,
                       uint64_t count, bool last);

// Cuts an input of `length` bytes into length / piece_bytes pieces of
// piece_bytes and a last piece with the rest (possibly empty). Needs the
// work buffer. 0, or -1 after a reported failure.
int SplitBySize(const SplitContext& context, uint64_t length,
                uint64_t piece_bytes, bool kernel_copy = true);

}  // namespace vu32

#endif  // VU32_SPLIT_SIZE_SPLIT_H_
