// The kernels on 16-byte SSE2 vectors, which every x86-64 processor has.
#include <emmintrin.h>

#include "filters/scan_kernels.h"

namespace vu32::scan {
namespace {

struct Sse2 {
  static constexpr bool kCompress = false;
  static constexpr bool kNativeCompress = false;
  static constexpr bool kPopcount = false;
  struct Block {
    __m128i v[4];
  };

  static __m128i Splat(uint8_t c) {
    return _mm_set1_epi8(static_cast<char>(c));
  }

  static Block Load(const uint8_t* p) {
    Block b;
    for (int k = 0; k < 4; ++k) {
      b.v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    }
    return b;
  }
  static void Store(uint8_t* p, const Block& b) {
    for (int k = 0; k < 4; ++k) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * k), b.v[k]);
    }
  }

  // The mask of the bytes where `test` gives 0xFF.
  template <class Test>
  static uint64_t Bits(const Block& b, Test test) {
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
      m |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(test(b.v[k])))}
           << (16 * k);
    }
    return m;
  }
  static uint64_t Equal(const Block& b, uint8_t c) {
    const __m128i vc = Splat(c);
    return Bits(b, [&](__m128i x) { return _mm_cmpeq_epi8(x, vc); });
  }
  static uint64_t Matches(const Block& b, const Block& o) {
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
      m |= uint64_t{static_cast<uint16_t>(
               _mm_movemask_epi8(_mm_cmpeq_epi8(b.v[k], o.v[k])))}
           << (16 * k);
    }
    return m;
  }
  static uint64_t Within(const Block& b, uint8_t lo, uint8_t hi) {
    const __m128i vlo = Splat(lo);
    const __m128i span = Splat(static_cast<uint8_t>(hi - lo));
    return Bits(b, [&](__m128i x) {
      // x - lo <= hi - lo, unsigned: the minimum of the two is x - lo.
      const __m128i off = _mm_sub_epi8(x, vlo);
      return _mm_cmpeq_epi8(_mm_min_epu8(off, span), off);
    });
  }

  // 0xFF in each byte whose bit is set in the low 16 bits of `bits`.
  static __m128i Expand(uint64_t bits) {
    const __m128i select = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4,
                                         8, 16, 32, 64, -128);
    const __m128i b = _mm_unpacklo_epi64(
        _mm_set1_epi8(static_cast<char>(bits & 0xFF)),
        _mm_set1_epi8(static_cast<char>((bits >> 8) & 0xFF)));
    return _mm_cmpeq_epi8(_mm_and_si128(b, select), select);
  }
  static Block FlipCase(const Block& b, uint64_t bits) {
    const __m128i v20 = Splat(0x20);
    Block out;
    for (int k = 0; k < 4; ++k) {
      out.v[k] =
          _mm_xor_si128(b.v[k], _mm_and_si128(Expand(bits >> (16 * k)), v20));
    }
    return out;
  }

  // Always 64 bytes, which the contract allows: a loop over the length
  // would cost a mispredicted branch per run.
  static void CopyRun(uint8_t* d, const uint8_t* s, size_t /*n <= 64*/) {
    Store(d, Load(s));
  }
};

}  // namespace

extern const Kernels kSse2Kernels = {
    .level = Level::kSse2,
    .change_case = ChangeCase<Sse2>,
    .crconv = Crconv<Sse2>,
    .join = Join<Sse2>,
    .delete_control = DeleteControl<Sse2>,
    .delete_tabs = DeleteTabs<Sse2>,
    .tab2space = Tab2space<Sse2>,
    .kana = Kana<Sse2>,
    .find_byte = FindByte<Sse2>,
    .uniq = Uniq<Sse2>,
    .count_byte = CountByte<Sse2>,
};

}  // namespace vu32::scan
