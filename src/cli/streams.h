// Where a filter reads and writes: named files, or a redirected standard
// input and standard output.
#ifndef VU32_CLI_STREAMS_H_
#define VU32_CLI_STREAMS_H_

#include <string>

namespace vu32 {

struct StreamPair {
  int input = -1;           // -1: none
  std::string input_name;   // file name, or "stdin"
  int output = -1;          // -1: none
  std::string output_name;  // file name, or "stdout"
  bool output_is_stdout = false;
  bool redirected = false;  // standard input was redirected and taken
  // After kCannotOpen or kCannotCreate: the name concerned and why.
  std::string failed_name;
  std::string failure;
};

enum class OpenResult {
  kOk,
  kMissing,       // no input or no output was asked for, or the names match
  kCannotOpen,    // the input could not be opened
  kCannotCreate,  // the output could not be created
  kSameFile,      // the output exists and is the input file under another name
};

// Fills `pair` from argv[1] and argv[2] (argv[0] is the switch or program
// name and is not looked at). Creates the output only after the input has
// been opened and found to be a different file. Reports nothing.
OpenResult OpenStreams(int argc, char** argv, StreamPair* pair);

// Closes what the pair opened (standard output is only flushed by its
// writer, never closed). False when closing the output failed; the caller
// reports it.
bool CloseStreams(StreamPair* pair);

}  // namespace vu32

#endif  // VU32_CLI_STREAMS_H_
