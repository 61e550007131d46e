// Buffered block I/O on descriptors. The reader hands out whole blocks; the
// writer buffers and keeps the first write error so that callers check
// once, at the end.
#ifndef VU32_SUPPORT_BYTE_STREAM_H_
#define VU32_SUPPORT_BYTE_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "support/page_block.h"

namespace vu32 {

inline constexpr size_t kStreamBlockSize = 64 * 1024;

class ByteReader {
 public:
  // Reads from `fd` (not owned).
  explicit ByteReader(int fd, size_t block_size = kStreamBlockSize);
  // Reads from `fd` into `block` (of `block_size` bytes), which TakeBlock
  // hands back: a run of many files lends each the same block.
  ByteReader(int fd, PageBlock block, size_t block_size);
  PageBlock TakeBlock() { return std::move(buffer_); }
  // Reads from memory (tests).
  explicit ByteReader(std::string data);

  // Fills `dst` with `size` bytes, fewer only at the end of the input or on
  // an error (see failed()), like fread. Serves buffered bytes first.
  size_t Read(void* dst, size_t size);
  // Points `*data` at the next buffered block and returns its length, 0 at
  // the end; the block stays valid until the next call.
  size_t NextBlock(const uint8_t** data);

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }

 private:
  bool Refill();

  int fd_ = -1;
  PageBlock buffer_;  // page-aligned: see page_block.h
  size_t capacity_ = 0;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  int error_ = 0;
  std::string memory_;  // the whole input when reading from memory
};

// Where a writer hands its bytes when they go to no single descriptor.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes all of `size` bytes; false, with errno set, when that failed.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

class ByteWriter {
 public:
  // Writes to `fd` (not owned).
  explicit ByteWriter(int fd, size_t block_size = kStreamBlockSize);
  // Writes to `sink` (not owned) through `block` (of `block_size` bytes,
  // at least 4096), which TakeBlock hands back.
  ByteWriter(ByteSink* sink, PageBlock block, size_t block_size);
  PageBlock TakeBlock() { return std::move(buffer_); }
  // Writes into `*capture` (tests).
  explicit ByteWriter(std::string* capture);
  ~ByteWriter();

  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  void Write(const void* data, size_t size);
  // Hands everything buffered to the system; false once any write failed.
  bool Flush();

  // Room for `size` bytes in the buffer, written through the returned
  // pointer and committed by Commit(size) (size <= capacity()).
  uint8_t* Reserve(size_t size) {
    if (capacity_ - pos_ < size) Drain();
    return buffer_.get() + pos_;
  }
  void Commit(size_t size) { pos_ += size; }
  size_t capacity() const { return capacity_; }
  // What Reserve can hand out before the buffer must be written.
  size_t room() const { return capacity_ - pos_; }

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }

 private:
  void Drain();
  // Hands `size` bytes to the descriptor or the sink, keeping the first
  // error.
  void Emit(const uint8_t* data, size_t size);

  int fd_ = -1;
  ByteSink* sink_ = nullptr;
  std::string* capture_ = nullptr;
  PageBlock buffer_;  // page-aligned: see page_block.h
  size_t capacity_ = 0;
  size_t pos_ = 0;
  int error_ = 0;
};

}  // namespace vu32

#endif  // VU32_SUPPORT_BYTE_STREAM_H_
