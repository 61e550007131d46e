#include "filters/uniq.h"

namespace vu32 {

std::unique_ptr<ByteFilter> MakeUniq(bool) { return nullptr; }

}  // namespace vu32
