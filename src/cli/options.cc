#include "cli/options.h"

#include <cstring>

namespace vu32 {

LongOptions ExtractLongOptions(std::vector<char*>* args) {
  LongOptions options;
  std::vector<char*> kept;
  bool options_ended = false;
  for (size_t i = 0; i < args->size(); ++i) {
    char* arg = (*args)[i];
    if (i == 0 || options_ended || std::strncmp(arg, "--", 2) != 0 ||
        arg[2] == '#') {
      kept.push_back(arg);
      continue;
    }
    const std::string word = arg + 2;
    if (word.empty()) {
      options_ended = true;
    } else if (word == "quiet") {
      options.quiet = true;
    } else if (word == "in-place") {
      options.in_place = true;
    } else if (word == "keep-time") {
      options.keep_time = true;
    } else if (options.ending == LongOptions::Ending::kNone) {
      if (word == "help") {
        options.ending = LongOptions::Ending::kHelp;
      } else if (word == "version") {
        options.ending = LongOptions::Ending::kVersion;
      } else {
        options.ending = LongOptions::Ending::kUnknown;
        options.unknown = arg;
      }
    }
  }
  args->swap(kept);
  return options;
}

}  // namespace vu32
