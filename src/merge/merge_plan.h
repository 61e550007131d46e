// The merge arguments turned into an ordered plan of sources, built from
// directory entries before anything is opened for writing, so that the total
// size is known for the free-space test.
#ifndef VU32_MERGE_MERGE_PLAN_H_
#define VU32_MERGE_MERGE_PLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vu32 {

// What one merge argument is, as the command line spells it.
struct MergeArgument {
  enum class Role {
    kSource,    // a file name
    kWildcard,  // a name with "*" or "?"
    kListFile,  // "@" and a list file's name (`name` is without the "@")
    kStdin,     // "-": standard input
    kOutput,    // "-o[+]" with its name, joined or the next argument
  };
  Role role = Role::kSource;
  std::string name;
  // kOutput: whether a name came with it (none when "-o" is last), and the
  // "+" that appends.
  bool has_name = false;
  bool append = false;
  bool operator==(const MergeArgument&) const = default;
};

// The roles of the merge arguments (those after the switch), in order.
// Reports nothing; the plan says what is wrong with them.
std::vector<MergeArgument> ClassifyMergeArguments(
    const std::vector<std::string>& args);

// What a merge argument stands for in the plan.
enum class SourceKind : int {
  kNone = 0,      // the output option, or a missing file
  kPlain = 1,     // a plain source that was found
  kWildcard = 2,  // a wildcard pattern, matched or not
  kList = 3,      // a list file, opened or not
  kStdin = 4,     // standard input
};

struct MergeSource {
  SourceKind kind = SourceKind::kNone;
  std::string name;  // the file, or the list file's name
};

struct MergePlan {
  std::vector<MergeSource> sources;  // one per merge argument
  std::string output_name;           // empty or "-": standard output
  bool append = false;               // "+" after the output option
  bool output_is_stdout() const {
    return output_name.empty() || output_name == "-";
  }
  // The wildcard argument up to and including its last path separator.
  std::string wildcard_directory;
  // The files the wildcard found, sorted by unsigned bytes. The list is
  // "present" from a search that found something until it is discarded.
  std::vector<std::string> wildcard_names;
  bool wildcard_present = false;
  int list_file_count = 0;
  int plain_count = 0;
  // Sources found (plain, matched, listed), and sources or list files that
  // were not: the output will lack those.
  int found_count = 0;
  int missing_count = 0;
  uint64_t total_bytes = 0;  // every source found, sizes in full
  // Every file the run will read (sources and list files), so that an
  // output that is one of them can be refused before it is opened.
  std::vector<platform::FileId> input_ids;
};

// Fills `plan` (at its start values) from the merge arguments. False after
// an error whose messages have been written.
bool BuildMergePlan(const std::vector<MergeArgument>& args, MergePlan* plan);

// Releases the wildcard list once its files are copied.
void DiscardWildcardList(MergePlan* plan);
// Releases the wildcard list of a run that is given up, saying so
// ("LIST の作成に失敗しました") when there was one.
void AbandonWildcardList(MergePlan* plan);

// Opens a file that the merge reads: regular files only (a symbolic link to
// one counts), so that a FIFO among the sources is refused instead of
// waiting for a writer. -1 on failure.
int OpenMergeInput(const std::string& path);

}  // namespace vu32

#endif  // VU32_MERGE_MERGE_PLAN_H_
