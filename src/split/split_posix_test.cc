// Read and write failures while cutting, provoked with what only POSIX
// offers: a directory read as data, and a file-size limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "split/line_split.h"
#include "split/size_split.h"
#include "split_test_util.h"

namespace vu32::testing {
namespace {

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

// Replaces the input with a directory: it opens, but every read fails.
void ReadFromADirectory(SplitDir* dir) {
  int fd = open(dir->dir().path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  platform::CloseFd(dir->context().input_fd);
  dir->context().input_fd = fd;
}

TEST(SplitBySizeTest, ReadErrorIsReported) {
  ScopedWorkBuffer buffer(0);
  SplitDir dir("");
  ReadFromADirectory(&dir);
  EXPECT_FALSE(SplitBySize(dir.context(), 100, 1000));
  EXPECT_EQ(dir.messages(),
            dir.Announced(1) + std::string(kReadFailed.sjis) + "IN.TXT\n");
}

TEST(SplitBySizeTest, WriteErrorIsReported) {
  BothCopyPaths paths;
  paths.Run([] {
    ScopedWorkBuffer buffer(0);
    SplitDir dir(Ascii(40000));
    FileSizeLimit limit(20000);
    // Pieces longer than the buffer and the limit, so that whole blocks are
    // tried in the kernel first.
    EXPECT_FALSE(SplitBySize(dir.context(), 40000, 30000));
    EXPECT_EQ(dir.messages(), dir.Announced(1) +
                                  std::string(kWriteFailed.sjis) +
                                  dir.PiecePath(0) + "\n");
    EXPECT_FALSE(FileExists(dir.PiecePath(1)));
  });
}

TEST(SplitByLinesTest, ReadAndWriteErrorsAreReported) {
  for (bool with_pattern : {false, true}) {
    SCOPED_TRACE(with_pattern ? "pattern" : "count");
    {
      SplitDir dir("");
      ReadFromADirectory(&dir);
      EXPECT_FALSE(CutLines(dir.context(), with_pattern));
      EXPECT_EQ(dir.messages(),
                dir.Announced(1) + std::string(kReadFailed.sjis) + "IN.TXT\n");
    }
    {
      SplitDir dir("a\nb\n");
      FileSizeLimit limit(1);
      EXPECT_FALSE(CutLines(dir.context(), with_pattern));
      EXPECT_EQ(dir.messages(), dir.Announced(1) +
                                    std::string(kWriteFailed.sjis) +
                                    dir.PiecePath(0) + "\n");
    }
  }
}

}  // namespace
}  // namespace vu32::testing
