// -K and -U / -U+ through the real binary: every kana conversion, whole long
// lines, NUL bytes, files and pipes, and the behaviour when memory runs out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

struct KanaRow {
  const char* what;      // the characters, for failure messages
  const char* input;     // hex
  const char* expected;  // hex
};

// Each half-width byte alone, in byte order 0xA1..0xDF.
const KanaRow kSingleKana[] = {
    {"｡ 。", "A1", "81 42"}, {"｢ 「", "A2", "81 75"}, {"｣ 」", "A3", "81 76"},
    {"､ 、", "A4", "81 41"}, {"･ ・", "A5", "81 45"}, {"ｦ ヲ", "A6", "83 92"},
    {"ｧ ァ", "A7", "83 40"}, {"ｨ ィ", "A8", "83 42"}, {"ｩ ゥ", "A9", "83 44"},
    {"ｪ ェ", "AA", "83 46"}, {"ｫ ォ", "AB", "83 48"}, {"ｬ ャ", "AC", "83 83"},
    {"ｭ ュ", "AD", "83 85"}, {"ｮ ョ", "AE", "83 87"}, {"ｯ ッ", "AF", "83 62"},
    {"ｰ ー", "B0", "81 5B"}, {"ｱ ア", "B1", "83 41"}, {"ｲ イ", "B2", "83 43"},
    {"ｳ ウ", "B3", "83 45"}, {"ｴ エ", "B4", "83 47"}, {"ｵ オ", "B5", "83 49"},
    {"ｶ カ", "B6", "83 4A"}, {"ｷ キ", "B7", "83 4C"}, {"ｸ ク", "B8", "83 4E"},
    {"ｹ ケ", "B9", "83 50"}, {"ｺ コ", "BA", "83 52"}, {"ｻ サ", "BB", "83 54"},
    {"ｼ シ", "BC", "83 56"}, {"ｽ ス", "BD", "83 58"}, {"ｾ セ", "BE", "83 5A"},
    {"ｿ ソ", "BF", "83 5C"}, {"ﾀ タ", "C0", "83 5E"}, {"ﾁ チ", "C1", "83 60"},
    {"ﾂ ツ", "C2", "83 63"}, {"ﾃ テ", "C3", "83 65"}, {"ﾄ ト", "C4", "83 67"},
    {"ﾅ ナ", "C5", "83 69"}, {"ﾆ ニ", "C6", "83 6A"}, {"ﾇ ヌ", "C7", "83 6B"},
    {"ﾈ ネ", "C8", "83 6C"}, {"ﾉ ノ", "C9", "83 6D"}, {"ﾊ ハ", "CA", "83 6E"},
    {"ﾋ ヒ", "CB", "83 71"}, {"ﾌ フ", "CC", "83 74"}, {"ﾍ ヘ", "CD", "83 77"},
    {"ﾎ ホ", "CE", "83 7A"}, {"ﾏ マ", "CF", "83 7D"}, {"ﾐ ミ", "D0", "83 7E"},
    {"ﾑ ム", "D1", "83 80"}, {"ﾒ メ", "D2", "83 81"}, {"ﾓ モ", "D3", "83 82"},
    {"ﾔ ヤ", "D4", "83 84"}, {"ﾕ ユ", "D5", "83 86"}, {"ﾖ ヨ", "D6", "83 88"},
    {"ﾗ ラ", "D7", "83 89"}, {"ﾘ リ", "D8", "83 8A"}, {"ﾙ ル", "D9", "83 8B"},
    {"ﾚ レ", "DA", "83 8C"}, {"ﾛ ロ", "DB", "83 8D"}, {"ﾜ ワ", "DC", "83 8F"},
    {"ﾝ ン", "DD", "83 93"}, {"ﾞ ゛", "DE", "81 4A"}, {"ﾟ ゜", "DF", "81 4B"},
};

// The merges, and the kana that take no mark.
const KanaRow kMarks[] = {
    {"ｶﾞ ガ", "B6 DE", "83 4B"},
    {"ｷﾞ ギ", "B7 DE", "83 4D"},
    {"ｸﾞ グ", "B8 DE", "83 4F"},
    {"ｹﾞ ゲ", "B9 DE", "83 51"},
    {"ｺﾞ ゴ", "BA DE", "83 53"},
    {"ｻﾞ ザ", "BB DE", "83 55"},
    {"ｼﾞ ジ", "BC DE", "83 57"},
    {"ｽﾞ ズ", "BD DE", "83 59"},
    {"ｾﾞ ゼ", "BE DE", "83 5B"},
    {"ｿﾞ ゾ", "BF DE", "83 5D"},
    {"ﾀﾞ ダ", "C0 DE", "83 5F"},
    {"ﾁﾞ ヂ", "C1 DE", "83 61"},
    {"ﾂﾞ ヅ", "C2 DE", "83 64"},
    {"ﾃﾞ デ", "C3 DE", "83 66"},
    {"ﾄﾞ ド", "C4 DE", "83 68"},
    {"ﾊﾞ バ", "CA DE", "83 6F"},
    {"ﾋﾞ ビ", "CB DE", "83 72"},
    {"ﾌﾞ ブ", "CC DE", "83 75"},
    {"ﾍﾞ ベ", "CD DE", "83 78"},
    {"ﾎﾞ ボ", "CE DE", "83 7B"},
    {"ﾊﾟ パ", "CA DF", "83 70"},
    {"ﾋﾟ ピ", "CB DF", "83 73"},
    {"ﾌﾟ プ", "CC DF", "83 76"},
    {"ﾍﾟ ペ", "CD DF", "83 79"},
    {"ﾎﾟ ポ", "CE DF", "83 7C"},
    {"ｳﾞ stays ウ゛", "B3 DE", "83 45 81 4A"},
    {"ﾜﾞ stays ワ゛", "DC DE", "83 8F 81 4A"},
    {"ｦﾞ stays ヲ゛", "A6 DE", "83 92 81 4A"},
    {"ｵﾞ stays オ゛", "B5 DE", "83 49 81 4A"},
    {"ﾅﾞ stays ナ゛", "C5 DE", "83 69 81 4A"},
    {"ﾏﾞ stays マ゛", "CF DE", "83 7D 81 4A"},
    {"ｶﾟ stays カ゜", "B6 DF", "83 4A 81 4B"},
    {"ﾄﾟ stays ト゜", "C4 DF", "83 67 81 4B"},
    {"ﾞ after A", "41 DE", "41 81 4A"},
    {"ﾟ after A", "41 DF", "41 81 4B"},
    {"ﾞﾞ", "DE DE", "81 4A 81 4A"},
    {"ﾟﾞ", "DF DE", "81 4B 81 4A"},
    {"ｶﾞﾞ", "B6 DE DE", "83 4B 81 4A"},
    {"ﾎﾟﾟ", "CE DF DF", "83 7C 81 4B"},
    {"ｱ as second byte", "83 B1", "83 B1"},
    {"ﾞ as second byte", "83 DE", "83 DE"},
};

// Runs every row through one -K run, one row per line: no converted byte is
// an LF, so the output splits back into rows.
void CheckKanaRows(const KanaRow* rows, size_t count) {
  RunOptions opt;
  for (size_t i = 0; i < count; ++i) {
    opt.stdin_data += FromHex(rows[i].input) + "\n";
  }
  RunResult r = RunVu32({"-K"}, opt);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].what);
    size_t lf = r.out.find('\n', pos);
    ASSERT_NE(lf, std::string::npos);
    EXPECT_EQ(Hex(r.out.substr(pos, lf - pos)), rows[i].expected);
    pos = lf + 1;
  }
  EXPECT_EQ(pos, r.out.size());
}

TEST(KanaE2eTest, EveryHalfWidthByte) {
  ASSERT_EQ(std::size(kSingleKana), 63u);
  CheckKanaRows(kSingleKana, std::size(kSingleKana));
}

TEST(KanaE2eTest, SoundMarks) { CheckKanaRows(kMarks, std::size(kMarks)); }

TEST(KanaE2eTest, EndOfInput) {
  const struct {
    const char* what;
    const char* input;
    const char* expected;
  } rows[] = {
      {"empty", "", ""},
      {"last byte a kana", "41 B6", "41 83 4A"},
      {"last byte a lone lead byte is kept", "41 42 83", "41 42 83"},
      {"kana then lone lead byte", "CA 83", "83 6E 83"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    RunOptions opt;
    opt.stdin_data = FromHex(row.input);
    RunResult r = RunVu32({"-K"}, opt);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Hex(r.out), row.expected);
  }
}

TEST(KanaE2eTest, FileToFileAcrossManyBlocks) {
  ScopedTempDir dir;
  std::string input;
  std::string expected;
  // Odd-length pieces so that pairs and marks fall on block edges.
  for (int i = 0; i < 40000; ++i) {
    input += FromHex("B6 DE 83 B1 0D 0A CA");
    expected += FromHex("83 4B 83 B1 0D 0A 83 6E");
  }
  WriteFile(dir.File("in.txt"), input);
  RunResult r = RunVu32({"-K", dir.File("in.txt"), dir.File("out.txt")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  EXPECT_TRUE(ReadFile(dir.File("out.txt")) == expected);
}

struct UniqRow {
  const char* what;
  std::vector<std::string> args;
  std::string input;
  std::string expected;
};

TEST(UniqE2eTest, Rows) {
  const std::string a8190(8190, 'a');
  const UniqRow rows[] = {
      {"adjacent duplicates", {"-U"}, "a\na\nb\na\n", "a\nb\na\n"},
      {"case, exact", {"-U"}, "ABC\nabc\n", "ABC\nabc\n"},
      {"case, folded", {"-U+"}, "ABC\nabc\nAbc\n", "ABC\n"},
      {"second bytes never fold",
       {"-U+"},
       "\x83\x41\n\x83\x61\n",
       "\x83\x41\n\x83\x61\n"},
      {"last line without LF", {"-U"}, "x\nx", "x\nx"},
      {"CR LF vs LF", {"-U"}, "a\r\na\n", "a\r\na\n"},
      {"long line written whole", {"-U"}, a8190 + "\n", a8190 + "\n"},
      {"long duplicates dropped",
       {"-U"},
       a8190 + "\n" + a8190 + "\n" + a8190 + "\n",
       a8190 + "\n"},
      {"long lines differing at the end",
       {"-U"},
       a8190 + "b\n" + a8190 + "c\n",
       a8190 + "b\n" + a8190 + "c\n"},
      {"NUL bytes compared and written",
       {"-U"},
       std::string("\0a\n\0a\n\0b\nc\0\0\n", 13),
       std::string("\0a\n\0b\nc\0\0\n", 10)},
      {"NUL bytes, folded",
       {"-U+"},
       std::string("\0a\n\0A\n", 6),
       std::string("\0a\n", 3)},
  };
  for (const UniqRow& row : rows) {
    SCOPED_TRACE(row.what);
    RunOptions opt;
    opt.stdin_data = row.input;
    RunResult r = RunVu32(row.args, opt);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, BannerLine());
    EXPECT_TRUE(r.out == row.expected)
        << r.out.size() << " bytes instead of " << row.expected.size();
  }
}

TEST(UniqE2eTest, FileToFileWithLinesAcrossBlocks) {
  ScopedTempDir dir;
  std::string input;
  std::string expected;
  // Lines of growing length, each twice, so that every kind of block cut
  // occurs: inside lines, at LFs, inside lines longer than a block.
  for (size_t n = 1; n < 200000; n = n * 3 / 2 + 1) {
    std::string line(n, static_cast<char>('a' + n % 26));
    line += '\n';
    input += line + line;
    expected += line;
  }
  WriteFile(dir.File("in.txt"), input);
  RunResult r = RunVu32({"-U", dir.File("in.txt"), dir.File("out.txt")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  EXPECT_TRUE(ReadFile(dir.File("out.txt")) == expected);
}

// Runs `producer | vu32 ARGS > out 2> err` under a limit on the address
// space, in `dir`. Returns the exit status of vu32.
int RunLimited(const ScopedTempDir& dir, const std::string& producer,
               const std::string& args, long limit_kb) {
  const std::string command = "ulimit -v " + std::to_string(limit_kb) + " && " +
                              producer + " | LC_ALL=C \"$0\" " + args +
                              " > \"$1/out\" 2> \"$1/err\"";
  const std::string line =
      "sh -c '" + command + "' '" + BuiltBinary() + "' '" + dir.path() + "'";
  int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool CanLimitMemory() {
#if defined(__SANITIZE_ADDRESS__)
  return false;  // the sanitizer reserves far more address space than this
#else
  const char* cmd = std::getenv("VU32_E2E_COMMAND");
  return !(cmd && *cmd);
#endif
}

// 80 MB of short lines under a 48 MB address-space limit: memory does not
// grow with the input.
TEST(UniqE2eTest, MemoryStaysFlatOnLargeInput) {
  if (!CanLimitMemory()) GTEST_SKIP() << "no address-space limit here";
  ScopedTempDir dir;
  int status =
      RunLimited(dir, "yes abcdefg | head -c 80000000", "-U", 48 * 1024);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(dir.File("out")), "abcdefg\n");
  EXPECT_EQ(ReadFile(dir.File("err")), BannerLine());
}

// One line longer than the memory the process may have.
TEST(UniqE2eTest, LineLargerThanMemoryFailsWithMessage) {
  if (!CanLimitMemory()) GTEST_SKIP() << "no address-space limit here";
  ScopedTempDir dir;
  int status = RunLimited(dir, "head -c 100000000 /dev/zero", "-U+", 48 * 1024);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(WithoutBanner(ReadFile(dir.File("err"))),
            std::string(kUniqNoMemory.sjis) + "\n");
}

}  // namespace
}  // namespace vu32::testing
