// Whether standard input holds data for the program, and taking it over.
#ifndef VU32_SUPPORT_STANDARD_INPUT_H_
#define VU32_SUPPORT_STANDARD_INPUT_H_

namespace vu32 {

// True when standard input holds data for the program: it is neither a
// terminal nor the null device (what xargs, nohup, services and `cmd &` in
// a script give a program that is to read nothing).
bool StandardInputRedirected();

// Takes over a redirected standard input: returns a duplicate of
// descriptor 0 in binary mode (and points descriptor 0 at the console), or
// -1 when standard input is not redirected or the duplicate fails.
int OpenRedirectedStdin();

}  // namespace vu32

#endif  // VU32_SUPPORT_STANDARD_INPUT_H_
