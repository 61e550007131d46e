#include "cli/app.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
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
// command names. False after a reported failure.
bool RunStreamOperation(const Command& command) {
  if (!OutputIsSafe(command)) return false;
  std::unique_ptr<ByteFilter> filter;
  if (command.mode != kRunCopy) filter = MakeFilter(command);
  StreamPair pair;
  OpenResult opened = OpenStreams(command, &pair);
  if (opened == OpenResult::kSameFile) {
    Report(kSameName);
    return false;
  }
  if (opened != OpenResult::kOk) {
    ReportOpenFailure(opened, pair);
    ReportMissingStreams();
    return false;
  }
  bool ok = filter ? RunFilter(*filter, pair) : PlainCopy(pair);
  const std::string output_name = pair.output_name;
  if (!CloseStreams(&pair) && ok) {
    Report(kWriteFailed, output_name);
    ok = false;
  }
  return ok;
}

// The operation the command names. False after a reported failure.
bool Dispatch(const Command& command) {
  switch (command.mode) {
    case kRunSplit:
      return RunSplit(command.split);
    case kRunMerge:
      return RunMerge(command.merge);
    case kRunCopy:
    case kRunUniq:
    case kRunUniqIgnoreCase:
    case kRunLower:
    case kRunUpper:
    case kRunJoin:
    case kRunTabs:
    case kRunKana:
    case kRunCrconv:
    case kRunDeleteControl:
      if (command.options.in_place) {
        const KeepTime keep_time =
            command.options.keep_time ? KeepTime::kYes : KeepTime::kNo;
        return RunInPlace(command, command.files, keep_time);
      }
      return RunStreamOperation(command);
    case kRunBadSwitch:
    case kRunNoSwitch:
    case kRunHelp:
      break;  // answered while parsing
  }
  return false;
}

// Out of memory, said in the words of the operation that ran out.
const Message& NoMemoryMessage(RunMode mode) {
  switch (mode) {
    case kRunUniq:
    case kRunUniqIgnoreCase:
      return kUniqNoMemory;
    case kRunMerge:
      return kListFailed;  // nearly all a merge holds is its list
    case kRunBadSwitch:
    case kRunNoSwitch:
    case kRunHelp:
    case kRunLower:
    case kRunUpper:
    case kRunJoin:
    case kRunTabs:
    case kRunKana:
    case kRunCrconv:
    case kRunSplit:
    case kRunDeleteControl:
    case kRunCopy:
      break;
  }
  return kNoMemory;
}

// --help and --version write to standard output; a failed write or close
// there is a failure like any other (`vu32 --help > /dev/full`).
int WriteAnswer(const std::string& text) {
  const bool written = WriteStandardOutput(text);
  const bool closed = platform::CloseFd(1);
  if (written && closed) return 0;
  Report(kWriteFailed, "stdout");
  return 1;
}

// --help: the usage text and the long options, on standard output.
int PrintHelp() {
  const std::string name(kProgramName);
  return WriteAnswer(FormatMessage(kUsageFormat, name.c_str(), name.c_str(),
                                   name.c_str(), name.c_str()) +
                     std::string(MessageBytes(kLongOptionsHelp)));
}

int PrintVersion() {
  const std::string version(kVersionNumber), copyright(kCopyright);
  return WriteAnswer(
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

// Win32 hands the program "?" or a look-alike for a character outside the
// code page: such an argument could name, or as a wildcard match, files
// nobody named. Each is refused, as given, before anything is opened.
// False after reporting.
bool ArgumentsRepresentable(int argc, char** argv,
                            const std::vector<char*>& args) {
  bool ok = true;
  for (size_t i : platform::ArgumentsNotRepresentable(argc, argv)) {
    if (std::find(args.begin(), args.end(), argv[i]) == args.end()) continue;
    Report(kNotRepresentable, argv[i]);
    ok = false;
  }
  return ok;
}

}  // namespace

int RunVu32(int argc, char** argv) {
  platform::OpenNullOnClosedStandardDescriptors();
  platform::IgnoreFileSizeLimitSignal();
  SetMessagesUtf8(MessagesInUtf8());

  std::vector<char*> raw(argv, argv + argc);
  const LongOptions options = ExtractLongOptions(&raw);
  switch (options.ending) {
    case LongOptions::Ending::kHelp:
      return PrintHelp();
    case LongOptions::Ending::kVersion:
      return PrintVersion();
    case LongOptions::Ending::kNone:
    case LongOptions::Ending::kUnknown:
      break;
  }
  SetQuiet(options.quiet);
  WriteBanner();
  if (options.ending == LongOptions::Ending::kUnknown) {
    Report(kBadSwitch, options.unknown);
    Report(kUsageHint);
    return 1;
  }
  if (!ArgumentsRepresentable(argc, argv, raw)) return 1;
  const std::vector<std::string> args(raw.begin(), raw.end());
  Environment env;
  env.stdin_redirected = StandardInputRedirected();
  Command command;
  try {
    int status = 1;
    if (!ParseCommandLine(args, options, env, &command, &status)) {
      return status;
    }
    return Dispatch(command) ? 0 : 1;
  } catch (const std::bad_alloc&) {
    Report(NoMemoryMessage(command.mode));
    return 1;
  }
}

}  // namespace vu32
