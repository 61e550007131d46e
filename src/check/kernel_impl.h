// The block scanner, written once over a level's classifier `V`. Only the
// level files (kernel.cc, kernel_avx2.cc, kernel_avx512.cc) include this,
// each compiled for its instruction set, after defining VU32_CHECK_LEVEL as
// the name of its own namespace: everything here lands in that namespace,
// so no copy built for one level is ever linked into another (an inline
// function compiled with AVX-512 and without would otherwise be one symbol,
// either copy taken for both).
//
// V provides:
//   Carry                        what the quick assigned test keeps of the
//                                block before
//   Start(previous)              the carry from the byte before the block
//   Classify<kInfo>(p, &carry)   the Masks of the 64 bytes at p; the
//                                --info ones only with kInfo
#ifndef VU32_CHECK_KERNEL_IMPL_H_
#define VU32_CHECK_KERNEL_IMPL_H_

#include <cstddef>
#include <cstdint>

#include "check/kernel.h"

#ifndef VU32_CHECK_LEVEL
#error "define VU32_CHECK_LEVEL, the level's namespace, first"
#endif

#define VU32_INLINE [[gnu::always_inline]] inline

namespace vu32::check::VU32_CHECK_LEVEL {

// Bit i of each mask stands for byte i of the block.
struct Masks {
  uint64_t leads = 0;   // 0x81-0x9F, 0xE0-0xFC: may open a character
  uint64_t trails = 0;  // 0x40-0x7E, 0x80-0xFC: may be a second byte
  // Second bytes that, with the byte before as lead, pass the quick test.
  uint64_t good = 0;
  uint64_t lfs = 0;
  uint64_t crs = 0;
  uint64_t bad = 0;          // never a character: control bytes, 0xFD-0xFF
  uint64_t only_second = 0;  // 0x80, 0xA0: a character only as second byte
  // --info only.
  uint64_t tabs = 0;
  uint64_t eof_marks = 0;  // 0x1A
  uint64_t controls = 0;   // bad but 0xFD-0xFF and 0x1A
  uint64_t kana = 0;
  uint64_t counted = 0;  // lead bytes of the rows counted apart (CountedRow)
};

VU32_INLINE unsigned Lowest(uint64_t m) {
  return static_cast<unsigned>(__builtin_ctzll(m));
}
VU32_INLINE unsigned Highest(uint64_t m) {
  return 63u - static_cast<unsigned>(__builtin_clzll(m));
}
VU32_INLINE uint64_t Count(uint64_t m) {
  return static_cast<uint64_t>(__builtin_popcountll(m));
}
// Bits below `p` (p < 64).
VU32_INLINE uint64_t Below(unsigned p) { return (uint64_t{1} << p) - 1; }
// Bits above `p` (p < 64).
VU32_INLINE uint64_t Above(unsigned p) { return ~uint64_t{1} << p; }

// The second bytes among 64, from the mask of the lead-range bytes; the
// filters pair bytes the same way (filters/scan_kernels.h). `*carry` says
// on entry that byte 0 completes a character begun before, and on exit that
// the byte after byte 63 does. The byte before a run of lead-range bytes
// ends a character, so first and second bytes alternate from the run's
// start; adding 1 at each run that starts on an odd bit turns the even/odd
// pattern of exactly those runs, and the bit carried out of the word is the
// parity of a run still open at bit 63.
VU32_INLINE uint64_t SecondBytes(uint64_t leads, bool* carry) {
  constexpr uint64_t kEven = 0x5555555555555555;
  const uint64_t in = *carry ? 1 : 0;
  leads &= ~in;
  const uint64_t follows = (leads << 1) | in;
  const uint64_t odd_starts = leads & ~kEven & ~follows;
  const uint64_t sum = odd_starts + leads;
  *carry = ((leads & ~sum) >> 63) != 0;
  return (kEven ^ (sum << 1)) & follows;
}

// The state a block updates, copied out of ScanState for the length of a
// scan so that it stays in registers (small and flat, as the compiler
// keeps only such aggregates in registers); the rest stays in ScanState.
struct Hot {
  uint64_t offset, lines, column, lf_after_cr, lf_after_cr_cr, crs;
  bool second;
  uint8_t previous, tail, seen;
};
struct InfoCounts {
  uint64_t run, longest, tabs, controls, eof_marks, kana, pairs;
};

VU32_INLINE Hot HotOf(const ScanState& s) {
  return {s.offset, s.lines,  s.column,   s.lf_after_cr, s.lf_after_cr_cr,
          s.crs,    s.second, s.previous, s.tail,        s.seen};
}
VU32_INLINE void Store(const Hot& h, ScanState* s) {
  s->offset = h.offset;
  s->lines = h.lines;
  s->column = h.column;
  s->lf_after_cr = h.lf_after_cr;
  s->lf_after_cr_cr = h.lf_after_cr_cr;
  s->crs = h.crs;
  s->second = h.second;
  s->previous = h.previous;
  s->tail = h.tail;
  s->seen = h.seen;
}
VU32_INLINE InfoCounts InfoOf(const ScanState& s) {
  return {s.run, s.longest, s.tabs, s.controls, s.eof_marks, s.kana, s.pairs};
}
VU32_INLINE void Store(const InfoCounts& c, ScanState* s) {
  s->run = c.run;
  s->longest = c.longest;
  s->tabs = c.tabs;
  s->controls = c.controls;
  s->eof_marks = c.eof_marks;
  s->kana = c.kana;
  s->pairs = c.pairs;
}

// Records where each line-end kind met for the first time in this block
// begins (the masks of kind k in kinds[k]); returns the kinds met so far.
// Rare: once per kind and input.
[[gnu::cold, gnu::noinline]] inline uint8_t RecordFirstLineEnds(
    uint64_t crlf, uint64_t lf, uint64_t cr, uint64_t crcrlf,
    const BlockMasks& m, uint8_t seen, Location first[kLineEndKinds]) {
  const uint64_t kinds[kLineEndKinds] = {crlf, lf, cr, crcrlf};
  // How many bytes before its last byte (the LF, or the byte two after a
  // lone CR, where it is known) each kind begins.
  constexpr int kBack[kLineEndKinds] = {1, 0, 2, 2};
  for (int k = 0; k < kLineEndKinds; ++k) {
    if (kinds[k] == 0 || (seen >> k) & 1) continue;
    seen = static_cast<uint8_t>(seen | 1 << k);
    first[k] = LocateInBlock(m, static_cast<int>(Lowest(kinds[k])) - kBack[k]);
  }
  return seen;
}

// The characters of the rows counted apart, by their lead bytes: s[p - 1]
// for each second byte p of `pairs` (s[-1] being `previous`). Rare in text.
[[gnu::cold, gnu::noinline]] inline void CountRows(const uint8_t* s,
                                                   uint64_t pairs,
                                                   uint8_t previous,
                                                   ScanState* state) {
  for (; pairs; pairs &= pairs - 1) {
    const unsigned p = Lowest(pairs);
    const uint8_t lead = p ? s[p - 1] : previous;
    state->nec += lead == 0x87;
    state->nec_ibm += lead == 0xED || lead == 0xEE;
    state->user += lead >= 0xF0 && lead <= 0xF9;
    state->ibm += lead >= 0xFA;
  }
}

// One block at `s`: the bytes of `valid` (all but at the end of an input).
// Updates `h` and `c` (the --info counts, with kInfo) and what they leave
// in `state`; returns the suspicious bytes, and fills *out when there are.
template <bool kInfo>
VU32_INLINE uint64_t ScanBlock(const uint8_t* s, const Masks& m, uint64_t valid,
                               Hot& h, InfoCounts& c, ScanState* state,
                               BlockMasks* out) {
  bool carry = h.second;
  const uint64_t second = SecondBytes(m.leads & valid, &carry);
  h.second = carry;
  const uint64_t paired = second & m.trails & valid;
  const uint64_t starts = valid & ~paired;
  const uint64_t suspicious =
      valid & (m.bad | (m.only_second & ~second) | (second & ~m.good));

  const uint64_t lfs = m.lfs & valid;
  const uint64_t crs = m.crs & valid;
  const uint64_t tail = h.tail;
  const uint64_t cr1 = (crs << 1) | (tail & 1);  // the byte before is CR
  const uint64_t cr2 = (crs << 2) | ((tail >> 1) & 1) | ((tail & 1) << 1);
  const uint64_t lf1 = (lfs << 1) | ((tail >> 2) & 1);
  const uint64_t after_cr = lfs & cr1;
  const uint64_t after_cr_cr = after_cr & cr2;
  const uint64_t crlf = after_cr & ~cr2;
  const uint64_t lf = lfs & ~cr1;
  // A CR followed by neither LF nor CR LF, known two bytes later.
  const uint64_t cr = cr2 & ~lf1 & ~(cr1 & lfs);

  const auto here = [&] {
    BlockMasks b;
    b.suspicious = suspicious;
    b.second = second;
    b.starts = starts;
    b.lfs = lfs;
    b.offset = h.offset;
    b.lines = h.lines;
    b.column = h.column;
    return b;
  };
  // All ones for a kind not met yet.
  const auto unseen = [&](int k) -> uint64_t {
    return ((h.seen >> k) & 1) - uint64_t{1};
  };
  if (((crlf & unseen(kCrLf)) | (lf & unseen(kLf)) | (cr & unseen(kCr)) |
       (after_cr_cr & unseen(kCrCrLf))) != 0) [[unlikely]] {
    h.seen = RecordFirstLineEnds(crlf, lf, cr, after_cr_cr, here(), h.seen,
                                 state->first);
  }
  if (suspicious) *out = here();

  h.offset += Count(valid);
  h.lines += Count(lfs);
  h.column =
      lfs ? Count(starts & Above(Highest(lfs))) : h.column + Count(starts);
  h.lf_after_cr += Count(after_cr);
  h.lf_after_cr_cr += Count(after_cr_cr);
  h.crs += Count(crs);

  if constexpr (kInfo) {
    const uint64_t ends = crs | lfs;
    if (ends == 0) {
      c.run += Count(valid);
    } else {
      uint64_t longest = c.longest;
      const uint64_t before = c.run + Lowest(ends);
      longest = before > longest ? before : longest;
      // Lines inside a block are shorter than 64 bytes.
      if (longest < kBlock) {
        uint64_t rest = ends;
        unsigned at = Lowest(rest);
        for (rest &= rest - 1; rest; rest &= rest - 1) {
          const unsigned next = Lowest(rest);
          if (next - at - 1 > longest) longest = next - at - 1;
          at = next;
        }
      }
      c.longest = longest;
      c.run = Count(valid & Above(Highest(ends)));
    }
    c.tabs += Count(m.tabs & valid);
    c.eof_marks += Count(m.eof_marks & valid);
    c.controls += Count(m.controls & valid);
    c.kana += Count(m.kana & ~second & valid);
    c.pairs += Count(paired);
    const bool previous_counted =
        h.previous == 0x87 || (h.previous >= 0xED && h.previous <= 0xFC);
    const uint64_t counted = ((m.counted << 1) | previous_counted) & paired;
    if (counted) [[unlikely]] {
      CountRows(s, counted, h.previous, state);
    }
  }
  h.tail =
      static_cast<uint8_t>((crs >> 63) | ((crs >> 61) & 2) | ((lfs >> 61) & 4));
  return suspicious;
}

template <class V, bool kInfo>
size_t Scan(const uint8_t* s, size_t n, ScanState* state, BlockMasks* out) {
  Hot h = HotOf(*state);
  InfoCounts c = InfoOf(*state);
  auto carry = V::Start(h.previous);
  out->suspicious = 0;
  size_t i = 0;
  while (i < n) {
    const Masks m = V::template Classify<kInfo>(s + i, &carry);
    const uint64_t suspicious =
        ScanBlock<kInfo>(s + i, m, ~uint64_t{0}, h, c, state, out);
    h.previous = s[i + kBlock - 1];
    i += kBlock;
    if (suspicious) break;
  }
  Store(h, state);
  if (kInfo) Store(c, state);
  return i;
}

template <class V, bool kInfo>
void FinishBlock(const uint8_t* s, unsigned valid, ScanState* state,
                 BlockMasks* out, bool* cut) {
  Hot h = HotOf(*state);
  InfoCounts c = InfoOf(*state);
  auto carry = V::Start(h.previous);
  const Masks m = V::template Classify<kInfo>(s, &carry);
  const uint64_t mask = Below(valid);
  const bool open = h.second;
  ScanBlock<kInfo>(s, m, mask, h, c, state, out);
  // The byte after the last: a second byte when the last opens a character.
  bool after = open;
  *cut = ((SecondBytes(m.leads & mask, &after) >> valid) & 1) != 0;
  // The tail as the last bytes leave it, and a block of nothing after them
  // to settle the CRs among them.
  if (valid > 0) {
    const uint8_t last = s[valid - 1];
    const bool cr_before_last = valid > 1 ? s[valid - 2] == '\r' : h.tail & 1;
    h.tail =
        static_cast<uint8_t>((last == '\r' ? 1 : 0) | (cr_before_last ? 2 : 0) |
                             (last == '\n' ? 4 : 0));
    h.previous = last;
  }
  h.second = false;
  BlockMasks none;
  ScanBlock<kInfo>(s, Masks{}, 0, h, c, state, &none);
  Store(h, state);
  if (kInfo) Store(c, state);
}

template <class V>
void Finish(const uint8_t* s, unsigned valid, bool info, ScanState* state,
            BlockMasks* out, bool* cut) {
  out->suspicious = 0;
  if (info) {
    FinishBlock<V, true>(s, valid, state, out, cut);
  } else {
    FinishBlock<V, false>(s, valid, state, out, cut);
  }
}

template <class V>
constexpr Kernel MakeKernel(scan::Level level) {
  return {level, Scan<V, false>, Scan<V, true>, Finish<V>};
}

}  // namespace vu32::check::VU32_CHECK_LEVEL

#undef VU32_INLINE

#endif  // VU32_CHECK_KERNEL_IMPL_H_
