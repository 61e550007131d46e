#include "filters/text.h"

#include "filters/scan.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

// An LF may bring the CR held back before it: two bytes for one, once.
constexpr OutputBound kDeleteControlBound = {1, 1 + scan::kStoreSlack};
constexpr OutputBound kChangeCaseBound = {1, scan::kStoreSlack};
constexpr OutputBound kDeleteTabsBound = {1, scan::kStoreSlack};
// A tab becomes up to 8 spaces.
constexpr OutputBound kTab2spaceBound = {8, scan::kStoreSlack};

}  // namespace

void Deletecontrolchar::Feed(const uint8_t* data, size_t size,
                             ByteWriter& out) {
  FeedInChunks(data, size, out, kDeleteControlBound,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const scan::Progress done =
                     scan::Active().delete_control(s, n, d, &previous_);
                 return Convert(s + done.read, n - done.read, d + done.written);
               });
}

// A CR is held back until the next byte shows whether it is the CR of a
// CR LF; other control bytes but tab go.
uint8_t* Deletecontrolchar::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  uint8_t previous = previous_;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = s[i];
    if (c == '\n') {
      if (previous == '\r') *d++ = '\r';
      *d++ = '\n';
    } else if (c == '\t' || (c >= 0x20 && c != 0x7F)) {
      *d++ = c;
    }
    previous = c;
  }
  previous_ = previous;
  return d;
}

ChangeCase::ChangeCase(LetterCase to)
    : first_(to == LetterCase::kLower ? 'A' : 'a') {}

void ChangeCase::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, kChangeCaseBound,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const size_t done = scan::Active().change_case(s, n, d, first_,
                                                                &partner_next_);
                 return Convert(s + done, n - done, d + done);
               });
}

// The byte after a lead byte is its partner, whatever it is; any other
// letter of the case being changed flips bit 0x20.
uint8_t* ChangeCase::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  bool partner = partner_next_;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = s[i];
    if (partner) {
      d[i] = c;
      partner = false;
    } else if (SjisLeadByte(c)) {
      d[i] = c;
      partner = true;
    } else {
      d[i] = static_cast<uint8_t>(c - first_) < 26 ? c ^ 0x20 : c;
    }
  }
  partner_next_ = partner;
  return d + n;
}

void DeleteTabs::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, kDeleteTabsBound,
               [](const uint8_t* s, size_t n, uint8_t* d) {
                 const scan::Progress done =
                     scan::Active().delete_tabs(s, n, d);
                 d += done.written;
                 for (size_t i = done.read; i < n; ++i) {
                   if (s[i] != '\t') *d++ = s[i];
                 }
                 return d;
               });
}

void Tab2space::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, kTab2spaceBound,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 const scan::Progress done =
                     scan::Active().tab2space(s, n, d, width_, &column_);
                 return Convert(s + done.read, n - done.read, d + done.written);
               });
}

// A tab fills up to the next stop; CR and LF start a new line.
uint8_t* Tab2space::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  const unsigned width = width_;
  unsigned column = column_;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = s[i];
    if (c == '\t') {
      for (unsigned k = column; k < width; ++k) *d++ = ' ';
      column = 0;
    } else {
      *d++ = c;
      column = c == '\r' || c == '\n' || column + 1 == width ? 0 : column + 1;
    }
  }
  column_ = column;
  return d;
}

}  // namespace vu32
