// Running one character filter from an input descriptor to an output one.
#ifndef VU32_CLI_FILTER_RUN_H_
#define VU32_CLI_FILTER_RUN_H_

#include <functional>
#include <memory>
#include <string_view>

#include "check/guard.h"
#include "cli/command_line.h"
#include "filters/filter.h"
#include "support/page_block.h"

namespace vu32 {

// The filter that `command` names; null for the plain copy, merge and
// split, which convert nothing.
std::unique_ptr<ByteFilter> MakeFilter(const Command& command);

struct ConvertResult {
  enum Status {
    kOk,
    kReadError,   // `error` holds errno
    kWriteError,  // `error` holds errno
  };
  Status status = kOk;
  int error = 0;
};

// Feeds everything from `in` through `filter` into `out`. With `immediate`
// each block is written as soon as it is converted (a terminal). Reports
// nothing; running out of memory throws std::bad_alloc.
// `head`, when given, is the start of the input, already read from `in`.
ConvertResult Convert(ByteFilter& filter, int in, int out, bool immediate,
                      std::string_view head = {});
// The blocks a run of many conversions lends each of them, so that a file
// does not allocate and fault in fresh megabytes of its own; empty ones
// are allocated.
struct ConvertBlocks {
  PageBlock read, write;
};
// The same into `sink`, with `blocks`; every block read is also shown to
// `observe`.
using BlockObserver = std::function<void(const uint8_t* data, size_t size)>;
ConvertResult Convert(ByteFilter& filter, int in, ByteSink* sink,
                      const BlockObserver& observe, ConvertBlocks* blocks);

// What the operation `command` names must refuse to convert (nothing with
// --force).
check::GuardScope GuardScopeOf(const Command& command);

}  // namespace vu32

#endif  // VU32_CLI_FILTER_RUN_H_
