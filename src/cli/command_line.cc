#include "cli/command_line.h"

#include "platform/platform.h"
#include "support/messages.h"
#include "support/same_file.h"

namespace vu32 {
namespace {

void ReportMissingStreams() {
  Report(kNoStreams);
  Report(kUsageHint);
}

// An option that cannot be had here, in the words of an invalid switch.
// False, for the caller to return.
bool RefuseOption(const std::string& option) {
  Report(kBadSwitch, option);
  Report(kUsageHint);
  return false;
}

// The answer to a first argument that selects no operation. False: the run
// ends with status 1.
bool AnswerSwitch(RunMode mode, const std::string& arg) {
  if (mode != kRunHelp) return RefuseOption(arg);
  PrintUsage();
  return false;
}

StreamName NameOf(const std::string& arg) {
  if (arg == "-") return StreamName();
  return StreamName{false, arg};
}

// "-" twice is standard input and standard output, never one name.
bool SameName(const std::string& a, const std::string& b) {
  return !(a == "-" && b == "-") &&
         platform::SameNameSpelling(a.c_str(), b.c_str());
}

// The names of a filter or the plain copy. With one name, a redirected
// standard input is read and the name is the output; otherwise it is the
// input. False after reporting.
bool AssignStreams(const std::vector<std::string>& names,
                   const Environment& env, Command* command) {
  // A third name would be ignored: `vu32 -Cu *.txt` would lose files.
  if (names.size() > 2) {
    Report(kExtraArgument, names[2]);
    ReportMissingStreams();
    return false;
  }
  if (names.empty()) {
    if (!env.stdin_redirected) {
      ReportMissingStreams();
      return false;
    }
    return true;
  }
  if (names.size() == 1) {
    if (env.stdin_redirected) {
      command->output = NameOf(names[0]);
      command->one_name_is_output = true;
    } else {
      command->input = NameOf(names[0]);
    }
    return true;
  }
  if (SameName(names[0], names[1])) {
    ReportMissingStreams();
    return false;
  }
  command->input = NameOf(names[0]);
  command->output = NameOf(names[1]);
  return true;
}

// --in-place (and --keep-time, which needs it): a filter switch and the
// files to convert.
bool ParseInPlace(const std::vector<std::string>& args, Command* command) {
  if (!command->options.in_place) {
    Report(kKeepTimeWithoutInPlace);
    return false;
  }
  RunMode mode = kRunNoSwitch;
  if (args.size() >= 2) {
    mode = ParseSwitch(args[1].c_str(), &command->newline, &command->tab_width);
    if (mode == kRunBadSwitch || mode == kRunHelp) {
      return AnswerSwitch(mode, args[1]);
    }
  }
  if (!IsFilter(mode)) {
    Report(kInPlaceWithoutFilter);
    return false;
  }
  if (args.size() < 3) {
    Report(kTooFewParameters);
    return false;
  }
  command->mode = mode;
  command->switch_arg = args[1];
  command->files.assign(args.begin() + 2, args.end());
  return true;
}

// --check and --info: every argument is a file to read ("-" standard
// input); none reads a redirected standard input. Usage errors end the run
// with status 2, as the checker's troubles do.
bool ParseCheck(const std::vector<std::string>& args, const Environment& env,
                Command* command, int* status) {
  *status = 2;
  const LongOptions& options = command->options;
  if (options.check && options.info) return RefuseOption("--info");
  if (options.in_place || options.keep_time) {
    return RefuseOption(options.in_place ? "--in-place" : "--keep-time");
  }
  if (options.info && options.has_max_errors) {
    return RefuseOption("--max-errors");
  }
  command->mode = options.check ? kRunCheck : kRunInfo;
  command->files.assign(args.begin() + 1, args.end());
  if (command->files.empty()) {
    // A terminal or the null device has nothing to be checked.
    if (!env.stdin_redirected) {
      Report(kTooFewParameters);
      return false;
    }
    command->files.push_back("-");
  }
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args,
                      const LongOptions& options, const Environment& env,
                      Command* command, int* status) {
  *command = Command();
  command->options = options;
  *status = 1;
  if (options.check || options.info) {
    return ParseCheck(args, env, command, status);
  }
  if (options.json || options.has_max_errors) {
    return RefuseOption(options.json ? "--json" : "--max-errors");
  }
  if (options.in_place || options.keep_time) {
    return ParseInPlace(args, command);
  }
  if (args.size() < 2) {
    // Nothing to read from standard input either: the user wants help.
    if (!env.stdin_redirected) {
      PrintUsage();
      return false;
    }
    return true;  // the plain copy from standard input to standard output
  }
  RunMode mode =
      ParseSwitch(args[1].c_str(), &command->newline, &command->tab_width);
  if (mode == kRunBadSwitch || mode == kRunHelp) {
    return AnswerSwitch(mode, args[1]);
  }
  // The plain copy takes its names from the first argument on.
  const bool copy = mode == kRunNoSwitch;
  command->mode = copy ? kRunCopy : mode;
  if (!copy) command->switch_arg = args[1];
  const std::vector<std::string> operands(args.begin() + (copy ? 1 : 2),
                                          args.end());
  const bool streams = mode != kRunMerge && mode != kRunSplit;
  if (streams && operands.size() > 2)
    return AssignStreams(operands, env, command);
  // An output spelt like the input, whatever the operation.
  if (args.size() == 4 && SameName(args[2], args[3])) {
    Report(kSameName);
    return false;
  }
  if (mode == kRunMerge) {
    command->merge = ClassifyMergeArguments(operands);
    return true;
  }
  if (mode == kRunSplit) {
    if (!ParseSplitArguments(args[1], operands, env.stdin_redirected,
                             &command->split)) {
      return false;
    }
    command->split.force = options.force;
    return true;
  }
  return AssignStreams(operands, env, command);
}

bool OutputIsSafe(const Command& command) {
  if (command.output.standard) return true;
  // A standard input that gives nothing to read is refused when it is
  // opened, with its reason.
  if (command.input.standard && !platform::CanReadData(0)) return true;
  const std::string& name = command.output.name;
  // Writing would empty the file standard input reads.
  if (command.input.standard && SameRegularFile(0, name)) {
    Report(kSameName);
    return false;
  }
  // `while read f; do vu32 -Cu "$f" > "$f.out"; done < list` hands every
  // run a redirected standard input: its one name would be emptied.
  platform::FileStatus status;
  if (command.one_name_is_output && platform::StatFile(name, &status) &&
      status.kind == platform::PathKind::kRegular && status.size > 0) {
    Report(kOutputExists, name);
    const std::string spelling = command.switch_arg.empty()
                                     ? std::string("vu32")
                                     : "vu32 " + command.switch_arg;
    ReportFormat(kOutputExistsHint, spelling.c_str(), spelling.c_str());
    return false;
  }
  return true;
}

}  // namespace vu32
