// The matcher: a depth-first backtracking search over the compiled cells,
// with its choice points on an explicit stack on the heap (never on the
// call stack). They are pushed so that they are tried in the order that
// decides which match is reported:
//
//   alternation   L first, then R
//   star, option  a pass of X first, then the rest after the construct
//   star/plus     at the end of a pass that consumed something: another
//     (back)      pass first, then the rest; a pass that consumed nothing
//                 ends the repetition
//
// The empty-pass test needs, per repetition, the position where its current
// pass began; those positions live in one array and every change is logged
// on the stack, so backtracking restores them as a recursive search would.
//
// Failure memo. Nested repetitions such as (a*)*b can take exponential time
// on a long line. After a search has taken many more steps than the line
// has characters, states known to fail are remembered and not tried again.
// A state is the cell, the position and - because the back cell of a
// repetition compares the position with the start of the current pass - for
// each repetition around the cell, whether its current pass began at this
// very position (an earlier start can never equal a later position). Pass
// starts only grow inward, so those that equal the position are always the
// innermost few, and a count k of them is the whole key: (cell, position,
// k). k is kept up to date on every move (a pass starting adds one, an
// empty pass ending takes one off, consuming a character clears it), so it
// costs nothing to know. No state can lead back to itself (a cycle would
// need a pass that consumed nothing to start another), so a state met again
// has been fully tried and failed. The memo holds across starting
// positions: whether a state can reach the end cell does not depend on
// where the match began. Only states at the cells where ways join are kept
// (after a repetition or an alternation, and the back cells where passes
// loop): between two such cells a search follows one way, so that bounds
// the work while the memo stays two bits per state met.
//
// Memory: the stack holds a few entries per character of the line (one-
// character repetitions such as .* take one entry per scan, not per pass);
// only repetitions nested thousands deep need more - the square of the
// nesting - and past a limit the search gives up. The memo grows with the
// states met, without a cap: forgetting states would bring the exponential
// time back. When memory runs out, or the memo reaches the limit it was
// given, the search gives up and says so; it never reports a line it could
// not finish as one that does not match.
#include "pattern/match.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pattern/memo.h"
#include "pattern/pattern.h"
#include "pattern/program.h"

namespace vu32 {
namespace {

// The codes of a line, converted only as far as the search has looked: an
// anchored pattern reads a few characters of a long line.
class LineCodes {
 public:
  void Reset(const char* text) {
    next_ = reinterpret_cast<const unsigned char*>(text);
    codes_.clear();
    complete_ = false;
  }

  // The code at position `p`; 0 at and past the end of the line.
  uint16_t At(size_t p) {
    if (p < codes_.size()) return codes_[p];
    return Extend(p);
  }

  size_t converted() const { return codes_.size(); }
  const std::vector<uint16_t>& codes() const { return codes_; }

  void Trim(size_t max_capacity) {
    if (codes_.capacity() > max_capacity) std::vector<uint16_t>().swap(codes_);
  }

 private:
  uint16_t Extend(size_t p) {
    if (complete_) return 0;
    // Grow geometrically, so that a scan to the end costs linear time.
    size_t want = std::max({p + 1, codes_.size() * 2, size_t{16}});
    codes_.reserve(want);
    while (codes_.size() < want) {
      uint16_t c = ReadTextChar(&next_);
      if (c == 0) {
        complete_ = true;
        break;
      }
      codes_.push_back(c);
    }
    return p < codes_.size() ? codes_[p] : 0;
  }

  const unsigned char* next_ = nullptr;
  std::vector<uint16_t> codes_;
  bool complete_ = false;
};

// The first byte of the characters whose code is `code` (not 0, low byte
// not 0): the byte itself, or the lead byte of the code's row.
unsigned char FirstByteOf(uint16_t code) {
  if (code < 0x100) return static_cast<unsigned char>(code);
  unsigned row = code >> 8;
  return static_cast<unsigned char>(((row + 1) >> 1) +
                                    (row <= 0x5E ? 0x70 : 0xB0));
}

// Whether `program` cannot match `text`, seen without a search. A pattern
// that begins with a character can only match where that character stands.
// Most lines are refused here, before any setup: for an anchored pattern by
// the first character of the line, for another by the absence of the
// character's first byte anywhere in the line.
bool RefusedAtOnce(const char* text, const PatternProgram& program) {
  const bool anchored = program[0] == kOpAnchor;
  const uint16_t first = program[anchored ? 1 : 0];
  if (first == kEndCell || IsOperation(first)) return false;
  // No text character has a code whose low byte is 0.
  if ((first & 0xFF) == 0) return true;
  if (anchored) {
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    return ReadTextChar(&at) != first;
  }
  return std::strchr(text, static_cast<char>(FirstByteOf(first))) == nullptr;
}

constexpr size_t kNoCell = SIZE_MAX;

// The cell where ways join that the operation at `i` makes, or kNoCell: the
// cell after a repetition (reached by skipping it or by leaving it), a
// back cell of a star or plus (where passes loop), and the cell after an
// alternation (where the jump at the end of L leads).
size_t JoinMadeBy(const PatternProgram& program, size_t i) {
  switch (ClassOfOperation(program[i])) {
    case kClassStar:
    case kClassPlus:
    case kClassOption:
      if (OffsetDistance(program, i + 1) > 0) return Target(program, i + 1);
      return program[i] == kOpOption ? kNoCell : i;
    case kClassJump:
      return Target(program, i + 1);
    default:
      return kNoCell;
  }
}

// The instruction after the operation at `i` (a class's members are none).
size_t NextInstruction(const PatternProgram& program, size_t i) {
  switch (ClassOfOperation(program[i])) {
    case kClassBracket:
      return Target(program, i + 1);
    case kClassStar:
    case kClassPlus:
    case kClassOption:
    case kClassJump:
    case kClassBar:
      return AfterOffset(program, i + 1);
    default:
      return i + 1;
  }
}

// Where the search stands: the cell, the position, and k, the number of
// the innermost repetitions around the cell whose current pass began at
// this position (kept up to date on every move; see the memo above).
struct State {
  size_t cell;
  size_t pos;
  uint32_t k;
};

// k past this is not followed (a nesting of more than 2^28 repetitions);
// such states are not remembered.
constexpr uint32_t kUnknownK = (uint32_t{1} << 28) - 1;

uint32_t OneMore(uint32_t k) { return k >= kUnknownK - 1 ? kUnknownK : k + 1; }
uint32_t OneLess(uint32_t k) { return k == kUnknownK ? kUnknownK : k - 1; }

}  // namespace

namespace pattern_internal {

class Backtracker {
 public:
  Backtracker(const MatchLimits& limits, const MatchTuning& tuning)
      : limits_(limits), tuning_(tuning), memo_(limits.max_memo_bytes) {}

  MatchOutcome Match(const char* text, const PatternProgram& program,
                     MatchResult* result);

 private:
  enum class Step { kContinue, kFail, kSuccess, kGiveUp };

  struct Frame {
    enum Kind : uint32_t {
      kChoice,        // resume at `cell`, position a
      kRestore,       // the pass start of the repetition whose X is `cell`
                      // goes back to b
      kRun,           // resume at `cell`, positions a, a-1, ..., b
      kLeaveForward,  // the star at `cell` tried its first pass: restore its
                      // pass start to b, resume after it at position a
      kLeaveBack,     // the back cell `cell` tried another pass: restore the
                      // pass start to b, resume after it at position a
    };
    uint32_t kind : 3;
    uint32_t k : 29;  // k to resume with (kRun: at position b)
    uint32_t cell;
    size_t a;
    size_t b;
  };

  void Prepare(const char* text, const PatternProgram& program);
  // Tries the starts from left to right; the first success wins.
  Step SearchFromEachStart(size_t* start, size_t* end);
  void FillResult(size_t start, size_t end, MatchResult* result) const;
  void ReleaseHugeScratch();
  // Runs the program from `cell` at text position `start` to the end cell
  // (success, *end set) or until every choice has failed.
  Step Search(size_t cell, size_t start, size_t* end);
  Step Execute(State* s);
  bool StackTooDeep();
  // A star, plus or option cell, forward (the first pass) or back (a pass
  // has just ended).
  Step Repeat(CellClass cls, State* s);
  Step EndOfPass(CellClass cls, State* s);
  // The passes of a repetition whose X is one character wide (a*, .+,
  // [ab]*), with `back` its back cell.
  Step RunOfOneWidePasses(CellClass cls, size_t x, size_t back, size_t after,
                          State* s);
  bool Backtrack(State* s);
  bool ClassHas(size_t cell, uint16_t code) const;
  bool MatchesOne(size_t cell, uint16_t code) const;
  size_t OneWideBack(size_t forward, size_t x) const;

  void Push(Frame::Kind kind, size_t cell, uint32_t k, size_t a, size_t b) {
    stack_.push_back({kind, k, static_cast<uint32_t>(cell), a, b});
  }

  void CountStep() {
    if (++steps_ > step_budget_) MaybeEnableMemo();
  }
  void MaybeEnableMemo();
  void EnableMemo();
  // Numbers the cells where ways join in join_ (the only cells whose states
  // are remembered: between two of them a search follows one way); returns
  // how many there are.
  uint32_t NumberJoins();
  // Whether the state is known to fail (kSeen); remembers it when it is a
  // state worth remembering.
  FailureMemo::Answer Recall(size_t cell, size_t pos, uint32_t k) {
    const uint32_t join = join_[cell];
    if (join == kNotJoin || k == kUnknownK) return FailureMemo::kNew;
    return memo_.Check(join, cell, pos, k);
  }

  static constexpr uint32_t kNotJoin = UINT32_MAX;

  const MatchLimits limits_;
  const MatchTuning tuning_;
  const PatternProgram* program_ = nullptr;
  LineCodes text_;
  std::vector<Frame> stack_;
  // By the first cell of X: where the current pass of that star or plus
  // began.
  std::vector<size_t> pass_start_;

  size_t steps_ = 0;
  size_t step_budget_ = 0;
  size_t stack_limit_ = 0;
  bool memo_on_ = false;
  // By cell: its number among the cells whose states are remembered, or
  // kNotJoin.
  std::vector<uint32_t> join_;
  FailureMemo memo_;
};

// The search runs without the memo while its steps stay below this budget,
// so that ordinary lines pay nothing for it.
constexpr size_t kBaseBudget = 4096;
constexpr size_t kBudgetPerChar = 8;

MatchOutcome Backtracker::Match(const char* text, const PatternProgram& program,
                                MatchResult* result) {
  if (text == nullptr) text = "";
  if (program.empty() || RefusedAtOnce(text, program)) {
    return MatchOutcome::kNoMatch;
  }
  size_t start = 0;
  size_t end = 0;
  Step outcome = Step::kGiveUp;
  try {
    Prepare(text, program);
    outcome = SearchFromEachStart(&start, &end);
  } catch (const std::bad_alloc&) {
    // The line's codes, the stack or the memo could not grow: the search
    // cannot tell, which is what giving up says. Everything is set afresh
    // by the next call's Prepare.
  }
  if (outcome == Step::kSuccess && result != nullptr) {
    FillResult(start, end, result);
  }
  ReleaseHugeScratch();
  switch (outcome) {
    case Step::kSuccess:
      return MatchOutcome::kMatch;
    case Step::kGiveUp:
      return MatchOutcome::kGaveUp;
    default:
      return MatchOutcome::kNoMatch;
  }
}

void Backtracker::Prepare(const char* text, const PatternProgram& program) {
  program_ = &program;
  text_.Reset(text);
  if (pass_start_.size() < program.size()) pass_start_.resize(program.size());
  steps_ = 0;
  step_budget_ = kBaseBudget;
  stack_limit_ = limits_.min_stack_entries;
  memo_on_ = false;
  if (tuning_.memo_from_start) EnableMemo();
}

Backtracker::Step Backtracker::SearchFromEachStart(size_t* start, size_t* end) {
  const PatternProgram& program = *program_;
  *start = 0;
  if (program[0] == kOpAnchor) return Search(1, 0, end);
  const uint16_t first = program[0];
  // Starts where the first cell (a character, `.` or a class) cannot match
  // are passed over without a search.
  const bool one_wide =
      first != kEndCell &&
      (!IsOperation(first) || first == kOpAny || first == kOpClass);
  // A pattern that begins with .* or .+ can reach from a start every state
  // that a later start reaches (the extra characters are taken by the
  // dots), so if the first start fails, all do.
  const bool dots_first = (first == kOpStar || first == kOpPlus) &&
                          program[AfterOffset(program, 1)] == kOpAny &&
                          OneWideBack(0, AfterOffset(program, 1)) != 0;
  for (size_t s = 0;; ++s) {
    const uint16_t code = text_.At(s);
    if (!one_wide || (code != 0 && MatchesOne(0, code))) {
      const Step outcome = Search(0, s, end);
      if (outcome != Step::kFail || dots_first) {
        *start = s;
        return outcome;
      }
    }
    if (code == 0) return Step::kFail;
  }
}

void Backtracker::FillResult(size_t start, size_t end,
                             MatchResult* result) const {
  const std::vector<uint16_t>& codes = text_.codes();
  size_t start_bytes = 0;
  size_t length_bytes = 0;
  for (size_t k = 0; k < start; ++k) start_bytes += codes[k] < 0x100 ? 1 : 2;
  for (size_t k = start; k < end; ++k) length_bytes += codes[k] < 0x100 ? 1 : 2;
  // Counts past 32 bits (a line of 4 GiB) wrap; the split does not read
  // them.
  result->start_bytes = static_cast<uint32_t>(start_bytes);
  result->start_chars = static_cast<uint32_t>(start);
  result->length_bytes = static_cast<uint32_t>(length_bytes);
  result->length_chars = static_cast<uint32_t>(end - start);
}

void Backtracker::ReleaseHugeScratch() {
  // Keep the scratch space of ordinary lines for the next call, not that of
  // a huge one.
  constexpr size_t kKeep = size_t{1} << 20;
  text_.Trim(kKeep);
  if (stack_.capacity() > kKeep / 8) std::vector<Frame>().swap(stack_);
  if (pass_start_.capacity() > kKeep) std::vector<size_t>().swap(pass_start_);
  memo_.Trim();
}

Backtracker::Step Backtracker::Search(size_t cell, size_t start, size_t* end) {
  stack_.clear();
  State s{cell, start, 0};
  for (;;) {
    switch (Execute(&s)) {
      case Step::kContinue:
        if (stack_.size() > stack_limit_ && StackTooDeep()) {
          return Step::kGiveUp;
        }
        break;
      case Step::kSuccess:
        *end = s.pos;
        return Step::kSuccess;
      case Step::kFail:
        if (!Backtrack(&s)) return Step::kFail;
        break;
      case Step::kGiveUp:
        return Step::kGiveUp;
    }
  }
}

bool Backtracker::StackTooDeep() {
  // Ordinary patterns keep a few entries per character of the line; only
  // repetitions nested thousands deep, each making empty passes inside all
  // the outer ones, need far more (the square of the nesting).
  constexpr size_t kPerChar = 16;
  stack_limit_ =
      std::max(limits_.min_stack_entries, kPerChar * (text_.converted() + 1));
  return stack_.size() > stack_limit_;
}

Backtracker::Step Backtracker::Execute(State* s) {
  CountStep();
  size_t& i = s->cell;
  size_t& p = s->pos;
  if (memo_on_) {
    const FailureMemo::Answer known = Recall(i, p, s->k);
    if (known == FailureMemo::kSeen) return Step::kFail;
    if (known == FailureMemo::kFull) return Step::kGiveUp;
  }
  const PatternProgram& program = *program_;
  uint16_t c = program[i];
  if (c == kEndCell) return Step::kSuccess;
  if (!IsOperation(c)) {
    if (text_.At(p) != c) return Step::kFail;
    ++i;
    ++p;
    s->k = 0;
    return Step::kContinue;
  }
  CellClass cls = ClassOfOperation(c);
  switch (cls) {
    case kClassDollar:
      if (program[i + 1] == kEndCell) {  // the end anchor
        if (text_.At(p) != 0) return Step::kFail;
        ++i;
        return Step::kContinue;
      }
      if (text_.At(p) != '$') return Step::kFail;
      ++i;
      ++p;
      s->k = 0;
      return Step::kContinue;
    case kClassAny:
      if (text_.At(p) == 0) return Step::kFail;
      ++i;
      ++p;
      s->k = 0;
      return Step::kContinue;
    case kClassBracket: {
      uint16_t code = text_.At(p);
      if (code == 0 || !ClassHas(i, code)) return Step::kFail;
      i = Target(program, i + 1);
      ++p;
      s->k = 0;
      return Step::kContinue;
    }
    case kClassBar:
      Push(Frame::kChoice, Target(program, i + 1), s->k, p, 0);
      i = AfterOffset(program, i + 1);
      return Step::kContinue;
    case kClassJump:
      i = Target(program, i + 1);
      return Step::kContinue;
    case kClassStar:
    case kClassPlus:
    case kClassOption:
      return Repeat(cls, s);
    default:
      return Step::kFail;  // no such cell comes from the compiler
  }
}

Backtracker::Step Backtracker::Repeat(CellClass cls, State* s) {
  const PatternProgram& program = *program_;
  const size_t offset = s->cell + 1;
  if (OffsetDistance(program, offset) < 0) return EndOfPass(cls, s);
  const size_t x = AfterOffset(program, offset);
  const size_t after = Target(program, offset);
  if (cls == kClassOption) {
    Push(Frame::kChoice, after, s->k, s->pos, 0);
    s->cell = x;
    return Step::kContinue;
  }
  if (tuning_.compress_runs) {
    if (const size_t back = OneWideBack(s->cell, x); back != 0) {
      return RunOfOneWidePasses(cls, x, back, after, s);
    }
  }
  // The first pass of a star may be left out; that of a plus may not, so
  // all that has to be undone on its failure is its pass start.
  if (cls == kClassStar) {
    Push(Frame::kLeaveForward, s->cell, s->k, s->pos, pass_start_[x]);
  } else {
    Push(Frame::kRestore, x, 0, 0, pass_start_[x]);
  }
  pass_start_[x] = s->pos;
  s->cell = x;
  s->k = OneMore(s->k);
  return Step::kContinue;
}

Backtracker::Step Backtracker::EndOfPass(CellClass cls, State* s) {
  const PatternProgram& program = *program_;
  const size_t x = Target(program, s->cell + 1);
  const size_t after = AfterOffset(program, s->cell + 1);
  if (cls == kClassOption) {
    s->cell = after;
    return Step::kContinue;
  }
  if (s->pos == pass_start_[x]) {
    // A pass that consumed nothing ends the repetition; this one is no
    // longer around the cell, and it was counted in k.
    s->cell = after;
    s->k = OneLess(s->k);
    return Step::kContinue;
  }
  // The pass began before the position, so none around began there: k is
  // 0 before this pass, 1 with it.
  Push(Frame::kLeaveBack, s->cell, 0, s->pos, pass_start_[x]);
  pass_start_[x] = s->pos;
  s->cell = x;
  s->k = 1;
  return Step::kContinue;
}

Backtracker::Step Backtracker::RunOfOneWidePasses(CellClass cls, size_t x,
                                                  size_t back, size_t after,
                                                  State* s) {
  // Every pass takes exactly one character and leaves no choice inside, so
  // the passes are one scan, and the ways left are "continue after the
  // construct" at each position reached, the last one first.
  const size_t p = s->pos;
  size_t q = p;
  for (;;) {
    const uint16_t code = text_.At(q);
    if (code == 0 || !MatchesOne(x, code)) break;
    // The back cell at q + 1 ends a pass that began at q, and every
    // repetition around began before: k = 0.
    if (memo_on_) {
      const FailureMemo::Answer known = Recall(back, q + 1, 0);
      if (known == FailureMemo::kFull) return Step::kGiveUp;
      if (known == FailureMemo::kSeen) break;
    }
    ++q;
    CountStep();
  }
  const size_t low = cls == kClassPlus ? p + 1 : p;
  if (q < low) return Step::kFail;
  const uint32_t k_at_low = low == p ? s->k : 0;
  if (q > low) Push(Frame::kRun, after, k_at_low, q - 1, low);
  s->cell = after;
  if (q != p) s->k = 0;
  s->pos = q;
  return Step::kContinue;
}

bool Backtracker::Backtrack(State* s) {
  const PatternProgram& program = *program_;
  while (!stack_.empty()) {
    Frame& f = stack_.back();
    s->k = f.k;
    switch (f.kind) {
      case Frame::kRestore:
        pass_start_[f.cell] = f.b;
        stack_.pop_back();
        continue;
      case Frame::kChoice:
        s->cell = f.cell;
        s->pos = f.a;
        stack_.pop_back();
        return true;
      case Frame::kRun:
        s->cell = f.cell;
        s->pos = f.a;
        if (f.a == f.b) {
          stack_.pop_back();
        } else {
          s->k = 0;
          --f.a;
        }
        return true;
      case Frame::kLeaveForward:
        pass_start_[AfterOffset(program, f.cell + 1)] = f.b;
        s->cell = Target(program, f.cell + 1);
        s->pos = f.a;
        stack_.pop_back();
        return true;
      case Frame::kLeaveBack:
        pass_start_[Target(program, f.cell + 1)] = f.b;
        s->cell = AfterOffset(program, f.cell + 1);
        s->pos = f.a;
        stack_.pop_back();
        return true;
    }
  }
  return false;
}

bool Backtracker::ClassHas(size_t cell, uint16_t code) const {
  const PatternProgram& program = *program_;
  size_t j = AfterOffset(program, cell + 1);
  size_t end = Target(program, cell + 1) - 1;  // the class's end cell
  bool negated = j < end && program[j] == kNegateMember;
  if (negated) ++j;
  bool hit = false;
  while (j < end && !hit) {
    if (program[j] == kOpRange) {
      uint16_t low = std::min(program[j + 1], program[j + 2]);
      uint16_t high = std::max(program[j + 1], program[j + 2]);
      hit = low <= code && code <= high;
      j += 3;
    } else {
      hit = program[j] == code;
      ++j;
    }
  }
  return hit != negated;
}

bool Backtracker::MatchesOne(size_t cell, uint16_t code) const {
  uint16_t c = (*program_)[cell];
  if (!IsOperation(c)) return c == code;
  switch (ClassOfOperation(c)) {
    case kClassAny:
      return true;
    case kClassDollar:
      return code == '$';  // never last inside a repetition
    case kClassBracket:
      return ClassHas(cell, code);
    default:
      return false;
  }
}

size_t Backtracker::OneWideBack(size_t forward, size_t x) const {
  const PatternProgram& program = *program_;
  uint16_t c = program[x];
  size_t end;
  if (c == kEndCell) return 0;
  if (!IsOperation(c)) {
    end = x + 1;
  } else {
    switch (ClassOfOperation(c)) {
      case kClassAny:
      case kClassDollar:
        end = x + 1;
        break;
      case kClassBracket:
        end = Target(program, x + 1);
        break;
      default:
        return 0;
    }
  }
  // X is that one construct when the repetition's back cell follows it.
  if (program[end] != program[forward]) return 0;
  if (OffsetDistance(program, end + 1) >= 0) return 0;
  if (Target(program, end + 1) != x) return 0;
  return end;
}

void Backtracker::MaybeEnableMemo() {
  if (memo_on_) {
    step_budget_ = SIZE_MAX;
    return;
  }
  step_budget_ = kBaseBudget + kBudgetPerChar * text_.converted();
  if (steps_ > step_budget_) EnableMemo();
}

void Backtracker::EnableMemo() {
  memo_on_ = true;
  step_budget_ = SIZE_MAX;
  memo_.Reset(NumberJoins());
}

uint32_t Backtracker::NumberJoins() {
  const PatternProgram& program = *program_;
  join_.assign(program.size(), kNotJoin);
  uint32_t joins = 0;
  size_t i = 0;
  while (i < program.size() && program[i] != kEndCell) {
    if (!IsOperation(program[i])) {
      ++i;
      continue;
    }
    const size_t join = JoinMadeBy(program, i);
    if (join != kNoCell && join_[join] == kNotJoin) join_[join] = joins++;
    i = NextInstruction(program, i);
  }
  return joins;
}

}  // namespace pattern_internal

Matcher::Matcher(const MatchLimits& limits, const MatchTuning& tuning)
    : backtracker_(
          std::make_unique<pattern_internal::Backtracker>(limits, tuning)) {}

Matcher::~Matcher() = default;

MatchOutcome Matcher::Match(const char* text, const PatternProgram& program,
                            MatchResult* result) {
  return backtracker_->Match(text, program, result);
}

MatchOutcome MatchPattern(MatchResult* result, const char* text,
                          const PatternProgram& program) {
  return Matcher().Match(text, program, result);
}

MatchOutcome MatchPattern(MatchResult* result, const char* text,
                          const char* pattern) {
  return MatchPattern(result, text,
                      CompilePattern(pattern != nullptr ? pattern : ""));
}

}  // namespace vu32
