#include "split/pieces.h"

#include <cstdio>

#include "support/messages.h"

namespace vu32 {

std::string PieceName(const SplitContext& context, uint32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*u", context.piece_digits, number);
  std::string name = context.prefix;
  name += context.base;
  name += "._";
  name += digits;
  return name;
}

int CreatePiece(const SplitContext& context, const std::string& name) {
  // Opened without emptying it, so that what is there can be checked first:
  // never the input, never a piece this run has written (a hard link).
  int fd = platform::OpenRegularForWrite(name);
  if (fd < 0) {
    Report(kCannotCreate, name);
    return -1;
  }
  platform::FileId id, input;
  const bool have_id = platform::FileIdOfFd(fd, &id);
  if (have_id && platform::FileIdOfFd(context.input_fd, &input) &&
      id == input) {
    platform::CloseFd(fd);
    Report(kSameName);
    return -1;
  }
  if ((have_id && context.piece_ids.count(id) != 0) ||
      !platform::TruncateFile(fd)) {
    platform::CloseFd(fd);
    Report(kCannotCreate, name);
    return -1;
  }
  if (have_id) context.piece_ids.insert(id);
  ++context.pieces_made;
  ReportFormat(kPieceCreated, name.c_str());
  return fd;
}

bool FinishPiece(const SplitContext& context, int fd, const std::string& name,
                 bool ok) {
  bool closed = platform::CloseFd(fd);
  if (!ok || !closed) {
    Report(kWriteFailed, name);
    return false;
  }
  // The times are a courtesy: a file system that refuses them costs no data.
  platform::SetFileTimes(name, context.piece_times);
  return true;
}

PieceWriter::~PieceWriter() {
  // Only reached open when the run is already ending on another failure.
  if (fd_ >= 0) platform::CloseFd(fd_);
}

bool PieceWriter::Open(uint32_t number) {
  name_ = PieceName(context_, number);
  fd_ = CreatePiece(context_, name_);
  if (fd_ < 0) return false;
  writer_ = std::make_unique<ByteWriter>(fd_);
  return true;
}

bool PieceWriter::Close() {
  bool ok = writer_->Flush();
  writer_.reset();
  int fd = fd_;
  fd_ = -1;
  return FinishPiece(context_, fd, name_, ok);
}

}  // namespace vu32
