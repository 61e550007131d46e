#include "support/sjis.h"

#include <cstring>

namespace vu32 {

int SjisByteKind(const char* text, long index) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  if (index < 0 || static_cast<size_t>(index) >= std::strlen(text)) return -1;
  int kind = 0;
  for (long i = 0; i <= index; ++i) {
    kind = NextByteKind(kind, s[i]);
  }
  return kind;
}

// Both searches classify in one forward walk, which gives the same answers
// as asking SjisByteKind at every candidate, in linear time.
const char* SjisFindChar(const char* text, char ch) {
  if (ch == '\0') return nullptr;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  int kind = 0;
  for (size_t i = 0; s[i] != 0; ++i) {
    kind = NextByteKind(kind, s[i]);
    if (kind == 0 && s[i] == static_cast<unsigned char>(ch)) return text + i;
  }
  return nullptr;
}

const char* SjisFindLastChar(const char* text, char ch) {
  if (ch == '\0') return nullptr;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const char* last = nullptr;
  int kind = 0;
  for (size_t i = 0; s[i] != 0; ++i) {
    kind = NextByteKind(kind, s[i]);
    if (kind == 0 && s[i] == static_cast<unsigned char>(ch)) last = text + i;
  }
  return last;
}

}  // namespace vu32
