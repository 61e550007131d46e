// Path names as bytes: where the directory part ends.
#ifndef VU32_SUPPORT_PATH_H_
#define VU32_SUPPORT_PATH_H_

namespace vu32 {

// The last byte of `path` that separates directories ("/", and "\\" on
// Win32), or null. The second byte of a two-byte character (表 is 95 5C) is
// never taken for one.
const char* LastPathSeparator(const char* path);

}  // namespace vu32

#endif  // VU32_SUPPORT_PATH_H_
