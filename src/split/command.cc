#include "split/command.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "support/path.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

constexpr uint64_t kMaxN1 = 1000000000000000;  // 10^15
constexpr char kProbeName[] = "_KZ_$$$$.TMP";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal value of the digits at `p`, held at `cap`.
uint64_t ReadNumber(const char* p, uint64_t cap) {
  uint64_t value = 0;
  for (; IsDigit(*p); ++p) {
    value = std::min(cap, value * 10 + static_cast<uint64_t>(*p - '0'));
  }
  return value;
}

}  // namespace

bool ParseSplitSwitch(const char* arg, SplitSwitch* parsed) {
  *parsed = SplitSwitch();
  const char* text = arg;
  for (int i = 0; i < 2 && *text; ++i) ++text;
  parsed->n1 = ReadNumber(text, kMaxN1);
  if (parsed->n1 == 0) return false;

  if (const char* dot = SjisFindChar(text, '.'); dot && IsDigit(dot[1])) {
    uint64_t n2 = ReadNumber(dot + 1, 1000);
    parsed->piece_digits = static_cast<int>(std::clamp<uint64_t>(n2, 2, 5));
    static constexpr uint32_t kMax[] = {99, 999, 9999, 99999};
    parsed->max_piece_number = kMax[parsed->piece_digits - 2];
  }
  char last = arg[0] ? arg[std::strlen(arg) - 1] : '\0';
  parsed->line_mode = last == 'L' || last == 'l';
  return true;
}

std::string MakeBaseName(const std::string& path) {
  const char* separator = LastPathSeparator(path.c_str());
  std::string base = separator ? std::string(separator + 1) : path;
  if (const char* dot = SjisFindLastChar(base.c_str(), '.')) {
    base.resize(static_cast<size_t>(dot - base.c_str()));
  }
  return base;
}

ProbeResult ProbeOutputDir(const std::string& outdir, std::string* prefix,
                           std::string* probe) {
  // An empty name is no directory (a lone separator would be the root).
  if (outdir.empty()) return ProbeResult::kNoDirectory;
  std::string dir = outdir;
  if (LastPathSeparator(dir.c_str()) != dir.c_str() + dir.size() - 1) {
    dir += platform::kPathSeparator;
  }
  *probe = dir + kProbeName;
  // A probe that is already there proves the directory and is not ours to
  // remove; one we create exclusively is surely ours. Anything but a
  // regular file at that name is never opened: a FIFO would hang the run.
  for (int attempt = 0; attempt < 2; ++attempt) {
    switch (platform::KindOfPath(*probe)) {
      case platform::PathKind::kRegular:
        *prefix = dir;
        return ProbeResult::kOk;
      case platform::PathKind::kLink:
      case platform::PathKind::kOther:
        return ProbeResult::kRefused;
      case platform::PathKind::kMissing:
        break;
    }
    int fd = platform::CreateExclusive(*probe);
    if (fd >= 0) {
      platform::CloseFd(fd);
      platform::RemoveFile(*probe);
      *prefix = dir;
      return ProbeResult::kOk;
    }
    // Someone else may have made it in the meantime: look once more.
    if (errno == EEXIST) continue;
    // A directory that is there but may not be written or searched is no
    // missing one.
    const int error = errno;
    if (platform::IsDirectory(outdir)) {
      errno = error;
      return ProbeResult::kNotWritable;
    }
    break;
  }
  return ProbeResult::kNoDirectory;
}

}  // namespace vu32
