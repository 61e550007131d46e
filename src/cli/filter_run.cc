#include "cli/filter_run.h"

#include "filters/kana.h"
#include "filters/newline.h"
#include "filters/text.h"
#include "filters/uniq.h"
#include "support/byte_stream.h"

namespace vu32 {

std::unique_ptr<ByteFilter> MakeFilter(const Command& command) {
  switch (command.mode) {
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
      if (command.tab_width == 0) return std::make_unique<DeleteTabs>();
      return std::make_unique<Tab2space>(command.tab_width);
    case kRunKana:
      return MakeKana();
    case kRunCrconv:
      return std::make_unique<Crconv>(command.newline);
    case kRunDeleteControl:
      return std::make_unique<Deletecontrolchar>();
    case kRunCopy:
    case kRunSplit:
    case kRunMerge:
    case kRunBadSwitch:
    case kRunNoSwitch:
    case kRunHelp:
      break;
  }
  return nullptr;
}

namespace {

ConvertResult ConvertInto(ByteFilter& filter, int in, ByteWriter& writer,
                          bool immediate) {
  ByteReader reader(in, kFilterBlockSize);
  const uint8_t* block;
  while (size_t n = reader.NextBlock(&block)) {
    filter.Feed(block, n, writer);
    if (writer.failed()) break;
    if (immediate) writer.Flush();
  }
  filter.Finish(writer);
  // What was converted before a read error still goes out.
  const bool flushed = writer.Flush();
  if (reader.failed()) return {ConvertResult::kReadError, reader.error()};
  if (!flushed) return {ConvertResult::kWriteError, writer.error()};
  return {};
}

}  // namespace

ConvertResult Convert(ByteFilter& filter, int in, int out, bool immediate) {
  ByteWriter writer(out, kFilterBlockSize);
  return ConvertInto(filter, in, writer, immediate);
}

ConvertResult Convert(ByteFilter& filter, int in, ByteSink* sink) {
  ByteWriter writer(sink, kFilterBlockSize);
  return ConvertInto(filter, in, writer, false);
}

}  // namespace vu32
