#include "support/byte_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace vu32 {

namespace {

// Smallest buffer a reader works with: it must hold at least one byte.
constexpr size_t kMinBlockSize = 64;
// Smallest writer buffer: a filter reserves up to eight output bytes per
// input byte and some bytes beyond for its vector stores.
constexpr size_t kMinWriterSize = 4096;

}  // namespace

ByteReader::ByteReader(int fd, size_t block_size)
    : fd_(fd),
      buffer_(NewPageBlock(std::max(block_size, kMinBlockSize))),
      capacity_(std::max(block_size, kMinBlockSize)) {}

ByteReader::ByteReader(int fd, PageBlock block, size_t block_size)
    : fd_(fd), buffer_(std::move(block)), capacity_(block_size) {}

ByteReader::ByteReader(std::string data) : memory_(std::move(data)) {
  capacity_ = memory_.size();
  buffer_ = NewPageBlock(capacity_ + 1);
  std::memcpy(buffer_.get(), memory_.data(), memory_.size());
  end_ = memory_.size();
  eof_ = true;
}

bool ByteReader::Refill() {
  if (eof_ || error_) return false;
  long n = platform::ReadSome(fd_, buffer_.get(), capacity_);
  if (n < 0) {
    error_ = errno ? errno : EIO;
    return false;
  }
  if (n == 0) {
    eof_ = true;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<size_t>(n);
  return true;
}

size_t ByteReader::NextBlock(const uint8_t** data) {
  if (pos_ == end_ && !Refill()) return 0;
  *data = buffer_.get() + pos_;
  size_t n = end_ - pos_;
  pos_ = end_;
  return n;
}

size_t ByteReader::Read(void* dst, size_t size) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < size) {
    if (pos_ == end_) {
      // Large reads bypass the buffer.
      if (size - done >= capacity_ && !eof_ && !error_ && fd_ >= 0) {
        long n = platform::ReadSome(fd_, out + done, size - done);
        if (n < 0) {
          error_ = errno ? errno : EIO;
          break;
        }
        if (n == 0) {
          eof_ = true;
          break;
        }
        done += static_cast<size_t>(n);
        continue;
      }
      if (!Refill()) break;
    }
    size_t n = std::min(size - done, end_ - pos_);
    std::memcpy(out + done, buffer_.get() + pos_, n);
    pos_ += n;
    done += n;
  }
  return done;
}

ByteWriter::ByteWriter(int fd, size_t block_size)
    : fd_(fd),
      buffer_(NewPageBlock(std::max(block_size, kMinWriterSize))),
      capacity_(std::max(block_size, kMinWriterSize)) {}

ByteWriter::ByteWriter(ByteSink* sink, PageBlock block, size_t block_size)
    : sink_(sink), buffer_(std::move(block)), capacity_(block_size) {}

ByteWriter::ByteWriter(std::string* capture)
    : capture_(capture),
      buffer_(NewPageBlock(kStreamBlockSize)),
      capacity_(kStreamBlockSize) {}

ByteWriter::~ByteWriter() = default;

void ByteWriter::Emit(const uint8_t* data, size_t size) {
  if (capture_) {
    capture_->append(reinterpret_cast<const char*>(data), size);
    return;
  }
  if (error_) return;
  const bool ok =
      sink_ ? sink_->Write(data, size) : platform::WriteAll(fd_, data, size);
  if (!ok) error_ = errno ? errno : EIO;
}

void ByteWriter::Drain() {
  if (pos_ == 0) return;
  Emit(buffer_.get(), pos_);
  // After a failure the data has nowhere to go; dropping it keeps memory flat.
  pos_ = 0;
}

void ByteWriter::Write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (size >= capacity_) {
    Drain();
    Emit(p, size);
    return;
  }
  if (capacity_ - pos_ < size) Drain();
  std::memcpy(buffer_.get() + pos_, p, size);
  pos_ += size;
}

bool ByteWriter::Flush() {
  Drain();
  return !error_;
}

}  // namespace vu32
