#include "pattern/program.h"

#include <cstdio>

#include "support/sjis.h"

namespace vu32 {

static_assert(ClassOfCharacter('$') == kClassDollar &&
              ClassOfCharacter('(') == kClassOpen &&
              ClassOfCharacter(')') == kClassClose &&
              ClassOfCharacter('*') == kClassStar &&
              ClassOfCharacter('+') == kClassPlus &&
              ClassOfCharacter('.') == kClassAny &&
              ClassOfCharacter('?') == kClassOption &&
              ClassOfCharacter('[') == kClassBracket &&
              ClassOfCharacter('\\') == kClassEscape &&
              ClassOfCharacter('|') == kClassBar &&
              ClassOfCharacter(0x7F) == kClassJump &&
              ClassOfCharacter(0) == kClassEnd &&
              ClassOfCharacter('^') == kClassOrdinary &&
              ClassOfCharacter(']') == kClassOrdinary &&
              ClassOfCharacter(0xA0) == kClassOrdinary);

uint16_t SjisCharCode(unsigned char lead, unsigned char trail) {
  // Two rows per lead byte: 0x81 -> rows 0x21/0x22 ... 0x9F -> 0x5D/0x5E,
  // 0xE0 -> 0x5F/0x60 ... 0xFC -> 0x97/0x98.
  unsigned row = lead <= 0x9F ? 2 * (lead - 0x70) : 2 * (lead - 0xB0);
  if (!SjisTrailByte(trail)) {
    unsigned low = trail < 0x40 ? 0x80 + trail : trail == 0x7F ? 0xC0 : trail;
    return static_cast<uint16_t>(row << 8 | low);
  }
  unsigned column;
  if (trail >= 0x9F) {
    column = trail - 0x7E;
  } else {
    --row;
    column = trail <= 0x7E ? trail - 0x1F : trail - 0x20;
  }
  return static_cast<uint16_t>(row << 8 | column);
}

uint16_t ReadTextChar(const unsigned char** p) {
  const unsigned char* s = *p;
  unsigned char c = s[0];
  if (c == 0) return 0;
  if (!SjisLeadByte(c)) {
    *p = s + 1;
    return c;
  }
  if (s[1] == 0) return 0;
  *p = s + 2;
  return SjisCharCode(c, s[1]);
}

namespace {

// Appends the bytes of the text character whose code is `code` when only
// one byte string has that code: a one-byte character other than LF, or a
// two-byte one with a valid trail byte. False, appending nothing, for any
// other code.
bool AppendBytesOfCode(uint16_t code, std::string* out) {
  if (code < 0x100) {
    const auto c = static_cast<unsigned char>(code);
    if (c == 0 || c == '\n' || SjisLeadByte(c)) return false;
    out->push_back(static_cast<char>(c));
    return true;
  }
  // The inverse of SjisCharCode for valid trail bytes: an odd row is the
  // first of its lead byte's two.
  const unsigned row = code >> 8;
  const unsigned column = code & 0xFF;
  if (column < 0x21 || column > 0x7E) return false;
  const unsigned even_row = row + (row & 1);
  const unsigned lead = even_row / 2 + (even_row <= 0x5E ? 0x70 : 0xB0);
  const unsigned trail = (row & 1) == 0   ? column + 0x7E
                         : column <= 0x5F ? column + 0x1F
                                          : column + 0x20;
  if (lead > 0xFF || !SjisLeadByte(static_cast<unsigned char>(lead)) ||
      !SjisTrailByte(static_cast<unsigned char>(trail)) ||
      SjisCharCode(static_cast<unsigned char>(lead),
                   static_cast<unsigned char>(trail)) != code) {
    return false;
  }
  out->push_back(static_cast<char>(lead));
  out->push_back(static_cast<char>(trail));
  return true;
}

const char* OperationName(uint16_t op) {
  switch (op) {
    case kOpAnchor:
      return "anchor";
    case kOpDollar:
      return "dollar";
    case kOpAny:
      return "any";
    case kOpClass:
      return "class";
    case kOpStar:
      return "star";
    case kOpPlus:
      return "plus";
    case kOpOption:
      return "option";
    case kOpAlt:
      return "alt";
    case kOpJump:
      return "jump";
    default:
      return nullptr;
  }
}

void AppendCode(std::string* out, uint16_t code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", code);
  *out += buf;
}

bool HasOffset(uint16_t cell) {
  return cell == kOpClass || cell == kOpStar || cell == kOpPlus ||
         cell == kOpOption || cell == kOpAlt || cell == kOpJump;
}

// " [^0061 0062-0063]": the members of the class whose offset is at cell
// `offset` and whose end cell is at `end`.
void AppendMembers(const PatternProgram& program, size_t offset, size_t end,
                   std::string* out) {
  *out += " [";
  size_t j = AfterOffset(program, offset);
  if (j < end && program[j] == kNegateMember) {
    *out += "^";
    ++j;
  }
  for (bool first = true; j < end; first = false) {
    if (!first) *out += " ";
    if (program[j] == kOpRange && j + 2 < end) {
      AppendCode(out, program[j + 1]);
      *out += "-";
      AppendCode(out, program[j + 2]);
      j += 3;
    } else {
      AppendCode(out, program[j]);
      ++j;
    }
  }
  *out += "]";
}

// Appends the line of the instruction at cell `i`; returns the cell of the
// next one.
size_t DumpInstruction(const PatternProgram& program, size_t i,
                       std::string* out) {
  *out += std::to_string(i) + ". ";
  const uint16_t cell = program[i];
  const char* name = IsOperation(cell) ? OperationName(cell) : nullptr;
  if (cell == kEndCell) {
    *out += "end\n";
    return i + 1;
  }
  if (name == nullptr) {
    *out += "char ";
    AppendCode(out, cell);
    *out += "\n";
    return i + 1;
  }
  *out += name;
  if (!HasOffset(cell) || i + 1 >= program.size()) {
    *out += "\n";
    return i + 1;
  }
  const size_t target = Target(program, i + 1);
  if (OffsetDistance(program, i + 1) < 0) *out += " back";
  *out += " -> " + std::to_string(target);
  if (program[i + 1] == kLongOffset) *out += " (long)";
  if (cell == kOpClass) AppendMembers(program, i + 1, target - 1, out);
  *out += "\n";
  // A class's members are no instructions: go on after them.
  return cell == kOpClass ? target : AfterOffset(program, i + 1);
}

}  // namespace

std::string Dump(const PatternProgram& program) {
  std::string out;
  for (size_t i = 0; i < program.size();) i = DumpInstruction(program, i, &out);
  return out;
}

LiteralPrefix LiteralPrefixOf(const PatternProgram& program) {
  LiteralPrefix prefix;
  size_t i = 0;
  if (!program.empty() && program[0] == kOpAnchor) {
    prefix.anchored = true;
    i = 1;
  }
  // Every construct begins with its operation cell, so the characters
  // before the first operation are matched in order by every match.
  for (;
       i < program.size() && program[i] != kEndCell &&
       !IsOperation(program[i]) && AppendBytesOfCode(program[i], &prefix.bytes);
       ++i) {
  }
  return prefix;
}

}  // namespace vu32
