#include "split/size_split.h"

#include <algorithm>

#include "support/messages.h"
#include "support/sjis.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

// Largest single request to the kernel copy; it may move less.
constexpr uint64_t kKernelChunk = uint64_t{1} << 30;

// Fills `buffer` with up to `want` bytes: the pushed-back byte first, then
// reads until `want` bytes are there or the input ends. -1 on a read error.
int64_t FillBuffer(const SplitContext& context, SizeSplitState* state,
                   uint8_t* buffer, size_t want) {
  size_t got = 0;
  if (want > 0 && state->pushed_back >= 0) {
    buffer[got++] = static_cast<uint8_t>(state->pushed_back);
    state->pushed_back = -1;
  }
  while (got < want) {
    long n = platform::ReadSome(context.input_fd, buffer + got, want - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

enum class CopyStatus { kOk, kReadError, kWriteError };

// Copies up to `count` bytes into `out`, adding what was written to
// `*copied`. Whole blocks go through the kernel where it can; the final
// read, whose last byte decides the adjustment, always goes through the
// buffer so that the byte can be looked at and held back.
CopyStatus CopyPiece(const SplitContext& context, SizeSplitState* state,
                     int out, uint64_t count, bool last, uint64_t* copied) {
  const size_t size = WorkBuffer.size;
  uint8_t* const buffer = WorkBuffer.address;
  const uint64_t tail = count == 0 ? 0 : (count - 1) % size + 1;
  uint64_t head = count - tail;
  bool ended = false;

  while (head > 0) {
    if (state->kernel_copy && state->pushed_back < 0) {
      long long n = platform::KernelCopy(context.input_fd, out,
                                         std::min(head, kKernelChunk));
      if (n > 0) {
        head -= static_cast<uint64_t>(n);
        *copied += static_cast<uint64_t>(n);
        continue;
      }
      if (n == 0) {
        ended = true;
        break;
      }
      state->kernel_copy = false;
      continue;
    }
    size_t want = static_cast<size_t>(std::min<uint64_t>(head, size));
    int64_t got = FillBuffer(context, state, buffer, want);
    if (got < 0) return CopyStatus::kReadError;
    if (!platform::WriteAll(out, buffer, static_cast<size_t>(got))) {
      return CopyStatus::kWriteError;
    }
    *copied += static_cast<uint64_t>(got);
    head -= static_cast<uint64_t>(got);
    if (static_cast<size_t>(got) < want) {
      ended = true;
      break;
    }
  }

  if (ended || tail == 0) return CopyStatus::kOk;
  int64_t got = FillBuffer(context, state, buffer, static_cast<size_t>(tail));
  if (got < 0) return CopyStatus::kReadError;
  // Judged on the byte's value alone: a piece never ends on a byte that
  // could open a two-byte character, so no character is cut in two.
  if (!last && got > 0 && SjisLeadByte(buffer[got - 1])) {
    state->pushed_back = buffer[got - 1];
    --got;
  }
  if (!platform::WriteAll(out, buffer, static_cast<size_t>(got))) {
    return CopyStatus::kWriteError;
  }
  *copied += static_cast<uint64_t>(got);
  return CopyStatus::kOk;
}

}  // namespace

int64_t WriteSizePiece(const SplitContext& context, SizeSplitState* state,
                       uint64_t count, bool last) {
  const std::string name = PieceName(context, state->next_piece_number);
  int out = CreatePiece(context, name);
  if (out < 0) return -1;

  uint64_t copied = 0;
  CopyStatus status = CopyPiece(context, state, out, count, last, &copied);
  if (status == CopyStatus::kReadError) {
    platform::CloseFd(out);
    Report(kReadFailed, context.input_name);
    return -1;
  }
  if (!FinishPiece(context, out, name, status == CopyStatus::kOk)) return -1;
  ++state->next_piece_number;
  return static_cast<int64_t>(count - copied);
}

int SplitBySize(const SplitContext& context, uint64_t length,
                uint64_t piece_bytes, bool kernel_copy) {
  SizeSplitState state;
  state.kernel_copy = kernel_copy;
  const uint64_t full_pieces = length / piece_bytes;
  uint64_t carry = 0;
  for (uint64_t i = 0; i < full_pieces; ++i) {
    int64_t missing = WriteSizePiece(context, &state, piece_bytes, false);
    if (missing < 0) return -1;
    carry += static_cast<uint64_t>(missing);
  }
  // The last piece takes the rest and whatever the others held back; it is
  // made even when that is nothing.
  int64_t missing =
      WriteSizePiece(context, &state, length % piece_bytes + carry, true);
  return missing < 0 ? -1 : 0;
}

}  // namespace vu32
