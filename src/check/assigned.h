// Which two-byte codes CP932 assigns: the exact bitmap test, and the
// tables of the vector kernels' quick test, derived from the bitmap when
// compiling so that the two cannot drift apart.
//
// The quick test gives each lead byte a row class and each class up to
// kRangeRounds ranges of second bytes; a code passes when its second byte
// lies in one of its class's ranges. Every range holds assigned codes only
// (0x7F, never a second byte, may sit inside one), so a code that passes is
// assigned; a row with more ranges keeps its widest ones, and its other
// codes fail the quick test and are looked up in the bitmap.
#ifndef VU32_CHECK_ASSIGNED_H_
#define VU32_CHECK_ASSIGNED_H_

#include <cstddef>
#include <cstdint>

#include "check/cp932_table.h"

namespace vu32::check {

// Whether CP932 assigns the two-byte code `lead` `trail`.
constexpr bool Assigned(uint8_t lead, uint8_t trail) {
  return lead >= 0x80 &&
         ((kAssignedRows[lead - 0x80][trail >> 6] >> (trail & 63)) & 1) != 0;
}

inline constexpr int kRangeRounds = 4;
inline constexpr int kRowClasses = 16;

// Flags beside the row class in PairTables::code; a byte shuffle indexed
// by a code reads only its low four bits, the class.
inline constexpr uint8_t kLeadFlag = 0x10;     // opens a character
inline constexpr uint8_t kHighFlag = 0x20;     // 0xFD-0xFF: no character
inline constexpr uint8_t kCountedFlag = 0x40;  // a row --info counts apart

// Rows --info counts apart: 0x87 (NEC special characters), 0xED-0xEE
// (NEC-selected IBM extensions), 0xF0-0xF9 (user-defined), 0xFA-0xFC (IBM
// extensions).
constexpr bool CountedRow(int lead) {
  return lead == 0x87 || (lead >= 0xED && lead <= 0xFC);
}

struct PairTables {
  // Row class and flags of each byte 0x80-0x8F, 0x90-0x9F, 0xE0-0xEF,
  // 0xF0-0xFF (index 0..3 by the high nibble); class 0 for the rows
  // assigned in full and for bytes that open no character.
  uint8_t code[4][16];
  // Per round and class: the first second byte of the range, and its
  // length - 1. A class with fewer ranges repeats 0, 0, which only the
  // byte 0x00 (never a second byte) passes.
  uint8_t first[kRangeRounds][kRowClasses];
  uint8_t span[kRangeRounds][kRowClasses];
  int classes;  // row classes in use
};

namespace assigned_internal {

struct Ranges {
  int count = 0;
  uint8_t first[12] = {};
  uint8_t last[12] = {};
};

constexpr bool SecondByte(int t) { return t >= 0x40 && t <= 0xFC && t != 0x7F; }

// The runs of assigned codes of a row, 0x7F joining the runs on either
// side, cut to the widest kRangeRounds (kept in order).
constexpr Ranges RowRanges(int lead) {
  Ranges all;
  bool open = false;
  for (int t = 0x40; t <= 0xFC; ++t) {
    const bool in = t == 0x7F ? open && Assigned(lead, 0x80)
                              : Assigned(static_cast<uint8_t>(lead),
                                         static_cast<uint8_t>(t));
    if (in && !open) all.first[all.count++] = static_cast<uint8_t>(t);
    if (in) all.last[all.count - 1] = static_cast<uint8_t>(t);
    open = in;
  }
  while (all.count > kRangeRounds) {
    int narrowest = 0;
    for (int k = 1; k < all.count; ++k) {
      if (all.last[k] - all.first[k] <
          all.last[narrowest] - all.first[narrowest]) {
        narrowest = k;
      }
    }
    for (int k = narrowest; k + 1 < all.count; ++k) {
      all.first[k] = all.first[k + 1];
      all.last[k] = all.last[k + 1];
    }
    --all.count;
  }
  return all;
}

constexpr bool SameRanges(const Ranges& a, const Ranges& b) {
  if (a.count != b.count) return false;
  for (int k = 0; k < a.count; ++k) {
    if (a.first[k] != b.first[k] || a.last[k] != b.last[k]) return false;
  }
  return true;
}

constexpr int HighIndex(int byte) {
  switch (byte >> 4) {
    case 0x8:
      return 0;
    case 0x9:
      return 1;
    case 0xE:
      return 2;
    case 0xF:
      return 3;
  }
  return -1;
}

constexpr PairTables MakePairTables() {
  PairTables t{};
  Ranges kinds[kRowClasses + 1] = {};
  kinds[0] = RowRanges(0x89);  // a row assigned in full
  t.classes = 1;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    const Ranges r = RowRanges(lead);
    int c = 0;
    while (c < t.classes && !SameRanges(kinds[c], r)) ++c;
    if (c == t.classes) {
      if (t.classes == kRowClasses) return PairTables{};  // too many: fails
      kinds[t.classes++] = r;
    }
    t.code[HighIndex(lead)][lead & 15] = static_cast<uint8_t>(
        c | kLeadFlag | (CountedRow(lead) ? kCountedFlag : 0));
  }
  for (int b = 0xFD; b <= 0xFF; ++b) t.code[3][b & 15] = kHighFlag;
  for (int c = 0; c < t.classes; ++c) {
    for (int k = 0; k < kinds[c].count; ++k) {
      t.first[k][c] = kinds[c].first[k];
      t.span[k][c] = static_cast<uint8_t>(kinds[c].last[k] - kinds[c].first[k]);
    }
  }
  return t;
}

}  // namespace assigned_internal

inline constexpr PairTables kPairTables = assigned_internal::MakePairTables();

// The quick test as the kernels compute it, one code at a time.
constexpr bool QuickAssigned(uint8_t lead, uint8_t trail) {
  const int high = assigned_internal::HighIndex(lead);
  const int c = high < 0 ? 0 : kPairTables.code[high][lead & 15] & 15;
  bool in = false;
  for (int k = 0; k < kRangeRounds; ++k) {
    in |= static_cast<uint8_t>(trail - kPairTables.first[k][c]) <=
          kPairTables.span[k][c];
  }
  return in && assigned_internal::SecondByte(trail);
}

namespace assigned_internal {
constexpr bool QuickTestIsSound() {
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int t = 0x40; t <= 0xFC; ++t) {
      const auto l = static_cast<uint8_t>(lead), s = static_cast<uint8_t>(t);
      if (QuickAssigned(l, s) && !Assigned(l, s)) return false;
    }
  }
  return true;
}
}  // namespace assigned_internal

static_assert(kPairTables.classes > 1, "more row classes than a lookup holds");
static_assert(assigned_internal::QuickTestIsSound(),
              "the quick test passes only assigned codes");

}  // namespace vu32::check

#endif  // VU32_CHECK_ASSIGNED_H_
