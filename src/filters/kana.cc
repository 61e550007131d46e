#include "filters/kana.h"

#include <cstring>

#include "filters/scan.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

constexpr uint8_t kFirstHalfKana = 0xA1;
constexpr uint8_t kVoicedMark = 0xDE;      // ﾞ
constexpr uint8_t kSemiVoicedMark = 0xDF;  // ﾟ

// Full-width form of each half-width byte 0xA1..0xDF, lead byte first.
constexpr uint8_t kHalfKanaTable[63][2] = {
    {0x81, 0x42}, {0x81, 0x75}, {0x81, 0x76}, {0x81, 0x41},  // A1 ｡ ｢ ｣ ､
    {0x81, 0x45}, {0x83, 0x92}, {0x83, 0x40}, {0x83, 0x42},  // A5 ･ ｦ ｧ ｨ
    {0x83, 0x44}, {0x83, 0x46}, {0x83, 0x48}, {0x83, 0x83},  // A9 ｩ ｪ ｫ ｬ
    {0x83, 0x85}, {0x83, 0x87}, {0x83, 0x62}, {0x81, 0x5B},  // AD ｭ ｮ ｯ ｰ
    {0x83, 0x41}, {0x83, 0x43}, {0x83, 0x45}, {0x83, 0x47},  // B1 ｱ ｲ ｳ ｴ
    {0x83, 0x49}, {0x83, 0x4A}, {0x83, 0x4C}, {0x83, 0x4E},  // B5 ｵ ｶ ｷ ｸ
    {0x83, 0x50}, {0x83, 0x52}, {0x83, 0x54}, {0x83, 0x56},  // B9 ｹ ｺ ｻ ｼ
    {0x83, 0x58}, {0x83, 0x5A}, {0x83, 0x5C}, {0x83, 0x5E},  // BD ｽ ｾ ｿ ﾀ
    {0x83, 0x60}, {0x83, 0x63}, {0x83, 0x65}, {0x83, 0x67},  // C1 ﾁ ﾂ ﾃ ﾄ
    {0x83, 0x69}, {0x83, 0x6A}, {0x83, 0x6B}, {0x83, 0x6C},  // C5 ﾅ ﾆ ﾇ ﾈ
    {0x83, 0x6D}, {0x83, 0x6E}, {0x83, 0x71}, {0x83, 0x74},  // C9 ﾉ ﾊ ﾋ ﾌ
    {0x83, 0x77}, {0x83, 0x7A}, {0x83, 0x7D}, {0x83, 0x7E},  // CD ﾍ ﾎ ﾏ ﾐ
    {0x83, 0x80}, {0x83, 0x81}, {0x83, 0x82}, {0x83, 0x84},  // D1 ﾑ ﾒ ﾓ ﾔ
    {0x83, 0x86}, {0x83, 0x88}, {0x83, 0x89}, {0x83, 0x8A},  // D5 ﾕ ﾖ ﾗ ﾘ
    {0x83, 0x8B}, {0x83, 0x8C}, {0x83, 0x8D}, {0x83, 0x8F},  // D9 ﾙ ﾚ ﾛ ﾜ
    {0x83, 0x93}, {0x81, 0x4A}, {0x81, 0x4B},                // DD ﾝ ﾞ ﾟ
};

// What the loop needs to know about one input byte.
enum ByteClass : uint8_t {
  kPlain = 0,  // written as it is
  kLead,       // opens a two-byte character
  kKana,       // 0xA1..0xDF
};

// Per-byte tables, built once at compile time from kHalfKanaTable.
struct KanaTables {
  ByteClass kind[256];
  uint8_t full[256][2];     // full-width form of a half-width byte
  bool voiceable[256];      // ｶ..ﾄ, ﾊ..ﾎ: ﾞ merges (second byte + 1)
  bool semi_voiceable[256]; // ﾊ..ﾎ: ﾟ merges (second byte + 2)
};

constexpr KanaTables BuildTables() {
  KanaTables t{};
  for (int c = 0; c < 256; ++c) {
    t.kind[c] = SjisLeadByte(static_cast<unsigned char>(c)) ? kLead : kPlain;
  }
  for (int c = kFirstHalfKana; c <= kSemiVoicedMark; ++c) {
    t.kind[c] = kKana;
    t.full[c][0] = kHalfKanaTable[c - kFirstHalfKana][0];
    t.full[c][1] = kHalfKanaTable[c - kFirstHalfKana][1];
  }
  for (int c = 0xB6; c <= 0xC4; ++c) t.voiceable[c] = true;  // ｶ..ﾄ
  for (int c = 0xCA; c <= 0xCE; ++c) {                        // ﾊ..ﾎ
    t.voiceable[c] = true;
    t.semi_voiceable[c] = true;
  }
  return t;
}

constexpr KanaTables kTables = BuildTables();

// Writes the full-width form of kana `k`, merged with `next` when `next` is
// a sound mark that `k` takes. True when `next` was consumed.
inline bool PutKana(uint8_t k, int next, uint8_t*& d) {
  d[0] = kTables.full[k][0];
  d[1] = kTables.full[k][1];
  bool merged = false;
  if (next == kVoicedMark && kTables.voiceable[k]) {
    d[1] = static_cast<uint8_t>(d[1] + 1);
    merged = true;
  } else if (next == kSemiVoicedMark && kTables.semi_voiceable[k]) {
    d[1] = static_cast<uint8_t>(d[1] + 2);
    merged = true;
  }
  d += 2;
  return merged;
}

class Kana : public ByteFilter {
 public:
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;
  void Finish(ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);

  // At most one is set (>= 0): a lead byte whose partner is in the next
  // block, or a kana that waits to see whether a sound mark follows.
  int pending_lead_ = -1;
  int pending_kana_ = -1;
};

// Room beyond two bytes per input byte: two for a kana held over from the
// previous block, and the tail of a 16-byte store past the last run.
constexpr size_t kSlack = 32;

void Kana::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  // Every input byte yields at most two output bytes (a kana with an
  // unmerged mark is four bytes for two), plus kSlack.
  FeedInChunks(data, size, out, 2, kSlack,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 return Convert(s, n, d);
               });
}

uint8_t* Kana::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  if (n == 0) return d;
  size_t i = 0;
  if (pending_lead_ >= 0) {
    d[0] = static_cast<uint8_t>(pending_lead_);
    d[1] = s[0];  // its partner, whatever it is
    d += 2;
    i = 1;
    pending_lead_ = -1;
  } else if (pending_kana_ >= 0) {
    if (PutKana(static_cast<uint8_t>(pending_kana_), s[0], d)) i = 1;
    pending_kana_ = -1;
  }
  size_t scalar_end = 0;
  while (i < n) {
#ifdef VU32_SCAN_SSE2
    // Sixteen bytes without a half-width kana outside a two-byte character
    // pass unchanged.
    const __m128i va1 = _mm_set1_epi8(static_cast<char>(kFirstHalfKana));
    const __m128i vkana = _mm_set1_epi8(kSemiVoicedMark - kFirstHalfKana);
    while (i + 16 <= n) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      __m128i ok = _mm_sub_epi8(x, va1);
      unsigned kana = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(ok, vkana), ok)));
      // Second bytes of two-byte characters are never converted; a lead
      // byte in the last place wants its partner from beyond the block.
      bool open_lead = false;
      unsigned trail = scan::TrailMask16(scan::LeadMask16(x), &open_lead);
      kana &= ~trail;
      if (kana == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), x);
        d += 16;
      } else {
        if (kana >> 15) {
          // A kana in the last place may merge with the next block's
          // first byte: leave this block to the byte loop.
          scalar_end = i + 16;
          break;
        }
        // Each run between kana goes out as one 16-byte store (what lies
        // past the run is overwritten next).
        alignas(16) uint8_t pad[32];
        const uint8_t* b = scan::RunSource(s, i, n, x, pad);
        unsigned pos = 0;
        while (kana) {
          unsigned p = static_cast<unsigned>(__builtin_ctz(kana));
          scan::Copy16(d, b + pos);
          d += p - pos;
          pos = p + (PutKana(b[p], b[p + 1], d) ? 2 : 1);
          kana &= ~((1u << pos) - 1);  // a merged mark is consumed too
        }
        scan::Copy16(d, b + pos);
        d += 16 - pos;
      }
      i += 16;
      if (open_lead) {
        if (i == n) {
          --d;
          pending_lead_ = s[n - 1];
          return d;
        }
        *d++ = s[i++];  // the partner, whatever it is
      }
    }
#else
    // Runs of ASCII are the common case: copy them a word at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (word & 0x8080808080808080ULL) break;
      std::memcpy(d, &word, 8);
      d += 8;
      i += 8;
    }
#endif
    if (i == n) break;
    do {
      const uint8_t c = s[i];
      switch (kTables.kind[c]) {
        case kPlain:
          *d++ = c;
          ++i;
          break;
        case kLead:
          if (i + 1 == n) {
            pending_lead_ = c;
            return d;
          }
          d[0] = c;
          d[1] = s[i + 1];
          d += 2;
          i += 2;
          break;
        case kKana:
          if (i + 1 == n) {
            pending_kana_ = c;
            return d;
          }
          i += PutKana(c, s[i + 1], d) ? 2 : 1;
          break;
      }
    } while (i < scalar_end && i < n);
  }
  return d;
}

void Kana::Finish(ByteWriter& out) {
  uint8_t* d = out.Reserve(2);
  uint8_t* end = d;
  if (pending_kana_ >= 0) {
    PutKana(static_cast<uint8_t>(pending_kana_), -1, end);
  } else if (pending_lead_ >= 0) {
    // The input ended inside a two-byte character: keep the byte rather
    // than lose data.
    *end++ = static_cast<uint8_t>(pending_lead_);
  }
  out.Commit(static_cast<size_t>(end - d));
  pending_kana_ = -1;
  pending_lead_ = -1;
}

}  // namespace

std::unique_ptr<ByteFilter> MakeKana() { return std::make_unique<Kana>(); }

}  // namespace vu32
