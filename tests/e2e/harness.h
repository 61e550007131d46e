// Runs the real vu32 binary with chosen standard streams and captures what
// it writes. The command is the built binary, or the words of the
// environment variable VU32_E2E_COMMAND when set (e.g. an emulator and the
// Windows executable).
#ifndef VU32_TESTS_E2E_HARNESS_H_
#define VU32_TESTS_E2E_HARNESS_H_

#include <string>
#include <vector>

#include "test_util.h"

namespace vu32::testing {

enum class StdinKind {
  kPipe,      // `stdin_data` written into a pipe
  kFile,      // `stdin_data` in a temporary regular file
  kDevNull,   // /dev/null
  kTerminal,  // a pseudo-terminal (nothing typed)
  kClosed,    // descriptor 0 closed
};

enum class StdoutKind {
  kPipe,      // captured through a pipe
  kFile,      // captured through a temporary regular file
  kDevFull,   // /dev/full: every write fails
  kTerminal,  // a pseudo-terminal in raw mode, captured
  kClosed,    // descriptor 1 closed (`>&-`)
};

struct RunOptions {
  StdinKind stdin_kind = StdinKind::kPipe;
  std::string stdin_data;
  std::string stdin_path;  // kFile: open this path instead (e.g. a directory)
  long stdin_offset = 0;   // kFile: where the descriptor stands (POSIX only)
  StdoutKind stdout_kind = StdoutKind::kPipe;
  std::string cwd;               // empty: the test's own
  bool stderr_terminal = false;  // standard error on a pseudo-terminal
  std::vector<std::string> env;  // extra NAME=VALUE entries
  long file_size_limit = -1;     // bytes, as `ulimit -f` sets it (POSIX)
  bool stderr_closed = false;    // descriptor 2 closed (`2>&-`)
  // POSIX, when the tests run as root: the run's user and group (e.g. to
  // meet a file it does not own); -1 keeps the test's own.
  long user = -1;
  long group = -1;
  // Win32: the arguments are UTF-8 already, for names that Shift-JIS cannot
  // hold, as a Windows shell hands any name to the system.
  bool utf8_arguments = false;
};

struct RunResult {
  int status = -1;  // exit status; 128 + signal number when killed
  std::string out;  // standard output
  std::string err;  // standard error, banner line included
};

RunResult RunVu32(const std::vector<std::string>& args,
                  const RunOptions& options = {});

// The native vu32 that this test program was built with.
const char* BuiltBinary();

// True when the command is the Win32 build run under Wine
// (VU32_E2E_TARGET=win32). RunVu32 then hands the program absolute paths in
// Wine's "Z:\..." form and Shift-JIS arguments as the UTF-8 that Wine
// decodes, and gives back standard error with LF line ends and those paths
// in their Unix form again; standard output is never touched.
bool TargetIsWin32();

// The banner line as the binary writes it (Shift-JIS).
std::string BannerLine();
// `err` without its leading banner line; the whole text when it has none.
std::string WithoutBanner(const std::string& err);

}  // namespace vu32::testing

#endif  // VU32_TESTS_E2E_HARNESS_H_
