// The names of a merge list file.
#ifndef VU32_MERGE_LIST_FILE_H_
#define VU32_MERGE_LIST_FILE_H_

#include <string>

namespace vu32 {

class ByteReader;

// Reads the names of a list file as a text stream: CR bytes are dropped
// wherever they stand, a byte 0x1A ends the text, and each line, of any
// length, is one name without its line feed. Blank lines are passed over,
// and so is a UTF-8 byte-order mark at the very start.
class ListFileReader {
 public:
  explicit ListFileReader(ByteReader* reader) : reader_(reader) {}
  // The next name; false at the end of the text (or on a read error).
  bool Next(std::string* name);
  bool failed() const;

 private:
  // The next line, blank or not; false at the end of the text.
  bool ReadLine(std::string* name);

  ByteReader* reader_;
  bool ended_ = false;
  bool first_line_ = true;
};

}  // namespace vu32

#endif  // VU32_MERGE_LIST_FILE_H_
