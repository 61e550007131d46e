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
    case kRunCheck:
    case kRunInfo:
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

ConvertResult ConvertInto(ByteFilter& filter, ByteReader& reader,
                          ByteWriter& writer, bool immediate,
                          std::string_view head, const BlockObserver* observe) {
  if (!head.empty()) {
    filter.Feed(reinterpret_cast<const uint8_t*>(head.data()), head.size(),
                writer);
    if (immediate) writer.Flush();
  }
  const uint8_t* block;
  while (size_t n = reader.NextBlock(&block)) {
    if (observe) (*observe)(block, n);
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

ConvertResult Convert(ByteFilter& filter, int in, int out, bool immediate,
                      std::string_view head) {
  ByteReader reader(in, kFilterBlockSize);
  ByteWriter writer(out, kFilterBlockSize);
  return ConvertInto(filter, reader, writer, immediate, head, nullptr);
}

ConvertResult Convert(ByteFilter& filter, int in, ByteSink* sink,
                      const BlockObserver& observe, ConvertBlocks* blocks) {
  if (!blocks->read) blocks->read = NewPageBlock(kFilterBlockSize);
  if (!blocks->write) blocks->write = NewPageBlock(kFilterBlockSize);
  ByteReader reader(in, std::move(blocks->read), kFilterBlockSize);
  ByteWriter writer(sink, std::move(blocks->write), kFilterBlockSize);
  const ConvertResult result =
      ConvertInto(filter, reader, writer, false, {}, &observe);
  blocks->read = reader.TakeBlock();
  blocks->write = writer.TakeBlock();
  return result;
}

check::GuardScope GuardScopeOf(const Command& command) {
  using check::GuardScope;
  if (command.options.force) return GuardScope::kNothing;
  switch (command.mode) {
    case kRunKana:
    case kRunLower:
    case kRunUpper:
    case kRunUniqIgnoreCase:
      return GuardScope::kUtf8AndUtf16;
    case kRunTabs:
      return command.tab_width >= 1 ? GuardScope::kUtf8AndUtf16
                                    : GuardScope::kUtf16;
    case kRunCrconv:
    case kRunJoin:
    case kRunDeleteControl:
    case kRunUniq:
      return GuardScope::kUtf16;
    case kRunCopy:
    case kRunCheck:
    case kRunInfo:
    case kRunSplit:
    case kRunMerge:
    case kRunBadSwitch:
    case kRunNoSwitch:
    case kRunHelp:
      break;
  }
  return GuardScope::kNothing;
}

}  // namespace vu32
