#include "filters/text.h"

#include <cstring>

#include "support/sjis.h"

namespace vu32 {

void Deletecontrolchar::Feed(const uint8_t* data, size_t size,
                             ByteWriter& out) {
  // An LF may write the CR held back before it: two bytes for one.
  FeedInChunks(data, size, out, 2, 0,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 uint8_t prev = previous_;
                 for (size_t i = 0; i < n; ++i) {
                   uint8_t c = s[i];
                   if (c == '\n') {
                     if (prev == '\r') *d++ = '\r';
                     *d++ = '\n';
                   } else if (c >= 0x20 ? c != 0x7F : c == '\t') {
                     *d++ = c;
                   }
                   prev = c;
                 }
                 previous_ = prev;
                 return d;
               });
}

ChangeCase::ChangeCase(bool lower) {
  for (int c = 0; c < 256; ++c) map_[c] = static_cast<uint8_t>(c);
  for (int c = 'A'; c <= 'Z'; ++c) {
    if (lower) {
      map_[c] = static_cast<uint8_t>(c + 0x20);
    } else {
      map_[c + 0x20] = static_cast<uint8_t>(c);
    }
  }
}

void ChangeCase::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, 1, 1,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 size_t i = 0;
                 if (pending_lead_ >= 0 && n > 0) {
                   *d++ = static_cast<uint8_t>(pending_lead_);
                   *d++ = s[0];  // its partner, whatever it is
                   pending_lead_ = -1;
                   i = 1;
                 }
                 while (i < n) {
                   uint8_t c = s[i];
                   if (SjisLeadByte(c)) {
                     if (i + 1 == n) {
                       pending_lead_ = c;
                       break;
                     }
                     d[0] = c;
                     d[1] = s[i + 1];
                     d += 2;
                     i += 2;
                   } else {
                     *d++ = map_[c];
                     ++i;
                   }
                 }
                 return d;
               });
}

void ChangeCase::Finish(ByteWriter& out) {
  if (pending_lead_ >= 0) out.Put(static_cast<uint8_t>(pending_lead_));
  pending_lead_ = -1;
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
                 for (size_t i = 0; i < n; ++i) {
                   uint8_t c = s[i];
                   if (c == '\t') {
                     unsigned k = width - column;
                     std::memset(d, ' ', 8);
                     d += k;
                     column = 0;
                   } else {
                     *d++ = c;
                     column = (c == '\n' || c == '\r')
                                  ? 0
                                  : (column + 1 == width ? 0 : column + 1);
                   }
                 }
                 column_ = column;
                 return d;
               });
}

}  // namespace vu32
