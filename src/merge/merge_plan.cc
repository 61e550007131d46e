#include "merge/merge_plan.h"

#include <algorithm>
#include <cstring>

#include "merge/list_file.h"
#include "support/byte_stream.h"
#include "support/messages.h"
#include "support/path.h"

namespace vu32 {
namespace {

// Length of the directory part of `path`: up to and including its last
// separator.
size_t DirectoryLength(const char* path) {
  const char* last = LastPathSeparator(path);
  return last ? static_cast<size_t>(last - path) + 1 : 0;
}

void AddInputId(const std::string& path, MergePlan* plan) {
  platform::FileId id;
  if (platform::FileIdOfPath(path, &id)) plan->input_ids.push_back(id);
}

// "-o" or "-O" (on Win32 also "/o"), whatever follows.
bool IsOutputOption(const char* arg) {
  return platform::IsSwitchIntroducer(static_cast<unsigned char>(arg[0])) &&
         (arg[1] == 'o' || arg[1] == 'O');
}

// Finds every file that `pattern` matches, in the system's order, adds
// their sizes, and sorts the names when there are any.
void ExpandWildcard(const char* pattern, MergePlan* plan) {
  std::vector<platform::FoundFile> found;
  if (!platform::FindFiles(pattern, &found)) {
    // Not "no match" but a directory that could not be read.
    Report(kCannotOpen, pattern);
    return;
  }
  const std::string directory(pattern, DirectoryLength(pattern));
  for (platform::FoundFile& file : found) {
    plan->total_bytes += file.size;
    ++plan->found_count;
    AddInputId(directory + file.name, plan);
    plan->wildcard_names.push_back(std::move(file.name));
  }
  if (plan->wildcard_names.empty()) return;
  // std::string compares as unsigned bytes: "B" < "a" < two-byte names.
  std::sort(plan->wildcard_names.begin(), plan->wildcard_names.end());
  plan->wildcard_present = true;
}

// Adds the size of the file `name` (the first match, should the name hold
// wildcard characters). False after reporting that it was not found.
bool AddSourceSize(const std::string& name, MergePlan* plan) {
  std::vector<platform::FoundFile> found;
  if (!platform::FindFiles(name, &found) || found.empty()) {
    Report(kCannotOpen, name);
    ++plan->missing_count;
    return false;
  }
  plan->total_bytes += found.front().size;
  ++plan->found_count;
  // The run opens the name itself, so that is the file to guard.
  AddInputId(name, plan);
  return true;
}

// Adds the sizes of the files a list file names. False after a read error
// of the list file (reported); a list file that cannot be opened is only
// reported.
bool AddListFileSizes(const std::string& list_name, MergePlan* plan) {
  int fd = OpenMergeInput(list_name);
  if (fd < 0) {
    Report(kCannotOpen, list_name);
    ++plan->missing_count;
    return true;
  }
  platform::FileId id;
  if (platform::FileIdOfFd(fd, &id)) plan->input_ids.push_back(id);
  ByteReader reader(fd);
  ListFileReader list(&reader);
  std::string name;
  while (list.Next(&name)) AddSourceSize(name, plan);
  const bool failed = list.failed();
  platform::CloseFd(fd);
  if (failed) Report(kReadFailed, list_name);
  return !failed;
}

bool FailPlan(MergePlan* plan) {
  AbandonWildcardList(plan);
  return false;
}

}  // namespace

int OpenMergeInput(const std::string& path) {
  return platform::OpenRegularForRead(path);
}

void DiscardWildcardList(MergePlan* plan) {
  plan->wildcard_names.clear();
  plan->wildcard_names.shrink_to_fit();
  plan->wildcard_present = false;
}

void AbandonWildcardList(MergePlan* plan) {
  if (!plan->wildcard_present) return;
  Report(kListFailed);
  DiscardWildcardList(plan);
}

bool BuildMergePlan(int count, char** args, MergePlan* plan) {
  plan->kinds.assign(static_cast<size_t>(count), SourceKind::kNone);
  plan->total_bytes = 0;
  for (int i = 0; i < count; ++i) {
    const char* arg = args[i];
    SourceKind& kind = plan->kinds[static_cast<size_t>(i)];
    if (std::strpbrk(arg, "*?")) {
      if (plan->wildcard_present) {
        Report(kTwoWildcards, arg);
        return FailPlan(plan);
      }
      ExpandWildcard(arg, plan);
      kind = SourceKind::kWildcard;
      plan->wildcard_directory.assign(arg, DirectoryLength(arg));
    } else if (arg[0] == '@') {
      kind = SourceKind::kList;
      ++plan->list_file_count;
      if (!AddListFileSizes(arg + 1, plan)) return FailPlan(plan);
    } else if (IsOutputOption(arg)) {
      size_t p = 2;
      if (arg[2] == '+') {
        plan->append = true;
        p = 3;
      }
      if (arg[p] != '\0') {
        plan->output_name = arg + p;
      } else if (i + 1 < count) {
        // The next argument is the name, whatever it looks like.
        plan->output_name = args[++i];
      }
      if (plan->output_name.empty()) {
        Report(kNoOutputName);
        return FailPlan(plan);
      }
    } else if (AddSourceSize(arg, plan)) {
      kind = SourceKind::kPlain;
      ++plan->plain_count;
    }
  }
  return true;
}

}  // namespace vu32
