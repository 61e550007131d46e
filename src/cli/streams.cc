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

// The input from standard input; refused at once when it gives nothing to
// read (a directory), before any output is created.
OpenResult UseStdin(int stdin_copy, StreamPair* pair) {
  pair->input = stdin_copy;
  pair->input_name = "stdin";
  if (!platform::CanReadData(stdin_copy)) {
    return Failed(OpenResult::kCannotOpen, "stdin", pair);
  }
  return OpenResult::kOk;
}

OpenResult OpenInput(const char* name, StreamPair* pair) {
  pair->input = platform::OpenForRead(name);
  pair->input_name = name;
  if (pair->input < 0) return Failed(OpenResult::kCannotOpen, name, pair);
  return OpenResult::kOk;
}

// Creates (or empties) the named output unless it is the input itself.
OpenResult OpenOutput(const char* name, StreamPair* pair) {
  if (SameRegularFile(pair->input, name)) return OpenResult::kSameFile;
  pair->output = platform::OpenForWrite(name, platform::WriteMode::kReplace);
  pair->output_name = name;
  if (pair->output < 0) return Failed(OpenResult::kCannotCreate, name, pair);
  return OpenResult::kOk;
}

OpenResult OpenNamedOrStandard(int argc, char** argv, int stdin_copy,
                               StreamPair* pair) {
  if (argc <= 1) {
    if (!pair->redirected) return OpenResult::kMissing;
    UseStdout(pair);
    return UseStdin(stdin_copy, pair);
  }
  if (argc == 2) {
    if (pair->redirected) {
      // The one name is the output.
      OpenResult result = UseStdin(stdin_copy, pair);
      return result == OpenResult::kOk ? OpenOutput(argv[1], pair) : result;
    }
    UseStdout(pair);
    return OpenInput(argv[1], pair);
  }
  if (platform::SameNameSpelling(argv[1], argv[2])) {
    if (pair->redirected) pair->input = stdin_copy;
    return OpenResult::kMissing;
  }
  // Two names: a redirected standard input is not read.
  if (pair->redirected) platform::CloseFd(stdin_copy);
  OpenResult result = OpenInput(argv[1], pair);
  return result == OpenResult::kOk ? OpenOutput(argv[2], pair) : result;
}

}  // namespace

OpenResult OpenStreams(int argc, char** argv, StreamPair* pair) {
  *pair = StreamPair();
  int stdin_copy = OpenRedirectedStdin();
  pair->redirected = stdin_copy >= 0;
  OpenResult result = OpenNamedOrStandard(argc, argv, stdin_copy, pair);
  if (result != OpenResult::kOk) return result;

  if (pair->output_is_stdout) {
    platform::SetBinaryMode(1, true);
    // Appending standard output to the input file would never end.
    if (SameRegularFile(1, pair->input)) return OpenResult::kSameFile;
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
