#include "split/split.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "split/command.h"
#include "split/line_split.h"
#include "split/pieces.h"
#include "split/size_split.h"
#include "support/format.h"
#include "support/free_space.h"
#include "support/messages.h"
#include "support/standard_input.h"
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
    buffer_held_ = AllocWorkBuffer(0);
    return buffer_held_;
  }

 private:
  int input_fd_ = -1;
  bool from_stdin_ = false;
  bool buffer_held_ = false;
};

// The command line of one run, read but not yet acted on.
struct SplitArguments {
  SplitSwitch options;
  std::optional<std::string> pattern;
  bool keep_match_line = true;
  std::string file;  // FILE; empty when standard input is the input
  const char* outdir = nullptr;
  // What messages about the input's length name: FILE, or for standard
  // input the argument in FILE's place, just before OUTDIR's.
  std::string length_arg;
};

// Length of the pattern argument's prefix: 2 for "-#", 3 for "--#", else 0.
size_t PatternPrefix(const char* arg) {
  if (std::strncmp(arg, "-#", 2) == 0) return 2;
  if (std::strncmp(arg, "--#", 3) == 0) return 3;
  return 0;
}

void ReportBadSwitch(const char* arg) {
  Report(kBadSwitch, arg);
  Report(kUsageHint);
}

// Reads the switch, the pattern argument, FILE and OUTDIR. False after a
// reported failure.
bool ParseArguments(int argc, char** argv, bool from_stdin,
                    SplitArguments* args) {
  if (!ParseSplitSwitch(argv[0], &args->options)) {
    ReportBadSwitch(argv[0]);  // n1 is 0
    return false;
  }
  int pos = 1;
  if (pos < argc) {
    if (size_t skip = PatternPrefix(argv[pos])) {
      if (!args->options.line_mode) {
        Report(kSizeAndPattern);
        return false;
      }
      args->pattern.emplace(argv[pos] + skip);
      args->keep_match_line = skip == 2;
      ++pos;
    }
  }
  if (from_stdin) {
    args->length_arg = argv[pos - 1];
  } else {
    if (pos >= argc) {
      Report(kTooFewParameters);  // no FILE
      return false;
    }
    args->file = argv[pos++];
    args->length_arg = args->file;
  }
  if (pos < argc) args->outdir = argv[pos];
  return true;
}

// The input's length, which must be known and not 0. Empty after a
// reported failure.
std::optional<uint64_t> MeasureInput(int fd, const std::string& length_arg) {
  const int64_t length = platform::FileLength(fd);
  if (length < 0) {
    ReportFormat(kNameAndReason, length_arg.c_str(),
                 platform::LastErrorText().c_str());
    return std::nullopt;
  }
  if (length == 0) {
    Report(kStrangeFile, length_arg);
    return std::nullopt;
  }
  return static_cast<uint64_t>(length);
}

// Room for the pieces, and a directory that takes them. False after a
// reported failure.
bool CheckOutputDirectory(const char* outdir, uint64_t length,
                          std::string* prefix) {
  if (!ReportFreeSpace(CheckFreeSpace(length, outdir ? outdir : ""),
                       kSplitNoSpace)) {
    return false;
  }
  if (!outdir) return true;
  std::string probe;
  switch (ProbeOutputDir(outdir, prefix, &probe)) {
    case ProbeResult::kOk:
      return true;
    case ProbeResult::kNoDirectory:
      Report(kNoDirectory, outdir);
      return false;
    case ProbeResult::kRefused:
      Report(kCannotCreate, probe);
      return false;
  }
  return false;
}

// True when `name` is BASE._ followed by exactly `digits` digits; the
// number they give in `*number`.
bool IsPieceName(const std::string& name, const SplitContext& context,
                 uint64_t* number) {
  const std::string head = context.base + "._";
  if (name.size() != head.size() + static_cast<size_t>(context.piece_digits) ||
      name.compare(0, head.size(), head) != 0) {
    return false;
  }
  *number = 0;
  for (size_t i = head.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    *number = *number * 10 + static_cast<uint64_t>(name[i] - '0');
  }
  return true;
}

// False, after the same-name message, when the input is a file at one of
// the piece names the run would write (up to `last_number`): writing the
// earlier pieces would destroy it before the clash showed. Checked before
// any piece is made.
bool InputIsNoPiece(const SplitContext& context, uint64_t last_number) {
  platform::FileId input;
  if (!platform::FileIdOfFd(context.input_fd, &input)) return true;
  std::vector<platform::FoundFile> found;
  const std::string pattern = context.prefix + context.base + "._" +
                              std::string(context.piece_digits, '?');
  if (!platform::FindFiles(pattern, &found)) return true;
  for (const platform::FoundFile& file : found) {
    uint64_t number;
    platform::FileId id;
    if (IsPieceName(file.name, context, &number) && number <= last_number &&
        platform::FileIdOfPath(context.prefix + file.name, &id) &&
        id == input) {
      Report(kSameName);
      return false;
    }
  }
  return true;
}

// Opens FILE unless standard input is the input. False after a reported
// failure.
bool OpenInput(const SplitArguments& args, int stdin_fd,
               SplitResources* resources, SplitContext* context) {
  if (stdin_fd >= 0) {
    context->input_fd = stdin_fd;
    context->input_name = "stdin";
    return true;
  }
  // A FIFO opens at once, to be refused for want of a length.
  context->input_fd = platform::OpenForReadWithoutWaiting(args.file);
  if (context->input_fd < 0) {
    Report(kCannotOpen, args.file);
    return false;
  }
  resources->SetInput(context->input_fd, false);
  context->input_name = args.file;
  return true;
}

// The highest piece number a size split of `length` bytes makes (line
// mode: the highest allowed, the count being unknown). Empty after a
// reported failure.
std::optional<uint64_t> LastPieceNumber(const SplitArguments& args,
                                        const SplitContext& context,
                                        uint64_t length) {
  if (args.options.line_mode) return context.max_piece_number;
  const uint64_t last = length / (args.options.n1 * 1000);
  if (last > context.max_piece_number) {
    Report(kPiecesTooSmall);
    return std::nullopt;
  }
  return last;
}

// The times every piece gets: the input's, or now for standard input.
platform::FileTimes PieceTimes(const SplitArguments& args, bool from_stdin) {
  platform::FileTimes times;
  if (from_stdin) {
    const platform::FileTime now = platform::CurrentFileTime();
    times = {now, now, now};
  } else if (!platform::GetFileTimes(args.file, &times)) {
    times = {};
  }
  return times;
}

bool Split(int argc, char** argv) {
  SplitResources resources;
  const int stdin_fd = OpenRedirectedStdin();
  const bool from_stdin = stdin_fd >= 0;
  if (from_stdin) resources.SetInput(stdin_fd, true);
  if (argc <= 1 && !from_stdin) {
    Report(kTooFewParameters);
    return false;
  }
  SplitArguments args;
  if (!ParseArguments(argc, argv, from_stdin, &args)) return false;
  SplitContext context;
  context.piece_digits = args.options.piece_digits;
  context.max_piece_number = args.options.max_piece_number;
  context.keep_match_line = args.keep_match_line;
  if (!OpenInput(args, stdin_fd, &resources, &context)) return false;

  // Everything is checked before the first piece is made.
  const std::optional<uint64_t> length =
      MeasureInput(context.input_fd, args.length_arg);
  if (!length) return false;
  const std::optional<uint64_t> last = LastPieceNumber(args, context, *length);
  if (!last) return false;
  if (!CheckOutputDirectory(args.outdir, *length, &context.prefix)) {
    return false;
  }
  context.base = from_stdin ? std::string("_stdin_") : MakeBaseName(args.file);
  if (!InputIsNoPiece(context, *last)) return false;
  if (!resources.TakeWorkBuffer()) return false;

  ReportFormat(kAllocatedBuffer, static_cast<unsigned>(WorkBuffer.size));
  ReportFormat(kSplitting, from_stdin ? "stdin" : args.file.c_str(),
               FormatWithCommas(static_cast<int64_t>(*length)).c_str());
  context.piece_times = PieceTimes(args, from_stdin);
  if (args.options.line_mode) {
    return SplitByLines(context, args.options.n1,
                        args.pattern ? &*args.pattern : nullptr);
  }
  return SplitBySize(context, *length, args.options.n1 * 1000);
}

}  // namespace

bool RunSplit(int argc, char** argv) { return Split(argc, argv); }

}  // namespace vu32
