// The command line as one value: the operation, its settings, the long
// options and every name with its role, decided in one place before
// anything is opened. No operation looks at argv again.
#ifndef VU32_CLI_COMMAND_LINE_H_
#define VU32_CLI_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/switch.h"
#include "filters/newline.h"
#include "merge/merge_plan.h"
#include "split/split.h"

namespace vu32 {

// Where a filter reads or writes: a file, or the standard stream (no name,
// or "-").
struct StreamName {
  bool standard = true;
  std::string name;  // the file, when not standard
};

struct Command {
  RunMode mode = kRunCopy;
  NewlineKind newline = NewlineKind::kLf;  // kRunCrconv
  int tab_width = 0;                       // kRunTabs: 0 deletes tabs
  LongOptions options;
  // The switch as given ("-Cu"); empty for the plain copy.
  std::string switch_arg;

  // The filters and the plain copy: input and output, and whether the one
  // name given is the output because standard input is redirected (the
  // case a file holding data is refused in).
  StreamName input, output;
  bool one_name_is_output = false;
  // --in-place: the files, in order.
  std::vector<std::string> files;
  // -M and -S: their arguments with their roles.
  std::vector<MergeArgument> merge;
  SplitRequest split;
};

// What the shell and the system give a run besides its arguments.
struct Environment {
  bool stdin_redirected = false;  // neither a terminal nor the null device
};

// Reads `args` (the program name first, long options already taken out
// into `options`) into `*command`. False after the usage text or a reported
// refusal; `*status` is then the exit status.
bool ParseCommandLine(const std::vector<std::string>& args,
                      const LongOptions& options, const Environment& env,
                      Command* command, int* status);

// The checks on a parsed filter command that need the file system, made
// before anything is opened: an output that is the input read from
// standard input, and the one name that would empty a file holding data.
// False after reporting.
bool OutputIsSafe(const Command& command);

}  // namespace vu32

#endif  // VU32_CLI_COMMAND_LINE_H_
