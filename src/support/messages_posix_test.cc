// The catalogue checked against iconv, which the Win32 build lacks.
#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/messages.h"
#include "test_util.h"

namespace vu32 {
namespace {

struct Entry {
  const char* name;
  const Message* message;
};

#define ENTRY(m) \
  { #m, &m }
const Entry kCatalogue[] = {
    ENTRY(kBannerFormat),
    ENTRY(kVersion),
    ENTRY(kBadSwitch),
    ENTRY(kUsageHint),
    ENTRY(kSameName),
    ENTRY(kNoStreams),
    ENTRY(kWriteFailed),
    ENTRY(kReadFailed),
    ENTRY(kNoWorkBuffer),
    ENTRY(kDriveNotReady),
    ENTRY(kUniqNoMemory),
    ENTRY(kTotalMergeSize),
    ENTRY(kMergeNoSpace),
    ENTRY(kTooFewParameters),
    ENTRY(kMergingTo),
    ENTRY(kAllocatedBuffer),
    ENTRY(kCannotOpen),
    ENTRY(kListFailed),
    ENTRY(kTwoWildcards),
    ENTRY(kNoOutputName),
    ENTRY(kSourceCopied),
    ENTRY(kSizeAndPattern),
    ENTRY(kNoMemory),
    ENTRY(kStrangeFile),
    ENTRY(kPiecesTooSmall),
    ENTRY(kSplitNoSpace),
    ENTRY(kNoDirectory),
    ENTRY(kSplitting),
    ENTRY(kCannotCreate),
    ENTRY(kExtraArgument),
    ENTRY(kSourceName),
    ENTRY(kPieceCreated),
    ENTRY(kNameAndReason),
    ENTRY(kLineEnd),
    ENTRY(kVersionText),
    ENTRY(kInPlaceWithoutFilter),
    ENTRY(kKeepTimeWithoutInPlace),
    ENTRY(kInPlaceConverted),
    ENTRY(kInPlaceUnchanged),
    ENTRY(kNotARegularFile),
    ENTRY(kSeveralLinks),
    ENTRY(kCannotMakeTemp),
    ENTRY(kLongOptionsHelp),
    ENTRY(kPatternGaveUp),
    ENTRY(kCheckSummary),
    ENTRY(kCheckVerdict),
    ENTRY(kLooksLikeUtf8),
    ENTRY(kLooksLikeUtf16),
    ENTRY(kCheckUsage),
    ENTRY(kCheckOptionsHelp),
    ENTRY(kUsageFormat),
    ENTRY(kOutputExists),
    ENTRY(kOutputExistsHint),
    ENTRY(kPatternAfterSwitch),
    ENTRY(kDirectoryNotWritable),
    ENTRY(kStalePieces),
    ENTRY(kFileChanged),
    ENTRY(kCannotReplace),
    ENTRY(kInPlaceStdin),
    ENTRY(kCannotKeepOwner),
    ENTRY(kCannotKeepGroup),
    ENTRY(kCannotKeepMode),
    ENTRY(kCannotKeepAttribute),
    ENTRY(kNotRepresentable),
};
#undef ENTRY

// The readable text converted to code page 932; "" with ok false when the
// text has a character that the code page lacks.
std::string ToCp932(std::string_view utf8, bool* ok) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in(utf8);
  std::string out(in.size() * 2 + 1, '\0');
  char* src = in.data();
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  *ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - dst_left);
  return out;
}

TEST(MessagesTest, ShiftJisBytesAreTheReadableText) {
  for (const Entry& entry : kCatalogue) {
    SCOPED_TRACE(entry.name);
    bool ok = false;
    const std::string converted = ToCp932(entry.message->text, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(testing::Hex(entry.message->sjis), testing::Hex(converted));
  }
}

// A catalogue entry added to the header must be added above as well.
TEST(MessagesTest, EveryEntryIsChecked) {
  std::ifstream header(VU32_SOURCE_DIR "/src/support/messages.h");
  ASSERT_TRUE(header) << "messages.h not found";
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  std::set<std::string> declared;
  const std::regex declaration("inline constexpr Message (k[A-Za-z0-9_]+)");
  for (std::sregex_iterator it(source.begin(), source.end(), declaration), end;
       it != end; ++it) {
    declared.insert((*it)[1]);
  }
  std::set<std::string> checked;
  for (const Entry& entry : kCatalogue) checked.insert(entry.name);
  EXPECT_EQ(declared, checked);
}

}  // namespace
}  // namespace vu32
