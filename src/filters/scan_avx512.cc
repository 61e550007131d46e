// The kernels on 64-byte AVX-512 vectors, with the byte compress of VBMI2
// and the byte permutes of VBMI: a block with bytes to delete or to widen
// is written in a few instructions instead of a loop over those bytes.
// Built with those extensions (and BMI2 for pdep); chosen only where the
// processor has all of them.
#include <immintrin.h>

#include "filters/scan_kernels.h"

namespace vu32::scan {
namespace {

// Byte i of the first 64 bytes of two vectors f and s interleaved (f[0],
// s[0], f[1], s[1], ...) as indexes for vpermt2b, where 64 + j is s[j].
struct PairIndexes {
  uint8_t low[64];   // pairs 0..31
  uint8_t high[64];  // pairs 32..63
};

constexpr PairIndexes MakePairIndexes() {
  PairIndexes t{};
  for (int j = 0; j < 32; ++j) {
    t.low[2 * j] = static_cast<uint8_t>(j);
    t.low[2 * j + 1] = static_cast<uint8_t>(64 + j);
    t.high[2 * j] = static_cast<uint8_t>(32 + j);
    t.high[2 * j + 1] = static_cast<uint8_t>(96 + j);
  }
  return t;
}

constexpr PairIndexes kPairIndexes = MakePairIndexes();

constexpr struct ByteIndex {
  uint8_t index[64];
  constexpr ByteIndex() : index() {
    for (int i = 0; i < 64; ++i) index[i] = static_cast<uint8_t>(i);
  }
} kByteIndexTable;
constexpr const uint8_t* kByteIndex = kByteIndexTable.index;

struct Avx512 {
  static constexpr bool kCompress = true;
  static constexpr bool kNativeCompress = true;
  static constexpr bool kPopcount = true;
  using Block = __m512i;

  static Block Splat(uint8_t c) {
    return _mm512_set1_epi8(static_cast<char>(c));
  }
  static Block Load(const uint8_t* p) { return _mm512_loadu_si512(p); }
  static void Store(uint8_t* p, Block b) { _mm512_storeu_si512(p, b); }

  static uint64_t Equal(Block b, uint8_t c) {
    return _mm512_cmpeq_epi8_mask(b, Splat(c));
  }
  static uint64_t Matches(Block b, Block o) {
    return _mm512_cmpeq_epi8_mask(b, o);
  }
  static uint64_t Within(Block b, uint8_t lo, uint8_t hi) {
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(b, Splat(lo)),
                                  Splat(static_cast<uint8_t>(hi - lo)));
  }
  static Block FlipCase(Block b, uint64_t bits) {
    return _mm512_xor_si512(b, _mm512_maskz_mov_epi8(bits, Splat(0x20)));
  }
  static Block Replace(Block b, uint64_t bits, uint8_t c) {
    return _mm512_mask_mov_epi8(b, bits, Splat(c));
  }
  static Block Blend(Block b, uint64_t bits, Block o) {
    return _mm512_mask_mov_epi8(b, bits, o);
  }
  static Block AddTo(Block b, uint64_t bits, uint8_t c) {
    return _mm512_mask_add_epi8(b, bits, b, Splat(c));
  }
  static Block Lookup(const uint8_t* table, Block index) {
    // The zero-masking form, as in StoreQuarter.
    return _mm512_maskz_permutexvar_epi8(~uint64_t{0}, index,
                                         _mm512_loadu_si512(table));
  }

  static void CopyRun(uint8_t* d, const uint8_t* s, size_t /*n <= 64*/) {
    _mm512_storeu_si512(d, _mm512_loadu_si512(s));
  }
  // The offsets base + i of the set bits i of `bits`, in order, at `out`:
  // the byte compress of 0..63 lists them; returns the end (16 entries at
  // a time are stored).
  static uint32_t* Offsets(uint64_t bits, uint32_t base, uint32_t* out) {
    const Block index =
        _mm512_maskz_compress_epi8(bits, _mm512_loadu_si512(kByteIndex));
    const auto count = static_cast<unsigned>(_mm_popcnt_u64(bits));
    StoreQuarter<0>(index, base, out);
    if (count > 16) {
      StoreQuarter<1>(index, base, out);
      if (count > 32) {
        StoreQuarter<2>(index, base, out);
        StoreQuarter<3>(index, base, out);
      }
    }
    return out + count;
  }
  // Bytes 16k..16k+15 of `index`, widened, plus base, at out + 16k. (The
  // zero-masking forms: GCC 12 warns about the plain ones' undefined merge
  // source.)
  template <int k>
  static void StoreQuarter(Block index, uint32_t base, uint32_t* out) {
    const __m128i bytes = _mm512_maskz_extracti32x4_epi32(0xF, index, k);
    _mm512_storeu_si512(
        out + 16 * k,
        _mm512_add_epi32(_mm512_maskz_cvtepu8_epi32(0xFFFF, bytes),
                         _mm512_set1_epi32(static_cast<int>(base))));
  }
  static bool Differ(const uint8_t* a, const uint8_t* b, size_t n) {
    return _mm512_mask_cmpneq_epi8_mask(_bzhi_u64(~uint64_t{0}, n),
                                        _mm512_loadu_si512(a),
                                        _mm512_loadu_si512(b)) != 0;
  }
  static uint8_t* StoreKept(uint8_t* d, Block b, uint64_t keep) {
    _mm512_storeu_si512(d, _mm512_maskz_compress_epi8(keep, b));
    return d + _mm_popcnt_u64(keep);
  }
  static uint8_t* StorePairs(uint8_t* d, Block f, Block s, uint64_t f_kept,
                             uint64_t s_kept) {
    constexpr uint64_t kEven = 0x5555555555555555;
    const Block low =
        _mm512_permutex2var_epi8(f, _mm512_loadu_si512(kPairIndexes.low), s);
    const Block high =
        _mm512_permutex2var_epi8(f, _mm512_loadu_si512(kPairIndexes.high), s);
    d = StoreKept(d, low, _pdep_u64(f_kept, kEven) | _pdep_u64(s_kept, ~kEven));
    return StoreKept(
        d, high,
        _pdep_u64(f_kept >> 32, kEven) | _pdep_u64(s_kept >> 32, ~kEven));
  }
};

}  // namespace

extern const Kernels kAvx512Kernels = {
    .level = Level::kAvx512,
    .change_case = ChangeCase<Avx512>,
    .crconv = Crconv<Avx512>,
    .join = Join<Avx512>,
    .delete_control = DeleteControl<Avx512>,
    .delete_tabs = DeleteTabs<Avx512>,
    .tab2space = Tab2space<Avx512>,
    .kana = Kana<Avx512>,
    .find_byte = FindByte<Avx512>,
    .uniq = Uniq<Avx512>,
    .count_byte = CountByte<Avx512>,
};

}  // namespace vu32::scan
