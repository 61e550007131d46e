#include "filters/kana.h"

namespace vu32 {

std::unique_ptr<ByteFilter> MakeKana() { return nullptr; }

}  // namespace vu32
