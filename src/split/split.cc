#include "split/split.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "check/guard.h"
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

// Length of the pattern argument's prefix: 2 for "-#", 3 for "--#", else 0.
size_t PatternPrefix(const std::string& arg) {
  if (arg.rfind("-#", 0) == 0) return 2;
  if (arg.rfind("--#", 0) == 0) return 3;
  return 0;
}

// An existing file that is no directory: what a lone operand names when
// standard input is redirected.
bool IsExistingFile(const std::string& name) {
  platform::FileStatus status;
  return platform::StatFile(name, &status) &&
         status.kind == platform::PathKind::kRegular;
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
bool CheckOutputDirectory(const std::optional<std::string>& outdir,
                          uint64_t length, std::string* prefix) {
  const std::string target = outdir.value_or("");
  if (!ReportFreeSpace(CheckFreeSpace(length, target), kSplitNoSpace, target)) {
    return false;
  }
  if (!outdir) return true;
  std::string probe;
  switch (ProbeOutputDir(*outdir, prefix, &probe)) {
    case ProbeResult::kOk:
      return true;
    case ProbeResult::kNoDirectory:
      Report(kNoDirectory, *outdir);
      return false;
    case ProbeResult::kNotWritable:
      ReportFormat(kDirectoryNotWritable, outdir->c_str(),
                   platform::LastErrorText().c_str());
      return false;
    case ProbeResult::kRefused:
      Report(kCannotCreate, probe);
      return false;
  }
  return false;
}

// True when `name` is BASE._ followed by exactly `digits` digits, BASE
// spelt as the file system compares names (on Win32 whatever the case:
// b._01 is a piece of B); the number they give in `*number`.
bool IsPieceName(const std::string& name, const SplitContext& context,
                 uint64_t* number) {
  const std::string head = context.base + "._";
  if (name.size() != head.size() + static_cast<size_t>(context.piece_digits) ||
      !platform::SameNameSpelling(name.substr(0, head.size()).c_str(),
                                  head.c_str())) {
    return false;
  }
  *number = 0;
  for (size_t i = head.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    *number = *number * 10 + static_cast<uint64_t>(name[i] - '0');
  }
  return true;
}

// The pieces of this base and digit width already in the output
// directory, by number.
std::vector<std::pair<uint64_t, std::string>> ExistingPieces(
    const SplitContext& context) {
  std::vector<platform::FoundFile> found;
  const std::string pattern = context.prefix + context.base + "._" +
                              std::string(context.piece_digits, '?');
  std::vector<std::pair<uint64_t, std::string>> pieces;
  if (!platform::FindFiles(pattern, &found)) return pieces;
  for (const platform::FoundFile& file : found) {
    uint64_t number;
    if (IsPieceName(file.name, context, &number)) {
      pieces.emplace_back(number, file.name);
    }
  }
  std::sort(pieces.begin(), pieces.end());
  return pieces;
}

// False, after the same-name message, when the input is a file at one of
// the piece names the run would write (up to `last_number`): writing the
// earlier pieces would destroy it before the clash showed. Checked before
// any piece is made.
bool InputIsNoPiece(const SplitContext& context, uint64_t last_number) {
  platform::FileId input;
  if (!platform::FileIdOfFd(context.input_fd, &input)) return true;
  for (const auto& [number, name] : ExistingPieces(context)) {
    platform::FileId id;
    if (number <= last_number &&
        platform::FileIdOfPath(context.prefix + name, &id) && id == input) {
      Report(kSameName);
      return false;
    }
  }
  return true;
}

// Pieces numbered after the last one this run wrote belong to an earlier
// split of the same base; merged with the new ones they would not rejoin
// to the input. Said, never deleted.
void WarnOfStalePieces(const SplitContext& context) {
  if (context.pieces_made == 0) return;
  const uint64_t last = context.pieces_made - 1;
  std::vector<std::string> stale;
  for (const auto& [number, name] : ExistingPieces(context)) {
    if (number > last) stale.push_back(context.prefix + name);
  }
  if (stale.empty()) return;
  Report(kStalePieces, stale.front() + " .. " + stale.back());
}

// Opens FILE, or takes over standard input. False after a reported
// failure.
bool OpenInput(const SplitRequest& request, SplitResources* resources,
               SplitContext* context) {
  if (request.from_stdin) {
    // A redirected standard input is taken over; "-" at a terminal is read
    // as it stands.
    int fd = OpenRedirectedStdin();
    if (fd < 0) fd = platform::DuplicateStdin();
    if (fd < 0) {
      ReportFormat(kNameAndReason, "stdin", platform::LastErrorText().c_str());
      return false;
    }
    platform::SetBinaryMode(fd, true);
    resources->SetInput(fd, true);
    context->input_fd = fd;
    context->input_name = "stdin";
    return true;
  }
  // A FIFO opens at once, to be refused for want of a length.
  context->input_fd = platform::OpenForReadWithoutWaiting(request.file);
  if (context->input_fd < 0) {
    Report(kCannotOpen, request.file);
    return false;
  }
  resources->SetInput(context->input_fd, false);
  context->input_name = request.file;
  return true;
}

// The highest piece number a size split of `length` bytes makes (line
// mode: the highest allowed, the count being unknown). Empty after a
// reported failure.
std::optional<uint64_t> LastPieceNumber(const SplitSwitch& options,
                                        const SplitContext& context,
                                        uint64_t length) {
  if (options.line_mode) return context.max_piece_number;
  const uint64_t last = length / (options.n1 * 1000);
  if (last > context.max_piece_number) {
    Report(kPiecesTooSmall);
    return std::nullopt;
  }
  return last;
}

// Refuses an input that is no Shift-JIS text the cut would damage: UTF-16
// always (a cut lands inside its characters and line ends), UTF-8 where
// the cut looks at two-byte characters (by size, by pattern). Judged by
// the start of the input, before anything is created. False after
// reporting.
bool InputIsSafe(const SplitRequest& request, const SplitSwitch& options,
                 const SplitContext& context) {
  if (request.force) return true;
  const check::GuardScope scope = options.line_mode && !request.pattern
                                      ? check::GuardScope::kUtf16
                                      : check::GuardScope::kUtf8AndUtf16;
  std::string start;
  bool whole = false, consumed = false;
  if (!check::ReadStart(context.input_fd, &start, &whole, &consumed)) {
    Report(kReadFailed, context.input_name);
    return false;
  }
  const check::GuardVerdict verdict = check::JudgeStart(
      reinterpret_cast<const uint8_t*>(start.data()), start.size(), whole);
  if (const Message* refusal = check::GuardRefusal(verdict, scope)) {
    Report(*refusal, context.input_name);
    return false;
  }
  return true;
}

// The times every piece gets: the input's, or now for standard input.
platform::FileTimes PieceTimes(const SplitRequest& request) {
  platform::FileTimes times;
  if (request.from_stdin) {
    const platform::FileTime now = platform::CurrentFileTime();
    times = {now, now, now};
  } else if (!platform::GetFileTimes(request.file, &times)) {
    times = {};
  }
  return times;
}

}  // namespace

bool ParseSplitArguments(const std::string& switch_arg,
                         const std::vector<std::string>& operands,
                         bool stdin_redirected, SplitRequest* request) {
  *request = SplitRequest();
  request->switch_arg = switch_arg;
  if (operands.empty() && !stdin_redirected) {
    Report(kTooFewParameters);
    return false;
  }
  SplitSwitch& options = request->options;
  if (!ParseSplitSwitch(switch_arg.c_str(), &options)) {
    Report(kBadSwitch, switch_arg);  // n1 is 0
    Report(kUsageHint);
    return false;
  }
  size_t pos = 0;
  if (pos < operands.size()) {
    if (size_t skip = PatternPrefix(operands[pos])) {
      if (!options.line_mode) {
        Report(kSizeAndPattern);
        return false;
      }
      request->pattern.emplace(operands[pos].substr(skip));
      request->keep_match_line = skip == 2;
      ++pos;
    }
  }
  const std::vector<std::string> names(operands.begin() + pos, operands.end());
  if (names.size() > 2) {
    Report(kExtraArgument, names[2]);
    if (PatternPrefix(names[2])) Report(kPatternAfterSwitch);
    return false;
  }
  // With standard input redirected, a lone operand is FILE only when it is
  // an existing file; otherwise it is OUTDIR and standard input is read.
  const bool file_given =
      names.size() == 2 ||
      (names.size() == 1 && (!stdin_redirected || IsExistingFile(names[0])));
  if (!file_given && !stdin_redirected) {
    Report(kTooFewParameters);  // no FILE
    return false;
  }
  if (file_given) {
    request->from_stdin = names[0] == "-";
    if (!request->from_stdin) request->file = names[0];
    request->length_arg = names[0];
  } else {
    request->from_stdin = true;
    request->length_arg = pos > 0 ? operands[pos - 1] : switch_arg;
  }
  const size_t outdir_at = file_given ? 1 : 0;
  if (outdir_at < names.size()) {
    // A pattern here would be taken for a directory's name.
    if (PatternPrefix(names[outdir_at])) {
      Report(kPatternAfterSwitch);
      return false;
    }
    request->outdir = names[outdir_at];
  }
  return true;
}

bool RunSplit(const SplitRequest& request) {
  const SplitSwitch& options = request.options;
  SplitResources resources;
  SplitContext context;
  context.piece_digits = options.piece_digits;
  context.max_piece_number = options.max_piece_number;
  context.keep_match_line = request.keep_match_line;
  // Taken before the input is opened, let alone read: under Wine the open
  // already counts as an access.
  context.piece_times = PieceTimes(request);
  if (!OpenInput(request, &resources, &context)) return false;

  // Everything is checked before the first piece is made.
  const std::optional<uint64_t> length =
      MeasureInput(context.input_fd, request.length_arg);
  if (!length) return false;
  const std::optional<uint64_t> last =
      LastPieceNumber(options, context, *length);
  if (!last || !InputIsSafe(request, options, context)) return false;
  if (!CheckOutputDirectory(request.outdir, *length, &context.prefix)) {
    return false;
  }
  context.base =
      request.from_stdin ? std::string("_stdin_") : MakeBaseName(request.file);
  if (!InputIsNoPiece(context, *last)) return false;
  if (!resources.TakeWorkBuffer()) return false;

  ReportFormat(kAllocatedBuffer, static_cast<unsigned>(WorkBuffer.size));
  ReportFormat(kSplitting, context.input_name.c_str(),
               FormatWithCommas(static_cast<int64_t>(*length)).c_str());
  const bool ok =
      options.line_mode
          ? SplitByLines(context, options.n1,
                         request.pattern ? &*request.pattern : nullptr)
          : SplitBySize(context, *length, options.n1 * 1000);
  if (ok) WarnOfStalePieces(context);
  return ok;
}

}  // namespace vu32
