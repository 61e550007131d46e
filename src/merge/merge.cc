#include "merge/merge.h"

#include "support/messages.h"

namespace vu32 {

int RunMerge(int, char** argv) {
  Report(kNotBuiltYet, argv[0]);
  return -1;
}

}  // namespace vu32
