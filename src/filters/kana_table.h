// Half-width katakana (single bytes 0xA1-0xDF) and their full-width
// two-byte forms, shared by the -K filter's byte loop and its kernels.
#ifndef VU32_FILTERS_KANA_TABLE_H_
#define VU32_FILTERS_KANA_TABLE_H_

#include <cstdint>

namespace vu32::kana {

inline constexpr uint8_t kFirst = 0xA1;
inline constexpr uint8_t kLast = 0xDF;
inline constexpr uint8_t kVoicedMark = 0xDE;      // ﾞ
inline constexpr uint8_t kSemiVoicedMark = 0xDF;  // ﾟ
// ｶ..ﾄ and ﾊ..ﾎ take ﾞ (second byte + 1); ﾊ..ﾎ also take ﾟ (+ 2).
inline constexpr uint8_t kVoicedFirst = 0xB6, kVoicedLast = 0xC4;
inline constexpr uint8_t kHaRowFirst = 0xCA, kHaRowLast = 0xCE;

// Full-width form of each half-width byte 0xA1..0xDF, lead byte first.
inline constexpr uint8_t kFullWidth[63][2] = {
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

// Writes the full-width form of kana `k` at `d`, merged with `next` when
// `next` is a sound mark that `k` takes; returns 2 when `next` was merged
// (consumed), else 1. The filter's loop uses it; the kernels, each compiled
// for its own instruction set, have their own copy (scan_kernels.h).
inline unsigned PutFullWidth(uint8_t k, uint8_t next, uint8_t* d) {
  d[0] = kFullWidth[k - kFirst][0];
  d[1] = kFullWidth[k - kFirst][1];
  const bool ha_row = k >= kHaRowFirst && k <= kHaRowLast;
  if (next == kVoicedMark &&
      ((k >= kVoicedFirst && k <= kVoicedLast) || ha_row)) {
    d[1] = static_cast<uint8_t>(d[1] + 1);
    return 2;
  }
  if (next == kSemiVoicedMark && ha_row) {
    d[1] = static_cast<uint8_t>(d[1] + 2);
    return 2;
  }
  return 1;
}

}  // namespace vu32::kana

#endif  // VU32_FILTERS_KANA_TABLE_H_
