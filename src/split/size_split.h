// Cutting by size: pieces of a fixed byte count, none of them (but the
// last) ending inside a two-byte Shift-JIS character.
#ifndef VU32_SPLIT_SIZE_SPLIT_H_
#define VU32_SPLIT_SIZE_SPLIT_H_

#include <cstdint>

#include "split/pieces.h"

namespace vu32 {

// Writes piece `number`: the next `count` bytes of the input, or one byte
// fewer when the last of them would open a two-byte character (unless
// `last`); that byte stays in the input and begins the next piece. Returns
// the bytes of `count` left in the input (0 or 1), or -1 after a reported
// failure that ends the run (piece not creatable or the input itself, read
// error, input shorter than measured, write or close error).
int64_t WriteSizePiece(const SplitContext& context, uint32_t number,
                       uint64_t count, bool last);

// Cuts an input of `length` bytes into length / piece_bytes pieces of
// piece_bytes and a last piece with the rest (possibly empty). Needs the
// work buffer. 0, or -1 after a reported failure.
int SplitBySize(const SplitContext& context, uint64_t length,
                uint64_t piece_bytes);

}  // namespace vu32

#endif  // VU32_SPLIT_SIZE_SPLIT_H_
