#include "split/line_split.h"

#include <cstring>
#include <string>

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

// Without a pattern a line opens a new piece when the open one already has
// n lines and the line is complete (ends in LF). The blocks are scanned for
// LFs and written out in runs, not line by line; only a line that starts a
// piece and reaches past its block is gathered, to learn whether it is
// complete.
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
    while (pos < len) {
      const uint8_t* at = block + pos;
      if (deciding) {
        const void* lf = std::memchr(at, '\n', len - pos);
        size_t take = lf ? static_cast<const uint8_t*>(lf) - at + 1 : len - pos;
        undecided.append(reinterpret_cast<const char*>(at), take);
        pos += take;
        if (!lf) break;
        if (!pieces.Next()) return false;
        piece.Write(undecided.data(), undecided.size());
        undecided.clear();
        deciding = false;
        lines = 1;
        continue;
      }
      if (lines == n) {
        if (!std::memchr(at, '\n', len - pos)) {
          deciding = true;
          continue;
        }
        if (!pieces.Next()) return false;
        lines = 0;
      }
      size_t start = pos;
      while (lines < n && pos < len) {
        const void* lf = std::memchr(block + pos, '\n', len - pos);
        if (!lf) {
          pos = len;
          break;
        }
        pos = static_cast<size_t>(static_cast<const uint8_t*>(lf) - block) + 1;
        ++lines;
      }
      piece.Write(block + start, pos - start);
    }
    if (piece.failed()) break;
  }
  // A last line without LF never opens a piece.
  if (deciding) piece.Write(undecided.data(), undecided.size());
  return pieces.Finish(reader);
}

}  // namespace

bool SplitAtMatchingLines(const SplitContext& context, uint64_t n,
                          const LineMatcher& matches) {
  ByteReader reader(context.input_fd, context.line_block_size);
  PieceSequence pieces(context);
  if (!pieces.OpenFirst()) return false;
  PieceWriter& piece = pieces.piece();

  // Units begun in the open piece: a matching line and the lines after it.
  // The first line of the input begins the first unit and is never tested,
  // so a match there does not leave an empty piece in front of it.
  uint64_t units = 1;
  uint64_t line_number = 0;
  std::string line;
  while (reader.ReadLine(&line)) {
    ++line_number;
    const MatchOutcome outcome =
        line_number == 1 ? MatchOutcome::kNoMatch : matches(line);
    if (outcome == MatchOutcome::kGaveUp) {
      // Taking the line for no match would cut the file elsewhere than
      // asked, with nothing said. The pieces written so far stay.
      Report(kPatternGaveUp,
             context.input_name + ":" + std::to_string(line_number));
      pieces.Finish(reader);
      return false;
    }
    if (outcome == MatchOutcome::kMatch) {
      if (units == n) {
        if (!pieces.Next()) return false;
        units = 1;
        if (!context.keep_match_line) continue;
      } else {
        ++units;
      }
    }
    piece.Write(line.data(), line.size());
    if (piece.failed()) break;
  }
  return pieces.Finish(reader);
}

bool SplitByLines(const SplitContext& context, uint64_t n,
                  const std::string* pattern) {
  if (!pattern) return SplitEveryNLines(context, n);
  // Compiled once; the matcher keeps only scratch space between lines.
  const PatternProgram program = CompilePattern(*pattern);
  Matcher matcher;
  return SplitAtMatchingLines(context, n, [&](const std::string& line) {
    return matcher.Match(line.c_str(), program, nullptr);
  });
}

}  // namespace vu32
