// Merge (-M): concatenates source files into one output.
#ifndef VU32_MERGE_MERGE_H_
#define VU32_MERGE_MERGE_H_

namespace vu32 {

// argv[0] is the switch itself; the merge arguments follow. False after a
// reported failure.
bool RunMerge(int argc, char** argv);

}  // namespace vu32

#endif  // VU32_MERGE_MERGE_H_
