// Merging files through the real binary, in temporary directories: how the
// arguments become sources, the output forms, the exact messages, time
// stamps and the refusals that keep a source from being destroyed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

namespace fs = std::filesystem;

// False when the command is the Win32 build under Wine, which has no
// FIFOs, pseudo-terminals or POSIX spellings of its own.
bool PosixTarget() {
  const char* target = std::getenv("VU32_E2E_TARGET");
  return target == nullptr || std::strcmp(target, "win32") != 0;
}

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

std::string Total(const std::string& size) {
  return "Total Marge Size = " + size + " byte\n";
}

// The two lines that only a named output gets.
std::string MergingTo(const std::string& output) {
  return "Merging to '" + output + "'\nallocated buf size =16384 . ok\n";
}

std::string Copied(const std::string& name, size_t count) {
  return name + " " + std::to_string(count) + "bytes ok\n";
}

class MergeE2eTest : public ::testing::Test {
 protected:
  // Runs "-M args..." in the temporary directory.
  RunResult Merge(const std::vector<std::string>& args,
                  RunOptions options = {}) {
    std::vector<std::string> words = {"-M"};
    words.insert(words.end(), args.begin(), args.end());
    options.cwd = dir_.path();
    if (options.stdin_kind == StdinKind::kPipe) {
      options.stdin_kind = StdinKind::kDevNull;
    }
    return RunVu32(words, options);
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  void Write(const std::string& name, const std::string& data) {
    WriteFile(Path(name), data);
  }
  std::string Read(const std::string& name) const {
    return ReadFile(Path(name));
  }

  ScopedTempDir dir_;
};

TEST_F(MergeE2eTest, NoArgumentsSaysSo) {
  RunResult r = Merge({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, BannerLine() + Line(kTooFewParameters));
}

TEST_F(MergeE2eTest, OneSourceIsTooFew) {
  Write("a", "abc");
  RunResult r = Merge({"a", "-o", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Total("3") + Line(kTooFewParameters));
  EXPECT_FALSE(FileExists(Path("out")));
}

TEST_F(MergeE2eTest, PlainSourcesToFileAndPipe) {
  Write("a", "A\r\n\x1A");
  Write("b", std::string("\0B\n", 3));
  // The missing source is reported and passed over; the output lacks it, so
  // the run is no success.
  RunResult r = Merge({"a", "missing", "b", "-o", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kCannotOpen, "missing") + Total("7") +
                                      MergingTo("out") + Copied("a", 4) +
                                      Copied("b", 3));
  EXPECT_EQ(Hex(Read("out")), Hex(std::string("A\r\n\x1A\0B\n", 7)));
  EXPECT_EQ(r.out, "");

  r = Merge({"a", "b"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Total("7") + Copied("a", 4) + Copied("b", 3));
  EXPECT_EQ(Hex(r.out), Hex(std::string("A\r\n\x1A\0B\n", 7)));
}

TEST_F(MergeE2eTest, TerminalOutputLeavesNamesOut) {
  if (!PosixTarget()) GTEST_SKIP() << "needs a pseudo-terminal";
  Write("a", "one\n");
  Write("b", "two\n");
  RunOptions options;
  options.stdout_kind = StdoutKind::kTerminal;
  RunResult r = Merge({"a", "b"}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Total("8") + " 4bytes ok\n 4bytes ok\n");
  EXPECT_EQ(r.out, "one\ntwo\n");
}

TEST_F(MergeE2eTest, CountsWithCommasAndWithout) {
  Write("big", std::string(1234560, 'x'));
  Write("small", "1234567");
  RunResult r = Merge({"big", "small", "-oout"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Total("1,234,567") + MergingTo("out") +
                                      Copied("big", 1234560) +
                                      Copied("small", 7));
  EXPECT_EQ(fs::file_size(Path("out")), 1234567u);
}

TEST_F(MergeE2eTest, WildcardTakesRegularFilesSortedByBytes) {
  if (!PosixTarget()) GTEST_SKIP() << "the POSIX directory search";
  const std::string kanji = "\x82\xA0.txt";  // a two-byte first character
  for (std::string name : {"b.txt", "B.txt", "a.txt", ".hidden.txt",
                           kanji.c_str(), "a.txt.bak", "x.TXT"}) {
    Write(name, name + "\n");
  }
  fs::create_directory(Path("dir.txt"));
  ASSERT_EQ(mkfifo(Path("fifo.txt").c_str(), 0644), 0);
  fs::create_symlink("a.txt", Path("link.txt"));
  fs::create_symlink("nowhere", Path("dangling.txt"));
  fs::create_directory(Path("sub"));
  WriteFile(Path("sub/inner.txt"), "inner\n");

  RunResult r = Merge({"*.txt", "-o", "out"});
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> order = {".hidden.txt", "B.txt",    "a.txt",
                                          "b.txt",       "link.txt", kanji};
  std::string content, progress;
  for (const std::string& name : order) {
    std::string data = name == "link.txt" ? "a.txt\n" : name + "\n";
    content += data;
    progress += Copied(name, data.size());
  }
  EXPECT_EQ(WithoutBanner(r.err), Total(std::to_string(content.size())) +
                                      MergingTo("out") + progress);
  EXPECT_EQ(Hex(Read("out")), Hex(content));
}

TEST_F(MergeE2eTest, WildcardInAnotherDirectoryAndQuestionMark) {
  fs::create_directory(Path("sub"));
  WriteFile(Path("sub/p1.c"), "1");
  WriteFile(Path("sub/p22.c"), "22");
  WriteFile(Path("sub/p3.c"), "3");
  RunResult r = Merge({"sub/p?.c", "-o", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Total("2") + MergingTo("out") +
                                      Copied("sub/p1.c", 1) +
                                      Copied("sub/p3.c", 1));
  EXPECT_EQ(Read("out"), "13");
}

// On Win32 "\\" separates directories, and the 0x5C that ends the
// two-byte character 表 (95 5C) is no separator.
TEST_F(MergeE2eTest, WildcardDirectoryEndsAtARealSeparator) {
  if (PosixTarget()) GTEST_SKIP() << "\"\\\" is no separator here";
  const std::string hyo = "\x95\x5C";           // 表 in Shift-JIS
  const std::string hyo_utf8 = "\xE8\xA1\xA8";  // as the Unix side names it
  fs::create_directory(Path("sub"));
  WriteFile(Path("sub/" + hyo_utf8 + "x.c"), "1");
  WriteFile(Path("sub/" + hyo_utf8 + "y.c"), "2");
  RunResult r = Merge({"sub\\" + hyo + "*.c", "-o", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Hex(WithoutBanner(r.err)), Hex(Total("2") + MergingTo("out") +
                                           Copied("sub\\" + hyo + "x.c", 1) +
                                           Copied("sub\\" + hyo + "y.c", 1)));
  EXPECT_EQ(Read("out"), "12");
}

TEST_F(MergeE2eTest, WildcardRules) {
  Write("a.x", "a");
  Write("b.y", "b");
  Write("@w", "w");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string err;  // after the banner
    std::string out;  // the output file, "-" when it must not exist
  };
  const Row rows[] = {
      // One wildcard that matches one file is enough.
      {{"*.x", "-oout"},
       0,
       Total("1") + MergingTo("out") + Copied("a.x", 1),
       "a"},
      // A wildcard that matches nothing is silent and no source.
      {{"*.none", "-oout"}, 1, Total("0") + Line(kTooFewParameters), "-"},
      {{"*.none", "*.x", "-oout"},
       0,
       Total("1") + MergingTo("out") + Copied("a.x", 1),
       "a"},
      // A second wildcard after one that found files is an error.
      {{"*.x", "-oout", "*.y"},
       1,
       Line(kTwoWildcards, "*.y") + Line(kListFailed),
       "-"},
      {{"*.x", "*.none"},
       1,
       Line(kTwoWildcards, "*.none") + Line(kListFailed),
       "-"},
      // The output option's errors discard the list too.
      {{"*.x", "-o"}, 1, Line(kNoOutputName) + Line(kListFailed), "-"},
      // "@" with a wildcard is a pattern for names beginning with "@".
      {{"@*", "-oout"},
       0,
       Total("1") + MergingTo("out") + Copied("@w", 1),
       "w"},
  };
  for (const Row& row : rows) {
    std::string trace;
    for (const std::string& a : row.args) trace += "[" + a + "] ";
    SCOPED_TRACE(trace);
    fs::remove(Path("out"));
    RunResult r = Merge(row.args);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(Hex(WithoutBanner(r.err)), Hex(row.err));
    if (row.out == "-") {
      EXPECT_FALSE(FileExists(Path("out")));
    } else {
      EXPECT_EQ(Read("out"), row.out);
    }
  }
}

TEST_F(MergeE2eTest, ListFilesAreReadAsText) {
  Write("a", "1");
  Write("b", "22");
  Write("c", "333");
  // A byte-order mark, CR LF ends, a blank line (passed over), and a 0x1A
  // after which nothing is read.
  Write("list",
        "\xEF\xBB\xBF"
        "a\r\n\r\nb\r\n\x1A"
        "c\n");
  // Without FIFOs the name is simply missing, with the same messages.
  if (PosixTarget()) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
  }
  Write("list2", "fifo\nc");  // no final line feed
  RunResult r = Merge({"@list", "@list2", "-o", "out"});
  // Missing names are reported while planning and again while copying; the
  // rest is merged, but the output lacks them: status 1.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            Line(kCannotOpen, "fifo") + Total("6") + MergingTo("out") +
                Copied("a", 1) + Copied("b", 2) + Line(kCannotOpen, "fifo") +
                Copied("c", 3));
  EXPECT_EQ(Read("out"), "122333");
}

TEST_F(MergeE2eTest, ListLinesOfAnyLength) {
  if (!PosixTarget()) GTEST_SKIP() << "Win32 paths end at 260 bytes";
  // A path of more than 255 bytes is one name.
  const std::string deep = std::string(100, 'd') + "/" + std::string(100, 'e');
  ASSERT_EQ(mkdir(Path(std::string(100, 'd')).c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path(deep).c_str(), 0755), 0);
  const std::string name = deep + "/" + std::string(100, 'f');
  Write(name, "long");
  Write("a", "1");
  Write("list", name + "\r\na\r\n");
  RunResult r = Merge({"@list", "-o", "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read("out"), "long1");
}

// With nothing found to merge where sources were asked for, the output is
// not opened: it keeps what it holds (`echo precious > keep.txt`).
TEST_F(MergeE2eTest, NothingFoundLeavesTheOutputAlone) {
  Write("list", "gone\n");
  const struct {
    std::vector<std::string> sources;
    std::string err;
  } kRows[] = {
      {{"@nolist"}, Line(kCannotOpen, "nolist")},
      {{"@list"}, Line(kCannotOpen, "gone")},
      {{"missing1", "missing2"},
       Line(kCannotOpen, "missing1") + Line(kCannotOpen, "missing2")},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.sources[0]);
    for (const char* option : {"-o", "-o+"}) {
      Write("keep.txt", "precious");
      std::vector<std::string> args = row.sources;
      args.insert(args.end(), {option, "keep.txt"});
      RunResult r = Merge(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(WithoutBanner(r.err),
                row.err + Total("0") + Line(kTooFewParameters));
      EXPECT_EQ(Read("keep.txt"), "precious");
    }
  }
  // An empty list names no missing source: an empty merge is no failure.
  Write("empty", "");
  RunResult r = Merge({"@empty", "-o", "keep.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("keep.txt"), "");
}

TEST_F(MergeE2eTest, OutputOptionForms) {
  Write("a", "a");
  Write("b", "b");
  struct Row {
    std::vector<std::string> args;
    std::string name;    // the output that receives the data
    std::string before;  // its content before the run ("" none)
    std::string after;
  };
  const Row rows[] = {
      {{"a", "b", "-o", "o1"}, "o1", "", "ab"},
      {{"a", "-O", "o3", "b"}, "o3", "", "ab"},
      {{"a", "b", "-o+o4"}, "o4", "old", "oldab"},
      {{"-o+", "o5", "b", "a"}, "o5", "old", "oldba"},
      {{"-o", "o6", "a", "-oo7", "b"}, "o7", "", "ab"},
      {{"-o+", "o8", "a", "-oo9", "b"}, "o9", "old", "oldab"},
      {{"-o", "@o10", "a", "b"}, "@o10", "", "ab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.before.empty()) Write(row.name, row.before);
    RunResult r = Merge(row.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Read(row.name), row.after);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(WithoutBanner(r.err).find(MergingTo(row.name)), std::string::npos)
        << WithoutBanner(r.err);
  }
  EXPECT_FALSE(FileExists(Path("o6")));
  EXPECT_FALSE(FileExists(Path("o8")));

  RunResult r = Merge({"a", "b", "-o+"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kNoOutputName));
  EXPECT_EQ(r.out, "");
}

TEST_F(MergeE2eTest, SlashOIsAPath) {
  Write("a", "a");
  Write("b", "b");
  const std::string via_opt = "/opt/.." + Path("a");
  if (!PosixTarget()) GTEST_SKIP() << "\"/o\" is the output option on Win32";
  if (!fs::is_directory("/opt")) GTEST_SKIP() << "no /opt";
  RunResult r = Merge({via_opt, "b", "/onowhere"});
  EXPECT_EQ(r.status, 1);  // /onowhere is a missing source
  EXPECT_EQ(WithoutBanner(r.err), Line(kCannotOpen, "/onowhere") + Total("2") +
                                      Copied(via_opt, 1) + Copied("b", 1));
  EXPECT_EQ(r.out, "ab");
}

TEST_F(MergeE2eTest, OutputThatCannotBeOpened) {
  Write("a.x", "a");
  fs::create_directory(Path("outdir"));
  RunResult r = Merge({"*.x", "-o", "outdir"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            Total("1") + Line(kCannotOpen, "outdir") + Line(kListFailed));
}

// The output is never one of the files read: refused before it is opened,
// so nothing is cut, and an append can never feed on itself.
TEST_F(MergeE2eTest, OutputThatIsASourceIsRefused) {
  Write("a.txt", "aaa");
  Write("b.txt", "bbb");
  Write("list", "b.txt\n");
  fs::create_symlink("a.txt", Path("alias"));
  fs::create_hard_link(Path("b.txt"), Path("hard"));
  struct Row {
    std::vector<std::string> args;
    std::string err;  // after the banner
  };
  const std::string refused = Line(kSameName);
  const Row rows[] = {
      {{"a.txt", "b.txt", "-o", "a.txt"}, Total("6") + refused},
      {{"a.txt", "b.txt", "-o+", "b.txt"}, Total("6") + refused},
      {{"a.txt", "@list", "-o", "b.txt"}, Total("6") + refused},
      {{"a.txt", "b.txt", "-o+alias"}, Total("6") + refused},
      {{"a.txt", "b.txt", "-ohard"}, Total("6") + refused},
      {{"*.txt", "-o+b.txt"}, Total("6") + refused + Line(kListFailed)},
      // The list file itself would be cut before it is read again.
      {{"a.txt", "@list", "-o", "list"}, Total("6") + refused},
  };
  for (const Row& row : rows) {
    std::string trace;
    for (const std::string& a : row.args) trace += "[" + a + "] ";
    SCOPED_TRACE(trace);
    RunResult r = Merge(row.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Hex(WithoutBanner(r.err)), Hex(row.err));
    EXPECT_EQ(Read("a.txt"), "aaa");
    EXPECT_EQ(Read("b.txt"), "bbb");
    EXPECT_EQ(Read("list"), "b.txt\n");
  }
}

// Runs with files limited to 1 MiB: should a guard against copying the
// output into itself fail, the output would otherwise grow without end.
RunResult RunBounded(const std::function<RunResult()>& run) {
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 1 << 20;
  setrlimit(RLIMIT_FSIZE, &limit);
  RunResult r = run();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  return r;
}

// A list file is read again when copying; a name that was missing while
// planning may by then be the new output itself.
TEST_F(MergeE2eTest, OutputNamedInListIsNotCopiedIntoItself) {
  Write("a", "aaa");
  Write("list", "out\n");
  RunResult r = RunBounded([&] { return Merge({"a", "@list", "-o", "out"}); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kCannotOpen, "out") + Total("3") +
                                      MergingTo("out") + Copied("a", 3) +
                                      Line(kSameName));
  EXPECT_EQ(Read("out"), "aaa");
}

TEST_F(MergeE2eTest, RedirectedOutputThatIsASourceIsRefused) {
  const std::string self = "/proc/self/fd/1";  // the output file itself
  if (!PosixTarget() || !fs::exists("/proc/self/fd")) {
    GTEST_SKIP() << "no /proc/self/fd";
  }
  Write("a", "aaa");
  RunOptions options;
  options.stdout_kind = StdoutKind::kFile;
  RunResult r = RunBounded([&] { return Merge({"a", self}, options); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Total("3") + Line(kSameName));
  EXPECT_EQ(r.out, "");
}

TEST_F(MergeE2eTest, WriteFailures) {
  if (!PosixTarget()) GTEST_SKIP() << "needs /dev/full";
  Write("a", "aaa");
  Write("b", "bbb");
  RunResult r = Merge({"a", "b", "-o", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Total("6") + MergingTo("/dev/full") + "a\n" +
                                      Line(kWriteFailed, "/dev/full"));

  RunOptions options;
  options.stdout_kind = StdoutKind::kDevFull;
  r = Merge({"a", "b"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            Total("6") + "a\n" + Line(kWriteFailed, "stdout"));
}

// /proc/self/mem claims to be an empty regular file, and reading it from
// its start fails: a read error, not an end.
TEST_F(MergeE2eTest, ReadErrorEndsTheRun) {
  const std::string mem = "/proc/self/mem";
  if (!PosixTarget() || !fs::is_regular_file(mem)) {
    GTEST_SKIP() << "no " << mem;
  }
  Write("a", "aaa");
  Write("list", "a\n" + mem + "\na\n");
  RunResult r = Merge({"a", "@list", "a", "-o", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Total("12") + MergingTo("out") +
                                      Copied("a", 3) + Copied("a", 3) + mem +
                                      "\n" + Line(kReadFailed, mem));
  EXPECT_EQ(Read("out"), "aaaaaa");

  // The same while reading a list file.
  r = Merge({"a", "@" + mem, "-o", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Line(kReadFailed, mem));
}

TEST_F(MergeE2eTest, TotalsBeyond32Bits) {
  // Sparse files: the sizes are counted in full and compared with the
  // free space, which cannot hold them.
  for (const char* name : {"big1", "big2"}) {
    Write(name, "");
    std::error_code ec;
    fs::resize_file(Path(name), uint64_t{8} << 40, ec);
    if (ec) GTEST_SKIP() << "no sparse files of 8 TiB: " << ec.message();
  }
  RunResult r = Merge({"big1", "big2", "-o", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            Total("17,592,186,044,416") + Line(kMergeNoSpace));
  EXPECT_FALSE(FileExists(Path("out")));
}

struct timespec StatTime(const std::string& path, bool access) {
  struct stat st {};
  stat(path.c_str(), &st);
  return access ? st.st_atim : st.st_mtim;
}

void SetTimes(const std::string& path, time_t access, time_t write,
              long write_nsec = 0) {
  struct timespec ts[2] = {{access, 0}, {write, write_nsec}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

TEST_F(MergeE2eTest, OutputTakesTheCommonModificationTime) {
  const time_t kTime = 1000000000;  // 2001-09-09
  Write("p.00", "1");
  Write("p.01", "2");
  Write("p.02", "3");
  // A fraction that 100-ns units would round: POSIX keeps nanoseconds.
  const long kNsec = PosixTarget() ? 123456789 : 123456700;
  for (const char* name : {"p.00", "p.01", "p.02"}) {
    SetTimes(Path(name), kTime - 5, kTime, kNsec);
  }
  RunResult r = Merge({"p.0?", "-o", "out"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(StatTime(Path("out"), false).tv_sec, kTime);
  EXPECT_EQ(StatTime(Path("out"), false).tv_nsec, kNsec);
  // The access time is the output's own, not the sources'.
  EXPECT_GT(StatTime(Path("out"), true).tv_sec, kTime);

  // Data appended to an existing file is new: no stamp backwards in time.
  r = Merge({"-o+out", "p.00", "p.01"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(Read("out"), "12312");
  EXPECT_GT(StatTime(Path("out"), false).tv_sec, kTime);
  // A new file made by -o+ takes the sources' time like any other.
  r = Merge({"-o+new", "p.00", "p.01"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(StatTime(Path("new"), false).tv_sec, kTime);

  // One differing source: the output keeps the time of its writing.
  SetTimes(Path("p.01"), kTime, kTime + 1);
  r = Merge({"p.0?", "-o", "out"});
  ASSERT_EQ(r.status, 0);
  EXPECT_GT(StatTime(Path("out"), false).tv_sec, kTime + 1);
}

}  // namespace
}  // namespace vu32::testing
