// The filters' vector kernels, behind one table chosen once at run time.
//
// Each filter is a plain byte-by-byte state machine; its kernel does the
// same conversion 64 bytes at a time for the bulk of a block. A kernel takes
// the filter's state, converts whole 64-byte blocks from the start of its
// input while enough input follows (most read a little past each block:
// see scan_kernels.h), updates the state and says how far it got; the
// filter's own loop converts the rest, at most 127 bytes. On the scalar
// level, which is also the whole of a portable build, the converting
// kernels do nothing and the filters' loops do all the work.
#ifndef VU32_FILTERS_SCAN_H_
#define VU32_FILTERS_SCAN_H_

#include <cstddef>
#include <cstdint>

namespace vu32::scan {

enum class Level {
  kScalar,  // the filters' own loops only
  kSse2,    // 16-byte vectors, part of every x86-64 processor
  kAvx2,    // 32-byte vectors
  kAvx512,  // 64-byte vectors with byte compress (AVX-512 BW, VBMI, VBMI2)
};

// How far a kernel got: input bytes converted and output bytes written.
struct Progress {
  size_t read = 0;
  size_t written = 0;
};

// A kernel may store up to this many bytes past the output it reports; the
// filters reserve that much room beyond their largest possible output.
inline constexpr size_t kStoreSlack = 64;

// The line end Crconv writes.
enum class LineEnd { kCrLf, kLf, kCr };

// Writes `newline` at `d`; returns the end.
inline uint8_t* PutLineEnd(LineEnd newline, uint8_t* d) {
  if (newline == LineEnd::kCrLf) {
    d[0] = '\r';
    d[1] = '\n';
    return d + 2;
  }
  *d = newline == LineEnd::kLf ? '\n' : '\r';
  return d + 1;
}

// Whether two lines of `size` bytes are equal ignoring case (-U+).
using SameFolded = bool (*)(const uint8_t* a, const uint8_t* b, size_t size);

// One entry per filter kernel; each states the filter state it shares.
struct Kernels {
  Level level;
  // ASCII letters from `first` to `first` + 25 get bit 0x20 flipped, except
  // second bytes of two-byte characters. `*partner`: the next byte is the
  // second byte of a character begun before. Writes as many bytes as read.
  size_t (*change_case)(const uint8_t* s, size_t n, uint8_t* d, uint8_t first,
                        bool* partner);
  // Every line end (CR LF, lone CR, lone LF) to `newline`; `*after_cr`: the
  // byte before was CR, so an LF first completes that CR's line end.
  Progress (*crconv)(const uint8_t* s, size_t n, uint8_t* d, LineEnd newline,
                     bool* after_cr);
  // Deletes every CR and the first LF after one; `*cr_pending` says a CR
  // came since the last LF.
  Progress (*join)(const uint8_t* s, size_t n, uint8_t* d, bool* cr_pending);
  // Deletes control bytes but tab, keeping CR only before LF; `*previous`
  // is the byte before, a CR whose LF may come (0 once that CR is written).
  Progress (*delete_control)(const uint8_t* s, size_t n, uint8_t* d,
                             uint8_t* previous);
  // Deletes every tab.
  Progress (*delete_tabs)(const uint8_t* s, size_t n, uint8_t* d);
  // Expands tabs to the next multiple of `width` columns; `*column` is the
  // column, modulo `width`, of the first byte.
  Progress (*tab2space)(const uint8_t* s, size_t n, uint8_t* d, unsigned width,
                        unsigned* column);
  // Half-width kana to full-width, starting between characters, with
  // nothing pending; stops between characters too.
  Progress (*kana)(const uint8_t* s, size_t n, uint8_t* d);
  // Sets bit i % 64 of bits[i / 64] where s[i] == c, for the whole input
  // (the words cover n bytes rounded up; bits past n are clear).
  void (*find_byte)(const uint8_t* s, size_t n, uint8_t c, uint64_t* bits);
  // Copies the lines of s[*line, n) (each through its LF) that differ from
  // the line before them, s[0, *line) being the line before the first, and
  // sets *line to the start of the last line taken; stops at the end of
  // one. Lines of the same size but other bytes are equal when
  // `same_folded` (if given) says so. Null on the scalar level.
  Progress (*uniq)(const uint8_t* s, size_t n, uint8_t* d, size_t* line,
                   SameFolded same_folded);
  // The number of bytes equal to `c` in s[0, n).
  size_t (*count_byte)(const uint8_t* s, size_t n, uint8_t c);
};

// The bytes equal to `c` in s[0, n), in order, taken from the kernel's
// masks a window at a time: cheaper than a search call per byte found when
// they are close together (line ends).
class ByteFinder {
 public:
  ByteFinder(const uint8_t* s, size_t n, uint8_t c)
      : next_window_(s), end_(s + n), c_(c) {}

  // The next one; null after the last.
  const uint8_t* Next() {
    while (mask_ == 0) {
      if (word_ == words_end_ && !NextWindow()) return nullptr;
      mask_ = *word_++;
      base_ += 64;
    }
    const uint8_t* at = base_ + __builtin_ctzll(mask_);
    mask_ &= mask_ - 1;
    return at;
  }

 private:
  static constexpr size_t kWindow = 4096;
  bool NextWindow();

  const uint8_t* next_window_;  // where the next window starts
  const uint8_t* end_;
  uint8_t c_;
  uint64_t mask_ = 0;  // the bits of the word at base_ not yet taken
  const uint8_t* base_ = nullptr;
  const uint64_t* word_ = nullptr;
  const uint64_t* words_end_ = nullptr;
  uint64_t bits_[kWindow / 64];
};

// The kernels of the level chosen once at the first call: the best this
// processor and this build support, or a lower one that the environment
// variable VU32_KERNEL names (see CapLevel).
const Kernels& Active();

// Whether `level` is built in and the processor runs it.
bool Supported(Level level);
// Makes `level` the active one (tests); false, changing nothing, when it is
// not supported.
bool UseLevel(Level level);
// The level Active() chose on its own.
Level BestLevel();

// `best`, or the level that `cap` names when that is lower: "scalar",
// "sse2", "avx2" or "avx512", in any case (the value of VU32_KERNEL, for
// comparing the levels on one processor). Null or any other text leaves
// `best`, so a cap never asks for more than the processor has.
Level CapLevel(Level best, const char* cap);

const char* LevelName(Level level);

}  // namespace vu32::scan

#endif  // VU32_FILTERS_SCAN_H_
