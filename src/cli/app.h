// The whole program behind main(): banner, switch, dispatch, exit status.
#ifndef VU32_CLI_APP_H_
#define VU32_CLI_APP_H_

namespace vu32 {

// Runs one operation for the command line and returns the exit status.
int RunVu32(int argc, char** argv);

}  // namespace vu32

#endif  // VU32_CLI_APP_H_
