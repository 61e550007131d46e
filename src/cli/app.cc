#include "cli/app.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/filter_run.h"
#include "cli/in_place.h"
#include "cli/options.h"
#include "cli/streams.h"
#include "cli/switch.h"
#include "filters/filter.h"
#include "merge/merge.h"
#include "platform/platform.h"
#include "split/split.h"
#include "support/ascii.h"
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
  // A terminal sees each block as soon as it is converted.
  const bool immediate = pair.output_is_stdout && platform::IsTerminal(1);
  const ConvertResult result =
      Convert(filter, pair.input, pair.output, immediate);
  if (result.status == ConvertResult::kReadError) {
    Report(kReadFailed, pair.input_name);
  } else if (result.status == ConvertResult::kWriteError) {
    Report(kWriteFailed, pair.output_name);
  }
  return result.status == ConvertResult::kOk;
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

// --help: the usage text and the long options, on standard output.
void PrintHelp() {
  const std::string name(kProgramName);
  WriteStandardOutput(FormatMessage(kUsageFormat, name.c_str(), name.c_str(),
                                    name.c_str(), name.c_str()) +
                      std::string(MessageBytes(kLongOptionsHelp)));
}

void PrintVersion() {
  const std::string version(kVersionNumber), copyright(kCopyright);
  WriteStandardOutput(
      FormatMessage(kVersionText, version.c_str(), copyright.c_str()));
}

// UTF-8 or Shift-JIS messages: VU32_MESSAGE_ENCODING (sjis, utf-8) when
// set, else what the platform says the user reads.
bool MessagesInUtf8() {
  if (const char* choice = std::getenv("VU32_MESSAGE_ENCODING")) {
    std::string lower;
    for (const char* p = choice; *p; ++p) lower.push_back(AsciiToLower(*p));
    if (lower == "utf-8" || lower == "utf8") return true;
    if (lower == "sjis" || lower == "shift_jis" || lower == "cp932") {
      return false;
    }
  }
  return platform::MessagesWantUtf8();
}

// --in-place (and --keep-time, which needs it): a filter switch and the
// files to convert. Returns the exit status.
int RunInPlaceCommand(const LongOptions& options, int argc, char** argv) {
  if (!options.in_place) {
    Report(kKeepTimeWithoutInPlace);
    return 1;
  }
  Command command;
  if (argc >= 2) {
    command.mode = ParseSwitch(argv[1], &command.newline, &command.tab_width);
    if (command.mode == kRunBadSwitch) Report(kUsageHint);
    if (command.mode == kRunBadSwitch || command.mode == kRunHelp) return 1;
  }
  if (!command.filter()) {
    Report(kInPlaceWithoutFilter);
    return 1;
  }
  if (argc < 3) {
    Report(kTooFewParameters);
    return 1;
  }
  const std::vector<std::string> names(argv + 2, argv + argc);
  const KeepTime keep_time = options.keep_time ? KeepTime::kYes : KeepTime::kNo;
  return RunInPlace(command, names, keep_time) ? 0 : 1;
}

// The operation that the arguments (long options taken out) ask for; its
// exit status. `*mode` says which operation runs, for the out-of-memory
// message.
int RunOperation(const LongOptions& options, int argc, char** argv,
                 RunMode* mode) {
  if (options.in_place || options.keep_time) {
    return RunInPlaceCommand(options, argc, argv);
  }
  Command command;
  if (!ClassifyCommand(argc, argv, &command)) return 1;
  if (!NamesAreUsable(command, argc, argv)) return 1;
  *mode = command.mode;
  // Drop the program name, keeping the switch as entry 0; for the plain
  // copy entry 0 stays the program name and the names follow.
  if (!command.plain_copy()) {
    --argc;
    ++argv;
  }
  return Dispatch(command, argc, argv) ? 0 : 1;
}

}  // namespace

int RunVu32(int argc, char** argv) {
  platform::OpenNullOnClosedStandardDescriptors();
  platform::IgnoreFileSizeLimitSignal();
  SetMessagesUtf8(MessagesInUtf8());

  std::vector<char*> args(argv, argv + argc);
  const LongOptions options = ExtractLongOptions(&args);
  switch (options.ending) {
    case LongOptions::Ending::kHelp:
      PrintHelp();
      return 0;
    case LongOptions::Ending::kVersion:
      PrintVersion();
      return 0;
    default:
      break;
  }
  SetQuiet(options.quiet);
  WriteBanner();
  if (options.ending == LongOptions::Ending::kUnknown) {
    Report(kBadSwitch, options.unknown);
    Report(kUsageHint);
    return 1;
  }
  RunMode mode = kRunNoSwitch;
  try {
    return RunOperation(options, static_cast<int>(args.size()), args.data(),
                        &mode);
  } catch (const std::bad_alloc&) {
    Report(NoMemoryMessage(mode));
    return 1;
  }
}

}  // namespace vu32
