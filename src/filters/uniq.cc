#include "filters/uniq.h"

#include <cstring>
#include <new>
#include <string>

#include "filters/scan.h"
#include "support/messages.h"

namespace vu32 {
namespace {

// a..z to A..Z, every other byte as it is. Applied to every byte by value,
// so the second byte of a two-byte character folds too.
struct FoldTable {
  uint8_t map[256];
};

constexpr FoldTable BuildFold() {
  FoldTable t{};
  for (int c = 0; c < 256; ++c) t.map[c] = static_cast<uint8_t>(c);
  for (int c = 'a'; c <= 'z'; ++c) t.map[c] = static_cast<uint8_t>(c - 0x20);
  return t;
}

constexpr FoldTable kFold = BuildFold();

bool EqualFolded(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i] && kFold.map[a[i]] != kFold.map[b[i]]) return false;
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
  bool failed() const override { return failed_; }

 private:
  void FeedLines(const uint8_t* data, size_t size, ByteWriter& out);
  bool SameAsPrevious(const uint8_t* line, size_t size) const {
    if (size != previous_size_) return false;
    if (std::memcmp(line, previous_line_, size) == 0) return true;
    return ignore_case_ && EqualFolded(line, previous_line_, size);
  }
  void GiveUp();

  const bool ignore_case_;
  bool failed_ = false;
  // The line last read: points into the current block or into previous_.
  // Empty at the start, so the first line is always written.
  const uint8_t* previous_line_ = nullptr;
  size_t previous_size_ = 0;
  std::string previous_;  // storage for the previous line between blocks
  std::string partial_;   // the start of a line that the block cut
};

void Uniq::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  if (failed_) return;
  try {
    FeedLines(data, size, out);
  } catch (const std::bad_alloc&) {
    GiveUp();
  }
}

void Uniq::FeedLines(const uint8_t* data, size_t size, ByteWriter& out) {
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  // Lines to write are kept as one run [run, p) and written together.
  const uint8_t* run = p;
  bool previous_in_block = false;
  scan::ByteFinder line_ends(data, size, '\n');
  while (p < end) {
    const uint8_t* lf = line_ends.Next();
    if (!lf) {
      partial_.append(reinterpret_cast<const char*>(p),
                      static_cast<size_t>(end - p));
      break;
    }
    const uint8_t* next = lf + 1;
    if (!partial_.empty()) {
      // Only the first line of a block can continue a cut line.
      partial_.append(reinterpret_cast<const char*>(p),
                      static_cast<size_t>(next - p));
      const auto* line = reinterpret_cast<const uint8_t*>(partial_.data());
      if (!SameAsPrevious(line, partial_.size())) {
        out.Write(line, partial_.size());
      }
      previous_.swap(partial_);
      partial_.clear();
      previous_line_ = reinterpret_cast<const uint8_t*>(previous_.data());
      previous_size_ = previous_.size();
      previous_in_block = false;
      run = next;
    } else {
      const size_t n = static_cast<size_t>(next - p);
      if (SameAsPrevious(p, n)) {
        if (p > run) out.Write(run, static_cast<size_t>(p - run));
        run = next;
      }
      previous_line_ = p;
      previous_size_ = n;
      previous_in_block = true;
    }
    p = next;
  }
  if (p > run) out.Write(run, static_cast<size_t>(p - run));
  // The block goes away: keep the previous line if it lies in it.
  if (previous_in_block) {
    previous_.assign(reinterpret_cast<const char*>(previous_line_),
                     previous_size_);
    previous_line_ = reinterpret_cast<const uint8_t*>(previous_.data());
  }
}

void Uniq::Finish(ByteWriter& out) {
  if (failed_ || partial_.empty()) return;
  // The last line has no LF, so it cannot equal a line that has one; the
  // comparison still decides, as for every other line.
  const auto* line = reinterpret_cast<const uint8_t*>(partial_.data());
  if (!SameAsPrevious(line, partial_.size())) out.Write(line, partial_.size());
  partial_.clear();
}

void Uniq::GiveUp() {
  Report(kUniqNoMemory);
  failed_ = true;
  std::string().swap(partial_);
  std::string().swap(previous_);
  previous_line_ = nullptr;
  previous_size_ = 0;
}

}  // namespace

std::unique_ptr<ByteFilter> MakeUniq(UniqMode mode) {
  return std::make_unique<Uniq>(mode == UniqMode::kIgnoreCase);
}

}  // namespace vu32
