// A temporary directory holding an input file, opened and described by a
// SplitContext whose pieces land beside it, for the split unit tests.
#ifndef VU32_SPLIT_SPLIT_TEST_UTIL_H_
#define VU32_SPLIT_SPLIT_TEST_UTIL_H_

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "e2e/harness.h"
#include "platform/platform.h"
#include "split/pieces.h"
#include "support/messages.h"

namespace vu32::testing {

class SplitDir {
 public:
  // Writes `input` to `input_name` in a fresh directory and opens it; the
  // pieces are called base._NN in the same directory. Messages are captured.
  explicit SplitDir(const std::string& input,
                    const std::string& input_name = "IN.TXT",
                    const std::string& base = "IN") {
    WriteFile(dir_.File(input_name), input);
    context_.prefix = dir_.path() + "/";
    context_.base = base;
    context_.input_fd = platform::OpenForRead(dir_.File(input_name));
    context_.input_name = input_name;
    CaptureMessages(&messages_);
  }
  ~SplitDir() {
    CaptureMessages(nullptr);
    if (context_.input_fd >= 0) platform::CloseFd(context_.input_fd);
  }
  SplitDir(const SplitDir&) = delete;
  SplitDir& operator=(const SplitDir&) = delete;

  SplitContext& context() { return context_; }
  const ScopedTempDir& dir() const { return dir_; }
  const std::string& messages() const { return messages_; }

  std::string PiecePath(uint32_t number) const {
    return PieceName(context_, number);
  }
  // The pieces in number order, up to the first number that does not exist.
  std::vector<std::string> Pieces() const {
    std::vector<std::string> pieces;
    for (uint32_t i = 0; i <= context_.max_piece_number; ++i) {
      if (!FileExists(PiecePath(i))) break;
      pieces.push_back(ReadFile(PiecePath(i)));
    }
    return pieces;
  }
  // The messages announcing pieces 0 .. count - 1.
  std::string Announced(uint32_t count) const {
    std::string text;
    for (uint32_t i = 0; i < count; ++i) text += PiecePath(i) + "\n";
    return text;
  }

 private:
  ScopedTempDir dir_;
  SplitContext context_;
  std::string messages_;
};

// Limits the size of files this process writes to `bytes` for one test, as
// `ulimit -f` does, with the signal ignored so that a write beyond it fails
// with EFBIG like any other write error.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    struct rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    saved_handler_ = signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, saved_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct rlimit saved_;
  void (*saved_handler_)(int);
};

inline std::string Joined(const std::vector<std::string>& pieces) {
  std::string all;
  for (const std::string& p : pieces) all += p;
  return all;
}

}  // namespace vu32::testing

#endif  // VU32_SPLIT_SPLIT_TEST_UTIL_H_
