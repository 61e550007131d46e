#include "merge/list_file.h"

#include "support/byte_stream.h"

namespace vu32 {

bool ListFileReader::Next(std::string* name) {
  // A blank line names nothing: a list saved with a last empty line (or a
  // lone CR) is no list with an unnamed file in it.
  while (ReadLine(name)) {
    if (!name->empty()) return true;
  }
  return false;
}

bool ListFileReader::ReadLine(std::string* name) {
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
    if (c == '\n') break;
    name->push_back(static_cast<char>(c));
  }
  // A UTF-8 byte-order mark, as editors on Windows write at the start of
  // a list saved as "UTF-8", is no part of the first name.
  if (first_line_) {
    first_line_ = false;
    if (name->rfind("\xEF\xBB\xBF", 0) == 0) name->erase(0, 3);
  }
  return taken > 0;
}

bool ListFileReader::failed() const { return reader_->failed(); }

}  // namespace vu32
