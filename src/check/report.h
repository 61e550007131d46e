// --check and --info over a list of inputs: reads each once through the
// checker and writes its report. The command line parses the options and
// names and calls RunCheck or RunInfo; nothing here looks at argv.
//
// --check writes one line per fault and note on standard output,
//   FILE:LINE:COLUMN: CLASS: byte OFFSET: 41 42 43 [81 20] 44 45 46
//   FILE:LINE:COLUMN: CLASS: text            (notes: no "byte OFFSET")
// the fault's bytes in brackets between up to three bytes of context on
// either side; then, per input, a summary (kCheckSummary, left out by
// --quiet) and the verdict (kCheckVerdict) on standard error. --json writes
// one JSON document on standard output instead, and nothing on standard
// error but trouble. --info writes a table, one row per input, or with
// --json a document holding every count.
#ifndef VU32_CHECK_REPORT_H_
#define VU32_CHECK_REPORT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/byte_stream.h"

namespace vu32::check {

struct Input {
  // As given on the command line, and so shown in the report; "stdin" for
  // standard input.
  std::string name;
  // A descriptor already open for reading (standard input, taken over by
  // the command line), or -1: `name` is opened and closed here. An open
  // descriptor is not closed.
  int fd = -1;
};

inline constexpr uint64_t kNoLimit = UINT64_MAX;

struct CheckRequest {
  std::vector<Input> inputs;  // checked in order
  bool json = false;          // --json
  // --max-errors N: fault lines (or records) listed per input; the counts
  // stay complete. Notes are always listed.
  uint64_t max_errors = kNoLimit;
};

struct InfoRequest {
  std::vector<Input> inputs;
  bool json = false;
};

// Exit status: 0 every input is CP932 text without a fault (ASCII and
// empty inputs count as such); 1 an input has a fault or is judged UTF-8,
// UTF-16 or binary; 2 trouble, which wins: an input could not be opened or
// read (reported on standard error; the others are still checked) or the
// report could not be written (the run stops).
int RunCheck(const CheckRequest& request);
// Exit status 0, or 2 as for RunCheck.
int RunInfo(const InfoRequest& request);
// The same, writing the report to `out` (tests).
int RunCheck(const CheckRequest& request, ByteWriter& out);
int RunInfo(const InfoRequest& request, ByteWriter& out);

// Reads the N of --max-errors N / --max-errors=N: decimal digits only, at
// most kNoLimit - 1. False for anything else.
bool ParseMaxErrors(std::string_view text, uint64_t* n);

// `text` as a JSON string, quotes included. Valid UTF-8 is kept; every
// byte that is not part of valid UTF-8 becomes \u00XX (the character of
// that byte's value, as Latin-1 would read it). Returns false when it had
// to do that, so that the caller can give the exact bytes beside it.
bool AppendJsonString(std::string* out, std::string_view text);

}  // namespace vu32::check

#endif  // VU32_CHECK_REPORT_H_
