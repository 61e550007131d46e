#include "split/split.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "cli/streams.h"
#include "platform/platform.h"
#include "split/line_split.h"
#include "split/pieces.h"
#include "split/plan.h"
#include "split/size_split.h"
#include "support/format.h"
#include "support/free_space.h"
#include "support/messages.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

// Owns the input descriptor and the work buffer for one run, so that every
// way out releases them.
class SplitResources {
 public:
  ~SplitResources() {
    if (input_fd_ >= 0) platform::CloseFd(input_fd_);
    if (from_stdin_) platform::SetBinaryMode(0, false);
    if (buffer_held_) FreeWorkBuffer();
  }
  void SetInput(int fd, bool from_stdin) {
    input_fd_ = fd;
    from_stdin_ = from_stdin;
  }
  bool TakeWorkBuffer() {
    buffer_held_ = AllocWorkBuffer(0) == 0;
    return buffer_held_;
  }

 private:
  int input_fd_ = -1;
  bool from_stdin_ = false;
  bool buffer_held_ = false;
};

// Length of the pattern argument's prefix: 2 for "-#", 3 for "--#", else 0.
size_t PatternPrefix(const char* arg) {
  if (std::strncmp(arg, "-#", 2) == 0) return 2;
  if (std::strncmp(arg, "--#", 3) == 0) return 3;
  return 0;
}

int Split(int argc, char** argv) {
  SplitResources resources;
  const int stdin_fd = OpenRedirectedStdin();
  const bool from_stdin = stdin_fd >= 0;
  if (from_stdin) resources.SetInput(stdin_fd, true);
  if (argc <= 1 && !from_stdin) return -1;

  SplitSwitch options;
  if (!ParseSplitSwitch(argv[0], &options)) return -1;
  SplitContext context;
  context.piece_digits = options.piece_digits;
  context.max_piece_number = options.max_piece_number;

  int pos = 1;
  std::optional<std::string> pattern;
  if (pos < argc) {
    if (size_t skip = PatternPrefix(argv[pos])) {
      if (!options.line_mode) {
        Report(kSizeAndPattern);
        return -1;
      }
      pattern.emplace(argv[pos] + skip);
      context.keep_match_line = skip == 2;
      ++pos;
    }
  }

  std::string file;
  if (from_stdin) {
    context.input_fd = stdin_fd;
    context.input_name = "stdin";
  } else {
    if (pos >= argc) return -1;
    file = argv[pos++];
    context.input_fd = platform::OpenForRead(file);
    if (context.input_fd < 0) {
      Report(kCannotOpen, file);
      return -1;
    }
    resources.SetInput(context.input_fd, false);
    context.input_name = file;
  }
  const char* outdir = pos < argc ? argv[pos] : nullptr;

  // Messages about the length name the argument in FILE's place, which for
  // standard input is the one just before OUTDIR's place.
  const std::string length_arg = from_stdin ? argv[pos - 1] : file;
  const int64_t length = platform::FileLength(context.input_fd);
  if (length < 0) {
    WriteMessage(length_arg + ": " + platform::LastErrorText() + "\n");
    return -1;
  }
  if (length == 0) {
    Report(kStrangeFile, length_arg);
    return -1;
  }
  const uint64_t input_length = static_cast<uint64_t>(length);

  uint64_t piece_bytes = 0;
  if (!options.line_mode) {
    piece_bytes = options.n1 * 1000;
    if (input_length / piece_bytes > context.max_piece_number) {
      Report(kPiecesTooSmall);
      return -1;
    }
  }

  switch (CheckFreeSpace(input_length, outdir ? outdir : "")) {
    case 0:
      break;
    case -1:
      Report(kSplitNoSpace);
      return -1;
    default:
      return -1;  // the query has said why
  }
  if (outdir && ProbeOutputDir(outdir, &context.prefix) != 0) {
    Report(kNoDirectory, outdir);
    return -1;
  }

  if (!resources.TakeWorkBuffer()) return -1;
  ReportFormat(kAllocatedBuffer, static_cast<unsigned>(WorkBuffer.size));
  const std::string shown_length = FormatWithCommas(length);
  ReportFormat(kSplitting, from_stdin ? "stdin" : file.c_str(),
               shown_length.c_str());

  if (from_stdin) {
    const platform::FileTime now = platform::CurrentFileTime();
    context.piece_times = {now, now, now};
  } else if (!platform::GetFileTimes(file, &context.piece_times)) {
    context.piece_times = {};
  }
  context.base = from_stdin ? std::string("_stdin_") : MakeBaseName(file);

  if (options.line_mode) {
    return SplitByLines(context, options.n1, pattern ? &*pattern : nullptr);
  }
  return SplitBySize(context, input_length, piece_bytes);
}

}  // namespace

int RunSplit(int argc, char** argv) {
  try {
    return Split(argc, argv);
  } catch (const std::bad_alloc&) {
    // A line too long to hold, or a pattern too long to copy.
    Report(kNoMemory);
    return -1;
  }
}

}  // namespace vu32
