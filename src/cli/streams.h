// Where a filter reads and writes: named files, or a redirected standard
// input and standard output.
#ifndef VU32_CLI_STREAMS_H_
#define VU32_CLI_STREAMS_H_

#include <string>

#include "cli/command_line.h"

namespace vu32 {

struct StreamPair {
  int input = -1;           // -1: none
  std::string input_name;   // file name, or "stdin"
  int output = -1;          // -1: none
  std::string output_name;  // file name, or "stdout"
  bool output_is_stdout = false;
  // After kCannotOpen or kCannotCreate: the name concerned and why.
  std::string failed_name;
  std::string failure;
};

enum class OpenResult {
  kOk,
  kCannotOpen,    // the input could not be opened
  kCannotCreate,  // the output could not be created
  kSameFile,      // the output exists and is the input file under another name
};

// Opens the input and the output that `command` names. A named input is
// opened before standard input is taken over (which points descriptor 0
// at the terminal), so that /dev/stdin still reads what it was given; the
// output is created only after the input has been opened and found to be
// a different file. Reports nothing.
OpenResult OpenStreams(const Command& command, StreamPair* pair);
// The two halves of OpenStreams, for a caller that looks at the input
// before the output is created.
OpenResult OpenInputStream(const Command& command, StreamPair* pair);
OpenResult OpenOutputStream(const Command& command, StreamPair* pair);

// Closes what the pair opened (standard output is only flushed by its
// writer, never closed). False when closing the output failed; the caller
// reports it.
bool CloseStreams(StreamPair* pair);

}  // namespace vu32

#endif  // VU32_CLI_STREAMS_H_
