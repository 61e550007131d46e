// ASCII letters as bytes: the only letters whose case VU32 ever folds.
#ifndef VU32_SUPPORT_ASCII_H_
#define VU32_SUPPORT_ASCII_H_

namespace vu32 {

// A-Z to a-z; every other byte as it is.
constexpr char AsciiToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
}

}  // namespace vu32

#endif  // VU32_SUPPORT_ASCII_H_
