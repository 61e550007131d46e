// The scanner on 32-byte AVX2 vectors (built with -mavx2 -mbmi; chosen only
// where the processor has both). The quick assigned test looks up each
// byte's code (row class and flags) by its nibbles and the class's ranges
// by the class of the byte before, with byte shuffles of 16-entry tables.
#include <immintrin.h>

#include "check/assigned.h"

#define VU32_CHECK_LEVEL avx2
#include "check/kernel_impl.h"

namespace vu32::check {
namespace avx2 {
namespace {

#define VU32_INLINE [[gnu::always_inline]] inline

// 32 bytes in memory for a vector constant: the kernel needs more of them
// than there are registers, and a constant in memory is one load folded
// into its instruction, where GCC would otherwise build it anew each time
// from an immediate in three.
struct alignas(32) Bytes32 {
  uint8_t b[32];
};

constexpr Bytes32 Splat32(uint8_t c) {
  Bytes32 v{};
  for (uint8_t& x : v.b) x = c;
  return v;
}
template <uint8_t kC>
inline constexpr Bytes32 kSplat = Splat32(kC);

// A 16-entry shuffle table in both halves.
constexpr Bytes32 Twice(const uint8_t (&t)[16]) {
  Bytes32 v{};
  for (int i = 0; i < 32; ++i) v.b[i] = t[i % 16];
  return v;
}

struct Tables {
  Bytes32 code[4];
  Bytes32 first[kRangeRounds];
  Bytes32 span[kRangeRounds];
};

constexpr Tables MakeTables() {
  Tables t{};
  for (int h = 0; h < 4; ++h) t.code[h] = Twice(kPairTables.code[h]);
  for (int k = 0; k < kRangeRounds; ++k) {
    t.first[k] = Twice(kPairTables.first[k]);
    t.span[k] = Twice(kPairTables.span[k]);
  }
  return t;
}
constexpr Tables kTables = MakeTables();

VU32_INLINE __m256i Load(const Bytes32& v) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(v.b));
}
template <uint8_t kC>
VU32_INLINE __m256i Splat() {
  return Load(kSplat<kC>);
}
VU32_INLINE uint64_t Bits(__m256i v) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}
template <uint8_t kC>
VU32_INLINE __m256i Equal(__m256i x) {
  return _mm256_cmpeq_epi8(x, Splat<kC>());
}
template <uint8_t kLow, uint8_t kHigh>
VU32_INLINE __m256i Within(__m256i x) {
  // x - low <= high - low, unsigned: the minimum of the two is x - low.
  const __m256i off = _mm256_sub_epi8(x, Splat<kLow>());
  return _mm256_cmpeq_epi8(
      _mm256_min_epu8(off, Splat<static_cast<uint8_t>(kHigh - kLow)>()), off);
}

// The code of each byte (assigned.h: row class and flags): its low nibble
// looked up in the table of its high nibble. XOR with the high nibble and a
// saturating add of 0x70 leave bit 7 clear only for the bytes of that
// nibble, and the shuffle gives 0 for the others.
template <int kIndex, uint8_t kNibble>
VU32_INLINE __m256i CodesOf(__m256i x) {
  const __m256i index =
      _mm256_adds_epu8(_mm256_xor_si256(x, Splat<kNibble>()), Splat<0x70>());
  return _mm256_shuffle_epi8(Load(kTables.code[kIndex]), index);
}
VU32_INLINE __m256i Codes(__m256i x) {
  return _mm256_or_si256(
      _mm256_or_si256(CodesOf<0, 0x80>(x), CodesOf<1, 0x90>(x)),
      _mm256_or_si256(CodesOf<2, 0xE0>(x), CodesOf<3, 0xF0>(x)));
}
// The bytes whose code has `kFlag` (bit 4, 5 or 6), moved to bit 7.
template <uint8_t kFlag>
VU32_INLINE uint64_t Flagged(__m256i codes) {
  constexpr int kShift = kFlag == kLeadFlag ? 3 : kFlag == kHighFlag ? 2 : 1;
  return Bits(_mm256_slli_epi16(codes, kShift));
}
// `v` one byte up, byte 0 taken from the last byte of `before`.
VU32_INLINE __m256i Previous(__m256i v, __m256i before) {
  return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(before, v, 0x21), 15);
}
// Whether each byte lies in a range of the class in `codes`.
VU32_INLINE __m256i Quick(__m256i x, __m256i codes) {
  __m256i in = _mm256_setzero_si256();
  for (int k = 0; k < kRangeRounds; ++k) {
    const __m256i off =
        _mm256_sub_epi8(x, _mm256_shuffle_epi8(Load(kTables.first[k]), codes));
    const __m256i span = _mm256_shuffle_epi8(Load(kTables.span[k]), codes);
    in =
        _mm256_or_si256(in, _mm256_cmpeq_epi8(_mm256_min_epu8(off, span), off));
  }
  return in;
}

struct Avx2 {
  struct Carry {
    __m256i codes;  // codes of the 32 bytes before
  };
  static Carry Start(uint8_t previous) {
    return {Codes(_mm256_set1_epi8(static_cast<char>(previous)))};
  }

  // The masks of 32 bytes, or'ed in at `shift`.
  template <bool kInfo>
  VU32_INLINE static void Half(const uint8_t* p, unsigned shift, Carry* carry,
                               Masks* m) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i codes = Codes(v);
    const __m256i before = Previous(codes, carry->codes);
    carry->codes = codes;
    const __m256i dels = Equal<0x7F>(v);
    const __m256i trails = _mm256_andnot_si256(dels, Within<0x40, 0xFC>(v));
    const __m256i lfs = Equal<'\n'>(v);
    const __m256i crs = Equal<'\r'>(v);
    const __m256i tabs = Equal<'\t'>(v);
    const __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(v, Splat<0x1F>()), v);
    const __m256i controls = _mm256_or_si256(
        _mm256_andnot_si256(_mm256_or_si256(tabs, _mm256_or_si256(lfs, crs)),
                            low),
        dels);
    m->leads |= Flagged<kLeadFlag>(codes) << shift;
    m->trails |= Bits(trails) << shift;
    m->good |= Bits(_mm256_and_si256(trails, Quick(v, before))) << shift;
    m->lfs |= Bits(lfs) << shift;
    m->crs |= Bits(crs) << shift;
    m->bad |= (Bits(controls) | Flagged<kHighFlag>(codes)) << shift;
    m->only_second |= Bits(_mm256_or_si256(Equal<0x80>(v), Equal<0xA0>(v)))
                      << shift;
    if constexpr (kInfo) {
      const __m256i eof_marks = Equal<0x1A>(v);
      m->tabs |= Bits(tabs) << shift;
      m->eof_marks |= Bits(eof_marks) << shift;
      m->controls |= Bits(_mm256_andnot_si256(eof_marks, controls)) << shift;
      m->kana |= Bits(Within<0xA1, 0xDF>(v)) << shift;
      m->counted |= Flagged<kCountedFlag>(codes) << shift;
    }
  }

  template <bool kInfo>
  VU32_INLINE static Masks Classify(const uint8_t* p, Carry* carry) {
    Masks m;
    Half<kInfo>(p, 0, carry, &m);
    Half<kInfo>(p + 32, 32, carry, &m);
    return m;
  }
};

#undef VU32_INLINE

}  // namespace
}  // namespace avx2

extern const Kernel kAvx2Kernel =
    avx2::MakeKernel<avx2::Avx2>(scan::Level::kAvx2);

}  // namespace vu32::check
