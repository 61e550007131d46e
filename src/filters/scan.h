// Fast inner loops shared by the filters: copy runs of bytes that need no
// attention, 16 at a time where the processor allows (SSE2 is part of every
// x86-64 processor), and stop at the first byte that does. Each returns how
// many bytes it handled; the caller deals with the byte at that offset.
#ifndef VU32_FILTERS_SCAN_H_
#define VU32_FILTERS_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define VU32_SCAN_SSE2 1
#endif

namespace vu32::scan {

// Which of 16 bytes are second bytes of two-byte characters, without a loop.
// `leads` has bit i set when byte i lies in the lead-byte range; `*carry`
// says on entry that byte 0 completes a character begun before, and on exit
// that the byte after byte 15 does. Within a run of lead-range bytes the
// bytes alternate lead, second, lead, ... from the run's start, and the byte
// after a run of odd length is a second byte: adding 1 at each run that
// starts on an odd bit flips the parity of exactly those runs.
inline unsigned TrailMask16(unsigned leads, bool* carry) {
  constexpr unsigned kEven = 0x5555;
  const unsigned in = *carry ? 1u : 0u;
  leads &= ~in & 0xFFFF;                 // a second byte opens nothing
  const unsigned follows = (leads << 1) | in;
  const unsigned odd_starts = leads & ~kEven & ~follows;
  const unsigned sum = odd_starts + leads;
  *carry = (sum >> 16) & 1;
  const unsigned invert = (sum << 1) & 0xFFFF;
  return (kEven ^ invert) & follows & 0xFFFF;
}

#ifdef VU32_SCAN_SSE2
// 0xFF in each byte whose bit is set in `bits`, 0x00 elsewhere.
inline __m128i ExpandBits16(unsigned bits) {
  const __m128i select = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4,
                                       8, 16, 32, 64, -128);
  __m128i b = _mm_unpacklo_epi64(_mm_set1_epi8(static_cast<char>(bits & 0xFF)),
                                 _mm_set1_epi8(static_cast<char>(bits >> 8)));
  return _mm_cmpeq_epi8(_mm_and_si128(b, select), select);
}

// Where to load the runs of the 16-byte block `x` at s + i (of n bytes) from,
// with 16-byte loads at any offset inside the block. Loading from the input
// itself avoids stalling each load on a store of the block just made; only
// within 32 bytes of the end is the block copied into `pad`, padded, so that
// no load reaches past the input.
inline const uint8_t* RunSource(const uint8_t* s, size_t i, size_t n,
                                __m128i x, uint8_t* pad /* 32, aligned */) {
  if (i + 32 <= n) return s + i;
  _mm_store_si128(reinterpret_cast<__m128i*>(pad), x);
  _mm_store_si128(reinterpret_cast<__m128i*>(pad + 16), _mm_setzero_si128());
  return pad;
}

// Copies 16 bytes from `from` to `to` (neither aligned).
inline void Copy16(uint8_t* to, const uint8_t* from) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}

// Bit i set when byte i of `x` lies in the lead-byte range.
inline unsigned LeadMask16(__m128i x) {
  const __m128i v81 = _mm_set1_epi8(static_cast<char>(0x81));
  const __m128i v1e = _mm_set1_epi8(0x9F - 0x81);
  const __m128i ve0 = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i v1c = _mm_set1_epi8(0xFC - 0xE0);
  __m128i o1 = _mm_sub_epi8(x, v81);
  __m128i o2 = _mm_sub_epi8(x, ve0);
  return static_cast<unsigned>(_mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(o1, v1e), o1),
                   _mm_cmpeq_epi8(_mm_min_epu8(o2, v1c), o2))));
}
#endif

// Copies bytes from `s` to `d` until the first byte equal to `a` or `b`.
inline size_t CopyUntilEither(const uint8_t* s, size_t n, uint8_t* d,
                              uint8_t a, uint8_t b) {
  size_t i = 0;
#ifdef VU32_SCAN_SSE2
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  for (; i + 16 <= n; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    int hit = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), x);
    if (hit) return i + static_cast<size_t>(__builtin_ctz(hit));
  }
#endif
  for (; i < n; ++i) {
    if (s[i] == a || s[i] == b) return i;
    d[i] = s[i];
  }
  return n;
}

// Copies bytes from `s` to `d` until the first byte equal to `a`, `b` or `c`.
inline size_t CopyUntilAny3(const uint8_t* s, size_t n, uint8_t* d, uint8_t a,
                            uint8_t b, uint8_t c) {
  size_t i = 0;
#ifdef VU32_SCAN_SSE2
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  for (; i + 16 <= n; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    int hit = _mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                     _mm_cmpeq_epi8(x, vc)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), x);
    if (hit) return i + static_cast<size_t>(__builtin_ctz(hit));
  }
#endif
  for (; i < n; ++i) {
    if (s[i] == a || s[i] == b || s[i] == c) return i;
    d[i] = s[i];
  }
  return n;
}

// Copies bytes until the first control byte (0x00-0x1F or 0x7F) other than
// tab.
inline size_t CopyUntilControl(const uint8_t* s, size_t n, uint8_t* d) {
  size_t i = 0;
#ifdef VU32_SCAN_SSE2
  const __m128i v1f = _mm_set1_epi8(0x1F);
  const __m128i vdel = _mm_set1_epi8(0x7F);
  const __m128i vtab = _mm_set1_epi8(0x09);
  for (; i + 16 <= n; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    // x <= 0x1F as unsigned: min(x, 0x1F) == x.
    __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, v1f), x);
    __m128i ctl = _mm_andnot_si128(_mm_cmpeq_epi8(x, vtab), low);
    int hit = _mm_movemask_epi8(_mm_or_si128(ctl, _mm_cmpeq_epi8(x, vdel)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), x);
    if (hit) return i + static_cast<size_t>(__builtin_ctz(hit));
  }
#endif
  for (; i < n; ++i) {
    uint8_t c = s[i];
    if ((c < 0x20 && c != 0x09) || c == 0x7F) return i;
    d[i] = c;
  }
  return n;
}

}  // namespace vu32::scan

#endif  // VU32_FILTERS_SCAN_H_
