// The long options (--help, --quiet, --in-place, ...), which may stand
// anywhere before an argument "--" and are taken out before the switch and
// the names are read.
#ifndef VU32_CLI_OPTIONS_H_
#define VU32_CLI_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace vu32 {

struct LongOptions {
  // The first of --help, --version or an unknown --word ends the run at
  // once; later arguments do not change that.
  // kUnknown also stands for an option given a value it cannot take.
  enum class Ending { kNone, kHelp, kVersion, kUnknown };
  Ending ending = Ending::kNone;
  std::string unknown;  // the unknown --word, for its message
  bool quiet = false;
  bool in_place = false;
  bool keep_time = false;
  bool force = false;  // run the guarded operations on any input
  bool check = false;  // --check: an operation of its own
  bool info = false;   // --info: likewise
  bool json = false;   // --check and --info: one JSON document
  // --max-errors N (or =N): fault lines listed per file.
  bool has_max_errors = false;
  uint64_t max_errors = 0;
};

// Takes the long options and the first "--" out of `args` (args[0], the
// program name, stays), keeping the order of the rest. After "--" nothing
// is an option, and an argument that begins with "--#" is split's pattern,
// never an option. --max-errors takes the next argument as its value
// unless it is joined with "=".
LongOptions ExtractLongOptions(std::vector<char*>* args);

}  // namespace vu32

#endif  // VU32_CLI_OPTIONS_H_
