// Compiled into each test program on its own, with VU32_BINARY naming the
// vu32 of that program (the release or the scalar-only one), so that every
// other test object is shared between them.
#include "e2e/harness.h"

namespace vu32::testing {

const char* BuiltBinary() { return VU32_BINARY; }

}  // namespace vu32::testing
