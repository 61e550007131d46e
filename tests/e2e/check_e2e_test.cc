// --check, --info and the guard through the real binary: every fault class
// at the start, the end and a block boundary, the verdicts, the exit
// statuses, and each operation's refusal of text that is not Shift-JIS.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

namespace fs = std::filesystem;

// One line a value, one line a case:
// clang-format off
const std::string kMiB(1 << 20, 'a');  // one read block of the checker
const std::string kUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99\n";  // 日本語です
const std::string kSjis = "\x93\xFA\x96{\x8C\xEA\x82\xC5\x82\xB7\n";  // the same
const std::string kUtf16 = std::string("\xFF\xFE" "a\0\r\0\n\0", 8);

// clang-format on
// A report as the build writes it: text lines, which end in CR LF on
// Windows.
std::string Report(std::string text) {
  if (!TargetIsWin32()) return text;
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos;
       at += 2) {
    text.insert(at, 1, '\r');
  }
  return text;
}

struct CheckRow {
  const char* what;
  std::string data;
  std::vector<std::string> options;  // before the file name
  int status;
  std::string out;  // "f" is the file's name
};

TEST(CheckE2eTest, FaultsVerdictsAndStatuses) {
  // clang-format off
  const CheckRow rows[] = {
      {"bad trail at the start", "\x81 a\n", {}, 1, "f:1:1: bad-trail: byte 0: [81 20] 61 0A\n"},
      {"cut character at the end", "ab\x82", {}, 1, "f:1:3: cut-char: byte 2: 61 62 [82]\nf:1:4: no-final-line-end: no line end after the last line\n"},
      {"unassigned code", "\x85\x40\n", {}, 1, "f:1:1: unassigned: byte 0: [85 40] 0A\n"},
      {"bytes that are no character", "\x80\xA0\xFD\n", {}, 1, "f:1:1: invalid-byte: byte 0: [80] A0 FD 0A\nf:1:2: invalid-byte: byte 1: 80 [A0] FD 0A\nf:1:3: invalid-byte: byte 2: 80 A0 [FD] 0A\n"},
      {"NUL, control, DEL, 0x1A inside", std::string("a\0b\x01" "c\x7F\x1A" "d\n", 9), {}, 1, "f:1:2: nul: byte 1: 61 [00] 62 01 63\nf:1:4: control: byte 3: 61 00 62 [01] 63 7F 1A\nf:1:6: control: byte 5: 62 01 63 [7F] 1A 64 0A\nf:1:7: eof-mark: byte 6: 01 63 7F [1A] 64 0A\n"},
      {"byte-order mark", "\xEF\xBB\xBF" + kSjis, {}, 1, "f:1:1: bom: byte 0: [EF BB BF] 93 FA 96\n"},
      {"a character across a block end", kMiB.substr(1) + "\x81 \n", {}, 1, "f:1:1048576: bad-trail: byte 1048575: 61 61 61 [81 20] 0A\n"},
      {"a good character across a block end", kMiB.substr(1) + kSjis, {}, 0, ""},
      {"notes change no status", "a\r\nb\nc\x1A", {}, 0, "f:2:2: mixed-line-ends: first LF line end (1 LF, 1 CR LF)\nf:3:2: no-final-line-end: no line end after the last line\nf:3:2: final-eof-mark: 0x1A as the last byte\n"},
      {"--max-errors 1", "\x80\x80\x80\n", {"--max-errors", "1"}, 1, "f:1:1: invalid-byte: byte 0: [80] 80 80 0A\n"},
      {"--max-errors=0", "\x80\n", {"--max-errors=0"}, 1, ""},
      {"CP932", kSjis, {}, 0, ""},
      {"UTF-8", kUtf8, {}, 1, "?"},
      {"UTF-16", kUtf16, {}, 1, "?"},
      {"ASCII", "abc\n", {}, 0, ""},
      {"binary", std::string(64, '\0') + "abc", {}, 1, "?"},
      {"empty", "", {}, 0, ""},
  };
  // clang-format on
  ScopedTempDir dir;
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  for (const CheckRow& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFile(dir.File("f"), row.data);
    std::vector<std::string> args = {"--quiet", "--check"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back("f");
    const RunResult r = RunVu32(args, options);
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.out != "?") {
      EXPECT_EQ(Hex(r.out), Hex(Report(row.out)));
    }
  }
}

// The verdict line of each input on standard error.
TEST(CheckE2eTest, VerdictLines) {
  ScopedTempDir dir;
  WriteFile(dir.File("sjis"), kSjis);
  WriteFile(dir.File("u8"), kUtf8);
  WriteFile(dir.File("bom"), "\xEF\xBB\xBF" + kUtf8);
  WriteFile(dir.File("u16"), kUtf16);
  WriteFile(dir.File("ascii"), "abc\n");
  WriteFile(dir.File("bin"), std::string(64, '\0'));
  WriteFile(dir.File("empty"), "");
  WriteFile(dir.File("bad"), "\x80\x80\n");
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  const RunResult r = RunVu32({"--quiet", "--check", "sjis", "u8", "bom", "u16",
                               "ascii", "bin", "empty", "bad", "missing"},
                              options);
  EXPECT_EQ(r.status, 2);  // trouble (the missing file) wins
  for (const char* line :
       {"sjis: CP932\n", "u8: UTF-8\n", "bom: UTF-8\n", "u16: UTF-16\n",
        "ascii: ASCII\n", "bin: binary\n", "empty: empty\n",
        "bad: CP932 with 2 faults\n", "missing: "}) {
    EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
  }
}

// Usage errors are trouble (2); standard input is read only when redirected.
TEST(CheckE2eTest, StandardInputAndUsage) {
  struct Row {
    std::vector<std::string> args;
    StdinKind in;
    int status;
    std::string out;
  } rows[] = {
      {{"--check"},
       StdinKind::kPipe,
       1,
       "stdin:1:1: invalid-byte: byte 0: [80] 0A\n"},
      {{"--check", "-"},
       StdinKind::kPipe,
       1,
       "stdin:1:1: invalid-byte: byte 0: [80] 0A\n"},
      {{"--check"}, StdinKind::kDevNull, 2, ""},
      {{"--check", "--max-errors", "x", "f"}, StdinKind::kDevNull, 2, ""},
      {{"--check", "--max-errors"}, StdinKind::kDevNull, 2, ""},
      {{"--check", "--info", "f"}, StdinKind::kDevNull, 2, ""},
      {{"--json", "f"}, StdinKind::kDevNull, 1, ""},
      {{"--info", "-"}, StdinKind::kPipe, 0, "?"},
  };
  for (const Row& row : rows) {
    std::string trace;
    for (const std::string& a : row.args) trace += a + " ";
    SCOPED_TRACE(trace);
    RunOptions options;
    options.stdin_kind = row.in;
    options.stdin_data = "\x80\n";
    const RunResult r = RunVu32(row.args, options);
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.out != "?") {
      EXPECT_EQ(r.out, Report(row.out));
    }
  }
}

// --json is one valid document, whatever the bytes of the names.
TEST(CheckE2eTest, JsonParses) {
  if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs python3 to parse the JSON";
  }
  ScopedTempDir dir;
  const std::string odd = "n\x83\x5C\"\x01";  // ソ, a quote, a control byte
  WriteFile(dir.File(odd), "\x80" + kSjis);
  WriteFile(dir.File("u8"), kUtf8);
  for (const char* operation : {"--check", "--info"}) {
    SCOPED_TRACE(operation);
    RunOptions options;
    options.cwd = dir.path();
    options.stdin_kind = StdinKind::kDevNull;
    const RunResult r = RunVu32(
        {"--quiet", operation, "--json", odd, "u8", "missing"}, options);
    EXPECT_EQ(r.status, 2);
    WriteFile(dir.File("doc.json"), r.out);
    const std::string parse =
        "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert "
        "len(d[\"files\"]) == 3' " +
        dir.File("doc.json");
    EXPECT_EQ(std::system(parse.c_str()), 0) << r.out;
  }
}

// Each operation that interprets characters refuses UTF-8, every filter
// and split UTF-16, before anything is created; --force runs anyway.
TEST(CheckE2eTest, TheGuard) {
  struct Row {
    std::vector<std::string> args;  // "in" is the input
    std::string input;
    bool refused;
  } rows[] = {
      {{"-K", "in", "out"}, kUtf8, true},
      {{"-L", "in", "out"}, kUtf8, true},
      {{"-P", "in", "out"},
       "\xEF\xBB\xBF"
       "abc\n",
       true},
      {{"-U+", "in", "out"}, kUtf8, true},
      {{"-T4", "in", "out"}, kUtf8, true},
      {{"-S1", "in", "pieces"}, kUtf8, true},
      {{"-S1L", "-#x", "in", "pieces"}, kUtf8, true},
      {{"-Cu", "in", "out"}, kUtf8, false},
      {{"-J", "in", "out"}, kUtf8, false},
      {{"-D", "in", "out"}, kUtf8, false},
      {{"-T0", "in", "out"}, kUtf8, false},
      {{"-U", "in", "out"}, kUtf8, false},
      {{"-S1L", "in", "pieces"}, kUtf8, false},
      {{"in", "out"}, kUtf16, false},  // the plain copy damages nothing
      {{"-Cu", "in", "out"}, kUtf16, true},
      {{"-U", "in", "out"}, kUtf16, true},
      {{"-S1L", "in", "pieces"}, kUtf16, true},
      {{"--force", "-K", "in", "out"}, kUtf8, false},
      {{"--force", "-Cu", "in", "out"}, kUtf16, false},
      {{"-L", "in", "out"}, kSjis + kUtf8, false},  // no UTF-8 at the start
      {{"--in-place", "-L", "in"}, kUtf8, true},
      {{"--in-place", "-Cd", "in"}, kUtf16, true},
      {{"--in-place", "-Cd", "in"}, kUtf8, false},
  };
  for (const Row& row : rows) {
    std::string trace;
    for (const std::string& a : row.args) trace += a + " ";
    SCOPED_TRACE(trace);
    ScopedTempDir dir;
    fs::create_directory(dir.File("pieces"));
    WriteFile(dir.File("in"), row.input);
    RunOptions options;
    options.cwd = dir.path();
    options.stdin_kind = StdinKind::kDevNull;
    std::vector<std::string> args = {"--quiet"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const RunResult r = RunVu32(args, options);
    const bool utf16 = row.input == kUtf16;
    const std::string refusal =
        std::string(utf16 ? kLooksLikeUtf16.sjis : kLooksLikeUtf8.sjis) +
        "in\n";
    if (row.refused) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, refusal);
      EXPECT_FALSE(fs::exists(dir.File("out")));
      EXPECT_TRUE(fs::is_empty(dir.File("pieces")));
      EXPECT_EQ(ReadFile(dir.File("in")), row.input);
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
    }
  }
}

}  // namespace
}  // namespace vu32::testing
