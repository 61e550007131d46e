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
  // Not codes of the first argument: the modes a run takes on.
  kRunCopy = 13,   // no switch: the input copied byte for byte
  kRunCheck = 14,  // --check
  kRunInfo = 15,   // --info
};

// Whether `mode` is one of the character filters (the conversions that
// --in-place accepts); exhaustive, so a new mode must say which it is.
bool IsFilter(RunMode mode);

// Classifies `arg`. Sets `*newline` for -Cd/-Cu/-Cm and `*tab_width` for
// -Tn. Reports nothing: kRunHelp and kRunBadSwitch are for the caller to
// answer.
RunMode ParseSwitch(const char* arg, NewlineKind* newline, int* tab_width);

// Writes the usage text to the message stream.
void PrintUsage();

}  // namespace vu32

#endif  // VU32_CLI_SWITCH_H_
