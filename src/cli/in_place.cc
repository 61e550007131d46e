#include "cli/in_place.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "cli/filter_run.h"
#include "platform/platform.h"
#include "support/copy.h"
#include "support/messages.h"
#include "support/path.h"

namespace vu32 {
namespace {

enum class Outcome { kConverted, kUnchanged, kFailed, kAlreadyDone };

// One run over the names: the files done so far, so that a file named
// twice (or under two names) is converted once.
class InPlaceRun {
 public:
  InPlaceRun(const Command& command, KeepTime keep_time)
      : command_(command), keep_time_(keep_time) {}

  // Converts the file `name`; `*reason` says why it failed.
  Outcome ConvertFile(const std::string& name, std::string* reason);

 private:
  // Converts from `*input` (closed on return) into a replacement of
  // `target` and puts it in place.
  Outcome Replace(const std::string& target, int* input,
                  const platform::FileStatus& original, std::string* reason);

  const Command& command_;
  const KeepTime keep_time_;
  std::vector<platform::FileId> done_;
};

std::string SystemReason() { return platform::LastErrorText(); }

std::string Reason(const Message& step, int error) {
  errno = error;
  return std::string(MessageBytes(step)) + SystemReason();
}

Outcome InPlaceRun::ConvertFile(const std::string& name, std::string* reason) {
  // The file a symbolic link names is replaced; the link stays a link.
  std::string target;
  platform::FileStatus original;
  if (!platform::ResolvePath(name, &target) ||
      !platform::StatFile(target, &original)) {
    *reason = SystemReason();
    return Outcome::kFailed;
  }
  // A file named again (or under another name) has had its line.
  if (std::find(done_.begin(), done_.end(), original.id) != done_.end()) {
    return Outcome::kAlreadyDone;
  }
  done_.push_back(original.id);
  if (original.kind != platform::PathKind::kRegular) {
    *reason = MessageBytes(kNotARegularFile);
    return Outcome::kFailed;
  }
  // Renaming over one name would split the file from its other names.
  if (original.links > 1) {
    *reason = MessageBytes(kSeveralLinks);
    return Outcome::kFailed;
  }
  int input = platform::OpenRegularForRead(target);
  if (input < 0) {
    *reason = SystemReason();
    return Outcome::kFailed;
  }
  Outcome outcome = Replace(target, &input, original, reason);
  if (input >= 0) platform::CloseFd(input);
  return outcome;
}

// Converts all of `input` into `out`. Empty, or why it failed.
std::string ConvertAll(const Command& command, int input, int out) {
  ConvertResult result;
  try {
    std::unique_ptr<ByteFilter> filter = MakeFilter(command);
    result = Convert(*filter, input, out, false);
  } catch (const std::bad_alloc&) {
    return std::string(MessageBytes(kNoMemory));
  }
  switch (result.status) {
    case ConvertResult::kOk:
      return std::string();
    case ConvertResult::kReadError:
      return Reason(kReadFailed, result.error);
    case ConvertResult::kWriteError:
      return Reason(kWriteFailed, result.error);
  }
  return std::string();
}

// Makes the replacement open as `out` durable, with the original's mode and
// owner, and closes it. Empty, or why it failed.
std::string Seal(int out, const platform::FileStatus& original) {
  const bool sealed =
      platform::CopyOwnerAndMode(out, original) && platform::SyncToDisk(out);
  const int error = errno;
  if (!platform::CloseFd(out)) return Reason(kWriteFailed, errno);
  return sealed ? std::string() : Reason(kWriteFailed, error);
}

Outcome InPlaceRun::Replace(const std::string& target, int* input_fd,
                            const platform::FileStatus& original,
                            std::string* reason) {
  const int input = *input_fd;
  std::string replacement;
  const int out = platform::CreateReplacement(target, &replacement);
  if (out < 0) {
    *reason = std::string(MessageBytes(kCannotMakeTemp)) + SystemReason();
    return Outcome::kFailed;
  }
  // Every way out below either commits the replacement or removes it.
  *reason = ConvertAll(command_, input, out);
  const bool unchanged = reason->empty() && SameContent(input, out);
  if (!reason->empty() || unchanged) {
    platform::CloseFd(out);
    platform::DiscardReplacement(replacement);
    // Nothing to change: the file keeps its inode and times.
    return unchanged ? Outcome::kUnchanged : Outcome::kFailed;
  }
  *reason = Seal(out, original);
  // Windows cannot rename over a file that is still open.
  platform::CloseFd(input);
  *input_fd = -1;
  if (reason->empty() && !platform::CommitReplacement(replacement, target)) {
    *reason = SystemReason();
  }
  if (!reason->empty()) {
    platform::DiscardReplacement(replacement);
    return Outcome::kFailed;
  }
  if (keep_time_ == KeepTime::kYes) {
    platform::FileTimes times = original.times;
    times.creation = platform::FileTime();
    platform::SetFileTimes(target, times);
  }
  // The file now has a new identity; a later name for it is done too.
  platform::FileStatus replaced;
  if (platform::StatFile(target, &replaced)) done_.push_back(replaced.id);
  return Outcome::kConverted;
}

// The names to convert: on Win32 a name with "*" or "?" stands for the
// files it matches (sorted, regular files only), since the shell there
// leaves them to the program.
std::vector<std::string> ExpandNames(const std::vector<std::string>& names) {
  if (!platform::kWin32Spellings) return names;
  std::vector<std::string> expanded;
  for (const std::string& name : names) {
    if (name.find_first_of("*?") == std::string::npos) {
      expanded.push_back(name);
      continue;
    }
    std::vector<platform::FoundFile> found;
    platform::FindFiles(name, &found);
    const char* separator = LastPathSeparator(name.c_str());
    const std::string directory =
        separator ? name.substr(0, separator - name.c_str() + 1) : "";
    std::vector<std::string> matched;
    for (const platform::FoundFile& file : found) {
      matched.push_back(directory + file.name);
    }
    std::sort(matched.begin(), matched.end());
    if (matched.empty()) matched.push_back(name);  // reported as missing
    expanded.insert(expanded.end(), matched.begin(), matched.end());
  }
  return expanded;
}

}  // namespace

bool RunInPlace(const Command& command, const std::vector<std::string>& names,
                KeepTime keep_time) {
  InPlaceRun run(command, keep_time);
  bool all_ok = true;
  for (const std::string& name : ExpandNames(names)) {
    std::string reason;
    switch (run.ConvertFile(name, &reason)) {
      case Outcome::kConverted:
        ReportFormat(kInPlaceConverted, name.c_str());
        break;
      case Outcome::kUnchanged:
        ReportFormat(kInPlaceUnchanged, name.c_str());
        break;
      case Outcome::kFailed:
        ReportFormat(kNameAndReason, name.c_str(), reason.c_str());
        all_ok = false;
        break;
      case Outcome::kAlreadyDone:
        break;
    }
  }
  return all_ok;
}

}  // namespace vu32
