#include "filters/kana.h"

#include "filters/kana_table.h"
#include "filters/scan.h"
#include "support/sjis.h"

namespace vu32 {
namespace {

// Every input byte yields at most two output bytes (a kana with an unmerged
// mark is four bytes for two), plus a kana held over from the last block.
constexpr OutputBound kKanaBound = {2, 2 + scan::kStoreSlack};

class Kana : public ByteFilter {
 public:
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;
  void Finish(ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);
  uint8_t* Step(uint8_t c, uint8_t* d);

  // At most one is set (>= 0): a lead byte whose partner is in the next
  // block, or a kana that waits to see whether a sound mark follows.
  int pending_lead_ = -1;
  int pending_kana_ = -1;
};

void Kana::Feed(const uint8_t* data, size_t size, ByteWriter& out) {
  FeedInChunks(data, size, out, kKanaBound,
               [this](const uint8_t* s, size_t n, uint8_t* d) {
                 return Convert(s, n, d);
               });
}

uint8_t* Kana::Convert(const uint8_t* s, size_t n, uint8_t* d) {
  const uint8_t* const end = s + n;
  // The kernel starts between characters: first settle what the last block
  // left pending.
  while (s < end && (pending_lead_ >= 0 || pending_kana_ >= 0)) {
    d = Step(*s++, d);
  }
  const scan::Progress done =
      scan::Active().kana(s, static_cast<size_t>(end - s), d);
  s += done.read;
  d += done.written;
  while (s < end) d = Step(*s++, d);
  return d;
}

// One input byte through the conversion.
uint8_t* Kana::Step(uint8_t c, uint8_t* d) {
  if (pending_lead_ >= 0) {
    d[0] = static_cast<uint8_t>(pending_lead_);
    d[1] = c;  // its partner, whatever it is
    pending_lead_ = -1;
    return d + 2;
  }
  if (pending_kana_ >= 0) {
    const unsigned taken =
        kana::PutFullWidth(static_cast<uint8_t>(pending_kana_), c, d);
    d += 2;
    pending_kana_ = -1;
    if (taken == 2) return d;  // c was its sound mark
  }
  if (SjisLeadByte(c)) {
    pending_lead_ = c;
  } else if (c >= kana::kFirst && c <= kana::kLast) {
    pending_kana_ = c;
  } else {
    *d++ = c;
  }
  return d;
}

void Kana::Finish(ByteWriter& out) {
  uint8_t* d = out.Reserve(2);
  uint8_t* end = d;
  if (pending_kana_ >= 0) {
    kana::PutFullWidth(static_cast<uint8_t>(pending_kana_), 0, end);
    end += 2;
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
