#include "split/size_split.h"

#include <algorithm>

#include "support/copy.h"
#include "support/messages.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

enum class Boundary { kEndsACharacter, kOpensACharacter, kInputEnded, kError };

// Whether the byte at `end` - 1 opens a two-byte character, counting
// characters from `start` (`start` < `end`), where one begins. Only the run
// of lead-range bytes that ends there matters: the byte before such a run
// always ends a character, and inside it first and second bytes alternate,
// so an odd run ends on a first byte. The bytes are read in place, without
// moving the input's position, from the end backwards.
Boundary BoundaryAt(int fd, int64_t start, int64_t end) {
  constexpr int64_t kChunk = 256;
  uint8_t bytes[kChunk];
  int64_t run = 0;
  for (int64_t pos = end; pos > start;) {
    const int64_t n = std::min(kChunk, pos - start);
    long got = platform::ReadAt(fd, bytes, static_cast<size_t>(n), pos - n);
    if (got < 0) return Boundary::kError;
    if (got < n) return Boundary::kInputEnded;
    for (int64_t i = n; i-- > 0;) {
      if (!SjisLeadByte(bytes[i])) {
        return run % 2 ? Boundary::kOpensACharacter : Boundary::kEndsACharacter;
      }
      ++run;
    }
    pos -= n;
  }
  return run % 2 ? Boundary::kOpensACharacter : Boundary::kEndsACharacter;
}

// How many of the next `count` bytes the piece takes: all of them, or one
// fewer when the last would open a character. -1 after a reported failure.
int64_t PieceLength(const SplitContext& context, uint64_t count, bool last) {
  if (last || count == 0) return static_cast<int64_t>(count);
  const int64_t start = platform::CurrentOffset(context.input_fd);
  Boundary boundary =
      start < 0 ? Boundary::kError
                : BoundaryAt(context.input_fd, start,
                             start + static_cast<int64_t>(count));
  switch (boundary) {
    case Boundary::kEndsACharacter:
      return static_cast<int64_t>(count);
    case Boundary::kOpensACharacter:
      return static_cast<int64_t>(count) - 1;
    case Boundary::kInputEnded:
    case Boundary::kError:
      break;
  }
  Report(kReadFailed, context.input_name);
  return -1;
}

}  // namespace

int64_t WriteSizePiece(const SplitContext& context, uint32_t number,
                       uint64_t count, bool last) {
  const std::string name = PieceName(context, number);
  int out = CreatePiece(context, name);
  if (out < 0) return -1;
  const int64_t take = PieceLength(context, count, last);
  if (take < 0) {
    platform::CloseFd(out);
    return -1;
  }
  uint64_t copied = 0;
  CopyStatus status = CopyUpTo(context.input_fd, out,
                               static_cast<uint64_t>(take), &copied);
  // The length was measured at the start: an input that ends sooner has
  // changed under the run, and its pieces would not rejoin to it.
  if (status == CopyStatus::kReadError ||
      (status == CopyStatus::kOk && copied < static_cast<uint64_t>(take))) {
    platform::CloseFd(out);
    Report(kReadFailed, context.input_name);
    return -1;
  }
  if (!FinishPiece(context, out, name, status == CopyStatus::kOk)) return -1;
  return static_cast<int64_t>(count) - take;
}

int SplitBySize(const SplitContext& context, uint64_t length,
                uint64_t piece_bytes) {
  const uint64_t full_pieces = length / piece_bytes;
  uint64_t carry = 0;
  uint32_t number = 0;
  for (; number < full_pieces; ++number) {
    int64_t left = WriteSizePiece(context, number, piece_bytes, false);
    if (left < 0) return -1;
    carry += static_cast<uint64_t>(left);
  }
  // The last piece takes the rest and whatever the others left; it is made
  // even when that is nothing.
  int64_t left =
      WriteSizePiece(context, number, length % piece_bytes + carry, true);
  return left < 0 ? -1 : 0;
}

}  // namespace vu32
