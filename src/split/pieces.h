// What the two ways of cutting share: the settings fixed before the first
// piece, the names of the pieces, and creating and finishing a piece file.
#ifndef VU32_SPLIT_PIECES_H_
#define VU32_SPLIT_PIECES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "platform/platform.h"
#include "support/byte_stream.h"

namespace vu32 {

// Everything a cut needs to know; set up by the driver, then read only.
struct SplitContext {
  // Width of the zero-padded piece number in piece names, 2..5.
  int piece_digits = 2;
  // Highest piece number that width allows (99, 999, 9999, 99999).
  uint32_t max_piece_number = 99;
  // Line mode with -#: a matching line that opens a piece is written into
  // it; with --# it is dropped.
  bool keep_match_line = true;
  // Given to every piece once it is closed; a zero time leaves that time of
  // the piece as the file system set it.
  platform::FileTimes piece_times;

  // Output directory with its trailing separator, or empty for the current
  // directory; then the input's name without directory and last extension.
  std::string prefix;
  std::string base;

  int input_fd = -1;
  // What read-error messages call the input: FILE as given, or "stdin".
  std::string input_name;

  // The files of the pieces made so far, so that a name linked to one of
  // them is refused instead of overwriting it. With the count below, the
  // one thing that changes while cutting.
  mutable std::set<platform::FileId> piece_ids;
  // How many pieces this run has created (numbers 0 .. pieces_made - 1).
  mutable uint32_t pieces_made = 0;

  // Block size for reading lines (tests use tiny blocks to reach every
  // boundary case): 1 MiB, as the filters read, which measured fastest.
  size_t line_block_size = size_t{1} << 20;
};

// prefix + base + "._" + `number` zero-padded to piece_digits digits.
std::string PieceName(const SplitContext& context, uint32_t number);

// Creates (or empties) the piece `name` and announces it on the message
// stream. Refuses a name that is the input file itself, a symbolic link, a
// FIFO or device, or a file this run has already written as another piece.
// -1 after a reported failure, which ends the run.
int CreatePiece(const SplitContext& context, const std::string& name);

// Closes a piece whose data has all been handed over and gives it the
// piece times. `ok` false means a write already failed; either that or a
// failing close is reported, and the result is false.
bool FinishPiece(const SplitContext& context, int fd, const std::string& name,
                 bool ok);

// A piece written through a buffer, for cutting at line ends.
class PieceWriter {
 public:
  explicit PieceWriter(const SplitContext& context) : context_(context) {}
  ~PieceWriter();
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  // Creates piece `number`; false after a reported failure.
  bool Open(uint32_t number);
  // Flushes and finishes the open piece; false after a reported failure.
  bool Close();
  bool is_open() const { return fd_ >= 0; }

  void Write(const void* data, size_t size) { writer_->Write(data, size); }
  // A failed write is kept by the buffer and surfaces at Close(); checking
  // now and then stops a run that cannot write from reading on for nothing.
  bool failed() const { return writer_ && writer_->failed(); }

 private:
  const SplitContext& context_;
  int fd_ = -1;
  std::string name_;
  std::unique_ptr<ByteWriter> writer_;
};

}  // namespace vu32

#endif  // VU32_SPLIT_PIECES_H_
