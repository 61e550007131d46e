// The compiled form of a pattern: a flat array of 16-bit cells that the
// compiler (compile.cc) writes and the matcher (match.cc) runs.
//
// A cell is one of
//   - a character cell: the code of a character (see SjisCharCode);
//   - an operation cell: an ASCII code times 256 (low byte 0, high byte below
//     0x80), named below; no character code has that form;
//   - an offset cell, directly after the operation that owns it: the signed
//     distance in cells from the offset cell to its target. A distance beyond
//     +-32767 is written as kLongOffset followed by two cells holding the
//     32-bit distance (high half first), still counted from the kLongOffset
//     cell; only constructs of more than 32,767 cells need that;
//   - the end cell 0, which ends the program (and the members of a class).
//
// Layouts, in program order:
//   character        code
//   .                kOpAny
//   $                kOpDollar (the end anchor when the next cell is the end
//                    cell, else the character $)
//   leading ^        kOpAnchor as the first cell
//   [members]        kOpClass, offset to the cell after the class, members,
//                    0. A member is a code, or kOpRange and two bounds as
//                    written. A negated class starts its members with '^'.
//   X op             op, offset to after the construct, X, op, offset back
//                    to the first cell of X (op: star, plus or option)
//   L|R              kOpAlt, offset to R, L, kOpJump, offset past R, R
#ifndef VU32_PATTERN_PROGRAM_H_
#define VU32_PATTERN_PROGRAM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "pattern/pattern.h"

namespace vu32 {

inline constexpr uint16_t kEndCell = 0;
inline constexpr uint16_t kOpAnchor = 0x5E00;
inline constexpr uint16_t kOpDollar = 0x2400;
inline constexpr uint16_t kOpAny = 0x2E00;
inline constexpr uint16_t kOpClass = 0x5B00;
inline constexpr uint16_t kOpRange = 0x2D00;
inline constexpr uint16_t kOpStar = 0x2A00;
inline constexpr uint16_t kOpPlus = 0x2B00;
inline constexpr uint16_t kOpOption = 0x3F00;
inline constexpr uint16_t kOpAlt = 0x7C00;
inline constexpr uint16_t kOpJump = 0x7F00;

// First cell of a long offset (see above). Never a short distance.
inline constexpr uint16_t kLongOffset = 0x8000;
// A character no text contains: what escapes that name no character of a
// text (\x00, \j2A00, \J with no lead byte) compile to.
inline constexpr uint16_t kNoChar = 0xFF00;
// The member that, first in a class, negates it.
inline constexpr uint16_t kNegateMember = 0x005E;

// Classes of the ASCII codes: the compiler looks up pattern characters below
// 0x80, the matcher the high byte of operation cells.
enum CellClass : uint8_t {
  kClassEnd = 0,
  kClassOrdinary = 1,
  kClassDollar = 2,
  kClassOpen = 3,
  kClassClose = 4,
  kClassStar = 5,
  kClassPlus = 6,
  kClassAny = 7,
  kClassOption = 8,
  kClassBracket = 9,
  kClassEscape = 10,
  kClassBar = 11,
  kClassJump = 12,  // 0x7F: the jump cell; an ordinary pattern character
};

namespace pattern_internal {
constexpr auto MakeCellClassTable() {
  struct Table {
    CellClass at[128];
  } table{};
  for (auto& c : table.at) c = kClassOrdinary;
  auto set = [&table](char c, CellClass cls) {
    table.at[static_cast<unsigned char>(c)] = cls;
  };
  set('\0', kClassEnd);
  set('$', kClassDollar);
  set('(', kClassOpen);
  set(')', kClassClose);
  set('*', kClassStar);
  set('+', kClassPlus);
  set('.', kClassAny);
  set('?', kClassOption);
  set('[', kClassBracket);
  set('\\', kClassEscape);
  set('|', kClassBar);
  set('\x7F', kClassJump);
  return table;
}
}  // namespace pattern_internal

inline constexpr auto kCellClassTable = pattern_internal::MakeCellClassTable();
inline constexpr const CellClass (&kCellClass)[128] = kCellClassTable.at;

// An operation cell: low byte 0, high byte 0x01-0x7F.
constexpr bool IsOperation(uint16_t cell) {
  return (cell & 0xFF) == 0 && cell != 0 && cell < 0x8000;
}

constexpr CellClass ClassOfOperation(uint16_t op) {
  return kCellClass[op >> 8];
}

// The class of a pattern character: looked up below 0x80, else ordinary.
constexpr CellClass ClassOfCharacter(uint16_t code) {
  return code < 0x80 ? kCellClass[code] : kClassOrdinary;
}

// Cells taken by an offset whose distance is `distance`.
constexpr size_t OffsetWidth(int64_t distance) {
  return distance >= -32767 && distance <= 32767 ? 1 : 3;
}

// The distance held by the offset at cell `i`.
inline int64_t OffsetDistance(const PatternProgram& program, size_t i) {
  if (program[i] != kLongOffset) return static_cast<int16_t>(program[i]);
  uint32_t raw = (uint32_t{program[i + 1]} << 16) | program[i + 2];
  return static_cast<int32_t>(raw);
}

// The cell that the offset at cell `i` points to.
inline size_t Target(const PatternProgram& program, size_t i) {
  return static_cast<size_t>(static_cast<int64_t>(i) +
                             OffsetDistance(program, i));
}

// The cell after the offset at cell `i`.
inline size_t AfterOffset(const PatternProgram& program, size_t i) {
  return i + (program[i] == kLongOffset ? 3 : 1);
}

// The code of the two-byte character of lead byte `lead` (SjisLeadByte) and
// non-zero `trail`: its JIS X 0208 code (row * 256 + column) for a valid
// trail byte. A trail byte that is no valid one still makes one character;
// it gets a code of the lead byte's row with a low byte of 0x80 or more,
// which no valid character has.
uint16_t SjisCharCode(unsigned char lead, unsigned char trail);

// Reads one character of a zero-terminated text at `*p`: its code, and `*p`
// moved past it. 0 at the end of the text: at its NUL, or at a lead byte
// directly before it (such a byte is no character of a text).
uint16_t ReadTextChar(const unsigned char** p);

// One line per instruction ("3. char 0061", "0. star -> 7"), for tests.
std::string Dump(const PatternProgram& program);

}  // namespace vu32

#endif  // VU32_PATTERN_PROGRAM_H_
