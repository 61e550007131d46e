#include "split/split.h"

#include "support/messages.h"

namespace vu32 {

int RunSplit(int, char** argv) {
  Report(kNotBuiltYet, argv[0]);
  return -1;
}

}  // namespace vu32
