#include "cli/app.h"

#include <memory>
#include <new>
#include <string>

#include "cli/streams.h"
#include "cli/switch.h"
#include "filters/filter.h"
#include "filters/kana.h"
#include "filters/newline.h"
#include "filters/text.h"
#include "filters/uniq.h"
#include "merge/merge.h"
#include "platform/platform.h"
#include "split/split.h"
#include "support/byte_stream.h"
#include "support/copy.h"
#include "support/messages.h"
#include "support/work_buffer.h"

namespace vu32 {
namespace {

void WriteBanner() {
  std::string version(MessageBytes(kVersion));
  std::string copyright(kCopyright);
  ReportFormat(kBannerFormat, version.c_str(), copyright.c_str());
}

void ReportMissingStreams() {
  Report(kNoStreams);
  Report(kUsageHint);
}

std::unique_ptr<ByteFilter> MakeFilter(int mode, int newline_kind,
                                       int tab_width) {
  switch (mode) {
    case kRunUniq:
      return MakeUniq(UniqMode::kExact);
    case kRunUniqIgnoreCase:
      return MakeUniq(UniqMode::kIgnoreCase);
    case kRunLower:
      return std::make_unique<ChangeCase>(LetterCase::kLower);
    case kRunUpper:
      return std::make_unique<ChangeCase>(LetterCase::kUpper);
    case kRunJoin:
      return std::make_unique<Join>();
    case kRunTabs:
      if (tab_width == 0) return std::make_unique<DeleteTabs>();
      return std::make_unique<Tab2space>(tab_width);
    case kRunKana:
      return MakeKana();
    case kRunCrconv:
      return std::make_unique<Crconv>(newline_kind);
    case kRunDeleteControl:
      return std::make_unique<Deletecontrolchar>();
    default:
      return nullptr;
  }
}

// Copies the input unchanged. False after a failure that has been
// reported (no buffer, a read or a write error).
bool PlainCopy(const StreamPair& pair) {
  if (AllocWorkBuffer(0) != 0) return false;
  uint64_t count = 0;
  CopyStatus status = CopyToEnd(pair.input, pair.output, &count);
  FreeWorkBuffer();
  if (status == CopyStatus::kReadError) Report(kReadFailed, pair.input_name);
  if (status == CopyStatus::kWriteError) Report(kWriteFailed, pair.output_name);
  return status == CopyStatus::kOk;
}

// Feeds the whole input through `filter`. False after a reported failure.
bool RunFilter(ByteFilter& filter, const StreamPair& pair) {
  bool read_failed = false;
  bool write_failed = false;
  try {
    ByteReader reader(pair.input, pair.input_name, kFilterBlockSize);
    ByteWriter writer(pair.output, pair.output_name, kFilterBlockSize);
    // A terminal sees each block as soon as it is converted.
    const bool immediate = pair.output_is_stdout && platform::IsTerminal(1);
    const uint8_t* block;
    while (size_t n = reader.NextBlock(&block)) {
      filter.Feed(block, n, writer);
      if (filter.failed() || writer.failed()) break;
      if (immediate) writer.Flush();
    }
    if (filter.failed()) return false;
    filter.Finish(writer);
    if (filter.failed()) return false;
    read_failed = reader.failed();
    write_failed = !writer.Flush();
  } catch (const std::bad_alloc&) {
    Report(kNoMemory);
    return false;
  }
  if (read_failed) Report(kReadFailed, pair.input_name);
  if (write_failed) Report(kWriteFailed, pair.output_name);
  return !read_failed && !write_failed;
}

int RunStreamOperation(int mode, int newline_kind, int tab_width, int argc,
                       char** argv) {
  const bool plain_copy = mode == kRunCrconv && newline_kind == kNewlineNone;
  std::unique_ptr<ByteFilter> filter;
  if (!plain_copy) {
    try {
      filter = MakeFilter(mode, newline_kind, tab_width);
    } catch (const std::bad_alloc&) {
      Report(kNoMemory);
      return 1;
    }
    // Only filter modes reach here; the check keeps a stray mode from
    // opening (and emptying) an output file.
    if (!filter) {
      Report(kBadSwitch, argv[0]);
      return 1;
    }
  }

  StreamPair pair;
  OpenResult opened = OpenStreams(argc, argv, &pair);
  if (opened == OpenResult::kSameFile) {
    Report(kSameName);
    return 1;
  }
  if (opened != OpenResult::kOk) {
    ReportMissingStreams();
    return 1;
  }
  bool ok = plain_copy ? PlainCopy(pair) : RunFilter(*filter, pair);
  const std::string output_name = pair.output_name;
  if (!CloseStreams(&pair) && ok) {
    Report(kWriteFailed, output_name);
    ok = false;
  }
  return ok ? 0 : 1;
}

}  // namespace

int RunVu32(int argc, char** argv) {
  SetMessagesUtf8(platform::MessagesWantUtf8());
  WriteBanner();

  int newline_kind = kNewlineNone;
  int tab_width = 0;
  int mode;
  if (argc < 2) {
    if (platform::IsTerminal(0)) {
      PrintUsage();
      return 1;
    }
    mode = kRunNoSwitch;
  } else {
    mode = ParseSwitch(argv[1], &newline_kind, &tab_width);
  }
  if (mode == kRunBadSwitch) {
    Report(kUsageHint);
    return 1;
  }
  if (mode == kRunHelp) return 1;
  if (mode == kRunNoSwitch) {
    mode = kRunCrconv;
    newline_kind = kNewlineNone;
  }

  if (argc == 4 && SameNameIgnoringCase(argv[2], argv[3])) {
    Report(kSameName);
    return 1;
  }

  // Drop the program name, keeping the switch as entry 0; for the plain
  // copy entry 0 stays the program name and the names follow.
  if (!(mode == kRunCrconv && newline_kind == kNewlineNone)) {
    --argc;
    ++argv;
  }

  if (mode == kRunSplit) return RunSplit(argc, argv) == -1 ? 1 : 0;
  if (mode == kRunMerge) return RunMerge(argc, argv) == -1 ? 1 : 0;
  return RunStreamOperation(mode, newline_kind, tab_width, argc, argv);
}

}  // namespace vu32
