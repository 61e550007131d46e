// --in-place: every named file converted where it stands, through a
// replacement that takes its place only when the whole result is safe on
// disk.
#ifndef VU32_CLI_IN_PLACE_H_
#define VU32_CLI_IN_PLACE_H_

#include <string>
#include <vector>

#include "cli/command_line.h"

namespace vu32 {

enum class KeepTime { kNo, kYes };

// Converts each of `names` with the filter `command` names, writing one line
// per file (converted, unchanged, or why it failed). A failure does not stop
// the others. False when any file failed.
bool RunInPlace(const Command& command, const std::vector<std::string>& names,
                KeepTime keep_time);

}  // namespace vu32

#endif  // VU32_CLI_IN_PLACE_H_
