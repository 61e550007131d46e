// Cutting by size: pieces of a fixed byte count, none of them (but the
// last) ending inside a two-byte Shift-JIS character.
#ifndef VU32_SPLIT_SIZE_SPLIT_H_
#define VU32_SPLIT_SIZE_SPLIT_H_

#include <cstdint>

#include "split/pieces.h"

namespace vu32 {

// Writes piece `number`: the next `count` bytes of the input, or one byte
// fewer when the last of them would open a two-byte character (unless
// `last`); that byte stays in the input, to begin the next piece, and is
// counted in `*left`. False after a reported failure that ends the run
// (piece not creatable or the input itself, read error, input shorter than
// measured, write or close error).
bool WriteSizePiece(const SplitContext& context, uint32_t number,
                    uint64_t count, bool last, uint64_t* left);

// Cuts an input of `length` bytes into length / piece_bytes pieces of
// piece_bytes and a last piece with the rest (possibly empty). Needs the
// work buffer. False after a reported failure.
bool SplitBySize(const SplitContext& context, uint64_t length,
                 uint64_t piece_bytes);

}  // namespace vu32

#endif  // VU32_SPLIT_SIZE_SPLIT_H_
