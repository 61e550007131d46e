#include "filters/newline.h"

namespace vu32 {
namespace {

// Every input byte gives at most two output bytes (a line end to CR LF).
constexpr OutputBound kCrconvBound = {2, scan::kStoreSlack};
// Join only deletes.
constexpr OutputBound kJoinBound = {1, scan::kStoreSlack};

}  // namespace

void Crconv::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, kCrconvBound,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const scan::Progress done = scan::Active().crconv(
                     s, n, d, newline_, &previous_was_cr_);
                 return Convert(s + done.read, n - done.read, d + done.written);
               });
}

// A CR ends a line; an LF ends one unless it completes a CR LF.
uint8_t* Crconv::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  bool cr = previous_was_cr_;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = s[i];
    if (c == '\r' || (c == '\n' && !cr)) {
      d = scan::PutLineEnd(newline_, d);
    } else if (c != '\n') {
      *d++ = c;
    }
    cr = c == '\r';
  }
  previous_was_cr_ = cr;
  return d;
}

void Join::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, kJoinBound,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const scan::Progress done =
                     scan::Active().join(s, n, d, &cr_pending_);
                 return Convert(s + done.read, n - done.read, d + done.written);
               });
}

// Every CR goes; so does the first LF after a CR.
uint8_t* Join::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  bool pending = cr_pending_;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = s[i];
    if (c == '\r') {
      pending = true;
    } else if (c == '\n' && pending) {
      pending = false;
    } else {
      *d++ = c;
    }
  }
  cr_pending_ = pending;
  return d;
}

}  // namespace vu32
