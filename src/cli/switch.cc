#include "cli/switch.h"

#include <string>

#include "filters/newline.h"
#include "platform/platform.h"
#include "support/ascii.h"
#include "support/messages.h"

namespace vu32 {
namespace {

unsigned char FoldToLower(unsigned char c) {
  return static_cast<unsigned char>(AsciiToLower(static_cast<char>(c)));
}

}  // namespace

void PrintUsage() {
  std::string name(kProgramName);
  ReportFormat(kUsageFormat, name.c_str(), name.c_str(), name.c_str(),
               name.c_str());
}

bool IsFilter(RunMode mode) {
  switch (mode) {
    case kRunUniq:
    case kRunUniqIgnoreCase:
    case kRunLower:
    case kRunUpper:
    case kRunJoin:
    case kRunTabs:
    case kRunKana:
    case kRunCrconv:
    case kRunDeleteControl:
      return true;
    case kRunBadSwitch:
    case kRunNoSwitch:
    case kRunHelp:
    case kRunSplit:
    case kRunMerge:
    case kRunCopy:
    case kRunCheck:
    case kRunInfo:
      return false;
  }
  return false;
}

RunMode ParseSwitch(const char* arg, NewlineKind* newline, int* tab_width) {
  const auto* s = reinterpret_cast<const unsigned char*>(arg);
  if (!platform::IsSwitchIntroducer(s[0])) return kRunNoSwitch;
  const unsigned char next = s[1] ? s[2] : 0;
  switch (FoldToLower(s[1])) {
    case '?':
    case 'h':
      return kRunHelp;
    case 'c':
      switch (FoldToLower(next)) {
        case 'd':
          *newline = NewlineKind::kCrLf;
          return kRunCrconv;
        case 'u':
          *newline = NewlineKind::kLf;
          return kRunCrconv;
        case 'm':
          *newline = NewlineKind::kCr;
          return kRunCrconv;
        default:
          return kRunBadSwitch;
      }
    case 'd':
      return kRunDeleteControl;
    case 'j':
      return kRunJoin;
    case 'k':
      return kRunKana;
    case 'l':
      return kRunLower;
    case 'm':
      return kRunMerge;
    case 'p':
      return kRunUpper;
    case 's':
      return (next >= '0' && next <= '9') ? kRunSplit : kRunBadSwitch;
    case 't': {
      if (next < '0' || next > '8') return kRunBadSwitch;
      // The leading digits form the width; stop counting once past 8.
      int width = 0;
      for (const unsigned char* p = s + 2; *p >= '0' && *p <= '9'; ++p) {
        width = width * 10 + (*p - '0');
        if (width > 8) return kRunBadSwitch;
      }
      *tab_width = width;
      return kRunTabs;
    }
    case 'u':
      return next == '+' ? kRunUniqIgnoreCase : kRunUniq;
    default:
      return kRunBadSwitch;
  }
}

}  // namespace vu32
