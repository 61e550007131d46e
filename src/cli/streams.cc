#include "cli/streams.h"

#include "platform/platform.h"

namespace vu32 {
namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c;
}

// True when `path` names an existing file that is the regular file behind
// `fd` (devices such as /dev/null may safely be both).
bool IsSameFile(int fd, const std::string& path) {
  platform::FileId a, b;
  return fd >= 0 && platform::FileLength(fd) >= 0 &&
         platform::FileIdOfFd(fd, &a) &&
         platform::FileIdOfPath(path, &b) && a == b;
}

}  // namespace

bool SameNameIgnoringCase(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (; *x && *y; ++x, ++y) {
    if (FoldAscii(*x) != FoldAscii(*y)) return false;
  }
  return *x == *y;
}

int OpenRedirectedStdin() {
  if (platform::IsTerminal(0)) return -1;
  platform::SetBinaryMode(0, true);
  int fd = platform::DuplicateStdin();
  if (fd < 0) return -1;
  if (!platform::ReopenConsoleStdin()) {
    platform::CloseFd(fd);
    return -1;
  }
  return fd;
}

OpenResult OpenStreams(int argc, char** argv, StreamPair* pair) {
  *pair = StreamPair();
  int stdin_copy = OpenRedirectedStdin();
  pair->redirected = stdin_copy >= 0;

  auto use_stdin = [&] {
    pair->input = stdin_copy;
    pair->input_name = "stdin";
  };
  auto use_stdout = [&] {
    pair->output = 1;
    pair->output_name = "stdout";
    pair->output_is_stdout = true;
  };
  // Creates (or empties) the named output unless it is the input itself.
  auto open_output = [&](const char* name) {
    if (IsSameFile(pair->input, name)) return OpenResult::kSameFile;
    pair->output = platform::OpenForWrite(name, false);
    pair->output_name = name;
    return pair->output >= 0 ? OpenResult::kOk : OpenResult::kMissing;
  };

  OpenResult result = OpenResult::kOk;
  if (argc <= 1) {
    if (!pair->redirected) return OpenResult::kMissing;
    use_stdin();
    use_stdout();
  } else if (argc == 2) {
    if (pair->redirected) {
      use_stdin();
      result = open_output(argv[1]);
    } else {
      pair->input = platform::OpenForRead(argv[1]);
      pair->input_name = argv[1];
      if (pair->input < 0) return OpenResult::kMissing;
      use_stdout();
    }
  } else {
    if (SameNameIgnoringCase(argv[1], argv[2])) {
      if (pair->redirected) use_stdin();
      return OpenResult::kMissing;
    }
    pair->input = platform::OpenForRead(argv[1]);
    pair->input_name = argv[1];
    if (pair->input < 0) return OpenResult::kMissing;
    result = open_output(argv[2]);
  }
  if (result != OpenResult::kOk) return result;

  if (pair->output_is_stdout) {
    platform::SetBinaryMode(1, true);
    // Appending standard output to the input file would never end.
    platform::FileId in_id, out_id;
    if (platform::FileIdOfFd(pair->input, &in_id) &&
        platform::FileIdOfFd(1, &out_id) && in_id == out_id &&
        platform::FileLength(1) >= 0) {
      return OpenResult::kSameFile;
    }
  }
  return OpenResult::kOk;
}

bool CloseStreams(StreamPair* pair) {
  bool ok = true;
  if (pair->output >= 0 && !pair->output_is_stdout) {
    ok = platform::CloseFd(pair->output);
  }
  pair->output = -1;
  if (pair->input >= 0) platform::CloseFd(pair->input);
  pair->input = -1;
  platform::SetBinaryMode(0, false);
  platform::SetBinaryMode(1, false);
  return ok;
}

}  // namespace vu32
