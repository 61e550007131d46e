#include "cli/streams.h"

#include "platform/platform.h"
#include "support/same_file.h"
#include "support/standard_input.h"

namespace vu32 {
namespace {

OpenResult Failed(OpenResult result, const std::string& name,
                  StreamPair* pair) {
  pair->failed_name = name;
  pair->failure = platform::LastErrorText();
  return result;
}

void UseStdout(StreamPair* pair) {
  pair->output = 1;
  pair->output_name = "stdout";
  pair->output_is_stdout = true;
}

// The input from standard input: a redirected one is taken over, a
// terminal ("-") read as it stands. Refused at once when it gives nothing
// to read (a directory), before any output is created.
OpenResult UseStdin(StreamPair* pair) {
  int fd = OpenRedirectedStdin();
  if (fd < 0) fd = platform::DuplicateStdin();
  pair->input = fd;
  pair->input_name = "stdin";
  if (fd < 0 || !platform::CanReadData(fd)) {
    return Failed(OpenResult::kCannotOpen, "stdin", pair);
  }
  return OpenResult::kOk;
}

OpenResult OpenInput(const std::string& name, StreamPair* pair) {
  pair->input = platform::OpenForRead(name);
  pair->input_name = name;
  if (pair->input < 0) return Failed(OpenResult::kCannotOpen, name, pair);
  return OpenResult::kOk;
}

// Creates (or empties) the named output unless it is the input itself.
OpenResult OpenOutput(const std::string& name, StreamPair* pair) {
  if (SameRegularFile(pair->input, name)) return OpenResult::kSameFile;
  pair->output = platform::OpenForWrite(name, platform::WriteMode::kReplace);
  pair->output_name = name;
  if (pair->output < 0) return Failed(OpenResult::kCannotCreate, name, pair);
  return OpenResult::kOk;
}

}  // namespace

OpenResult OpenStreams(const Command& command, StreamPair* pair) {
  const OpenResult result = OpenInputStream(command, pair);
  return result == OpenResult::kOk ? OpenOutputStream(command, pair) : result;
}

OpenResult OpenInputStream(const Command& command, StreamPair* pair) {
  *pair = StreamPair();
  return command.input.standard ? UseStdin(pair)
                                : OpenInput(command.input.name, pair);
}

OpenResult OpenOutputStream(const Command& command, StreamPair* pair) {
  if (!command.output.standard) return OpenOutput(command.output.name, pair);
  UseStdout(pair);
  platform::SetBinaryMode(1, true);
  // Appending standard output to the input file would never end.
  if (SameRegularFile(1, pair->input)) return OpenResult::kSameFile;
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
