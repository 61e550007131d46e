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

// Byte 0 of the reader's buffer is kept free for a push-back, so pos_ and
// end_ start at 1: an Unread before the first read has its place too.
ByteReader::ByteReader(int fd, std::string name, size_t block_size)
    : fd_(fd),
      name_(std::move(name)),
      buffer_(new uint8_t[std::max(block_size, kMinBlockSize) + 1]),
      capacity_(std::max(block_size, kMinBlockSize)),
      pos_(1),
      end_(1) {}

ByteReader::ByteReader(std::string data)
    : name_("memory"), memory_(std::move(data)) {
  capacity_ = memory_.size();
  buffer_.reset(new uint8_t[capacity_ + 1]);
  std::memcpy(buffer_.get() + 1, memory_.data(), memory_.size());
  pos_ = 1;
  end_ = 1 + memory_.size();
  eof_ = true;
}

bool ByteReader::Refill() {
  if (eof_ || error_) return false;
  // Byte 0 of the buffer is kept free for a push-back.
  long n = platform::ReadSome(fd_, buffer_.get() + 1, capacity_);
  if (n < 0) {
    error_ = errno ? errno : EIO;
    return false;
  }
  if (n == 0) {
    eof_ = true;
    return false;
  }
  pos_ = 1;
  end_ = 1 + static_cast<size_t>(n);
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

void ByteReader::Unread(uint8_t byte) {
  if (pos_ > 0) {
    buffer_[--pos_] = byte;
    return;
  }
  // Only reachable right after another Unread: one byte of push-back is
  // what is promised, so the newer byte replaces the older one.
  buffer_[0] = byte;
}

bool ByteReader::ReadLine(std::string* line) {
  line->clear();
  for (;;) {
    if (pos_ == end_ && !Refill()) return !line->empty();
    const uint8_t* start = buffer_.get() + pos_;
    size_t avail = end_ - pos_;
    const void* lf = std::memchr(start, '\n', avail);
    size_t take = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) -
                                           start) + 1
                     : avail;
    line->append(reinterpret_cast<const char*>(start), take);
    pos_ += take;
    if (lf) return true;
  }
}

ByteWriter::ByteWriter(int fd, std::string name, size_t block_size)
    : fd_(fd),
      name_(std::move(name)),
      buffer_(new uint8_t[std::max(block_size, kMinWriterSize)]),
      capacity_(std::max(block_size, kMinWriterSize)) {}

ByteWriter::ByteWriter(std::string* capture)
    : name_("memory"),
      capture_(capture),
      buffer_(new uint8_t[kStreamBlockSize]),
      capacity_(kStreamBlockSize) {}

ByteWriter::~ByteWriter() = default;

void ByteWriter::Drain() {
  if (pos_ == 0) return;
  if (capture_) {
    capture_->append(reinterpret_cast<const char*>(buffer_.get()), pos_);
  } else if (!error_) {
    if (!platform::WriteAll(fd_, buffer_.get(), pos_)) {
      error_ = errno ? errno : EIO;
    }
  }
  // After a failure the data has nowhere to go; dropping it keeps memory flat.
  written_ += pos_;
  pos_ = 0;
}

void ByteWriter::Write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (size >= capacity_) {
    Drain();
    if (capture_) {
      capture_->append(reinterpret_cast<const char*>(p), size);
    } else if (!error_ && !platform::WriteAll(fd_, p, size)) {
      error_ = errno ? errno : EIO;
    }
    written_ += size;
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
