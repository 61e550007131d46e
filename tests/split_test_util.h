// A temporary directory holding an input file, opened and described by a
// SplitContext whose pieces land beside it, for the split unit tests.
#ifndef VU32_TESTS_SPLIT_TEST_UTIL_H_
#define VU32_TESTS_SPLIT_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "split/line_split.h"
#include "split/pieces.h"
#include "support/copy.h"
#include "support/messages.h"
#include "support/work_buffer.h"
#include "test_util.h"

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

// Holds a work buffer of the given size for one test.
class ScopedWorkBuffer {
 public:
  explicit ScopedWorkBuffer(uint32_t size) {
    EXPECT_TRUE(AllocWorkBuffer(size));
  }
  ~ScopedWorkBuffer() { FreeWorkBuffer(); }
};

// Runs a cut twice: with the kernel copy and through the work buffer.
class BothCopyPaths {
 public:
  ~BothCopyPaths() { SetKernelCopyEnabled(true); }
  template <typename Body>
  void Run(Body body) {
    for (bool kernel : {true, false}) {
      SCOPED_TRACE(kernel ? "kernel copy" : "buffer copy");
      SetKernelCopyEnabled(kernel);
      body();
    }
  }
};

// The letters a..z over and over: text without a Shift-JIS byte.
inline std::string Ascii(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// Both ways of cutting lines (every line, every matching line), for the
// failures they share.
inline bool CutLines(const SplitContext& context, bool with_pattern) {
  if (!with_pattern) return SplitByLines(context, 1, nullptr);
  return SplitAtMatchingLines(
      context, 1, [](const std::string&) { return MatchOutcome::kMatch; });
}

inline std::string Joined(const std::vector<std::string>& pieces) {
  std::string all;
  for (const std::string& p : pieces) all += p;
  return all;
}

}  // namespace vu32::testing

#endif  // VU32_TESTS_SPLIT_TEST_UTIL_H_
