// Split (-S): cuts one file into numbered pieces.
#ifndef VU32_SPLIT_SPLIT_H_
#define VU32_SPLIT_SPLIT_H_

#include <optional>
#include <string>
#include <vector>

#include "split/command.h"

namespace vu32 {

// A split as the command line asks for it.
struct SplitRequest {
  std::string switch_arg;  // -Sn1[.n2][L] as given
  SplitSwitch options;     // what it says
  // The text after -# (or --#, which drops the matching line that opens a
  // piece).
  std::optional<std::string> pattern;
  bool keep_match_line = true;
  // FILE: a named file, or standard input (redirected, or "-").
  bool from_stdin = false;
  std::string file;
  std::optional<std::string> outdir;
  // What a message about the input's length names: FILE, or for a
  // redirected standard input the argument before OUTDIR's place.
  std::string length_arg;
  // --force: cut an input that looks like UTF-8 or UTF-16 too.
  bool force = false;
};

// Gives the split arguments after the switch their roles. With standard
// input redirected, two operands are FILE and OUTDIR; one is FILE when it
// is an existing file, else OUTDIR (standard input is then read). A
// pattern is only taken right after the switch. False after a reported
// failure (a switch whose n1 is 0, a pattern with a size split, a missing
// FILE, an extra argument).
bool ParseSplitArguments(const std::string& switch_arg,
                         const std::vector<std::string>& operands,
                         bool stdin_redirected, SplitRequest* request);

// Cuts the input into numbered pieces. False after a reported failure.
bool RunSplit(const SplitRequest& request);

}  // namespace vu32

#endif  // VU32_SPLIT_SPLIT_H_
