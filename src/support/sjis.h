// Shift-JIS byte rules. A trail byte (0x40-0x7E, 0x80-0xFC) overlaps ASCII,
// so a string can only be classified from its start: never search backwards
// by byte value.
#ifndef VU32_SUPPORT_SJIS_H_
#define VU32_SUPPORT_SJIS_H_

#include <cstddef>

namespace vu32 {

// True for a byte that opens a two-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool SjisLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// True for a byte that can be the second byte of a two-byte character.
constexpr bool SjisTrailByte(unsigned char c) {
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Kind of a byte (0 one-byte character, 1 lead byte, 2 trail byte) given
// the kind of the byte before it: after a lead byte comes its second byte
// when it can be one, else a one-byte character; anything else starts anew.
constexpr int NextByteKind(int previous_kind, unsigned char c) {
  if (previous_kind == 1) return SjisTrailByte(c) ? 2 : 0;
  return SjisLeadByte(c) ? 1 : 0;
}

// Kind of the byte at `index` of the zero-terminated `text`: -1 out of range
// (negative, or at or past the terminator), 0 one-byte character, 1 lead
// byte, 2 trail byte of a two-byte character.
int SjisByteKind(const char* text, long index);

// First / last byte of `text` equal to the ASCII `ch` that is a one-byte
// character (never the trail byte of a two-byte one); null when none.
const char* SjisFindChar(const char* text, char ch);
const char* SjisFindLastChar(const char* text, char ch);

}  // namespace vu32

#endif  // VU32_SUPPORT_SJIS_H_
