#include "merge/merge.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "merge/list_file.h"
#include "merge/merge_plan.h"
#include "platform/platform.h"
#include "support/byte_stream.h"
#include "support/copy.h"
#include "support/format.h"
#include "support/free_space.h"
#include "support/messages.h"
#include "support/same_file.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

// One run of the merge: the output, the state shared by the sources'
// copies, and the visit of the argument positions.
class Merger {
 public:
  explicit Merger(MergePlan* plan) : plan_(*plan) {}

  // Opens the output, copies every source and stamps the output. False
  // after a reported failure.
  bool Run();

 private:
  bool IsInput(const platform::FileId& id) const {
    return std::find(plan_.input_ids.begin(), plan_.input_ids.end(), id) !=
           plan_.input_ids.end();
  }
  bool OpenOutput();
  void CopyPlainSource(const std::string& name);
  void CopyStdin();
  void CopyListFileSources(const std::string& list_name);
  void CopyWildcardSources();
  // Copies one open source and keeps the time bookkeeping. False after a
  // failure that ends the run (reported).
  bool CopySource(int source, const std::string& name);

  MergePlan& plan_;
  int output_ = -1;
  std::string output_label_;  // the name messages give the output
  bool output_is_stdout_ = false;
  bool stopped_ = false;         // a failure ended the copying
  bool source_missing_ = false;  // a source or list file could not be opened
  bool appends_to_existing_ = false;  // -o+ onto a file that was there
  bool write_failed_ = false;         // already reported for the output
  // Names are left out of the progress lines when the data itself goes to
  // the terminal.
  bool show_source_names_ = true;
  // Two sources with different modification times have been seen.
  bool source_times_differ_ = false;
  // The modification time of the first source, when there was one.
  bool have_common_time_ = false;
  platform::FileTime common_write_time_;
};

bool Merger::OpenOutput() {
  platform::FileId id;
  if (plan_.output_is_stdout()) {
    // Appending a source to itself through a redirection would never end.
    if (platform::FileIdOfFd(1, &id) && IsInput(id)) {
      Report(kSameName);
      AbandonWildcardList(&plan_);
      return false;
    }
    platform::SetBinaryMode(1, true);
    if (platform::IsTerminal(1)) show_source_names_ = false;
    output_ = 1;
    output_label_ = "stdout";
    output_is_stdout_ = true;
  } else {
    const bool exists = platform::FileIdOfPath(plan_.output_name, &id);
    // Refused before opening: opening would already cut the source.
    if (exists && IsInput(id)) {
      Report(kSameName);
      AbandonWildcardList(&plan_);
      return false;
    }
    // Data added to an existing file is newer than its sources: such an
    // output keeps the time of its writing.
    appends_to_existing_ = plan_.append && exists;
    output_ = platform::OpenForWrite(
        plan_.output_name, plan_.append ? platform::WriteMode::kAppend
                                        : platform::WriteMode::kReplace);
    if (output_ < 0) {
      Report(kCannotOpen, plan_.output_name);
      AbandonWildcardList(&plan_);
      return false;
    }
    output_label_ = plan_.output_name;
    ReportFormat(kMergingTo, plan_.output_name.c_str());
    ReportFormat(kAllocatedBuffer, static_cast<unsigned>(WorkBuffer.size));
  }
  return true;
}

bool Merger::CopySource(int source, const std::string& name) {
  // A list file read afresh may name the output, created since the plan.
  if (SameFile(source, output_)) {
    Report(kSameName);
    return false;
  }
  if (show_source_names_) ReportFormat(kSourceName, name.c_str());
  uint64_t count = 0;
  CopyStatus status = CopyToEnd(source, output_, &count);
  if (status != CopyStatus::kOk) {
    if (show_source_names_) ReportText(kLineEnd);  // end the started line
    if (status == CopyStatus::kReadError) {
      Report(kReadFailed, name);
    } else {
      Report(kWriteFailed, output_label_);
      write_failed_ = true;
    }
    return false;
  }
  // The count may exceed what a long holds on some platforms.
  ReportFormat(kSourceCopied, std::to_string(count).c_str());
  if (!source_times_differ_) {
    platform::FileTimes times;
    if (!platform::GetFileTimes(name, &times)) {
      // A time that cannot be read cannot be shown to be the common one.
      source_times_differ_ = true;
    } else if (!have_common_time_) {
      have_common_time_ = true;
      common_write_time_ = times.write;
    } else if (times.write != common_write_time_) {
      source_times_differ_ = true;
    }
  }
  return true;
}

void Merger::CopyPlainSource(const std::string& name) {
  int source = OpenMergeInput(name);
  if (source < 0) {
    Report(kCannotOpen, name);
    source_missing_ = true;
    return;
  }
  if (!CopySource(source, name)) stopped_ = true;
  platform::CloseFd(source);
}

void Merger::CopyStdin() {
  platform::SetBinaryMode(0, true);
  const int source = platform::DuplicateStdin();
  if (source < 0) {
    ReportFormat(kNameAndReason, "stdin", platform::LastErrorText().c_str());
    source_missing_ = true;
    return;
  }
  if (!CopySource(source, "stdin")) stopped_ = true;
  platform::CloseFd(source);
}

void Merger::CopyListFileSources(const std::string& list_name) {
  int list_fd = OpenMergeInput(list_name);
  if (list_fd < 0) {
    Report(kCannotOpen, list_name);
    source_missing_ = true;
    return;
  }
  ByteReader reader(list_fd);
  ListFileReader list(&reader);
  std::string name;
  while (!stopped_ && list.Next(&name)) CopyPlainSource(name);
  if (!stopped_ && list.failed()) {
    Report(kReadFailed, list_name);
    stopped_ = true;
  }
  platform::CloseFd(list_fd);
}

void Merger::CopyWildcardSources() {
  for (const std::string& name : plan_.wildcard_names) {
    if (stopped_) break;
    CopyPlainSource(plan_.wildcard_directory + name);
  }
  DiscardWildcardList(&plan_);
}

bool Merger::Run() {
  if (!OpenOutput()) return false;
  for (size_t i = 0; i < plan_.sources.size() && !stopped_; ++i) {
    const MergeSource& source = plan_.sources[i];
    switch (source.kind) {
      case SourceKind::kPlain:
        CopyPlainSource(source.name);
        break;
      case SourceKind::kList:
        CopyListFileSources(source.name);
        break;
      case SourceKind::kStdin:
        CopyStdin();
        break;
      case SourceKind::kWildcard:
        // Discarded after its copy, so a later wildcard finds nothing.
        if (plan_.wildcard_present) CopyWildcardSources();
        break;
      case SourceKind::kNone:
        break;
    }
  }
  // Every source that could be had is merged, but an output that lacks one
  // is no success (nor does it take the sources' time).
  bool ok = !stopped_ && !source_missing_ && plan_.missing_count == 0;
  if (!output_is_stdout_) {
    // Only a regular file takes the sources' time, never a device.
    const bool regular = platform::FileLength(output_) >= 0;
    if (!platform::CloseFd(output_)) {
      if (!write_failed_) Report(kWriteFailed, output_label_);
      ok = false;
    }
    if (ok && regular && !appends_to_existing_ && !source_times_differ_ &&
        have_common_time_) {
      platform::FileTimes times;
      times.write = common_write_time_;  // access time left as it is
      platform::SetFileTimes(plan_.output_name, times);
    }
  }
  platform::SetBinaryMode(1, false);
  return ok;
}

// The free-space test for the output. Only a named file that is or will be
// a regular file is checked: standard output, a pipe or a device has no
// room to run out of that could be known here. A file that is replaced
// gives its room back.
FreeSpace CheckOutputSpace(const MergePlan& plan) {
  if (plan.output_is_stdout()) return FreeSpace::kEnough;
  uint64_t needed = plan.total_bytes;
  platform::FileStatus existing;
  if (platform::StatFile(plan.output_name, &existing)) {
    if (existing.kind != platform::PathKind::kRegular)
      return FreeSpace::kEnough;
    if (!plan.append) needed -= std::min(needed, existing.size);
  }
  return CheckFreeSpace(needed, plan.output_name);
}

}  // namespace

bool RunMerge(const std::vector<MergeArgument>& args) {
  if (args.empty()) {
    Report(kTooFewParameters);
    return false;
  }
  MergePlan plan;
  if (!BuildMergePlan(args, &plan)) return false;

  std::string total = FormatWithCommas(static_cast<int64_t>(plan.total_bytes));
  ReportFormat(kTotalMergeSize, total.c_str());
  if (!ReportFreeSpace(CheckOutputSpace(plan), kMergeNoSpace,
                       plan.output_name)) {
    return false;
  }
  // Too few sources; or none at all where some were asked for and are
  // missing, when opening the output would only destroy what it holds.
  if ((!plan.wildcard_present && plan.list_file_count == 0 &&
       plan.plain_count < 2) ||
      (plan.found_count == 0 && plan.missing_count > 0)) {
    Report(kTooFewParameters);
    return false;
  }
  HeldWorkBuffer buffer;
  if (!buffer.ok()) return false;
  return Merger(&plan).Run();
}

}  // namespace vu32
