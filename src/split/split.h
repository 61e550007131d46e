// Split (-S): cuts one file into numbered pieces.
#ifndef VU32_SPLIT_SPLIT_H_
#define VU32_SPLIT_SPLIT_H_

namespace vu32 {

// argv[0] is the switch itself (e.g. -S100.3L); the split arguments follow.
// False after a reported failure.
bool RunSplit(int argc, char** argv);

}  // namespace vu32

#endif  // VU32_SPLIT_SPLIT_H_
