// The names of a merge list file.
#ifndef VU32_MERGE_LIST_FILE_H_
#define VU32_MERGE_LIST_FILE_H_

#include <string>

namespace vu32 {

class ByteReader;

// Reads the names of a list file as a text stream: CR bytes are dropped
// wherever they stand, a byte 0x1A ends the text, and each line, of any
// length, is one name without its line feed.
class ListFileReader {
 public:
  explicit ListFileReader(ByteReader* reader) : reader_(reader) {}
  // The next name; false at the end of the text (or on a read error).
  bool Next(std::string* name);
  bool failed() const;

 private:
  ByteReader* reader_;
  bool ended_ = false;
};

}  // namespace vu32

#endif  // VU32_MERGE_LIST_FILE_H_
