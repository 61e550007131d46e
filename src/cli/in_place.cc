#include "cli/in_place.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <set>

#include "check/guard.h"
#include "cli/filter_run.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/path.h"

namespace vu32 {
namespace {

enum class Outcome {
  kConverted,
  kUnchanged,
  kFailed,
  kChanged,
  kPending,  // sealed, its rename still to come
  kGuarded,  // not Shift-JIS text the conversion would damage
  kBusy,     // another run holds the file
};

// Files converted before the first of them is renamed: their data goes to
// the disk together, and one journal commit serves several fsyncs. Small
// enough to keep the descriptors held (three a file) few.
constexpr size_t kBatchSize = 32;

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
    if (!platform::WriteAll(replacement_, data, size)) {
      Fail(kWriteFailed);
      return false;
    }
    // A large file goes to the disk while it is converted, not all at the
    // fsync after.
    written_ += size;
    if (written_ - started_ >= kWriteBackStep) {
      file_.StartWriteBack();
      started_ = written_;
    }
    return true;
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
  static constexpr uint64_t kWriteBackStep = uint64_t{16} << 20;

  uint64_t offset_ = 0;   // output bytes so far, all equal to the original's
  uint64_t written_ = 0;  // bytes written into the replacement
  uint64_t started_ = 0;  // of which the write-back has been started
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

// One file of a batch, from its conversion to its line in the report.
struct Step {
  std::string name;
  Outcome outcome = Outcome::kFailed;
  std::string reason;                // kFailed: why
  const Message* refusal = nullptr;  // kGuarded: why
  // kPending: the file, held (open and locked) until its rename.
  std::unique_ptr<platform::ReplaceableFile> file;
};

// One run over the names, and the buffer the comparison reads the
// originals into.
class InPlaceRun {
 public:
  InPlaceRun(const Command& command, KeepTime keep_time)
      : command_(command), keep_time_(keep_time), buffer_(64 * 1024) {}

  // Converts the file `name` and seals its replacement, or says why not.
  // Without `wait`, a file another run holds is left for later (kBusy).
  Step Prepare(const std::string& name, bool wait);
  // Makes the batch's pending replacements durable.
  void Seal(std::vector<Step>* batch);
  // Puts a sealed replacement in its file's place.
  void Finish(Step* step);

 private:
  // Converts the open file of `step` and seals the result.
  void Convert(Step* step);

  const Command& command_;
  const KeepTime keep_time_;
  std::vector<uint8_t> buffer_;
  ConvertBlocks blocks_;  // lent to each file's conversion
};

Step InPlaceRun::Prepare(const std::string& name, bool wait) {
  Step step;
  step.name = name;
  if (name == "-") {
    step.reason = MessageBytes(kInPlaceStdin);
    return step;
  }
  step.file = std::make_unique<platform::ReplaceableFile>();
  switch (step.file->Open(name, wait)) {
    case platform::ReplaceableFile::OpenResult::kOk:
      break;
    case platform::ReplaceableFile::OpenResult::kFailed:
      step.reason = platform::LastErrorText();
      step.file.reset();
      return step;
    case platform::ReplaceableFile::OpenResult::kNotRegular:
      step.reason = MessageBytes(kNotARegularFile);
      step.file.reset();
      return step;
    case platform::ReplaceableFile::OpenResult::kBusy:
      step.outcome = Outcome::kBusy;
      step.file.reset();
      return step;
  }
  if (step.file->status().links > 1) {
    // Renaming over one name would split the file from its other names.
    step.reason = MessageBytes(kSeveralLinks);
  } else {
    Convert(&step);
  }
  // Only a pending file stays open (and locked).
  if (step.outcome != Outcome::kPending) step.file.reset();
  return step;
}

void InPlaceRun::Convert(Step* step) {
  platform::ReplaceableFile& file = *step->file;
  ReplacementSink sink(&file, &buffer_);
  // The whole file is judged, for it is all replaced.
  check::WholeInputGuard guard;
  const BlockObserver observe = [&guard](const uint8_t* data, size_t size) {
    guard.Feed(data, size);
  };
  ConvertResult result;
  try {
    std::unique_ptr<ByteFilter> filter = MakeFilter(command_);
    result = vu32::Convert(*filter, file.fd(), &sink, observe, &blocks_);
  } catch (const std::bad_alloc&) {
    step->reason = MessageBytes(kNoMemory);
    return;
  }
  // Every way out below either leaves the replacement pending or leaves it
  // to `file`, which removes it.
  if (result.status == ConvertResult::kReadError) {
    step->reason = Because(kReadFailed, result.error);
    return;
  }
  if (result.status == ConvertResult::kWriteError || !sink.Finish()) {
    step->reason = sink.failed() ? sink.failure() : Because(kWriteFailed, EIO);
    return;
  }
  if ((step->refusal =
           check::GuardRefusal(guard.Finish(), GuardScopeOf(command_)))) {
    step->outcome = Outcome::kGuarded;
    return;
  }
  // Another writer's data is never thrown away.
  if (!file.Unchanged()) {
    step->outcome = Outcome::kChanged;
    return;
  }
  if (!sink.diverged()) {
    step->outcome = Outcome::kUnchanged;
    return;
  }
  std::string attribute;
  const auto kept =
      file.KeepAttributes(keep_time_ == KeepTime::kYes, &attribute);
  if (kept != platform::ReplaceableFile::Kept::kAll) {
    step->reason = KeepFailure(kept, attribute);
    return;
  }
  file.StartWriteBack();
  step->outcome = Outcome::kPending;
}

void InPlaceRun::Seal(std::vector<Step>* batch) {
  // One task per pending file, all at once: their flushes to the disk then
  // overlap (and the device merges them) instead of waiting in turn.
  std::vector<Step*> pending;
  for (Step& step : *batch) {
    if (step.outcome == Outcome::kPending) pending.push_back(&step);
  }
  std::vector<int> errors(pending.size(), 0);
  std::vector<std::function<void()>> tasks;
  for (size_t i = 0; i < pending.size(); ++i) {
    tasks.push_back([&, i] {
      if (!pending[i]->file->Seal()) errors[i] = errno ? errno : EIO;
    });
  }
  platform::RunConcurrently(tasks);
  for (size_t i = 0; i < pending.size(); ++i) {
    if (errors[i] != 0) {
      pending[i]->outcome = Outcome::kFailed;
      pending[i]->reason = Because(kWriteFailed, errors[i]);
      pending[i]->file.reset();
    }
  }
}

void InPlaceRun::Finish(Step* step) {
  if (step->outcome != Outcome::kPending) return;
  platform::ReplaceableFile& file = *step->file;
  step->outcome = Outcome::kFailed;
  // Checked last, after the wait for the disk and right before the rename:
  // the smaller the window, the fewer the writers that can slip through.
  if (!file.Unchanged()) {
    step->outcome = Outcome::kChanged;
  } else if (!file.Commit()) {
    step->reason = Because(kCannotReplace, errno);
  } else {
    step->outcome = Outcome::kConverted;
  }
  step->file.reset();
}

// The line for one file; false when it failed.
bool ReportStep(const Step& step) {
  switch (step.outcome) {
    case Outcome::kConverted:
      ReportFormat(kInPlaceConverted, step.name.c_str());
      return true;
    case Outcome::kUnchanged:
      ReportFormat(kInPlaceUnchanged, step.name.c_str());
      return true;
    case Outcome::kChanged:
      Report(kFileChanged, step.name);
      return false;
    case Outcome::kGuarded:
      Report(*step.refusal, step.name);
      return false;
    case Outcome::kFailed:
    case Outcome::kPending:
    case Outcome::kBusy:
      break;
  }
  ReportFormat(kNameAndReason, step.name.c_str(), step.reason.c_str());
  return false;
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

// The names less those that lead to a file named before them (the same
// name again, a link, another spelling), so that each file is converted
// once. Decided before anything is converted: a file's identity is only
// good until it is replaced, when another run's new file may take it.
std::vector<std::string> OncePerFile(const std::vector<std::string>& names) {
  std::set<platform::FileId> seen;
  std::vector<std::string> once;
  for (const std::string& name : names) {
    platform::FileId id;
    if (name != "-" && platform::FileIdOfPath(name, &id) &&
        !seen.insert(id).second) {
      continue;
    }
    once.push_back(name);
  }
  return once;
}

}  // namespace

bool RunInPlace(const Command& command, const std::vector<std::string>& names,
                KeepTime keep_time) {
  InPlaceRun run(command, keep_time);
  bool all_ok = true;
  std::vector<Step> batch;
  // Renames and reports the batch, in the order of the names.
  auto flush = [&] {
    run.Seal(&batch);
    for (Step& step : batch) {
      run.Finish(&step);
      all_ok = ReportStep(step) && all_ok;
    }
    batch.clear();
  };
  for (const std::string& name : OncePerFile(ExpandNames(names, &all_ok))) {
    // Waiting while holding the batch's locks could wait for ever on a run
    // that waits for one of them: a busy file first lets the batch go.
    Step step = run.Prepare(name, batch.empty());
    if (step.outcome == Outcome::kBusy) {
      flush();
      step = run.Prepare(name, true);
    }
    batch.push_back(std::move(step));
    if (batch.size() == kBatchSize) flush();
  }
  flush();
  return all_ok;
}

}  // namespace vu32
