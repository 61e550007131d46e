// Split (-S) through the real binary: piece names and sizes, progress and
// error lines, exit statuses, standard input, piece times and failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

std::string Header(const std::string& name, const std::string& size) {
  return "allocated buf size =16384 . ok\nSplitting '" + name + "'(" + size +
         " byte)\n";
}

std::string Ascii(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// The Win32 build run under an emulator (VU32_E2E_TARGET=win32) appends
// "\\" to an output directory, and has no /dev/full to write to.
bool Win32Target() {
  const char* target = std::getenv("VU32_E2E_TARGET");
  return target != nullptr && std::strcmp(target, "win32") == 0;
}
std::string Sep() { return Win32Target() ? "\\" : "/"; }

// Runs vu32 in `cwd` with the null device as standard input, which is no
// redirection, so that FILE is read from the command line.
RunResult RunSplitIn(const std::string& cwd,
                     const std::vector<std::string>& args) {
  RunOptions options;
  options.stdin_kind = StdinKind::kDevNull;
  options.cwd = cwd;
  return RunVu32(args, options);
}

off_t SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(SplitE2eTest, SizePiecesIntoDirectoryWithOrWithoutSeparator) {
  for (const std::string& outdir : {std::string("out"), "out" + Sep()}) {
    SCOPED_TRACE(outdir);
    ScopedTempDir dir;
    const std::string input = Ascii(250000);
    WriteFile(dir.File("BIG.TXT"), input);
    ASSERT_EQ(mkdir(dir.File("out").c_str(), 0777), 0);
    RunResult r = RunSplitIn(dir.path(), {"-S100", "BIG.TXT", outdir});
    EXPECT_EQ(r.status, 0);
    const std::string out = "out" + Sep();
    EXPECT_EQ(WithoutBanner(r.err), Header("BIG.TXT", "250,000") + out +
                                        "BIG._00\n" + out + "BIG._01\n" + out +
                                        "BIG._02\n");
    EXPECT_EQ(ReadFile(dir.File("out/BIG._00")), input.substr(0, 100000));
    EXPECT_EQ(ReadFile(dir.File("out/BIG._01")), input.substr(100000, 100000));
    EXPECT_EQ(ReadFile(dir.File("out/BIG._02")), input.substr(200000));
    EXPECT_FALSE(FileExists(dir.File("out/_KZ_$$$$.TMP")));
  }
}

TEST(SplitE2eTest, PieceNamesFromTheInputName) {
  struct Row {
    const char* file;
    const char* first_piece;
  } rows[] = {
      {"A.B.TXT", "A.B._00"},
      {"README", "README._00"},
      {"sub/BIG.TXT", "BIG._00"},  // in the current directory
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    ScopedTempDir dir;
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0777), 0);
    WriteFile(dir.File(row.file), "data\n");
    RunResult r = RunSplitIn(dir.path(), {"-S1", row.file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(WithoutBanner(r.err),
              Header(row.file, "5") + row.first_piece + "\n");
    EXPECT_EQ(ReadFile(dir.File(row.first_piece)), "data\n");
  }
}

TEST(SplitE2eTest, DigitsOfThePieceNumber) {
  struct Row {
    const char* option;
    std::vector<std::string> pieces;
  } rows[] = {
      {"-S1.1", {"F._00", "F._01"}},  // raised to 2
      {"-S1.3", {"F._000", "F._001"}},
      {"-S1.9", {"F._00000", "F._00001"}},  // lowered to 5
      {"-S1.x", {"F._00", "F._01"}},
      {"-S1L.3", {"F._000", "F._001"}},  // ends in 3: size mode
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.option);
    ScopedTempDir dir;
    WriteFile(dir.File("F.TXT"), Ascii(1500));
    RunResult r = RunSplitIn(dir.path(), {row.option, "F.TXT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(SizeOf(dir.File(row.pieces[0])), 1000);
    EXPECT_EQ(SizeOf(dir.File(row.pieces[1])), 500);
  }
}

TEST(SplitE2eTest, TooManyPiecesUnlessMoreDigits) {
  ScopedTempDir dir;
  WriteFile(dir.File("F.TXT"), Ascii(100000));
  RunResult r = RunSplitIn(dir.path(), {"-S1", "F.TXT"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kPiecesTooSmall));
  EXPECT_FALSE(FileExists(dir.File("F._00")));

  r = RunSplitIn(dir.path(), {"-S1.3", "F.TXT"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(SizeOf(dir.File("F._000")), 1000);
  EXPECT_EQ(SizeOf(dir.File("F._099")), 1000);
  EXPECT_EQ(SizeOf(dir.File("F._100")), 0);
  EXPECT_FALSE(FileExists(dir.File("F._101")));
}

TEST(SplitE2eTest, RefusalsBeforeAnyPiece) {
  ScopedTempDir dir;
  WriteFile(dir.File("F.TXT"), Ascii(10));
  WriteFile(dir.File("EMPTY"), "");
  ASSERT_EQ(mkdir(dir.File("D").c_str(), 0777), 0);
  struct Row {
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {{"-S0", "F.TXT"}, Line(kBadSwitch, "-S0") + Line(kUsageHint)},
      {{"-S00", "F.TXT"}, Line(kBadSwitch, "-S00") + Line(kUsageHint)},
      {{"-S0.5", "F.TXT"}, Line(kBadSwitch, "-S0.5") + Line(kUsageHint)},
      {{"-S100"}, Line(kTooFewParameters)},  // no FILE
      {{"-S100L", "-#x"}, Line(kTooFewParameters)},
      {{"-S100", "-#ABC", "F.TXT"}, Line(kSizeAndPattern)},
      {{"-S100", "--#ABC", "F.TXT"}, Line(kSizeAndPattern)},
      {{"-S100", "EMPTY"}, Line(kStrangeFile, "EMPTY")},
      {{"-S100", "MISSING"}, Line(kCannotOpen, "MISSING")},
      {{"-S100", "D"}, Line(kCannotOpen, "D")},  // a directory as FILE
      {{"-S100", "F.TXT", "NODIR"}, Line(kNoDirectory, "NODIR")},
      {{"-S100", "F.TXT", "F.TXT"}, Line(kSameName)},  // caught by main
      {{"-S100L", "F.TXT", "F.TXT/"}, Line(kNoDirectory, "F.TXT/")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + (row.args.size() > 1 ? row.args[1] : ""));
    RunResult r = RunSplitIn(dir.path(), row.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutBanner(r.err), row.err);
  }
  EXPECT_FALSE(FileExists(dir.File("F._00")));
  EXPECT_FALSE(FileExists(dir.File("EMPTY._00")));
}

TEST(SplitE2eTest, StandardInputFromAFile) {
  ScopedTempDir dir;
  ASSERT_EQ(mkdir(dir.File("X").c_str(), 0777), 0);
  RunOptions options;
  options.stdin_kind = StdinKind::kFile;
  options.stdin_data = Ascii(1500);
  options.cwd = dir.path();
  const time_t before = time(nullptr);
  RunResult r = RunVu32({"-S1", "X"}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Header("stdin", "1,500") + "X" + Sep() +
                                      "_stdin_._00\nX" + Sep() +
                                      "_stdin_._01\n");
  EXPECT_EQ(
      ReadFile(dir.File("X/_stdin_._00")) + ReadFile(dir.File("X/_stdin_._01")),
      options.stdin_data);
  // Pieces cut from standard input carry the time of the cut.
  struct stat st;
  ASSERT_EQ(stat(dir.File("X/_stdin_._00").c_str(), &st), 0);
  EXPECT_GE(st.st_mtime, before - 1);
  EXPECT_LE(st.st_mtime, time(nullptr) + 1);
}

// Only a standard input that holds data counts as redirected: the null
// device and a terminal leave FILE to the command line (where a script's
// "vu32 -S10 FILE OUT < /dev/null" used to take FILE for OUTDIR).
TEST(SplitE2eTest, WhichStandardInputIsTheInput) {
  ScopedTempDir dir;
  ASSERT_EQ(mkdir(dir.File("out").c_str(), 0777), 0);
  WriteFile(dir.File("big.txt"), Ascii(1500));
  struct Row {
    StdinKind kind;
    const char* path;  // kFile
    int status;
    std::string piece;  // a piece that must exist afterwards, "" none
  };
  std::vector<Row> rows = {
      {StdinKind::kDevNull, "", 0, "out/big._01"},
      {StdinKind::kClosed, "", 0, "out/big._01"},
      // Two operands are FILE and OUTDIR whatever standard input is.
      {StdinKind::kPipe, "", 0, "out/big._01"},
  };
  if (!Win32Target()) {
    rows.push_back({StdinKind::kTerminal, "", 0, "out/big._01"});
    rows.push_back({StdinKind::kFile, "/dev/zero", 0, "out/big._01"});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.kind));
    std::filesystem::remove_all(dir.File("out"));
    ASSERT_EQ(mkdir(dir.File("out").c_str(), 0777), 0);
    RunOptions options;
    options.stdin_kind = row.kind;
    options.stdin_path = row.path;
    options.cwd = dir.path();
    RunResult r = RunVu32({"-S1", "big.txt", "out"}, options);
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.piece.empty()) {
      EXPECT_TRUE(WithoutBanner(r.err).starts_with("-S1: ")) << r.err;
      EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
    } else {
      EXPECT_TRUE(FileExists(dir.File(row.piece)));
    }
  }
}

TEST(SplitE2eTest, StandardInputFromAPipeIsRefused) {
  ScopedTempDir dir;
  RunOptions options;
  options.stdin_data = "abc\n";
  options.cwd = dir.path();
  RunResult r = RunVu32({"-S100", "."}, options);
  EXPECT_EQ(r.status, 1);
  // The argument in FILE's place, then the system's reason.
  EXPECT_EQ(WithoutBanner(r.err).rfind("-S100: ", 0), 0u) << r.err;
  EXPECT_FALSE(FileExists(dir.File("_stdin_._00")));
}

// A size piece never ends inside a two-byte character: メ (83 81), whose
// second byte lies in the lead-byte range, ends a piece whole; the lone
// first byte of ま (82 DC) begins the next piece instead.
TEST(SplitE2eTest, SizePiecesKeepCharactersWhole) {
  struct Row {
    const char* name;
    size_t at;          // where the character begins
    std::string chars;  // its bytes
    std::vector<size_t> sizes;
  } rows[] = {
      {"me ends the piece", 998, "\x83\x81", {1000, 1000, 500}},
      {"ma is not cut", 999, "\x82\xDC", {999, 1000, 501}},
      {"second byte in the lead range", 997, "\x83\x81\x83", {999, 1000, 501}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    std::string input = Ascii(2500);
    input.replace(row.at, row.chars.size(), row.chars);
    WriteFile(dir.File("B.TXT"), input);
    RunResult r = RunSplitIn(dir.path(), {"-S1", "B.TXT"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string joined;
    for (size_t i = 0; i < row.sizes.size(); ++i) {
      const std::string piece = ReadFile(dir.File("B._0" + std::to_string(i)));
      EXPECT_EQ(piece.size(), row.sizes[i]) << i;
      joined += piece;
    }
    EXPECT_EQ(joined, input);
  }
}

// An input that ends before the length measured at the start (here a
// redirected standard input already partly read) is a read failure.
TEST(SplitE2eTest, InputShorterThanItsLengthFails) {
  if (Win32Target()) GTEST_SKIP() << "the launcher opens standard input anew";
  ScopedTempDir dir;
  RunOptions options;
  options.stdin_kind = StdinKind::kFile;
  options.stdin_data = Ascii(2500);
  options.stdin_offset = 500;
  options.cwd = dir.path();
  RunResult r = RunVu32({"-S1", "."}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with(Line(kReadFailed, "stdin"))) << r.err;
}

TEST(SplitE2eTest, PiecesTakeTheInputTimes) {
  ScopedTempDir dir;
  WriteFile(dir.File("F.TXT"), Ascii(1500));
  // 2001-02-03 04:05:06 and a day later, with a fraction of a second that
  // POSIX keeps to the nanosecond and Win32 to 100 ns.
  const long kNsec = Win32Target() ? 500000000 : 500000001;
  struct timespec times[2] = {{981173106, 250000000}, {981259506, kNsec}};
  for (const char* option : {"-S1", "-S1L"}) {
    SCOPED_TRACE(option);
    // Set anew each time: reading the input may move its access time.
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("F.TXT").c_str(), times, 0), 0);
    RunResult r = RunSplitIn(dir.path(), {option, "F.TXT", "."});
    ASSERT_EQ(r.status, 0);
    struct stat st;
    ASSERT_EQ(stat(dir.File("F._00").c_str(), &st), 0);
    // The emulator moves the input's access time as soon as it is opened,
    // before its times are read; there only the write time is the test's.
    if (!Win32Target()) {
      EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
      EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec);
    }
    EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  }
}

TEST(SplitE2eTest, LinePieces) {
  ScopedTempDir dir;
  const std::string nul_line("x\0y\n", 4);
  WriteFile(dir.File("L.TXT"), "a\nb\n" + nul_line + "d\ne");
  RunResult r = RunSplitIn(dir.path(), {"-S2L", "L.TXT"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Header("L.TXT", "11") + "L._00\nL._01\n");
  EXPECT_EQ(ReadFile(dir.File("L._00")), "a\nb\n");
  EXPECT_EQ(Hex(ReadFile(dir.File("L._01"))), Hex(nul_line + "d\ne"));
}

// The pieces joined give the input back, for several piece sizes and line
// counts, on data full of Shift-JIS lead and trail bytes.
TEST(SplitE2eTest, RoundTrip) {
  std::mt19937 rng(4242);
  const std::string input = RandomSjisLike(rng, 12000);
  for (const char* option : {"-S1", "-S3", "-S7", "-S13", "-S40L", "-S300L"}) {
    SCOPED_TRACE(option);
    ScopedTempDir dir;
    WriteFile(dir.File("R.BIN"), input);
    RunResult r = RunSplitIn(dir.path(), {option, "R.BIN"});
    ASSERT_EQ(r.status, 0);
    std::string joined;
    for (int i = 0;; ++i) {
      const std::string piece =
          dir.File((i < 10 ? "R._0" : "R._") + std::to_string(i));
      if (!FileExists(piece)) break;
      joined += ReadFile(piece);
    }
    EXPECT_EQ(Hex(joined), Hex(input));
  }
}

// Failures once pieces are being written end the run with status 1, and
// the pieces already written stay.
TEST(SplitE2eTest, FailuresWhileCuttingEndTheRun) {
  std::string hundred_and_one;
  for (int i = 0; i < 101; ++i) hundred_and_one += "line\n";
  struct Row {
    const char* name;
    std::string input;
    std::vector<std::string> args;
    // Made in the directory before the run: "dir:" or "full:" then a name.
    std::string obstacle;
    std::string err_tail;
    std::string kept;  // a piece that must exist afterwards
  } rows[] = {
      {"piece is the input",
       Ascii(1500),
       {"-S1", "X._00"},
       "",
       Line(kSameName),
       ""},
      {"too many line pieces",
       hundred_and_one,
       {"-S1L", "F"},
       "",
       "F._99\n" + Line(kPiecesTooSmall),
       "F._99"},
      {"uncreatable piece",
       Ascii(2500),
       {"-S1", "F"},
       "dir:F._01",
       "F._00\n" + Line(kCannotCreate, "F._01"),
       "F._00"},
      {"write fails",
       Ascii(1500),
       {"-S1", "F"},
       "limit:100",
       "F._00\n" + Line(kWriteFailed, "F._00"),
       ""},
      {"write fails by lines",
       hundred_and_one,
       {"-S200L", "F"},
       "limit:100",
       "F._00\n" + Line(kWriteFailed, "F._00"),
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (Win32Target() && row.obstacle.rfind("limit:", 0) == 0) continue;
    ScopedTempDir dir;
    WriteFile(dir.File(row.args[1]), row.input);
    if (row.obstacle.rfind("dir:", 0) == 0) {
      ASSERT_EQ(mkdir(dir.File(row.obstacle.substr(4)).c_str(), 0777), 0);
    }
    RunOptions options;
    options.stdin_kind = StdinKind::kDevNull;
    options.cwd = dir.path();
    if (row.obstacle.rfind("limit:", 0) == 0) {
      options.file_size_limit = std::stol(row.obstacle.substr(6));
    }
    RunResult r = RunVu32(row.args, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(WithoutBanner(r.err).ends_with(row.err_tail)) << r.err;
    EXPECT_EQ(ReadFile(dir.File(row.args[1])), row.input);  // input intact
    if (!row.kept.empty()) {
      EXPECT_TRUE(FileExists(dir.File(row.kept)));
    }
  }
}

// Sizes past 2 GiB and 4 GiB: a sparse 5 GiB file writes 5 GiB of pieces,
// so this runs only when asked for with VU32_EXPENSIVE_TESTS=1.
TEST(SplitE2eTest, FilesBeyondFourGigabytes) {
  const char* expensive = std::getenv("VU32_EXPENSIVE_TESTS");
  if (!expensive || std::string(expensive) != "1") {
    GTEST_SKIP() << "set VU32_EXPENSIVE_TESTS=1 to run";
  }
  ScopedTempDir dir;
  const off_t size = off_t{5} << 30;
  WriteFile(dir.File("HUGE"), "");
  ASSERT_EQ(truncate(dir.File("HUGE").c_str(), size), 0);
  RunResult r = RunSplitIn(dir.path(), {"-S2000000", "HUGE"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err),
            Header("HUGE", "5,368,709,120") + "HUGE._00\nHUGE._01\nHUGE._02\n");
  EXPECT_EQ(SizeOf(dir.File("HUGE._00")), 2000000000);
  EXPECT_EQ(SizeOf(dir.File("HUGE._01")), 2000000000);
  EXPECT_EQ(SizeOf(dir.File("HUGE._02")), size - 4000000000);
}

}  // namespace
}  // namespace vu32::testing
