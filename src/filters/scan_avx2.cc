// The kernels on 32-byte AVX2 vectors (built with -mavx2 -mbmi -mpopcnt;
// chosen only where the processor has all three).
//
// AVX2 has no byte compress, so it is made of shuffles from small tables,
// as fast UTF transcoders do: 16 bytes at a time, a table of 256 entries
// gives for each half of 8 bytes the order that packs its kept bytes to its
// front (one pshufb for both halves), and a second shuffle joins the two
// packed halves. A block that changes is then written without a branch per
// changed byte (measured faster on text than a path of its own for the
// blocks that lose one run); one with nothing to change is still stored as
// it is.
#include <immintrin.h>

#include "filters/scan_kernels.h"

namespace vu32::scan {
namespace {

struct PackTables {
  // Byte j: where the j-th set bit of the index lies (0..7); 0 past the
  // last. The same plus 8 for the high half of 16 bytes.
  uint64_t pack[256];
  uint64_t pack_high[256];
  // For c bytes packed in the low half: bytes 0..c-1 stay, the 8 packed in
  // the high half follow; the rest is cleared.
  uint8_t join[9][16];
  // The 8 bits of the index at the even places of 16 bits, to interleave
  // two masks.
  uint16_t spread[256];
};

constexpr PackTables MakePackTables() {
  PackTables t{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned j = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (m >> bit & 1) {
        t.pack_high[m] |= uint64_t{bit + 8} << (8 * j);
        t.pack[m] |= uint64_t{bit} << (8 * j++);
      }
      if (m >> bit & 1) t.spread[m] |= static_cast<uint16_t>(1u << (2 * bit));
    }
  }
  for (unsigned c = 0; c <= 8; ++c) {
    for (unsigned k = 0; k < 16; ++k) {
      t.join[c][k] = k < c       ? static_cast<uint8_t>(k)
                     : k < c + 8 ? static_cast<uint8_t>(8 + k - c)
                                 : uint8_t{0x80};
    }
  }
  return t;
}

constexpr PackTables kPack = MakePackTables();

struct Avx2 {
  static constexpr bool kCompress = true;
  static constexpr bool kNativeCompress = false;
  static constexpr bool kPopcount = true;
  struct Block {
    __m256i v[2];
  };

  static __m256i Fill(uint8_t c) {
    return _mm256_set1_epi8(static_cast<char>(c));
  }
  static Block Splat(uint8_t c) { return {{Fill(c), Fill(c)}}; }

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
    const __m256i vc = Fill(c);
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
    const __m256i vlo = Fill(lo);
    const __m256i span = Fill(static_cast<uint8_t>(hi - lo));
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
    const __m256i v20 = Fill(0x20);
    return {
        {_mm256_xor_si256(b.v[0], _mm256_and_si256(Expand(bits), v20)),
         _mm256_xor_si256(b.v[1], _mm256_and_si256(Expand(bits >> 32), v20))}};
  }
  static Block Replace(const Block& b, uint64_t bits, uint8_t c) {
    return {{_mm256_blendv_epi8(b.v[0], Fill(c), Expand(bits)),
             _mm256_blendv_epi8(b.v[1], Fill(c), Expand(bits >> 32))}};
  }
  static Block Blend(const Block& b, uint64_t bits, const Block& o) {
    return {{_mm256_blendv_epi8(b.v[0], o.v[0], Expand(bits)),
             _mm256_blendv_epi8(b.v[1], o.v[1], Expand(bits >> 32))}};
  }
  static Block AddTo(const Block& b, uint64_t bits, uint8_t c) {
    const __m256i vc = Fill(c);
    if (bits == ~uint64_t{0}) {
      return {{_mm256_add_epi8(b.v[0], vc), _mm256_add_epi8(b.v[1], vc)}};
    }
    return {
        {_mm256_add_epi8(b.v[0], _mm256_and_si256(Expand(bits), vc)),
         _mm256_add_epi8(b.v[1], _mm256_and_si256(Expand(bits >> 32), vc))}};
  }
  static Block Lookup(const uint8_t* table, const Block& index) {
    const __m256i t[4] = {Quarter(table), Quarter(table + 16),
                          Quarter(table + 32), Quarter(table + 48)};
    Block out;
    for (int h = 0; h < 2; ++h) {
      // pshufb takes the low four bits of each index; bits 4 and 5, moved
      // to the top of each byte, choose among the four results.
      const __m256i x = index.v[h];
      const __m256i bit4 = _mm256_slli_epi16(x, 3);
      const __m256i bit5 = _mm256_slli_epi16(x, 2);
      const __m256i low = _mm256_blendv_epi8(
          _mm256_shuffle_epi8(t[0], x), _mm256_shuffle_epi8(t[1], x), bit4);
      const __m256i high = _mm256_blendv_epi8(
          _mm256_shuffle_epi8(t[2], x), _mm256_shuffle_epi8(t[3], x), bit4);
      out.v[h] = _mm256_blendv_epi8(low, high, bit5);
    }
    return out;
  }
  static __m256i Quarter(const uint8_t* sixteen) {
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(sixteen)));
  }

  // Stores the bytes of `x` whose bits are set in the low 16 of `keep`, in
  // order; returns the end (16 bytes are stored).
  static uint8_t* StoreKept16(uint8_t* d, __m128i x, uint64_t keep) {
    const unsigned lo = keep & 0xFF;
    const unsigned hi = (keep >> 8) & 0xFF;
    const __m128i order =
        _mm_set_epi64x(static_cast<long long>(kPack.pack_high[hi]),
                       static_cast<long long>(kPack.pack[lo]));
    const auto lo_count = static_cast<unsigned>(_mm_popcnt_u32(lo));
    const __m128i packed = _mm_shuffle_epi8(
        _mm_shuffle_epi8(x, order),
        _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(kPack.join[lo_count])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), packed);
    return d + lo_count + _mm_popcnt_u32(hi);
  }
  static uint8_t* StoreKept(uint8_t* d, const Block& b, uint64_t keep) {
    for (int h = 0; h < 2; ++h) {
      d = StoreKept16(d, _mm256_castsi256_si128(b.v[h]), keep >> (32 * h));
      d = StoreKept16(d, _mm256_extracti128_si256(b.v[h], 1),
                      keep >> (32 * h + 16));
    }
    return d;
  }
  static uint8_t* StorePairs(uint8_t* d, const Block& f, const Block& s,
                             uint64_t f_kept, uint64_t s_kept) {
    // The keep bits of pairs 8k..8k+7, interleaved as the pairs are.
    auto pairs = [&](unsigned k) -> uint64_t {
      return kPack.spread[(f_kept >> (8 * k)) & 0xFF] |
             uint64_t{kPack.spread[(s_kept >> (8 * k)) & 0xFF]} << 1;
    };
    for (int h = 0; h < 2; ++h) {
      // Within each 16-byte lane: pairs 0..7 of the lane, then 8..15.
      const __m256i low = _mm256_unpacklo_epi8(f.v[h], s.v[h]);
      const __m256i high = _mm256_unpackhi_epi8(f.v[h], s.v[h]);
      const unsigned k = 4 * h;
      d = StoreKept16(d, _mm256_castsi256_si128(low), pairs(k));
      d = StoreKept16(d, _mm256_castsi256_si128(high), pairs(k + 1));
      d = StoreKept16(d, _mm256_extracti128_si256(low, 1), pairs(k + 2));
      d = StoreKept16(d, _mm256_extracti128_si256(high, 1), pairs(k + 3));
    }
    return d;
  }

  // Always 64 bytes, which the contract allows: a loop over the length
  // would cost a mispredicted branch per run.
  static void CopyRun(uint8_t* d, const uint8_t* s, size_t /*n <= 64*/) {
    Store(d, Load(s));
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
    .count_byte = CountByte<Avx2>,
};

}  // namespace vu32::scan
