#include "cli/in_place.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <set>

#include "cli/filter_run.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/path.h"

namespace vu32 {
namespace {

enum class Outcome { kConverted, kUnchanged, kFailed, kChanged, kAlreadyDone };

// `step`'s words and the system's reason for `error`.
std::string Because(const Message& step, int error) {
  return std::string(MessageBytes(step)) + platform::ErrorText(error);
}

// Where the conversion of one file goes. As long as the output equals the
// original, nothing is written: the replacement is made at the first
// difference, from the equal part of the original and the rest of the
// output. A file that needs no change thus never needs room on the disk,
// and keeps its inode and times.
class ReplacementSink : public ByteSink {
 public:
  ReplacementSink(platform::ReplaceableFile* file, std::vector<uint8_t>* buffer)
      : file_(*file), buffer_(*buffer) {}

  bool Write(const uint8_t* data, size_t size) override {
    if (!diverged_) {
      const size_t same = CompareWithOriginal(data, size);
      if (failure_) return false;
      offset_ += same;
      if (same == size) return true;
      if (!Diverge()) return false;
      data += same;
      size -= same;
    }
    if (platform::WriteAll(replacement_, data, size)) return true;
    Fail(kWriteFailed);
    return false;
  }

  // Ends the output; false (see failure()) when the replacement that an
  // output shorter than the original needs could not be made.
  bool Finish() {
    if (diverged_) return true;
    const int64_t length = platform::FileLength(file_.fd());
    if (length >= 0 && static_cast<uint64_t>(length) == offset_) return true;
    return Diverge();
  }

  bool diverged() const { return diverged_; }
  int replacement() const { return replacement_; }
  // After a failed Write or Finish: why, in the words of the step.
  std::string failure() const { return Because(*failure_, error_); }
  bool failed() const { return failure_ != nullptr; }

 private:
  void Fail(const Message& step) {
    failure_ = &step;
    error_ = errno ? errno : EIO;
  }

  // How many of `size` bytes equal the original's from offset_ on.
  size_t CompareWithOriginal(const uint8_t* data, size_t size) {
    size_t same = 0;
    while (same < size) {
      const size_t want = std::min(size - same, buffer_.size());
      const long got = platform::ReadAt(file_.fd(), buffer_.data(), want,
                                        static_cast<int64_t>(offset_ + same));
      if (got < 0) {
        Fail(kReadFailed);
        return same;
      }
      const size_t n = static_cast<size_t>(got);
      const auto mismatch =
          std::mismatch(data + same, data + same + n, buffer_.data());
      const size_t equal = static_cast<size_t>(mismatch.first - (data + same));
      same += equal;
      if (equal < want) break;  // a difference, or the original ended
    }
    return same;
  }

  // Makes the replacement and copies into it the offset_ bytes of the
  // original that the output repeated.
  bool Diverge() {
    diverged_ = true;
    replacement_ = file_.CreateReplacement();
    if (replacement_ < 0) {
      Fail(kCannotMakeTemp);
      return false;
    }
    for (uint64_t at = 0; at < offset_;) {
      const size_t want =
          static_cast<size_t>(std::min<uint64_t>(offset_ - at, buffer_.size()));
      const long got = platform::ReadAt(file_.fd(), buffer_.data(), want,
                                        static_cast<int64_t>(at));
      if (got <= 0) {
        if (got == 0) errno = EIO;  // the original shrank
        Fail(kReadFailed);
        return false;
      }
      if (!platform::WriteAll(replacement_, buffer_.data(),
                              static_cast<size_t>(got))) {
        Fail(kWriteFailed);
        return false;
      }
      at += static_cast<uint64_t>(got);
    }
    return true;
  }

  platform::ReplaceableFile& file_;
  std::vector<uint8_t>& buffer_;
  uint64_t offset_ = 0;  // output bytes so far, all equal to the original's
  bool diverged_ = false;
  int replacement_ = -1;
  const Message* failure_ = nullptr;
  int error_ = 0;
};

// Why the attributes of the original could not be kept.
std::string KeepFailure(platform::ReplaceableFile::Kept kept,
                        const std::string& attribute) {
  using Kept = platform::ReplaceableFile::Kept;
  const int error = errno;
  switch (kept) {
    case Kept::kOwner:
      return Because(kCannotKeepOwner, error);
    case Kept::kGroup:
      return Because(kCannotKeepGroup, error);
    case Kept::kMode:
      return Because(kCannotKeepMode, error);
    case Kept::kAttribute:
      return std::string(MessageBytes(kCannotKeepAttribute)) + attribute +
             ": " + platform::ErrorText(error);
    case Kept::kTimes:
      return Because(kWriteFailed, error);
    case Kept::kAll:
      break;
  }
  return std::string();
}

// One run over the names: the files done so far, so that a file named
// twice (or under two names) is converted once, and the buffer the
// comparison reads the originals into.
class InPlaceRun {
 public:
  InPlaceRun(const Command& command, KeepTime keep_time)
      : command_(command), keep_time_(keep_time), buffer_(64 * 1024) {}

  // Converts the file `name`; `*reason` says why it failed.
  Outcome ConvertFile(const std::string& name, std::string* reason);

 private:
  // Converts the open `file` and puts the result in its place.
  Outcome Replace(platform::ReplaceableFile& file, std::string* reason);

  const Command& command_;
  const KeepTime keep_time_;
  std::vector<uint8_t> buffer_;
  std::set<platform::FileId> done_;
};

Outcome InPlaceRun::ConvertFile(const std::string& name, std::string* reason) {
  if (name == "-") {
    *reason = MessageBytes(kInPlaceStdin);
    return Outcome::kFailed;
  }
  platform::ReplaceableFile file;
  switch (file.Open(name)) {
    case platform::ReplaceableFile::OpenResult::kOk:
      break;
    case platform::ReplaceableFile::OpenResult::kFailed:
      *reason = platform::LastErrorText();
      return Outcome::kFailed;
    case platform::ReplaceableFile::OpenResult::kNotRegular:
      *reason = MessageBytes(kNotARegularFile);
      return Outcome::kFailed;
  }
  // A file named again (or under another name) has had its line.
  if (!done_.insert(file.status().id).second) return Outcome::kAlreadyDone;
  // Renaming over one name would split the file from its other names.
  if (file.status().links > 1) {
    *reason = MessageBytes(kSeveralLinks);
    return Outcome::kFailed;
  }
  return Replace(file, reason);
}

Outcome InPlaceRun::Replace(platform::ReplaceableFile& file,
                            std::string* reason) {
  ReplacementSink sink(&file, &buffer_);
  ConvertResult result;
  try {
    std::unique_ptr<ByteFilter> filter = MakeFilter(command_);
    result = Convert(*filter, file.fd(), &sink);
  } catch (const std::bad_alloc&) {
    *reason = MessageBytes(kNoMemory);
    return Outcome::kFailed;
  }
  // Every way out below either commits the replacement or leaves it to
  // `file`, which removes it.
  if (result.status == ConvertResult::kReadError) {
    *reason = Because(kReadFailed, result.error);
    return Outcome::kFailed;
  }
  if (result.status == ConvertResult::kWriteError || !sink.Finish()) {
    *reason = sink.failed() ? sink.failure() : Because(kWriteFailed, EIO);
    return Outcome::kFailed;
  }
  // Another writer's data is never thrown away.
  if (!file.Unchanged()) return Outcome::kChanged;
  if (!sink.diverged()) return Outcome::kUnchanged;
  // Asked before the times are set: under Wine, asking what a file is
  // counts as reading it.
  platform::FileId replaced;
  const bool have_id = platform::FileIdOfFd(sink.replacement(), &replaced);
  std::string attribute;
  const auto kept =
      file.KeepAttributes(keep_time_ == KeepTime::kYes, &attribute);
  if (kept != platform::ReplaceableFile::Kept::kAll) {
    *reason = KeepFailure(kept, attribute);
    return Outcome::kFailed;
  }
  // Checked last, right before the rename: the smaller the window, the
  // fewer the writers that can slip through it.
  if (!file.Unchanged()) return Outcome::kChanged;
  switch (file.Commit()) {
    case platform::ReplaceableFile::Committed::kOk:
      break;
    case platform::ReplaceableFile::Committed::kSyncFailed:
    case platform::ReplaceableFile::Committed::kCloseFailed:
      *reason = Because(kWriteFailed, errno);
      return Outcome::kFailed;
    case platform::ReplaceableFile::Committed::kRenameFailed:
      *reason = Because(kCannotReplace, errno);
      return Outcome::kFailed;
  }
  // The file now has a new identity; a later name for it is done too.
  if (have_id) done_.insert(replaced);
  return Outcome::kConverted;
}

// The names to convert: on Win32 a name with "*" or "?" stands for the
// files it matches (sorted, regular files only), since the shell there
// leaves them to the program. Hidden and system files are passed over, as
// `dir` passes them over: desktop.ini and the like are nobody's text. A
// match whose name the code page cannot hold is named and left out, and
// `*all_ok` becomes false: no name the program has opens it.
std::vector<std::string> ExpandNames(const std::vector<std::string>& names,
                                     bool* all_ok) {
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
    bool lost = false;
    for (const platform::FoundFile& file : found) {
      if (file.hidden) continue;
      if (file.lost) {
        Report(kNotRepresentable, directory + file.name);
        *all_ok = false;
        lost = true;
        continue;
      }
      matched.push_back(directory + file.name);
    }
    std::sort(matched.begin(), matched.end());
    if (matched.empty() && !lost) matched.push_back(name);  // reported missing
    expanded.insert(expanded.end(), matched.begin(), matched.end());
  }
  return expanded;
}

}  // namespace

bool RunInPlace(const Command& command, const std::vector<std::string>& names,
                KeepTime keep_time) {
  InPlaceRun run(command, keep_time);
  bool all_ok = true;
  for (const std::string& name : ExpandNames(names, &all_ok)) {
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
      case Outcome::kChanged:
        Report(kFileChanged, name);
        all_ok = false;
        break;
      case Outcome::kAlreadyDone:
        break;
    }
  }
  return all_ok;
}

}  // namespace vu32
