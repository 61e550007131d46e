#include "filters/text.h"

#include <cstring>

#include "filters/scan.h"
#include "support/sjis.h"

namespace vu32 {

void Deletecontrolchar::Feed(const uint8_t* data, size_t size,
                             ByteWriter& out) {
  // An LF may write the CR held back before it: two bytes for one.
  FeedInChunks(data, size, out, 2, 0,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 uint8_t prev = previous_;
                 size_t i = 0;
                 while (i < n) {
                   size_t k = scan::CopyUntilControl(s + i, n - i, d);
                   if (k > 0) prev = s[i + k - 1];
                   d += k;
                   i += k;
                   if (i == n) break;
                   uint8_t c = s[i++];
                   if (c == '\r' && i < n && s[i] == '\n') {
                     // The common CR LF pair in one step.
                     *d++ = '\r';
                     c = s[i++];
                     *d++ = '\n';
                   } else if (c == '\n') {
                     if (prev == '\r') *d++ = '\r';
                     *d++ = '\n';
                   }
                   prev = c;
                 }
                 previous_ = prev;
                 return d;
               });
}

ChangeCase::ChangeCase(bool lower) : lower_(lower) {}

namespace {

// Converts `n` bytes one for one. `partner` says that s[0] completes a
// two-byte character begun earlier; returns the same for the byte after
// the last. Sixteen bytes at a time, every letter that is not the second
// byte of a two-byte character is converted.
bool ConvertCase(const uint8_t* s, size_t n, uint8_t* d, bool lower,
                 bool partner) {
  const uint8_t from = lower ? 'A' : 'a';
  size_t i = 0;
#ifdef VU32_SCAN_SSE2
  const __m128i vfrom = _mm_set1_epi8(static_cast<char>(from));
  const __m128i v25 = _mm_set1_epi8(25);
  const __m128i v20 = _mm_set1_epi8(0x20);
  for (; i + 16 <= n; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i off = _mm_sub_epi8(x, vfrom);
    __m128i letter = _mm_cmpeq_epi8(_mm_min_epu8(off, v25), off);
    unsigned trail = scan::TrailMask16(scan::LeadMask16(x), &partner);
    letter = _mm_andnot_si128(scan::ExpandBits16(trail), letter);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                     _mm_xor_si128(x, _mm_and_si128(letter, v20)));
  }
#endif
  for (; i < n; ++i) {
    uint8_t c = s[i];
    if (partner) {
      d[i] = c;
      partner = false;
    } else if (SjisLeadByte(c)) {
      d[i] = c;
      partner = true;
    } else {
      d[i] = static_cast<uint8_t>(c - from) < 26 ? c ^ 0x20 : c;
    }
  }
  return partner;
}

}  // namespace

void ChangeCase::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, 1, 0,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 partner_next_ = ConvertCase(s, n, d, lower_, partner_next_);
                 return d + n;
               });
}

void DeleteTabs::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  const uint8_t* end = data + size;
  while (data < end) {
    const auto* tab = static_cast<const uint8_t*>(
        std::memchr(data, '\t', static_cast<size_t>(end - data)));
    const uint8_t* stop = tab ? tab : end;
    out.Write(data, static_cast<size_t>(stop - data));
    data = tab ? tab + 1 : end;
  }
}

void Tab2space::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, 8, 0,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const unsigned width = width_;
                 unsigned column = column_;
                 size_t i = 0;
                 while (i < n) {
                   size_t k = scan::CopyUntilAny3(s + i, n - i, d, '\t', '\r',
                                                  '\n');
                   column = static_cast<unsigned>((column + k) % width);
                   d += k;
                   i += k;
                   if (i == n) break;
                   uint8_t c = s[i++];
                   if (c == '\t') {
                     std::memset(d, ' ', 8);
                     d += width - column;
                   } else {
                     *d++ = c;
                   }
                   column = 0;  // after a tab stop, a CR or an LF
                 }
                 column_ = column;
                 return d;
               });
}

}  // namespace vu32
