#include "cli/app.h"

#include <memory>
#include <new>
#include <string>

#include "cli/streams.h"
#include "cli/switch.h"
#include "filters/filter.h"
#include "filters/kana.h"
#include "filters/newline.h"
#include "filters/text.h"
#include "filters/uniq.h"
#include "merge/merge.h"
#include "platform/platform.h"
#include "split/split.h"
#include "support/byte_stream.h"
#include "support/copy.h"
#include "support/messages.h"
#include "support/standard_input.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

void WriteBanner() {
  std::string version(MessageBytes(kVersion));
  std::string copyright(kCopyright);
  ReportFormat(kBannerFormat, version.c_str(), copyright.c_str());
}

void ReportMissingStreams() {
  Report(kNoStreams);
  Report(kUsageHint);
}

// Says which file could not be opened and why; the caller adds the
// missing-streams lines.
void ReportOpenFailure(OpenResult result, const StreamPair& pair) {
  if (result == OpenResult::kCannotOpen) {
    Report(kCannotOpen, pair.failed_name + ": " + pair.failure);
  } else if (result == OpenResult::kCannotCreate) {
    Report(kCannotCreate, ": " + pair.failed_name + ": " + pair.failure);
  }
}

// What the first argument asked for.
struct Command {
  RunMode mode = kRunNoSwitch;
  NewlineKind newline = kNewlineNone;
  int tab_width = 0;
  // No switch: the names follow the program name directly.
  bool plain_copy() const {
    return mode == kRunCrconv && newline == kNewlineNone;
  }
};

std::unique_ptr<ByteFilter> MakeFilter(const Command& command) {
  switch (command.mode) {
    case kRunUniq:
      return MakeUniq(false);
    case kRunUniqIgnoreCase:
      return MakeUniq(true);
    case kRunLower:
      return std::make_unique<ChangeCase>(true);
    case kRunUpper:
      return std::make_unique<ChangeCase>(false);
    case kRunJoin:
      return std::make_unique<Join>();
    case kRunTabs:
      if (command.tab_width == 0) return std::make_unique<DeleteTabs>();
      return std::make_unique<Tab2space>(command.tab_width);
    case kRunKana:
      return MakeKana();
    case kRunCrconv:
      return std::make_unique<Crconv>(command.newline);
    case kRunDeleteControl:
      return std::make_unique<Deletecontrolchar>();
    default:
      return nullptr;
  }
}

// Copies the input unchanged. False after a failure that has been
// reported (no buffer, a read or a write error).
bool PlainCopy(const StreamPair& pair) {
  HeldWorkBuffer buffer;
  if (!buffer.ok()) return false;
  uint64_t count = 0;
  CopyStatus status = CopyToEnd(pair.input, pair.output, &count);
  if (status == CopyStatus::kReadError) Report(kReadFailed, pair.input_name);
  if (status == CopyStatus::kWriteError) Report(kWriteFailed, pair.output_name);
  return status == CopyStatus::kOk;
}

// Feeds the whole input through `filter`. False after a reported failure.
bool RunFilter(ByteFilter& filter, const StreamPair& pair) {
  ByteReader reader(pair.input, pair.input_name);
  ByteWriter writer(pair.output, pair.output_name);
  // A terminal sees each block as soon as it is converted.
  const bool immediate = pair.output_is_stdout && platform::IsTerminal(1);
  const uint8_t* block;
  while (size_t n = reader.NextBlock(&block)) {
    filter.Feed(block, n, writer);
    if (filter.failed() || writer.failed()) break;
    if (immediate) writer.Flush();
  }
  if (filter.failed()) return false;
  filter.Finish(writer);
  if (filter.failed()) return false;
  const bool read_failed = reader.failed();
  const bool write_failed = !writer.Flush();
  if (read_failed) Report(kReadFailed, pair.input_name);
  if (write_failed) Report(kWriteFailed, pair.output_name);
  return !read_failed && !write_failed;
}

// One filter, or the plain copy, from the input to the output that the
// names and standard input give. False after a reported failure.
bool RunStreamOperation(const Command& command, int argc, char** argv) {
  std::unique_ptr<ByteFilter> filter;
  if (!command.plain_copy()) {
    filter = MakeFilter(command);
    // Only filter modes reach here; the check keeps a stray mode from
    // opening (and emptying) an output file.
    if (!filter) {
      Report(kBadSwitch, argv[0]);
      return false;
    }
  }
  StreamPair pair;
  OpenResult opened = OpenStreams(argc, argv, &pair);
  if (opened == OpenResult::kSameFile) {
    Report(kSameName);
    return false;
  }
  if (opened != OpenResult::kOk) {
    ReportOpenFailure(opened, pair);
    ReportMissingStreams();
    return false;
  }
  bool ok = command.plain_copy() ? PlainCopy(pair) : RunFilter(*filter, pair);
  const std::string output_name = pair.output_name;
  if (!CloseStreams(&pair) && ok) {
    Report(kWriteFailed, output_name);
    ok = false;
  }
  return ok;
}

// Reads the first argument. False after the usage text or the bad-switch
// lines, which end the run with status 1.
bool ClassifyCommand(int argc, char** argv, Command* command) {
  if (argc < 2) {
    // Nothing to read from standard input either: the user wants help.
    if (!StandardInputRedirected()) {
      PrintUsage();
      return false;
    }
    command->mode = kRunNoSwitch;
  } else {
    command->mode =
        ParseSwitch(argv[1], &command->newline, &command->tab_width);
  }
  if (command->mode == kRunBadSwitch) Report(kUsageHint);
  if (command->mode == kRunBadSwitch || command->mode == kRunHelp) {
    return false;
  }
  if (command->mode == kRunNoSwitch) {
    command->mode = kRunCrconv;
    command->newline = kNewlineNone;
  }
  return true;
}

// Refuses names that the operation could only get wrong: a third name for
// a filter (silently ignored, `vu32 -Cu *.txt` would lose files) and an
// output spelt like the input. False after reporting.
bool NamesAreUsable(const Command& command, int argc, char** argv) {
  const bool stream_operation =
      command.mode != kRunSplit && command.mode != kRunMerge;
  const int first_name = command.plain_copy() ? 1 : 2;
  if (stream_operation && argc - first_name > 2) {
    Report(kExtraArgument, argv[first_name + 2]);
    ReportMissingStreams();
    return false;
  }
  if (argc == 4 && platform::SameNameSpelling(argv[2], argv[3])) {
    Report(kSameName);
    return false;
  }
  return true;
}

bool Dispatch(const Command& command, int argc, char** argv) {
  if (command.mode == kRunSplit) return RunSplit(argc, argv);
  if (command.mode == kRunMerge) return RunMerge(argc, argv);
  return RunStreamOperation(command, argc, argv);
}

// Out of memory, said in the words of the operation that ran out.
const Message& NoMemoryMessage(RunMode mode) {
  switch (mode) {
    case kRunUniq:
    case kRunUniqIgnoreCase:
      return kUniqNoMemory;
    case kRunMerge:
      return kListFailed;  // nearly all a merge holds is its list
    default:
      return kNoMemory;
  }
}

}  // namespace

int RunVu32(int argc, char** argv) {
  platform::OpenNullOnClosedStandardDescriptors();
  platform::IgnoreFileSizeLimitSignal();
  SetMessagesUtf8(platform::MessagesWantUtf8());
  WriteBanner();

  Command command;
  if (!ClassifyCommand(argc, argv, &command)) return 1;
  if (!NamesAreUsable(command, argc, argv)) return 1;
  // Drop the program name, keeping the switch as entry 0; for the plain
  // copy entry 0 stays the program name and the names follow.
  if (!command.plain_copy()) {
    --argc;
    ++argv;
  }
  try {
    return Dispatch(command, argc, argv) ? 0 : 1;
  } catch (const std::bad_alloc&) {
    Report(NoMemoryMessage(command.mode));
    return 1;
  }
}

}  // namespace vu32
