// The whole interface of this file is CompilePattern; everything else is
// private to it.
//
// The pattern is read left to right into a small tree of constructs, which
// is then laid out into cells. Laying out after parsing lets every offset be
// written once with its final width, and keeps the work linear: wrapping a
// construct in a repetition or an alternation never moves cells already
// written. Both stages use explicit stacks, so no pattern can exhaust the
// call stack.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/pattern.h"
#include "pattern/program.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

constexpr uint32_t kNone = UINT32_MAX;

// One character read from the pattern.
struct PatternChar {
  uint16_t code = 0;
  bool escaped = false;
  bool end = false;  // the pattern has ended (code is then 0)
};

// Reads the pattern character by character: one-byte characters, two-byte
// characters (SjisCharCode), and a lead byte as the last byte, which is a
// character of its own that no text character equals (lead * 256).
class PatternReader {
 public:
  explicit PatternReader(std::string_view pattern) : pattern_(pattern) {
    size_t nul = pattern_.find('\0');
    if (nul != std::string_view::npos) pattern_ = pattern_.substr(0, nul);
  }

  bool AtEnd() const { return pos_ >= pattern_.size(); }

  // The next character, unescaped; code 0 at the end.
  uint16_t Next() {
    if (AtEnd()) return 0;
    unsigned char c = Byte(pos_++);
    if (!SjisLeadByte(c)) return c;
    if (AtEnd()) return static_cast<uint16_t>(c << 8);
    return SjisCharCode(c, Byte(pos_++));
  }

  // Reads the next character, resolving an escape when it is a backslash.
  PatternChar NextMember() {
    uint16_t code = Next();
    if (code == 0) return {0, false, true};
    if (code != '\\') return {code, false, false};
    if (AtEnd()) return {0, true, true};  // a trailing backslash is dropped
    return {ReadEscape(), true, false};
  }

  // The character after a backslash (the pattern does not end there),
  // resolved. The value may be 0 or have the form of an operation (\x00,
  // \j2A00); callers decide what such a value stands for.
  uint16_t ReadEscape() {
    uint16_t c = Next();
    switch (c) {
      case 't':
      case 'T':
        return 0x09;
      case 'n':
      case 'N':
        return 0x0A;
      case 'r':
      case 'R':
        return 0x0D;
      case 'x':
      case 'X':
        return static_cast<uint16_t>(ReadHex(2));
      case 'j':
        return static_cast<uint16_t>(ReadHex(4));
      case 'J': {
        uint32_t v = ReadHex(4);
        unsigned char lead = static_cast<unsigned char>(v >> 8);
        unsigned char trail = static_cast<unsigned char>(v);
        if (lead == 0) return trail;
        if (!SjisLeadByte(lead)) return kNoChar;
        if (trail == 0) return static_cast<uint16_t>(lead << 8);
        return SjisCharCode(lead, trail);
      }
      default:
        if (c >= 'a' && c <= 'z') return static_cast<uint16_t>(c - 'a' + 'A');
        return c;
    }
  }

 private:
  unsigned char Byte(size_t i) const {
    return static_cast<unsigned char>(pattern_[i]);
  }

  // Up to `count` hexadecimal digits; stops before anything else (which is
  // then read as pattern text) and at the end of the pattern.
  uint32_t ReadHex(int count) {
    uint32_t value = 0;
    for (int k = 0; k < count && !AtEnd(); ++k) {
      unsigned char c = Byte(pos_);
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                         : -1;
      if (digit < 0) break;
      value = value * 16 + static_cast<uint32_t>(digit);
      ++pos_;
    }
    return value;
  }

  std::string_view pattern_;
  size_t pos_ = 0;
};

// A value used as a single cell: one that would read as the end cell or as
// an operation becomes kNoChar (neither can be the code of a text
// character, so the meaning is unchanged: it matches nothing).
uint16_t AsCharacterCell(uint16_t code) {
  return IsOperation(code) || code == 0 ? kNoChar : code;
}

// A parsed construct.
struct Node {
  enum Kind : uint8_t { kCell, kClass, kSequence, kAlternation, kRepetition };
  Kind kind = kCell;
  uint16_t cell = 0;              // kCell: the cell; kRepetition: the op
  uint32_t left = kNone;          // kRepetition: X; kAlternation: L
  uint32_t right = kNone;         // kAlternation: R
  std::vector<uint16_t> members;  // kClass
  std::vector<uint32_t> items;    // kSequence
  size_t size = 0;                // cells, once complete
  // Widths of the node's own offsets, once complete.
  size_t first_offset_width = 0;
  size_t second_offset_width = 0;
};

class Compiler {
 public:
  PatternProgram Compile(std::string_view pattern);

 private:
  enum class FrameKind { kTop, kGroup, kRight };
  // A sequence being read: the whole pattern, a group, or the right
  // alternative of an alternation (which runs to the group's end).
  struct Frame {
    FrameKind kind;
    uint32_t sequence;
    uint32_t alternation = kNone;  // kRight: the alternation it completes
  };

  // Grows nodes_, which may move every node and the `items` vectors they
  // own. So no reference into nodes_ is held across a call: callers reach
  // nodes again through their indices afterwards, which looks redundant but
  // is what keeps them from reading freed memory when nodes_ reallocates.
  uint32_t NewNode(Node::Kind kind) {
    nodes_.emplace_back();
    nodes_.back().kind = kind;
    return static_cast<uint32_t>(nodes_.size() - 1);
  }
  uint32_t NewCell(uint16_t cell) {
    uint32_t n = NewNode(Node::kCell);
    nodes_[n].cell = cell;
    nodes_[n].size = 1;
    return n;
  }
  void AddAtom(uint32_t node) {
    nodes_[frames_.back().sequence].items.push_back(node);
  }

  void Repeat(uint16_t op);
  void Alternate();
  // Closes the top frame; false when it was the whole pattern.
  bool CloseFrame();
  // A `)`: closes the innermost group; false when none is open.
  bool CloseGroup();
  uint32_t ParseClass(PatternReader* reader);
  void SizeRepetition(Node* node);
  void SizeAlternation(Node* node);
  void SizeSequence(Node* node);
  // Reads the construct that begins with `code`; false when it ends the
  // pattern (a `)` that closes no group).
  bool ReadConstruct(uint16_t code, PatternReader* reader);

  // Nodes still to write, each with the cell where it begins.
  using EmitWork = std::vector<std::pair<uint32_t, size_t>>;
  void Emit(uint32_t root, size_t at, PatternProgram* program) const;
  void EmitClass(const Node& node, size_t pos, PatternProgram* program) const;
  void EmitRepetition(const Node& node, size_t pos, PatternProgram* program,
                      EmitWork* work) const;
  void EmitAlternation(const Node& node, size_t pos, PatternProgram* program,
                       EmitWork* work) const;

  std::vector<Node> nodes_;
  std::vector<Frame> frames_;
};

void WriteOffset(PatternProgram* program, size_t at, size_t width,
                 int64_t distance) {
  if (width == 1) {
    (*program)[at] = static_cast<uint16_t>(static_cast<int16_t>(distance));
    return;
  }
  uint32_t raw = static_cast<uint32_t>(static_cast<int32_t>(distance));
  (*program)[at] = kLongOffset;
  (*program)[at + 1] = static_cast<uint16_t>(raw >> 16);
  (*program)[at + 2] = static_cast<uint16_t>(raw);
}

void Compiler::SizeRepetition(Node* node) {
  // op, offset1, X, op, offset2
  size_t x = nodes_[node->left].size;
  node->second_offset_width = OffsetWidth(-static_cast<int64_t>(x + 1));
  node->first_offset_width =
      OffsetWidth(static_cast<int64_t>(1 + x + 1 + node->second_offset_width));
  node->size = 1 + node->first_offset_width + x + 1 + node->second_offset_width;
}

void Compiler::SizeAlternation(Node* node) {
  // alt, offset1, L, jump, offset2, R
  size_t l = nodes_[node->left].size;
  size_t r = nodes_[node->right].size;
  node->second_offset_width = OffsetWidth(static_cast<int64_t>(1 + r));
  node->first_offset_width =
      OffsetWidth(static_cast<int64_t>(1 + l + 1 + node->second_offset_width));
  node->size =
      1 + node->first_offset_width + l + 1 + node->second_offset_width + r;
}

void Compiler::SizeSequence(Node* node) {
  node->size = 0;
  for (uint32_t item : node->items) node->size += nodes_[item].size;
}

void Compiler::Repeat(uint16_t op) {
  // An operator with nothing to wrap (no atom yet in this sequence, or an
  // empty group) is skipped; wrapping nothing would match the same texts.
  const uint32_t sequence = frames_.back().sequence;
  const std::vector<uint32_t>& items = nodes_[sequence].items;
  if (items.empty() || nodes_[items.back()].size == 0) return;
  const uint32_t x = items.back();
  // `items` may dangle from here on (see NewNode): index again.
  const uint32_t rep = NewNode(Node::kRepetition);
  nodes_[rep].cell = op;
  nodes_[rep].left = x;
  SizeRepetition(&nodes_[rep]);
  nodes_[sequence].items.back() = rep;
}

void Compiler::Alternate() {
  // A `|` with nothing before it in its sequence is ignored: `|a` is `a`.
  const uint32_t sequence = frames_.back().sequence;
  if (nodes_[sequence].items.empty()) return;
  const uint32_t left = NewNode(Node::kSequence);
  nodes_[left].items = std::move(nodes_[sequence].items);
  SizeSequence(&nodes_[left]);
  const uint32_t right = NewNode(Node::kSequence);
  const uint32_t alt = NewNode(Node::kAlternation);
  nodes_[alt].left = left;
  nodes_[alt].right = right;
  nodes_[sequence].items.assign(1, alt);
  frames_.push_back({FrameKind::kRight, right, alt});
}

bool Compiler::CloseFrame() {
  Frame frame = frames_.back();
  frames_.pop_back();
  SizeSequence(&nodes_[frame.sequence]);
  switch (frame.kind) {
    case FrameKind::kTop:
      return false;
    case FrameKind::kRight:
      SizeAlternation(&nodes_[frame.alternation]);
      return true;
    case FrameKind::kGroup:
      AddAtom(frame.sequence);
      return true;
  }
  return false;
}

bool Compiler::CloseGroup() {
  // The right alternatives end with their group.
  while (frames_.back().kind == FrameKind::kRight) CloseFrame();
  if (frames_.back().kind == FrameKind::kTop) return false;
  CloseFrame();
  return true;
}

uint32_t Compiler::ParseClass(PatternReader* reader) {
  uint32_t node = NewNode(Node::kClass);
  std::vector<uint16_t> members;
  // Index in `members` of the last member that can start a range, and its
  // value as written; kNone when the last thing read cannot start one.
  uint32_t range_start = kNone;
  uint16_t range_start_value = 0;
  bool range_operator = false;  // a `-` after range_start
  for (;;) {
    PatternChar ch = reader->NextMember();
    if (ch.end) break;  // closed by the end of the pattern
    if (!ch.escaped && ch.code == ']') break;
    if (!ch.escaped && ch.code == '-' && !range_operator) {
      if (range_start != kNone) {
        range_operator = true;
      } else {
        members.push_back('-');  // after a range, after `-`, or first
      }
      continue;
    }
    if (range_operator) {
      members[range_start] = kOpRange;
      members.push_back(range_start_value);
      members.push_back(ch.code);
      range_start = kNone;
      range_operator = false;
      continue;
    }
    // An escaped `-` can start a range, an unescaped one cannot (it was
    // handled above).
    range_start = static_cast<uint32_t>(members.size());
    range_start_value = ch.code;
    members.push_back(AsCharacterCell(ch.code));
  }
  // A range operator before `]` or the end is dropped.
  Node& n = nodes_[node];
  n.members = std::move(members);
  size_t m = n.members.size();
  n.first_offset_width = OffsetWidth(static_cast<int64_t>(1 + m + 1));
  n.size = 1 + n.first_offset_width + m + 1;
  return node;
}

PatternProgram Compiler::Compile(std::string_view pattern) {
  const bool anchored = !pattern.empty() && pattern[0] == '^';
  if (anchored) pattern.remove_prefix(1);
  PatternReader reader(pattern);
  const uint32_t top = NewNode(Node::kSequence);
  frames_.push_back({FrameKind::kTop, top});
  for (uint16_t code = reader.Next(); code != 0; code = reader.Next()) {
    if (!ReadConstruct(code, &reader)) break;
  }
  while (CloseFrame()) {
  }

  const size_t start = anchored ? 1 : 0;
  PatternProgram program(start + nodes_[top].size + 1, kEndCell);
  if (anchored) program[0] = kOpAnchor;
  Emit(top, start, &program);
  return program;
}

bool Compiler::ReadConstruct(uint16_t code, PatternReader* reader) {
  switch (ClassOfCharacter(code)) {
    case kClassEnd:
    case kClassOrdinary:
    case kClassJump:
      AddAtom(NewCell(code));
      break;
    case kClassDollar:
      AddAtom(NewCell(kOpDollar));
      break;
    case kClassAny:
      AddAtom(NewCell(kOpAny));
      break;
    case kClassOpen:
      frames_.push_back({FrameKind::kGroup, NewNode(Node::kSequence)});
      break;
    case kClassClose:
      return CloseGroup();
    case kClassStar:
      Repeat(kOpStar);
      break;
    case kClassPlus:
      Repeat(kOpPlus);
      break;
    case kClassOption:
      Repeat(kOpOption);
      break;
    case kClassBracket:
      AddAtom(ParseClass(reader));
      break;
    case kClassEscape:
      if (reader->AtEnd()) break;  // a trailing backslash is dropped
      AddAtom(NewCell(AsCharacterCell(reader->ReadEscape())));
      break;
    case kClassBar:
      Alternate();
      break;
  }
  return true;
}

void Compiler::Emit(uint32_t root, size_t at, PatternProgram* program) const {
  // Every node's place is known from the sizes, so the order of the work
  // does not matter.
  EmitWork work = {{root, at}};
  while (!work.empty()) {
    auto [index, pos] = work.back();
    work.pop_back();
    const Node& node = nodes_[index];
    switch (node.kind) {
      case Node::kCell:
        (*program)[pos] = node.cell;
        break;
      case Node::kClass:
        EmitClass(node, pos, program);
        break;
      case Node::kSequence:
        for (uint32_t item : node.items) {
          work.push_back({item, pos});
          pos += nodes_[item].size;
        }
        break;
      case Node::kRepetition:
        EmitRepetition(node, pos, program, &work);
        break;
      case Node::kAlternation:
        EmitAlternation(node, pos, program, &work);
        break;
    }
  }
}

void Compiler::EmitClass(const Node& node, size_t pos,
                         PatternProgram* program) const {
  PatternProgram& out = *program;
  out[pos] = kOpClass;
  const size_t w = node.first_offset_width;
  WriteOffset(program, pos + 1, w,
              static_cast<int64_t>(w + node.members.size() + 1));
  size_t j = pos + 1 + w;
  for (uint16_t m : node.members) out[j++] = m;
  out[j] = kEndCell;
}

void Compiler::EmitRepetition(const Node& node, size_t pos,
                              PatternProgram* program, EmitWork* work) const {
  const size_t w1 = node.first_offset_width;
  const size_t w2 = node.second_offset_width;
  const size_t x = nodes_[node.left].size;
  const size_t x_start = pos + 1 + w1;
  const size_t back = x_start + x;
  (*program)[pos] = node.cell;
  WriteOffset(program, pos + 1, w1, static_cast<int64_t>(w1 + x + 1 + w2));
  work->push_back({node.left, x_start});
  (*program)[back] = node.cell;
  WriteOffset(program, back + 1, w2, -static_cast<int64_t>(x + 1));
}

void Compiler::EmitAlternation(const Node& node, size_t pos,
                               PatternProgram* program, EmitWork* work) const {
  const size_t w1 = node.first_offset_width;
  const size_t w2 = node.second_offset_width;
  const size_t l = nodes_[node.left].size;
  const size_t r = nodes_[node.right].size;
  const size_t jump = pos + 1 + w1 + l;
  (*program)[pos] = kOpAlt;
  WriteOffset(program, pos + 1, w1, static_cast<int64_t>(w1 + l + 1 + w2));
  work->push_back({node.left, pos + 1 + w1});
  (*program)[jump] = kOpJump;
  WriteOffset(program, jump + 1, w2, static_cast<int64_t>(w2 + r));
  work->push_back({node.right, jump + 1 + w2});
}

}  // namespace

PatternProgram CompilePattern(std::string_view pattern) {
  return Compiler().Compile(pattern);
}

}  // namespace vu32
