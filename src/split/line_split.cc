#include "split/line_split.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "filters/scan.h"
#include "pattern/match.h"
#include "pattern/pattern.h"
#include "support/byte_stream.h"
#include "support/messages.h"

namespace vu32 {
namespace {

// The open piece and its number, moved on to the next piece on demand.
class PieceSequence {
 public:
  explicit PieceSequence(const SplitContext& context)
      : context_(context), piece_(context) {}

  bool OpenFirst() { return piece_.Open(0); }

  // Finishes the open piece and opens the next; going past the highest
  // number the digits allow ends the run like any other failure.
  bool Next() {
    if (!piece_.Close()) return false;
    if (++number_ > context_.max_piece_number) {
      Report(kPiecesTooSmall);
      return false;
    }
    return piece_.Open(number_);
  }

  PieceWriter& piece() { return piece_; }

  // Closes the last piece and reports a read error, if the input had one.
  // False after a reported failure.
  bool Finish(const ByteReader& reader) {
    bool ok = piece_.Close();
    if (reader.failed()) {
      Report(kReadFailed, context_.input_name);
      ok = false;
    }
    return ok;
  }

 private:
  const SplitContext& context_;
  PieceWriter piece_;
  uint32_t number_ = 0;
};

// Bytes whose LFs one call of the kernel marks.
constexpr size_t kWindow = 4096;

// The last LF in s[0, n), or null. An LF is never part of a two-byte
// character, so it can be looked for backwards.
const uint8_t* LastLf(const uint8_t* s, size_t n) {
  while (n > 0) {
    if (s[--n] == '\n') return s + n;
  }
  return nullptr;
}

// How far s[0, n) reaches through its `*left`-th LF (*left >= 1): just past
// it, with *left set to 0; n when fewer follow, with *left lowered by those.
// The kernel counts the LFs of a window at a time; only the window that
// holds the one sought is looked into, a word of its masks at a time.
size_t PastLfs(const uint8_t* s, size_t n, uint64_t* left) {
  for (size_t at = 0; at < n; at += kWindow) {
    const size_t len = std::min(kWindow, n - at);
    const uint64_t count = scan::Active().count_byte(s + at, len, '\n');
    if (count < *left) {
      *left -= count;
      continue;
    }
    uint64_t bits[kWindow / 64];
    scan::Active().find_byte(s + at, len, '\n', bits);
    for (size_t w = 0;; ++w) {
      uint64_t word = bits[w];
      const auto in_word = static_cast<uint64_t>(std::popcount(word));
      if (in_word < *left) {
        *left -= in_word;
        continue;
      }
      for (; *left > 1; --*left) word &= word - 1;
      *left = 0;
      return at + 64 * w + static_cast<size_t>(std::countr_zero(word)) + 1;
    }
  }
  return n;
}

// Without a pattern a line opens a new piece when the open one already has
// n lines and the line is complete (ends in LF). The kernel counts the LFs
// of each block, and the bytes between cuts are written as they lie in the
// block; only a line that starts a piece and reaches past its block is
// gathered, to learn whether it is complete.
bool SplitEveryNLines(const SplitContext& context, uint64_t n) {
  ByteReader reader(context.input_fd, context.line_block_size);
  PieceSequence pieces(context);
  if (!pieces.OpenFirst()) return false;
  PieceWriter& piece = pieces.piece();

  uint64_t lines = 0;     // complete lines in the open piece
  std::string undecided;  // start of a line that may open the next piece
  bool deciding = false;
  const uint8_t* block;
  while (size_t len = reader.NextBlock(&block)) {
    size_t pos = 0;
    if (deciding) {
      const void* lf = std::memchr(block, '\n', len);
      pos = lf ? static_cast<const uint8_t*>(lf) - block + 1 : len;
      undecided.append(reinterpret_cast<const char*>(block), pos);
      if (!lf) continue;
      if (!pieces.Next()) return false;
      piece.Write(undecided.data(), undecided.size());
      undecided.clear();
      deciding = false;
      lines = 1;
    }
    while (pos < len) {
      if (lines == n) {
        if (!std::memchr(block + pos, '\n', len - pos)) {
          undecided.assign(reinterpret_cast<const char*>(block + pos),
                           len - pos);
          deciding = true;
          break;
        }
        if (!pieces.Next()) return false;
        lines = 0;
      }
      uint64_t left = n - lines;
      const size_t end = pos + PastLfs(block + pos, len - pos, &left);
      lines = n - left;
      piece.Write(block + pos, end - pos);
      pos = end;
    }
    if (piece.failed()) break;
  }
  // A last line without LF never opens a piece.
  if (deciding) piece.Write(undecided.data(), undecided.size());
  return pieces.Finish(reader);
}

// Where a literal stands in a run of whole lines, in order: found 64
// places at a time from the kernel's masks of its first and its last byte,
// then compared whole (and, when anchored, only at a line's start).
class LiteralFinder {
 public:
  explicit LiteralFinder(const LiteralPrefix& literal) : literal_(literal) {}

  // Looks in s[from, to), which begins a line and ends with an LF.
  void Reset(const uint8_t* s, size_t from, size_t to) {
    s_ = s;
    from_ = from;
    // The literal holds no LF, so it lies inside one line.
    last_ = to - from >= size() ? to - size() + 1 : from;
    window_ = window_end_ = from;
  }

  // The first place at or after `at` where the literal stands; `to` of the
  // last Reset when there is none.
  size_t Next(size_t at, size_t to) {
    while (at < last_) {
      if (at < window_ || at >= window_end_) Fill(at);
      const size_t first_word = (at - window_) / 64;
      for (size_t w = first_word; w < words_; ++w) {
        uint64_t word = bits_[w];
        if (w == first_word) word &= ~uint64_t{0} << ((at - window_) % 64);
        for (; word != 0; word &= word - 1) {
          const size_t i =
              window_ + 64 * w + static_cast<size_t>(std::countr_zero(word));
          if (Holds(i)) return i;
        }
      }
      at = window_end_;
    }
    return to;
  }

 private:
  size_t size() const { return literal_.bytes.size(); }

  void Fill(size_t at) {
    window_ = at;
    window_end_ = std::min(at + kWindow, last_);
    const size_t n = window_end_ - window_;
    const auto& bytes = literal_.bytes;
    scan::Active().find_byte(s_ + at, n, static_cast<uint8_t>(bytes[0]), bits_);
    words_ = (n + 63) / 64;
    if (size() > 1) {
      uint64_t last[kWindow / 64];
      scan::Active().find_byte(s_ + at + size() - 1, n,
                               static_cast<uint8_t>(bytes.back()), last);
      for (size_t w = 0; w < words_; ++w) bits_[w] &= last[w];
    }
  }

  bool Holds(size_t i) const {
    return std::memcmp(s_ + i, literal_.bytes.data(), size()) == 0 &&
           (!literal_.anchored || i == from_ || s_[i - 1] == '\n');
  }

  const LiteralPrefix& literal_;
  const uint8_t* s_ = nullptr;
  size_t from_ = 0;
  size_t last_ = 0;  // places from here on leave no room for the literal
  size_t window_ = 0;
  size_t window_end_ = 0;
  size_t words_ = 0;
  uint64_t bits_[kWindow / 64];
};

// Cuts at matching lines. The matcher is asked only about lines that hold
// `literal` (every line when it is empty): the others cannot match, and are
// written as they lie in the block, many lines at once.
class MatchCutter {
 public:
  MatchCutter(const SplitContext& context, uint64_t n,
              const LineMatcher& matches, const LiteralPrefix& literal)
      : context_(context),
        n_(n),
        matches_(matches),
        literal_(literal),
        reader_(context.input_fd, context.line_block_size),
        pieces_(context),
        finder_(literal) {}

  bool Run() {
    if (!pieces_.OpenFirst()) return false;
    const uint8_t* block;
    while (size_t len = reader_.NextBlock(&block)) {
      if (!Block(block, len)) return ok_;
    }
    if (!partial_.empty() && !Line(partial_, Holds(partial_))) return ok_;
    return pieces_.Finish(reader_);
  }

 private:
  // False when the run ends; ok_ says how.
  bool Block(const uint8_t* block, size_t len) {
    size_t pos = 0;
    if (!partial_.empty()) {
      // The rest of a line that an earlier block began.
      const void* lf = std::memchr(block, '\n', len);
      pos = lf ? static_cast<const uint8_t*>(lf) - block + 1 : len;
      partial_.append(reinterpret_cast<const char*>(block), pos);
      if (!lf) return true;
      if (!Line(partial_, Holds(partial_))) return false;
      partial_.clear();
    }
    // The whole lines of the block, then the start of one it cuts.
    const uint8_t* last_lf = LastLf(block + pos, len - pos);
    const size_t whole = last_lf ? last_lf - block + 1 : pos;
    if (literal_.bytes.empty()) {
      while (pos < whole) {
        const size_t end = static_cast<const uint8_t*>(
                               std::memchr(block + pos, '\n', whole - pos)) -
                           block + 1;
        if (!Line(block + pos, end - pos, true)) return false;
        pos = end;
      }
    } else {
      finder_.Reset(block, pos, whole);
      while (pos < whole) {
        const size_t at = finder_.Next(pos, whole);
        size_t start = at;
        if (!literal_.anchored && at < whole) {
          const uint8_t* lf = LastLf(block + pos, at - pos);
          start = lf ? lf - block + 1 : pos;
        }
        Lines(block + pos, start - pos);
        if (at == whole) break;
        const size_t end = static_cast<const uint8_t*>(
                               std::memchr(block + at, '\n', whole - at)) -
                           block + 1;
        if (!Line(block + start, end - start, true)) return false;
        pos = end;
      }
    }
    partial_.assign(reinterpret_cast<const char*>(block + whole), len - whole);
    if (pieces_.piece().failed()) return Stop(pieces_.Finish(reader_));
    return true;
  }

  // Whole lines that cannot match, written as they are.
  void Lines(const uint8_t* p, size_t size) {
    if (size == 0) return;
    line_number_ += scan::Active().count_byte(p, size, '\n');
    pieces_.piece().Write(p, size);
  }

  bool Line(const std::string& line, bool candidate) {
    return Line(reinterpret_cast<const uint8_t*>(line.data()), line.size(),
                candidate);
  }

  // One line, its LF included (the last may have none), asked about when
  // it is a candidate and not the first: the first line of the input
  // begins the first unit and is never tested, so a match there does not
  // leave an empty piece in front of it.
  bool Line(const uint8_t* p, size_t size, bool candidate) {
    ++line_number_;
    MatchOutcome outcome = MatchOutcome::kNoMatch;
    if (candidate && line_number_ != 1) {
      line_.assign(reinterpret_cast<const char*>(p), size);
      outcome = matches_(line_);
    }
    if (outcome == MatchOutcome::kGaveUp) {
      // Taking the line for no match would cut the file elsewhere than
      // asked, with nothing said. The pieces written so far stay.
      Report(kPatternGaveUp,
             context_.input_name + ":" + std::to_string(line_number_));
      pieces_.Finish(reader_);
      return Stop(false);
    }
    if (outcome == MatchOutcome::kMatch) {
      if (units_ == n_) {
        if (!pieces_.Next()) return Stop(false);
        units_ = 1;
        if (!context_.keep_match_line) return true;
      } else {
        ++units_;
      }
    }
    pieces_.piece().Write(p, size);
    return true;
  }

  bool Holds(const std::string& line) const {
    if (literal_.anchored) return line.rfind(literal_.bytes, 0) == 0;
    return line.find(literal_.bytes) != std::string::npos;
  }

  // Ends the run, `ok` when it ended well.
  bool Stop(bool ok) {
    ok_ = ok;
    return false;
  }

  const SplitContext& context_;
  const uint64_t n_;
  const LineMatcher& matches_;
  const LiteralPrefix& literal_;
  ByteReader reader_;
  PieceSequence pieces_;
  LiteralFinder finder_;
  // Units begun in the open piece: a matching line and the lines after it.
  // The first line of the input begins the first unit.
  uint64_t units_ = 1;
  uint64_t line_number_ = 0;  // lines handled so far
  std::string partial_;       // the start of a line that the block cut
  std::string line_;          // a line for the matcher, NUL-terminated
  bool ok_ = true;
};

}  // namespace

bool SplitAtMatchingLines(const SplitContext& context, uint64_t n,
                          const LineMatcher& matches,
                          const LiteralPrefix& literal) {
  return MatchCutter(context, n, matches, literal).Run();
}

bool SplitByLines(const SplitContext& context, uint64_t n,
                  const std::string* pattern) {
  if (!pattern) return SplitEveryNLines(context, n);
  // Compiled once; the matcher keeps only scratch space between lines.
  const PatternProgram program = CompilePattern(*pattern);
  Matcher matcher;
  return SplitAtMatchingLines(
      context, n,
      [&](const std::string& line) {
        return matcher.Match(line.c_str(), program, nullptr);
      },
      LiteralPrefixOf(program));
}

}  // namespace vu32
