#include "filters/newline.h"

#include "filters/scan.h"

namespace vu32 {
namespace {

inline uint8_t* PutNewline(int kind, uint8_t* d) {
  if (kind == kNewlineCrLf) {
    d[0] = '\r';
    d[1] = '\n';
    return d + 2;
  }
  if (kind == kNewlineLf) {
    *d = '\n';
    return d + 1;
  }
  if (kind == kNewlineCr) {
    *d = '\r';
    return d + 1;
  }
  return d;
}

}  // namespace

void EmitNewline(int kind, ByteWriter& out) {
  uint8_t* d = out.Reserve(2);
  out.Commit(static_cast<size_t>(PutNewline(kind, d) - d));
}

void Crconv::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  // Two bytes per input byte at most, and room for the tail of a 16-byte
  // store past the last run.
  FeedInChunks(data, size, out, 2, 32,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const int kind = kind_;
                 bool cr = previous_was_cr_;
                 size_t i = 0;
#ifdef VU32_SCAN_SSE2
                 // Sixteen bytes at a time; the line ends of a block are
                 // taken from its bit mask, the runs between them go out as
                 // 16-byte stores (what lies past a run is overwritten).
                 const __m128i vcr = _mm_set1_epi8('\r');
                 const __m128i vlf = _mm_set1_epi8('\n');
                 for (; i + 16 <= n; i += 16) {
                   __m128i x =
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                   unsigned m = static_cast<unsigned>(_mm_movemask_epi8(
                       _mm_or_si128(_mm_cmpeq_epi8(x, vcr),
                                    _mm_cmpeq_epi8(x, vlf))));
                   if (m == 0) {
                     _mm_storeu_si128(reinterpret_cast<__m128i*>(d), x);
                     d += 16;
                     cr = false;
                     continue;
                   }
                   alignas(16) uint8_t pad[32];
                   const uint8_t* b = scan::RunSource(s, i, n, x, pad);
                   unsigned pos = 0;
                   do {
                     unsigned p = static_cast<unsigned>(__builtin_ctz(m));
                     scan::Copy16(d, b + pos);
                     d += p - pos;
                     if (p > pos) cr = false;
                     if (b[p] == '\r') {
                       d = PutNewline(kind, d);
                       cr = true;
                     } else {
                       if (!cr) d = PutNewline(kind, d);
                       cr = false;
                     }
                     pos = p + 1;
                     m &= m - 1;
                   } while (m);
                   scan::Copy16(d, b + pos);
                   d += 16 - pos;
                   if (pos < 16) cr = false;
                 }
#endif
                 for (; i < n; ++i) {
                   uint8_t c = s[i];
                   if (c == '\r') {
                     d = PutNewline(kind, d);
                     cr = true;
                   } else if (c == '\n') {
                     if (!cr) d = PutNewline(kind, d);
                     cr = false;
                   } else {
                     *d++ = c;
                     cr = false;
                   }
                 }
                 previous_was_cr_ = cr;
                 return d;
               });
}

void Join::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, 1, 0,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 bool pending = cr_pending_;
                 size_t i = 0;
                 while (i < n) {
                   size_t k = scan::CopyUntilEither(s + i, n - i, d, '\r', '\n');
                   d += k;
                   i += k;
                   if (i == n) break;
                   if (s[i++] == '\r') {
                     pending = true;
                     // The common CR LF pair in one step.
                     if (i < n && s[i] == '\n') {
                       ++i;
                       pending = false;
                     }
                   } else if (pending) {
                     pending = false;
                   } else {
                     *d++ = '\n';
                   }
                 }
                 cr_pending_ = pending;
                 return d;
               });
}

}  // namespace vu32
