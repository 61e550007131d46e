// The filter kernels, written once over a level's vector operations `V`.
// Only the level files (scan_sse2.cc, scan_avx2.cc, scan_avx512.cc) include
// this, each compiled for its own instruction set.
//
// A kernel takes 64 bytes at a time. It loads the block, turns the bytes it
// cares about into 64-bit masks (bit i for byte i), works out with bit
// arithmetic what each byte becomes, and then either stores the block as it
// is (the common case), or writes it around the bytes that change: with a
// byte compress where the level has one (V::kCompress: one instruction on
// AVX-512, shuffle tables on AVX2), else by walking the changed bytes and
// copying the runs between them.
//
// V says whether it has a byte compress (kCompress), whether that is one
// instruction that also lists offsets and compares a prefix
// (kNativeCompress), and a cheap popcount (kPopcount), and provides, for its
// Block of 64 bytes:
//   Load(p), Store(p, b)          64 bytes, unaligned
//   Equal(b, c)                   mask of the bytes equal to c
//   Within(b, lo, hi)             mask of the bytes in lo..hi (unsigned)
//   Matches(b, o)                 mask of the bytes equal in b and o
//   FlipCase(b, mask)             the bytes of mask xor 0x20
//   CopyRun(d, s, n)              copies n <= 64 bytes; may read and write up
//                                 to 64 bytes past s + n and d + n
// where kCompress is true:
//   Replace(b, mask, c)           the bytes of mask set to c
//   Blend(b, mask, o)             the bytes of mask taken from o
//   AddTo(b, mask, c)             c added to the bytes of mask
//   Lookup(table, b)              table[b & 63] for each byte (64 entries);
//                                 any value where b > 63
//   Splat(c)                      every byte c
//   StoreKept(d, b, keep)         stores the bytes of keep in order at d,
//                                 returns the end; may store 64 bytes
//   StorePairs(d, f, s, fk, sk)   for each byte i in order, f[i] if bit i of
//                                 fk, then s[i] if bit i of sk; returns the
//                                 end; may store 128 bytes
// and where kNativeCompress is true:
//   Offsets(bits, base, out)      see Offsets below; may store 64 entries
//   Differ(a, b, n)               see Differ below
//
// Everything here lies in an anonymous namespace, and V is private to its
// level file: each level file compiles its own copy of every kernel and
// helper, with internal linkage, so no copy built for one instruction set
// can be picked by the linker for another level or for the portable code.
// Nor does anything here call an inline function of another header, which
// could be emitted here and shared. Each level's object file defines one
// external symbol, its table (checked by tests/build/check_kernel_symbols.sh).
#ifndef VU32_FILTERS_SCAN_KERNELS_H_
#define VU32_FILTERS_SCAN_KERNELS_H_

#include <cstddef>
#include <cstdint>

#include "filters/kana_table.h"
#include "filters/scan.h"

namespace vu32::scan {
namespace {

constexpr size_t kBlock = 64;
// Kernels that look past a block (one byte of look-ahead, or run copies
// that read on) stop while this much input still follows the block.
constexpr size_t kReadAhead = 64;

#define VU32_INLINE [[gnu::always_inline]] inline

VU32_INLINE unsigned Lowest(uint64_t m) {
  return static_cast<unsigned>(__builtin_ctzll(m));
}
VU32_INLINE unsigned Highest(uint64_t m) {
  return 63u - static_cast<unsigned>(__builtin_clzll(m));
}
// Bits below `p` (p < 64).
VU32_INLINE uint64_t Below(unsigned p) { return (uint64_t{1} << p) - 1; }

// The second bytes of two-byte characters among 64 bytes, from the mask of
// the bytes in the lead-byte range, without stepping through them. `*carry`
// says on entry that byte 0 completes a character begun before, and on exit
// that the byte after byte 63 does.
//
// The byte before a run of lead-range bytes always ends a character (a
// one-byte character or a second byte), so within the run first and second
// bytes alternate from the run's start, and the byte after a run of odd
// length is a second byte. Adding 1 at each run that starts on an odd bit
// clears that run and carries past its end, which turns the even/odd
// pattern of exactly those runs; the bit carried out of the word is the
// parity of a run still open at bit 63.
VU32_INLINE uint64_t SecondBytes(uint64_t leads, bool* carry) {
  constexpr uint64_t kEven = 0x5555555555555555;
  const uint64_t in = *carry ? 1 : 0;
  leads &= ~in;  // a second byte opens nothing
  const uint64_t follows = (leads << 1) | in;
  const uint64_t odd_starts = leads & ~kEven & ~follows;
  const uint64_t sum = odd_starts + leads;
  *carry = ((leads & ~sum) >> 63) != 0;
  return (kEven ^ (sum << 1)) & follows;
}

// The bytes after each CR up to and including the next CR or LF (and from
// byte 0 when `*pending` says a CR came before the block): the LFs among them
// end a line that a CR already ended. The carry of the addition runs through
// the other bytes from each start and stops at the first CR or LF; one that
// leaves the word keeps the CR pending.
VU32_INLINE uint64_t AfterCr(uint64_t crs, uint64_t lfs, bool* pending) {
  const uint64_t plain = ~(crs | lfs);
  const uint64_t starts = (crs << 1) | (*pending ? 1 : 0);
  uint64_t sum;
  const bool out = __builtin_add_overflow(plain, starts, &sum);
  *pending = out || (crs >> 63) != 0;
  return sum ^ plain;
}

// The full-width kana table split into 64-entry tables of lead and second
// bytes, indexed by the half-width byte - 0xA1, for Lookup.
struct KanaHalves {
  uint8_t lead[64];
  uint8_t second[64];
};

constexpr KanaHalves SplitKanaTable() {
  KanaHalves t{};
  for (int k = 0; k <= kana::kLast - kana::kFirst; ++k) {
    t.lead[k] = kana::kFullWidth[k][0];
    t.second[k] = kana::kFullWidth[k][1];
  }
  return t;
}

constexpr KanaHalves kKanaHalves = SplitKanaTable();

// What kana::PutFullWidth writes, from this file's own table: kana `k`'s
// full-width form at `d`, merged with `next` when that is a sound mark `k`
// takes; 2 when `next` was merged, else 1.
VU32_INLINE unsigned PutKana(uint8_t k, uint8_t next, uint8_t* d) {
  d[0] = kKanaHalves.lead[k - kana::kFirst];
  d[1] = kKanaHalves.second[k - kana::kFirst];
  const bool ha_row = k >= kana::kHaRowFirst && k <= kana::kHaRowLast;
  if (next == kana::kVoicedMark &&
      ((k >= kana::kVoicedFirst && k <= kana::kVoicedLast) || ha_row)) {
    d[1] = static_cast<uint8_t>(d[1] + 1);
    return 2;
  }
  if (next == kana::kSemiVoicedMark && ha_row) {
    d[1] = static_cast<uint8_t>(d[1] + 2);
    return 2;
  }
  return 1;
}

// What scan::PutLineEnd writes: `newline` at `d`; returns the end.
VU32_INLINE uint8_t* LineEndAt(LineEnd newline, uint8_t* d) {
  if (newline == LineEnd::kCrLf) {
    d[0] = '\r';
    d[1] = '\n';
    return d + 2;
  }
  *d = newline == LineEnd::kLf ? '\n' : '\r';
  return d + 1;
}

template <class V>
VU32_INLINE uint64_t Leads(const typename V::Block& b) {
  return V::Within(b, 0x81, 0x9F) | V::Within(b, 0xE0, 0xFC);
}

// Copies the 64-byte block at `s` to `d` without the bytes of `events`,
// writing at each of them, in order, what `emit(p, d) -> d` writes.
template <class V, class Emit>
VU32_INLINE uint8_t* CopyAround(const uint8_t* s, uint64_t events, uint8_t* d,
                                Emit emit) {
  unsigned pos = 0;
  while (events) {
    const unsigned p = Lowest(events);
    V::CopyRun(d, s + pos, p - pos);
    d = emit(p, d + (p - pos));
    pos = p + 1;
    events &= events - 1;
  }
  V::CopyRun(d, s + pos, kBlock - pos);
  return d + (kBlock - pos);
}

template <class V>
size_t ChangeCase(const uint8_t* s, size_t n, uint8_t* d, uint8_t first,
                  bool* partner) {
  const auto last = static_cast<uint8_t>(first + 25);
  bool carry = *partner;
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    const uint64_t second = SecondBytes(Leads<V>(b), &carry);
    V::Store(d + i, V::FlipCase(b, V::Within(b, first, last) & ~second));
  }
  *partner = carry;
  return i;
}

// Writes the block at `s` without the bytes of `deleted`.
template <class V>
VU32_INLINE uint8_t* StoreDeleting(const uint8_t* s, const typename V::Block& b,
                                   uint64_t deleted, uint8_t* d) {
  if (deleted == 0) {
    V::Store(d, b);
    return d + kBlock;
  }
  if constexpr (!V::kCompress) {
    // Without a compress: one run of deleted bytes (a CR, a CR LF, a tab),
    // the most common case in text, is written with two stores, the bytes
    // after it copied over it, without a branch on where it lies.
    const unsigned p = Lowest(deleted);
    const uint64_t run = deleted >> p;
    if ((run & (run + 1)) == 0) {
      const unsigned length =
          run == ~uint64_t{0} ? unsigned{kBlock} : Highest(run) + 1;
      V::Store(d, b);
      V::Store(d + p, V::Load(s + p + length));
      return d + (kBlock - length);
    }
  }
  if constexpr (V::kCompress) {
    return V::StoreKept(d, b, ~deleted);
  } else {
    return CopyAround<V>(s, deleted, d, [](unsigned, uint8_t* o) { return o; });
  }
}

template <class V>
Progress Crconv(const uint8_t* s, size_t n, uint8_t* d, LineEnd newline,
                bool* after_cr) {
  uint8_t* const start = d;
  bool cr = *after_cr;
  size_t i = 0;
  for (; i + kBlock + kReadAhead <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    const uint64_t crs = V::Equal(b, '\r');
    const uint64_t lfs = V::Equal(b, '\n');
    // An LF right after a CR adds nothing: the CR made the line end.
    const uint64_t dropped = lfs & ((crs << 1) | (cr ? 1 : 0));
    const uint64_t ends = (crs | lfs) & ~dropped;
    cr = (crs >> 63) != 0;
    const bool unchanged = newline == LineEnd::kLf ? crs == 0 && dropped == 0
                           : newline == LineEnd::kCr
                               ? lfs == 0
                               : lfs == crs << 1 && (crs >> 63) == 0;
    if (unchanged) {
      V::Store(d, b);
      d += kBlock;
      continue;
    }
    if (newline != LineEnd::kCrLf) {
      // To one byte. Where no line end is a lone byte of the other kind,
      // each CR LF loses one byte and the rest stays as it is: CR LF
      // becomes LF by losing its CR (an LF right after a CR of the block
      // before is lost itself, as that CR was written already), CR by
      // losing its LF. A CR that ends the block has no LF after it here
      // and becomes LF on its own, so `cr` keeps the filter's meaning.
      const uint8_t c = newline == LineEnd::kLf ? '\n' : '\r';
      const uint64_t pair_crs = crs & (lfs >> 1);
      const uint64_t deleted = newline == LineEnd::kLf
                                   ? pair_crs | (dropped & ~(crs << 1))
                                   : dropped;
      const uint64_t changed =
          newline == LineEnd::kLf ? crs & ~pair_crs : lfs & ~dropped;
      if (changed == 0) {
        d = StoreDeleting<V>(s + i, b, deleted, d);
        continue;
      }
      if constexpr (V::kCompress) {
        d = V::StoreKept(d, V::Replace(b, changed, c), ~deleted);
        continue;
      }
    } else if constexpr (V::kNativeCompress) {
      // Each line end becomes CR then LF. (Without a native compress the
      // few line ends of a block are cheaper to write one by one.)
      d = V::StorePairs(d, V::Splat('\r'), V::Replace(b, ends, '\n'), ends,
                        ~dropped);
      continue;
    }
    d = CopyAround<V>(s + i, crs | lfs, d, [&](unsigned p, uint8_t* o) {
      return (ends >> p) & 1 ? LineEndAt(newline, o) : o;
    });
  }
  *after_cr = cr;
  return {i, static_cast<size_t>(d - start)};
}

template <class V>
Progress Join(const uint8_t* s, size_t n, uint8_t* d, bool* cr_pending) {
  uint8_t* const start = d;
  bool pending = *cr_pending;
  size_t i = 0;
  for (; i + kBlock + kReadAhead <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    const uint64_t crs = V::Equal(b, '\r');
    const uint64_t lfs = V::Equal(b, '\n');
    d = StoreDeleting<V>(s + i, b, crs | (lfs & AfterCr(crs, lfs, &pending)),
                         d);
  }
  *cr_pending = pending;
  return {i, static_cast<size_t>(d - start)};
}

template <class V>
Progress DeleteControl(const uint8_t* s, size_t n, uint8_t* d,
                       uint8_t* previous) {
  if (n < kBlock + kReadAhead) return {};
  uint8_t* const start = d;
  // The filter's loop holds a CR back until it sees the next byte; this
  // kernel looks ahead instead and writes a CR together with its LF.
  if (*previous == '\r' && s[0] == '\n') *d++ = '\r';
  size_t i = 0;
  for (; i + kBlock + kReadAhead <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    const uint64_t lfs = V::Equal(b, '\n');
    const uint64_t next_is_lf =
        (lfs >> 1) | (uint64_t{s[i + kBlock] == '\n'} << 63);
    const uint64_t controls = V::Within(b, 0x00, 0x1F) | V::Equal(b, 0x7F);
    const uint64_t kept =
        V::Equal(b, '\t') | lfs | (V::Equal(b, '\r') & next_is_lf);
    d = StoreDeleting<V>(s + i, b, controls & ~kept, d);
  }
  const uint8_t last = s[i - 1];
  *previous = last == '\r' && s[i] == '\n' ? 0 : last;
  return {i, static_cast<size_t>(d - start)};
}

template <class V>
Progress DeleteTabs(const uint8_t* s, size_t n, uint8_t* d) {
  uint8_t* const start = d;
  size_t i = 0;
  for (; i + kBlock + kReadAhead <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    d = StoreDeleting<V>(s + i, b, V::Equal(b, '\t'), d);
  }
  return {i, static_cast<size_t>(d - start)};
}

template <class V>
Progress Tab2space(const uint8_t* s, size_t n, uint8_t* d, unsigned width,
                   unsigned* column) {
  uint8_t* const start = d;
  // Bytes written since the last tab stop, CR or LF (all of which leave the
  // column at a multiple of the width); reduced only where a tab needs it.
  size_t since = *column;
  size_t i = 0;
  for (; i + kBlock + kReadAhead <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    const uint64_t tabs = V::Equal(b, '\t');
    const uint64_t resets = tabs | V::Equal(b, '\r') | V::Equal(b, '\n');
    if (tabs == 0) {
      V::Store(d, b);
      d += kBlock;
    } else {
      d = CopyAround<V>(s + i, tabs, d, [&](unsigned p, uint8_t* o) {
        const uint64_t before = resets & Below(p);
        const size_t col = before ? p - 1 - Highest(before) : since + p;
        __builtin_memcpy(o, "        ", 8);
        return o + (width - col % width);
      });
    }
    since = resets ? kBlock - 1 - Highest(resets) : since + kBlock;
  }
  *column = static_cast<unsigned>(since % width);
  return {i, static_cast<size_t>(d - start)};
}

template <class V>
Progress Kana(const uint8_t* s, size_t n, uint8_t* d) {
  uint8_t* const start = d;
  bool partner = false;  // the next block starts with a second byte
  bool merged = false;   // its first byte is a mark merged already
  size_t i = 0;
  for (; i + kBlock + kReadAhead <= n; i += kBlock) {
    const auto b = V::Load(s + i);
    const uint64_t skip = merged ? 1 : 0;
    const uint64_t halfwidth = V::Within(b, kana::kFirst, kana::kLast) &
                               ~SecondBytes(Leads<V>(b), &partner) & ~skip;
    merged = false;
    if (halfwidth == 0 && skip == 0) {
      V::Store(d, b);
      d += kBlock;
      continue;
    }
    if constexpr (V::kCompress) {
      const uint8_t ahead = s[i + kBlock];
      // Which kana take the mark after them.
      const uint64_t ha_row = V::Within(b, kana::kHaRowFirst, kana::kHaRowLast);
      const uint64_t voiced =
          V::Within(b, kana::kVoicedFirst, kana::kVoicedLast) | ha_row;
      const uint64_t next_voiced = (V::Equal(b, kana::kVoicedMark) >> 1) |
                                   (uint64_t{ahead == kana::kVoicedMark} << 63);
      const uint64_t next_semi =
          (V::Equal(b, kana::kSemiVoicedMark) >> 1) |
          (uint64_t{ahead == kana::kSemiVoicedMark} << 63);
      const uint64_t plus1 = halfwidth & voiced & next_voiced;
      const uint64_t plus2 = halfwidth & ha_row & next_semi;
      const uint64_t takes = plus1 | plus2;
      merged = (takes >> 63) != 0;
      const uint64_t gone = (takes << 1) | skip;
      // Each kana becomes its lead byte then its second byte; every other
      // byte stays as the "second" of its pair.
      const auto index = V::AddTo(b, ~uint64_t{0}, 0x100 - kana::kFirst);
      auto second = V::Lookup(kKanaHalves.second, index);
      second = V::AddTo(V::AddTo(second, plus1, 1), plus2, 2);
      d = V::StorePairs(d, V::Lookup(kKanaHalves.lead, index),
                        V::Blend(b, halfwidth, second), halfwidth & ~gone,
                        ~gone);
    } else {
      unsigned pos = static_cast<unsigned>(skip);
      uint64_t events = halfwidth;
      while (events) {
        const unsigned p = Lowest(events);
        V::CopyRun(d, s + i + pos, p - pos);
        d += p - pos;
        pos = p + PutKana(s[i + p], s[i + p + 1], d);
        d += 2;
        events &= pos < kBlock ? ~Below(pos) : 0;
      }
      if (pos <= kBlock) {
        V::CopyRun(d, s + i + pos, kBlock - pos);
        d += kBlock - pos;
      } else {
        merged = true;
      }
    }
  }
  // Stop between characters: a lead byte in the last place gives its pair
  // back to the filter's loop, and a mark merged from beyond is taken.
  if (partner) {
    --i;
    --d;
  } else if (merged) {
    ++i;
  }
  return {i, static_cast<size_t>(d - start)};
}

template <class V>
void FindByte(const uint8_t* s, size_t n, uint8_t c, uint64_t* bits) {
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) *bits++ = V::Equal(V::Load(s + i), c);
  if (i == n) return;
  uint64_t last = 0;
  for (unsigned k = 0; i + k < n; ++k) last |= uint64_t{s[i + k] == c} << k;
  *bits = last;
}

// The set bits of `m`: one instruction where the level has it, else the
// bit-parallel sum (a call to the library's routine would cost more).
template <class V>
VU32_INLINE unsigned Popcount(uint64_t m) {
  if constexpr (V::kPopcount) {
    return static_cast<unsigned>(__builtin_popcountll(m));
  } else {
    m -= (m >> 1) & 0x5555555555555555;
    m = (m & 0x3333333333333333) + ((m >> 2) & 0x3333333333333333);
    m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<unsigned>((m * 0x0101010101010101) >> 56);
  }
}

template <class V>
size_t CountByte(const uint8_t* s, size_t n, uint8_t c) {
  size_t count = 0;
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    count += Popcount<V>(V::Equal(V::Load(s + i), c));
  }
  for (; i < n; ++i) count += s[i] == c;
  return count;
}

// Whether the `size` bytes at a and b are the same, 64 at a time; the
// bytes past them up to the next multiple of 64 are read and ignored.
template <class V>
VU32_INLINE bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size) {
  size_t k = 0;
  for (; k + kBlock < size; k += kBlock) {
    if (~V::Matches(V::Load(a + k), V::Load(b + k)) != 0) return false;
  }
  const uint64_t differ = ~V::Matches(V::Load(a + k), V::Load(b + k));
  return (differ & (~uint64_t{0} >> (kBlock - (size - k)))) == 0;
}

// Writes the offsets base + i of the set bits i of `bits` at `out`, in
// order; returns the end. With a byte compress, from the compressed list of
// 0..63; where popcount is cheap, eight at a time without a branch per bit
// (what is written past the end is garbage, overwritten next). The loops
// over the offsets then run without the hard-to-predict exit of a loop
// over each word's bits.
template <class V>
VU32_INLINE uint32_t* Offsets(uint64_t bits, uint32_t base, uint32_t* out) {
  if constexpr (V::kNativeCompress) {
    return V::Offsets(bits, base, out);
  } else if constexpr (V::kPopcount) {
    const auto count = static_cast<unsigned>(__builtin_popcountll(bits));
    // The top bit keeps the count of trailing zeros defined once bits runs
    // out.
    constexpr uint64_t kTop = uint64_t{1} << 63;
    for (unsigned k = 0; k < 8; ++k) {
      out[k] = base + Lowest(bits | kTop);
      bits &= bits - 1;
    }
    for (unsigned k = 8; k < count; ++k) {
      out[k] = base + Lowest(bits);
      bits &= bits - 1;
    }
    return out + count;
  } else {
    for (; bits; bits &= bits - 1) *out++ = base + Lowest(bits);
    return out;
  }
}

// Whether the first n (1..64) of 64 bytes at a and b differ.
template <class V>
VU32_INLINE bool Differ(const uint8_t* a, const uint8_t* b, size_t n) {
  if constexpr (V::kNativeCompress) {
    return V::Differ(a, b, n);
  } else {
    const uint64_t differ = ~V::Matches(V::Load(a), V::Load(b));
    return (differ & (~uint64_t{0} >> (kBlock - n))) != 0;
  }
}

template <class V, bool kFold>
Progress UniqLines(const uint8_t* s, size_t n, uint8_t* d, size_t* line,
                   SameFolded same_folded) {
  constexpr size_t kWindow = 1024;  // bytes whose LFs are listed at once
  uint32_t ends[kWindow + kBlock];
  uint8_t* const start = d;
  size_t prev = 0;    // where the line before the one at `at` starts
  size_t at = *line;  // where the next line starts
  size_t i = at & ~(kBlock - 1);
  while (i + kBlock + kReadAhead <= n) {
    uint32_t* ends_end = ends;
    for (const size_t stop = i + kWindow; i < stop; i += kBlock) {
      if (i + kBlock + kReadAhead > n) break;
      uint64_t lfs = V::Equal(V::Load(s + i), '\n');
      if (i < at) lfs &= ~Below(static_cast<unsigned>(at - i));
      ends_end = Offsets<V>(lfs, static_cast<uint32_t>(i), ends_end);
    }
    for (const uint32_t* e = ends; e < ends_end; ++e) {
      const size_t next = *e + 1;
      const size_t size = next - at;
      const bool same_size = size == at - prev;
      bool same;
      if (size <= kBlock) {
        // Most lines: compared and copied 64 bytes at a time, without a
        // branch on the outcome; what lies past the line is ignored, or
        // overwritten next.
        same = same_size & !Differ<V>(s + at, s + prev, size);
        V::Store(d, V::Load(s + at));
      } else {
        same = same_size && SameBytes<V>(s + at, s + prev, size);
        for (size_t k = 0; k < size; k += kBlock) {
          V::Store(d + k, V::Load(s + at + k));
        }
      }
      if (kFold && same_size && !same) {
        same = same_folded(s + at, s + prev, size);
      }
      d += same ? 0 : size;
      prev = at;
      at = next;
    }
  }
  *line = prev;
  return {at, static_cast<size_t>(d - start)};
}

// Two loops, so that the exact comparison's has no call in it.
template <class V>
Progress Uniq(const uint8_t* s, size_t n, uint8_t* d, size_t* line,
              SameFolded same_folded) {
  return same_folded ? UniqLines<V, true>(s, n, d, line, same_folded)
                     : UniqLines<V, false>(s, n, d, line, nullptr);
}

#undef VU32_INLINE

}  // namespace
}  // namespace vu32::scan

#endif  // VU32_FILTERS_SCAN_KERNELS_H_
