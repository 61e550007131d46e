#include "support/path.h"

#include "platform/platform.h"
#include "support/sjis.h"

namespace vu32 {

const char* LastPathSeparator(const char* path) {
  const char* last = nullptr;
  for (char separator : {'/', '\\'}) {
    if (!platform::IsPathSeparator(static_cast<unsigned char>(separator))) {
      continue;
    }
    const char* found = SjisFindLastChar(path, separator);
    if (found && (!last || found > last)) last = found;
  }
  return last;
}

}  // namespace vu32
