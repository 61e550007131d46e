#include "split/pieces.h"

#include <cstdio>

#include "support/messages.h"

namespace vu32 {
namespace {

// True when `name` exists and is the very file the input reads: opening it
// for writing would empty the input before it is read.
bool IsInputFile(const SplitContext& context, const std::string& name) {
  platform::FileId input, piece;
  return context.input_fd >= 0 &&
         platform::FileIdOfFd(context.input_fd, &input) &&
         platform::FileIdOfPath(name, &piece) && input == piece;
}

}  // namespace

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
  if (IsInputFile(context, name)) {
    Report(kSameName);
    return -1;
  }
  int fd = platform::OpenForWrite(name, false);
  if (fd < 0) {
    Report(kCannotCreate, name);
    return -1;
  }
  WriteMessage(name + "\n");
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
  writer_ = std::make_unique<ByteWriter>(fd_, name_);
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
