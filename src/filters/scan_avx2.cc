// The kernels on 32-byte AVX2 vectors (built with -mavx2 -mbmi; chosen only
// where the processor has both).
#include <immintrin.h>

#include "filters/scan_kernels.h"

namespace vu32::scan {
namespace {

struct Avx2 {
  static constexpr bool kCompress = false;
  static constexpr bool kPopcount = true;
  struct Block {
    __m256i v[2];
  };

  static __m256i Splat(uint8_t c) {
    return _mm256_set1_epi8(static_cast<char>(c));
  }

  static Block Load(const uint8_t* p) {
    return {{_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32))}};
  }
  static void Store(uint8_t* p, const Block& b) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), b.v[0]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 32), b.v[1]);
  }

  // The mask of the bytes where `test` gives 0xFF.
  template <class Test>
  static uint64_t Bits(const Block& b, Test test) {
    const auto lo = static_cast<uint32_t>(_mm256_movemask_epi8(test(b.v[0])));
    const auto hi = static_cast<uint32_t>(_mm256_movemask_epi8(test(b.v[1])));
    return uint64_t{lo} | uint64_t{hi} << 32;
  }
  static uint64_t Equal(const Block& b, uint8_t c) {
    const __m256i vc = Splat(c);
    return Bits(b, [&](__m256i x) { return _mm256_cmpeq_epi8(x, vc); });
  }
  static uint64_t Matches(const Block& b, const Block& o) {
    const auto lo = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(b.v[0], o.v[0])));
    const auto hi = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(b.v[1], o.v[1])));
    return uint64_t{lo} | uint64_t{hi} << 32;
  }
  static uint64_t Within(const Block& b, uint8_t lo, uint8_t hi) {
    const __m256i vlo = Splat(lo);
    const __m256i span = Splat(static_cast<uint8_t>(hi - lo));
    return Bits(b, [&](__m256i x) {
      // x - lo <= hi - lo, unsigned: the minimum of the two is x - lo.
      const __m256i off = _mm256_sub_epi8(x, vlo);
      return _mm256_cmpeq_epi8(_mm256_min_epu8(off, span), off);
    });
  }

  // 0xFF in each byte whose bit is set in the low 32 bits of `bits`: byte
  // k of the bits goes to bytes 8k..8k+7, each of which tests its own bit.
  static __m256i Expand(uint64_t bits) {
    const __m256i spread =
        _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                         2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i select =
        _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201));
    const __m256i b = _mm256_shuffle_epi8(
        _mm256_set1_epi32(static_cast<int>(bits & 0xFFFFFFFF)), spread);
    return _mm256_cmpeq_epi8(_mm256_and_si256(b, select), select);
  }
  static Block FlipCase(const Block& b, uint64_t bits) {
    const __m256i v20 = Splat(0x20);
    return {
        {_mm256_xor_si256(b.v[0], _mm256_and_si256(Expand(bits), v20)),
         _mm256_xor_si256(b.v[1], _mm256_and_si256(Expand(bits >> 32), v20))}};
  }

  static void CopyRun(uint8_t* d, const uint8_t* s, size_t n) {
    for (size_t k = 0; k < n; k += 32) {
      _mm256_storeu_si256(
          reinterpret_cast<__m256i*>(d + k),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k)));
    }
  }
};

}  // namespace

extern const Kernels kAvx2Kernels = {
    .level = Level::kAvx2,
    .change_case = ChangeCase<Avx2>,
    .crconv = Crconv<Avx2>,
    .join = Join<Avx2>,
    .delete_control = DeleteControl<Avx2>,
    .delete_tabs = DeleteTabs<Avx2>,
    .tab2space = Tab2space<Avx2>,
    .kana = Kana<Avx2>,
    .find_byte = FindByte<Avx2>,
    .uniq = Uniq<Avx2>,
};

}  // namespace vu32::scan
