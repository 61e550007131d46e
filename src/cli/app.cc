#include "cli/app.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "check/report.h"
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

// Feeds the whole input through `filter`, `head` (the start of the input,
// already read) first. False after a reported failure.
bool RunFilter(ByteFilter& filter, const StreamPair& pair,
               std::string_view head) {
  // A terminal sees each block as soon as it is converted.
  const bool immediate = pair.output_is_stdout && platform::IsTerminal(1);
  const ConvertResult result =
      Convert(filter, pair.input, pair.output, immediate, head);
  if (result.status == ConvertResult::kReadError) {
    Report(kReadFailed, pair.input_name);
  } else if (result.status == ConvertResult::kWriteError) {
    Report(kWriteFailed, pair.output_name);
  }
  return result.status == ConvertResult::kOk;
}

// Refuses an input the operation would damage (UTF-8 or UTF-16 where it
// interprets characters or line ends), judged by its start before any
// output exists. `*head` is what the look consumed, to be converted first.
// False after reporting.
bool InputIsSafe(const Command& command, const StreamPair& pair,
                 std::string* head) {
  head->clear();
  const check::GuardScope scope = GuardScopeOf(command);
  if (scope == check::GuardScope::kNothing) return true;
  bool whole = false, consumed = false;
  if (!check::ReadStart(pair.input, head, &whole, &consumed)) {
    Report(kReadFailed, pair.input_name);
    return false;
  }
  const check::GuardVerdict verdict = check::JudgeStart(
      reinterpret_cast<const uint8_t*>(head->data()), head->size(), whole);
  if (const Message* refusal = check::GuardRefusal(verdict, scope)) {
    Report(*refusal, pair.input_name);
    return false;
  }
  if (!consumed) head->clear();
  return true;
}

// One filter, or the plain copy, from the input to the output that the
// command names. False after a reported failure.
bool RunStreamOperation(const Command& command) {
  if (!OutputIsSafe(command)) return false;
  std::unique_ptr<ByteFilter> filter;
  if (command.mode != kRunCopy) filter = MakeFilter(command);
  StreamPair pair;
  OpenResult opened = OpenInputStream(command, &pair);
  std::string head;
  if (opened == OpenResult::kOk && !InputIsSafe(command, pair, &head)) {
    CloseStreams(&pair);
    return false;
  }
  if (opened == OpenResult::kOk) opened = OpenOutputStream(command, &pair);
  if (opened == OpenResult::kSameFile) {
    Report(kSameName);
    return false;
  }
  if (opened != OpenResult::kOk) {
    ReportOpenFailure(opened, pair);
    ReportMissingStreams();
    return false;
  }
  bool ok = filter ? RunFilter(*filter, pair, head) : PlainCopy(pair);
  const std::string output_name = pair.output_name;
  if (!CloseStreams(&pair) && ok) {
    Report(kWriteFailed, output_name);
    ok = false;
  }
  return ok;
}

// --check and --info over the command's files; their exit status.
int RunChecker(const Command& command) {
  std::vector<check::Input> inputs;
  int stdin_fd = -1;
  for (const std::string& name : command.files) {
    if (name != "-") {
      inputs.push_back({name, -1});
      continue;
    }
    if (stdin_fd < 0) {
      stdin_fd = OpenRedirectedStdin();
      if (stdin_fd < 0) stdin_fd = platform::DuplicateStdin();
    }
    inputs.push_back({"stdin", stdin_fd});
  }
  int status;
  if (command.mode == kRunCheck) {
    check::CheckRequest request;
    request.inputs = std::move(inputs);
    request.json = command.options.json;
    if (command.options.has_max_errors) {
      request.max_errors = command.options.max_errors;
    }
    status = check::RunCheck(request);
  } else {
    check::InfoRequest request;
    request.inputs = std::move(inputs);
    request.json = command.options.json;
    status = check::RunInfo(request);
  }
  if (stdin_fd >= 0) platform::CloseFd(stdin_fd);
  return status;
}

// The operation the command names, and its exit status.
int Dispatch(const Command& command) {
  switch (command.mode) {
    case kRunCheck:
    case kRunInfo:
      return RunChecker(command);
    case kRunSplit:
      return RunSplit(command.split) ? 0 : 1;
    case kRunMerge:
      return RunMerge(command.merge) ? 0 : 1;
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
        return RunInPlace(command, command.files, keep_time) ? 0 : 1;
      }
      return RunStreamOperation(command) ? 0 : 1;
    case kRunBadSwitch:
    case kRunNoSwitch:
    case kRunHelp:
      break;  // answered while parsing
  }
  return 1;
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
    case kRunCheck:
    case kRunInfo:
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
                     FormatMessage(kCheckUsage, name.c_str(), name.c_str()) +
                     std::string(MessageBytes(kLongOptionsHelp)) +
                     std::string(MessageBytes(kCheckOptionsHelp)));
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
    // For the checks 1 is a verdict; a usage error is trouble.
    return options.check || options.info ? 2 : 1;
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
    return Dispatch(command);
  } catch (const std::bad_alloc&) {
    Report(NoMemoryMessage(command.mode));
    return 1;
  }
}

}  // namespace vu32
