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
  FeedInChunks(data, size, out, 2, 0,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const int kind = kind_;
                 bool cr = previous_was_cr_;
                 size_t i = 0;
                 while (i < n) {
                   size_t k = scan::CopyUntilEither(s + i, n - i, d, '\r', '\n');
                   if (k > 0) cr = false;
                   d += k;
                   i += k;
                   if (i == n) break;
                   if (s[i++] == '\r') {
                     d = PutNewline(kind, d);
                     cr = true;
                     // The common CR LF pair in one step.
                     if (i < n && s[i] == '\n') {
                       ++i;
                       cr = false;
                     }
                   } else {
                     if (!cr) d = PutNewline(kind, d);
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
