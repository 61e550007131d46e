#include "cli/options.h"

#include <cstring>

#include "check/report.h"

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
    } else if (word == "force") {
      options.force = true;
    } else if (word == "check") {
      options.check = true;
    } else if (word == "info") {
      options.info = true;
    } else if (word == "json") {
      options.json = true;
    } else if (word == "max-errors" || word.rfind("max-errors=", 0) == 0) {
      std::string value;
      bool given = word.size() > 10;
      if (given) {
        value = word.substr(11);
      } else if (i + 1 < args->size()) {
        value = (*args)[++i];
        given = true;
      }
      options.has_max_errors = true;
      if ((!given || !check::ParseMaxErrors(value, &options.max_errors)) &&
          options.ending == LongOptions::Ending::kNone) {
        options.ending = LongOptions::Ending::kUnknown;
        options.unknown = given && word.size() == 10
                              ? std::string(arg) + " " + value
                              : std::string(arg);
      }
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
