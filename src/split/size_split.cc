#include "split/size_split.h"

#include <algorithm>
#include <optional>

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
// fewer when the last would open a character. Empty after a reported
// failure.
std::optional<uint64_t> PieceLength(const SplitContext& context, uint64_t count,
                                    bool last) {
  if (last || count == 0) return count;
  const int64_t start = platform::CurrentOffset(context.input_fd);
  Boundary boundary = start < 0
                          ? Boundary::kError
                          : BoundaryAt(context.input_fd, start,
                                       start + static_cast<int64_t>(count));
  switch (boundary) {
    case Boundary::kEndsACharacter:
      return count;
    case Boundary::kOpensACharacter:
      return count - 1;
    case Boundary::kInputEnded:
    case Boundary::kError:
      break;
  }
  Report(kReadFailed, context.input_name);
  return std::nullopt;
}

}  // namespace

bool WriteSizePiece(const SplitContext& context, uint32_t number,
                    uint64_t count, bool last, uint64_t* left) {
  const std::string name = PieceName(context, number);
  int out = CreatePiece(context, name);
  if (out < 0) return false;
  const std::optional<uint64_t> take = PieceLength(context, count, last);
  if (!take) {
    platform::CloseFd(out);
    return false;
  }
  uint64_t copied = 0;
  CopyStatus status = CopyUpTo(context.input_fd, out, *take, &copied);
  // The length was measured at the start: an input that ends sooner has
  // changed under the run, and its pieces would not rejoin to it.
  if (status == CopyStatus::kReadError ||
      (status == CopyStatus::kOk && copied < *take)) {
    platform::CloseFd(out);
    Report(kReadFailed, context.input_name);
    return false;
  }
  if (!FinishPiece(context, out, name, status == CopyStatus::kOk)) return false;
  *left = count - *take;
  return true;
}

bool SplitBySize(const SplitContext& context, uint64_t length,
                 uint64_t piece_bytes) {
  const uint64_t full_pieces = length / piece_bytes;
  uint64_t carry = 0;
  uint32_t number = 0;
  for (; number < full_pieces; ++number) {
    uint64_t left = 0;
    if (!WriteSizePiece(context, number, piece_bytes, false, &left)) {
      return false;
    }
    carry += left;
  }
  // The last piece takes the rest and whatever the others left; it is made
  // even when that is nothing.
  uint64_t left = 0;
  return WriteSizePiece(context, number, length % piece_bytes + carry, true,
                        &left);
}

}  // namespace vu32
