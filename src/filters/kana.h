// Half-width katakana to full-width (-K).
#ifndef VU32_FILTERS_KANA_H_
#define VU32_FILTERS_KANA_H_

#include <memory>

#include "filters/filter.h"

namespace vu32 {

std::unique_ptr<ByteFilter> MakeKana();

}  // namespace vu32

#endif  // VU32_FILTERS_KANA_H_
