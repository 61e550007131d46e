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
    // No name the program can use opens it (Win32): named, and missing.
    if (file.lost) {
      Report(kNotRepresentable, directory + file.name);
      ++plan->missing_count;
      continue;
    }
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

// Standard input as a source: its size counts when it is a file.
void AddStdinSize(MergePlan* plan) {
  ++plan->found_count;
  const int64_t length = platform::FileLength(0);
  if (length > 0) plan->total_bytes += static_cast<uint64_t>(length);
  platform::FileId id;
  if (platform::FileIdOfFd(0, &id)) plan->input_ids.push_back(id);
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

std::vector<MergeArgument> ClassifyMergeArguments(
    const std::vector<std::string>& args) {
  using Role = MergeArgument::Role;
  std::vector<MergeArgument> classified;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    MergeArgument a;
    a.name = arg;
    if (arg.find_first_of("*?") != std::string::npos) {
      a.role = Role::kWildcard;
    } else if (arg[0] == '@') {
      a.role = Role::kListFile;
      a.name = arg.substr(1);
    } else if (arg == "-") {
      a.role = Role::kStdin;
    } else if (IsOutputOption(arg.c_str())) {
      a.role = Role::kOutput;
      a.append = arg[2] == '+';
      const size_t p = a.append ? 3 : 2;
      a.name = arg.substr(p);
      a.has_name = !a.name.empty();
      if (!a.has_name && i + 1 < args.size()) {
        // The next argument is the name, whatever it looks like.
        a.name = args[++i];
        a.has_name = true;
      }
    }
    classified.push_back(std::move(a));
  }
  return classified;
}

bool BuildMergePlan(const std::vector<MergeArgument>& args, MergePlan* plan) {
  using Role = MergeArgument::Role;
  plan->sources.assign(args.size(), MergeSource());
  plan->total_bytes = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const MergeArgument& arg = args[i];
    MergeSource& source = plan->sources[i];
    source.name = arg.name;
    switch (arg.role) {
      case Role::kWildcard:
        if (plan->wildcard_present) {
          Report(kTwoWildcards, arg.name);
          return FailPlan(plan);
        }
        ExpandWildcard(arg.name.c_str(), plan);
        source.kind = SourceKind::kWildcard;
        plan->wildcard_directory.assign(arg.name, 0,
                                        DirectoryLength(arg.name.c_str()));
        break;
      case Role::kListFile:
        source.kind = SourceKind::kList;
        ++plan->list_file_count;
        if (!AddListFileSizes(arg.name, plan)) return FailPlan(plan);
        break;
      case Role::kStdin:
        source.kind = SourceKind::kStdin;
        AddStdinSize(plan);
        ++plan->plain_count;
        break;
      case Role::kOutput:
        if (arg.append) plan->append = true;
        if (arg.has_name) plan->output_name = arg.name;
        if (plan->output_name.empty()) {
          Report(kNoOutputName);
          return FailPlan(plan);
        }
        break;
      case Role::kSource:
        if (AddSourceSize(arg.name, plan)) {
          source.kind = SourceKind::kPlain;
          ++plan->plain_count;
        }
        break;
    }
  }
  return true;
}

}  // namespace vu32
