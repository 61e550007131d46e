// Merge (-M): concatenates source files into one output.
#ifndef VU32_MERGE_MERGE_H_
#define VU32_MERGE_MERGE_H_

#include <vector>

#include "merge/merge_plan.h"

namespace vu32 {

// Merges what the arguments after the switch name. False after a reported
// failure.
bool RunMerge(const std::vector<MergeArgument>& args);

}  // namespace vu32

#endif  // VU32_MERGE_MERGE_H_
