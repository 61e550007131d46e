// The first argument: which operation a run performs.
#ifndef VU32_CLI_SWITCH_H_
#define VU32_CLI_SWITCH_H_

#include "filters/newline.h"

namespace vu32 {

// What ParseSwitch makes of the first argument; main dispatches on it.
enum RunMode : int {
  kRunBadSwitch = -1,  // message written
  kRunNoSwitch = 0,    // a file name: plain copy
  kRunHelp = 1,        // usage written
  kRunUniq = 2,
  kRunUniqIgnoreCase = 3,
  kRunLower = 4,
  kRunUpper = 5,
  kRunJoin = 6,
  kRunTabs = 7,
  kRunKana = 8,
  kRunCrconv = 9,
  kRunSplit = 10,
  kRunMerge = 11,
  kRunDeleteControl = 12,
};

// What the first argument asked for.
struct Command {
  RunMode mode = kRunNoSwitch;
  NewlineKind newline = kNewlineNone;
  int tab_width = 0;
  // No switch: the names follow the program name directly.
  bool plain_copy() const {
    return mode == kRunCrconv && newline == kNewlineNone;
  }
  // One of the character filters (not the plain copy, merge or split).
  bool filter() const {
    return mode != kRunSplit && mode != kRunMerge && !plain_copy() &&
           mode != kRunBadSwitch && mode != kRunHelp && mode != kRunNoSwitch;
  }
};

// Classifies `arg`. Sets `*newline_kind` for -Cd/-Cu/-Cm and `*tab_width`
// for -Tn. Writes the usage text for -? and -H, and the bad-switch line for
// an invalid switch; nothing otherwise.
RunMode ParseSwitch(const char* arg, NewlineKind* newline_kind, int* tab_width);

// Writes the usage text to the message stream.
void PrintUsage();

}  // namespace vu32

#endif  // VU32_CLI_SWITCH_H_
