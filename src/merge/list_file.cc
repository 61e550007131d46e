#include "merge/list_file.h"

#include "support/byte_stream.h"

namespace vu32 {

bool ListFileReader::Next(std::string* name) {
  name->clear();
  if (ended_) return false;
  size_t taken = 0;  // bytes of this line, its line feed included
  for (;;) {
    unsigned char c;
    if (reader_->Read(&c, 1) != 1) {
      ended_ = true;
      break;
    }
    if (c == 0x0D) continue;  // text mode: CR is never part of a name
    if (c == 0x1A) {          // text mode: the end-of-file mark
      ended_ = true;
      break;
    }
    ++taken;
    if (c == '\n') return true;
    name->push_back(static_cast<char>(c));
  }
  return taken > 0;
}

bool ListFileReader::failed() const { return reader_->failed(); }

}  // namespace vu32
