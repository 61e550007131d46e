// The long options (--help, --quiet, --in-place, ...), which may stand
// anywhere before an argument "--" and are taken out before the switch and
// the names are read.
#ifndef VU32_CLI_OPTIONS_H_
#define VU32_CLI_OPTIONS_H_

#include <string>
#include <vector>

namespace vu32 {

struct LongOptions {
  // The first of --help, --version or an unknown --word ends the run at
  // once; later arguments do not change that.
  enum class Ending { kNone, kHelp, kVersion, kUnknown };
  Ending ending = Ending::kNone;
  std::string unknown;  // the unknown --word, for its message
  bool quiet = false;
  bool in_place = false;
  bool keep_time = false;
};

// Takes the long options and the first "--" out of `args` (args[0], the
// program name, stays), keeping the order of the rest. After "--" nothing
// is an option, and an argument that begins with "--#" is split's pattern,
// never an option.
LongOptions ExtractLongOptions(std::vector<char*>* args);

}  // namespace vu32

#endif  // VU32_CLI_OPTIONS_H_
