// The scanner on 64-byte AVX-512 vectors (built with AVX-512 BW and VBMI;
// chosen only where the processor has the filters' AVX-512 level): the
// AVX2 method a whole block at a time, comparisons straight into masks and
// one byte permute for the shift by one byte.
#include <immintrin.h>

#include "check/assigned.h"

#define VU32_CHECK_LEVEL avx512
#include "check/kernel_impl.h"

namespace vu32::check {
namespace avx512 {
namespace {

#define VU32_INLINE [[gnu::always_inline]] inline

// Index i selects byte i - 1 of the second vector of a two-vector permute,
// and index 0 the last byte of the first.
constexpr struct PreviousIndex {
  uint8_t index[64];
  constexpr PreviousIndex() : index() {
    index[0] = 63;
    for (int i = 1; i < 64; ++i) index[i] = static_cast<uint8_t>(63 + i);
  }
} kPreviousIndex;

struct Avx512 {
  struct Carry {
    __m512i codes;  // codes of the block before
  };

  VU32_INLINE static __m512i Splat(uint8_t c) {
    return _mm512_set1_epi8(static_cast<char>(c));
  }
  // A 16-entry table in each quarter, for the byte shuffle. (The
  // zero-masking form: GCC 12 warns about the plain one's undefined merge
  // source.)
  VU32_INLINE static __m512i Table(const uint8_t* t) {
    return _mm512_maskz_broadcast_i32x4(
        0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
  }
  VU32_INLINE static uint64_t Equal(__m512i x, uint8_t c) {
    return _mm512_cmpeq_epi8_mask(x, Splat(c));
  }
  VU32_INLINE static uint64_t Within(__m512i x, uint8_t lo, uint8_t hi) {
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(x, Splat(lo)),
                                  Splat(static_cast<uint8_t>(hi - lo)));
  }
  // As on AVX2 (kernel_avx2.cc).
  VU32_INLINE static __m512i Codes(__m512i x) {
    const __m512i nibble = Splat(0x70);
    __m512i c = _mm512_setzero_si512();
    constexpr uint8_t kHigh[4] = {0x80, 0x90, 0xE0, 0xF0};
    for (int h = 0; h < 4; ++h) {
      const __m512i index =
          _mm512_adds_epu8(_mm512_xor_si512(x, Splat(kHigh[h])), nibble);
      c = _mm512_or_si512(
          c, _mm512_shuffle_epi8(Table(kPairTables.code[h]), index));
    }
    return c;
  }
  VU32_INLINE static uint64_t Flagged(__m512i codes, uint8_t flag) {
    return _mm512_test_epi8_mask(codes, Splat(flag));
  }
  static Carry Start(uint8_t previous) {
    return {Codes(_mm512_set1_epi8(static_cast<char>(previous)))};
  }

  template <bool kInfo>
  VU32_INLINE static Masks Classify(const uint8_t* p, Carry* carry) {
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i codes = Codes(v);
    const __m512i before = _mm512_permutex2var_epi8(
        carry->codes, _mm512_loadu_si512(kPreviousIndex.index), codes);
    carry->codes = codes;
    uint64_t quick = 0;
    for (int k = 0; k < kRangeRounds; ++k) {
      const __m512i off = _mm512_sub_epi8(
          v, _mm512_shuffle_epi8(Table(kPairTables.first[k]), before));
      quick |= _mm512_cmple_epu8_mask(
          off, _mm512_shuffle_epi8(Table(kPairTables.span[k]), before));
    }
    Masks m;
    const uint64_t lfs = Equal(v, '\n');
    const uint64_t crs = Equal(v, '\r');
    const uint64_t tabs = Equal(v, '\t');
    const uint64_t dels = Equal(v, 0x7F);
    const uint64_t controls =
        (_mm512_cmple_epu8_mask(v, Splat(0x1F)) & ~(tabs | lfs | crs)) | dels;
    m.leads = Flagged(codes, kLeadFlag);
    m.trails = Within(v, 0x40, 0xFC) & ~dels;
    m.good = m.trails & quick;
    m.lfs = lfs;
    m.crs = crs;
    m.bad = controls | Flagged(codes, kHighFlag);
    m.only_second = Equal(v, 0x80) | Equal(v, 0xA0);
    if constexpr (kInfo) {
      m.tabs = tabs;
      m.eof_marks = Equal(v, 0x1A);
      m.controls = controls & ~m.eof_marks;
      m.kana = Within(v, 0xA1, 0xDF);
      m.counted = Flagged(codes, kCountedFlag);
    }
    return m;
  }
};

#undef VU32_INLINE

}  // namespace
}  // namespace avx512

extern const Kernel kAvx512Kernel =
    avx512::MakeKernel<avx512::Avx512>(scan::Level::kAvx512);

}  // namespace vu32::check
