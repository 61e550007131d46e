#include "filters/uniq.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "filters/scan.h"
#include "support/ascii.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

// Whether two lines of equal length are equal once ASCII letters are folded.
// Only one-byte characters fold: a second byte is compared exactly, so ホ
// (83 7A) and セ (83 5A) stay different. Characters are counted from the
// line's start, which always begins one (an LF is never a second byte).
bool EqualFolded(const uint8_t* a, const uint8_t* b, size_t n) {
  bool second = false;  // a[i] completes a two-byte character
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = a[i];
    // Where the lines agree so far they agree on where characters begin, so
    // a's view of position i holds for b too.
    if (c != b[i] && (second || AsciiToLower(static_cast<char>(c)) !=
                                    AsciiToLower(static_cast<char>(b[i])))) {
      return false;
    }
    second = !second && SjisLeadByte(c);
  }
  return true;
}

// Drops every line equal to the line before it. A line is everything up to
// and including its LF (CR and NUL are ordinary bytes), or the bytes after
// the last LF. Lines are compared whole, whatever their length.
//
// The previous line is usually still inside the current input block, so it
// is only pointed at; it is copied (into previous_) once per block, and a
// line that spans blocks is gathered in partial_. Memory therefore grows
// with the longest line only.
class Uniq : public ByteFilter {
 public:
  explicit Uniq(bool ignore_case) : ignore_case_(ignore_case) {}
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;
  void Finish(ByteWriter& out) override;

 private:
  void FeedLines(const uint8_t* data, size_t size, ByteWriter& out);
  const uint8_t* TakeLines(const uint8_t* p, const uint8_t* end,
                           ByteWriter& out);
  bool SameAsPrevious(const uint8_t* line, size_t size) const {
    if (size != previous_size_) return false;
    if (std::memcmp(line, previous_line_, size) == 0) return true;
    return ignore_case_ && EqualFolded(line, previous_line_, size);
  }

  const bool ignore_case_;
  // The line last read: points into the current block or into previous_.
  // Empty at the start, so the first line is always written.
  const uint8_t* previous_line_ = nullptr;
  size_t previous_size_ = 0;
  std::string previous_;  // storage for the previous line between blocks
  std::string partial_;   // the start of a line that the block cut
};

// A line longer than memory throws std::bad_alloc, which ends the run
// (said once, for every operation, by RunVu32).
void Uniq::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  // Only the first line of a block can continue a cut line.
  if (!partial_.empty()) {
    const auto* lf = static_cast<const uint8_t*>(std::memchr(p, '\n', size));
    const uint8_t* next = lf ? lf + 1 : end;
    partial_.append(reinterpret_cast<const char*>(p),
                    static_cast<size_t>(next - p));
    if (!lf) return;
    const auto* line = reinterpret_cast<const uint8_t*>(partial_.data());
    if (!SameAsPrevious(line, partial_.size())) {
      out.Write(line, partial_.size());
    }
    previous_.swap(partial_);
    partial_.clear();
    previous_line_ = reinterpret_cast<const uint8_t*>(previous_.data());
    previous_size_ = previous_.size();
    p = next;
  }
  // Lines to write are kept as one run [run, p) and written together.
  const uint8_t* run = p;
  bool previous_in_block = false;
  // Once the line before is in the block, the kernel (where there is one)
  // takes all it can, and this loop the rest.
  bool kernel_ran = !scan::Active().uniq;
  scan::ByteFinder line_ends(p, static_cast<size_t>(end - p), '\n');
  while (const uint8_t* lf = line_ends.Next()) {
    const uint8_t* next = lf + 1;
    const size_t n = static_cast<size_t>(next - p);
    if (SameAsPrevious(p, n)) {
      if (p > run) out.Write(run, static_cast<size_t>(p - run));
      run = next;
    }
    previous_line_ = p;
    previous_size_ = n;
    previous_in_block = true;
    p = next;
    if (!kernel_ran) {
      if (p > run) out.Write(run, static_cast<size_t>(p - run));
      p = run = TakeLines(p, end, out);
      line_ends = scan::ByteFinder(p, static_cast<size_t>(end - p), '\n');
      kernel_ran = true;
    }
  }
  if (p > run) out.Write(run, static_cast<size_t>(p - run));
  partial_.append(reinterpret_cast<const char*>(p),
                  static_cast<size_t>(end - p));
  // The block goes away: keep the previous line if it lies in it.
  if (previous_in_block) {
    previous_.assign(reinterpret_cast<const char*>(previous_line_),
                     previous_size_);
    previous_line_ = reinterpret_cast<const uint8_t*>(previous_.data());
  }
}

// Lets the kernel write the lines from `p` on (the previous line lies just
// before them); returns where it stopped, a little before `end`.
const uint8_t* Uniq::TakeLines(const uint8_t* p, const uint8_t* end,
                               ByteWriter& out) {
  constexpr size_t kMinRoom = 4096 + scan::kStoreSlack;
  for (;;) {
    // The kernel writes at most the input it takes, into the room left.
    if (out.room() < kMinRoom) out.Reserve(out.capacity());
    const uint8_t* s = previous_line_;
    size_t line = static_cast<size_t>(p - s);
    const size_t n = std::min(static_cast<size_t>(end - s),
                              line + out.room() - scan::kStoreSlack);
    uint8_t* d = out.Reserve(n - line + scan::kStoreSlack);
    const scan::Progress done = scan::Active().uniq(
        s, n, d, &line, ignore_case_ ? EqualFolded : nullptr);
    out.Commit(done.written);
    if (s + done.read == p) return p;
    previous_line_ = s + line;
    previous_size_ = done.read - line;
    p = s + done.read;
  }
}

void Uniq::Finish(ByteWriter& out) {
  if (partial_.empty()) return;
  // The last line has no LF, so it cannot equal a line that has one; the
  // comparison still decides, as for every other line.
  const auto* line = reinterpret_cast<const uint8_t*>(partial_.data());
  if (!SameAsPrevious(line, partial_.size())) out.Write(line, partial_.size());
  partial_.clear();
}

}  // namespace

std::unique_ptr<ByteFilter> MakeUniq(UniqMode mode) {
  return std::make_unique<Uniq>(mode == UniqMode::kIgnoreCase);
}

}  // namespace vu32
