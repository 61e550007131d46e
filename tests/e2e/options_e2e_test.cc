// The long options through the real binary, and --in-place conversion: its
// per-file lines, refusals, failures that leave every original intact, and
// what a replaced file keeps (mode, times, links).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

namespace fs = std::filesystem;

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}
std::string Named(const std::string& name, const std::string& reason) {
  return name + ": " + reason + "\n";
}
std::string Converted(const std::string& name) {
  return name + ": " + std::string(kInPlaceConverted.sjis).substr(4);
}
std::string Unchanged(const std::string& name) {
  return name + ": " + std::string(kInPlaceUnchanged.sjis).substr(4);
}

std::string WithLfLineEnds(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) {
    text.erase(at, 1);
  }
  return text;
}

std::string Usage() {
  std::string usage(kUsageFormat.sjis);
  for (size_t at; (at = usage.find("%s")) != std::string::npos;) {
    usage.replace(at, 2, "VU32");
  }
  return usage;
}

// --help: the usage, the check's usage lines, then the long options.
std::string Help() {
  std::string check(kCheckUsage.sjis);
  for (size_t at; (at = check.find("%s")) != std::string::npos;) {
    check.replace(at, 2, "VU32");
  }
  return Usage() + check + std::string(kLongOptionsHelp.sjis) +
         std::string(kCheckOptionsHelp.sjis);
}

// Files in the run's directory that the run itself left behind.
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with(".vu32-")) names.push_back(name);
  }
  return names;
}

RunResult RunIn(const ScopedTempDir& dir, const std::vector<std::string>& args,
                long file_size_limit = -1) {
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  options.file_size_limit = file_size_limit;
  return RunVu32(args, options);
}

TEST(OptionsE2eTest, EveryLongOption) {
  ScopedTempDir dir;
  WriteFile(dir.File("a"), "Ab\r\n");
  WriteFile(dir.File("b"), "cd\n");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } rows[] = {
      {{"--help"}, 0, Help(), ""},
      {{"-L", "--help", "--bogus"}, 0, Help(), ""},
      {{"--version"},
       0,
       "vu32 2.13\nCopyright (C) 2026 the VU32 developers\n",
       ""},
      {{"--bogus", "--help"},
       1,
       "",
       BannerLine() + Line(kBadSwitch, "--bogus") + Line(kUsageHint)},
      // No banner, no progress lines; data and errors as ever.
      {{"--quiet", "-L", "a"}, 0, "ab\r\n", ""},
      {{"-M", "a", "b", "--quiet"}, 0, "Ab\r\ncd\n", ""},
      {{"--quiet", "-X"}, 1, "", Line(kBadSwitch, "-X") + Line(kUsageHint)},
      // "--" ends the options and is no argument itself.
      {{"--", "-P", "b"}, 0, "CD\n", BannerLine()},
      {{"-P", "--", "--quiet"},
       1,
       "",
       BannerLine() +
           Line(kCannotOpen, "--quiet: " + std::string(strerror(ENOENT))) +
           Line(kNoStreams) + Line(kUsageHint)},
      {{"--keep-time", "-L", "a"},
       1,
       "",
       BannerLine() + Line(kKeepTimeWithoutInPlace)},
  };
  for (const Row& row : rows) {
    std::string trace;
    for (const std::string& a : row.args) trace += a + " ";
    SCOPED_TRACE(trace);
    RunResult r = RunIn(dir, row.args);
    EXPECT_EQ(r.status, row.status);
    // --help and --version write text: on Win32 its lines end in CR LF.
    if (TargetIsWin32() &&
        (row.out.starts_with("[Usage]") || row.out.starts_with("vu32 "))) {
      r.out = WithLfLineEnds(r.out);
    }
    EXPECT_EQ(Hex(r.out), Hex(row.out));
    if (!TargetIsWin32() || row.status == 0) {
      EXPECT_EQ(r.err, row.err);
    }
  }
}

TEST(OptionsE2eTest, QuietSplitAndMergeShowOnlyErrors) {
  ScopedTempDir dir;
  WriteFile(dir.File("big.txt"), std::string(2500, 'x'));
  RunResult r = RunIn(dir, {"--quiet", "-S1", "big.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  r = RunIn(dir, {"--quiet", "-M", "big._0?", "-o", "all.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadFile(dir.File("all.txt")), std::string(2500, 'x'));
  r = RunIn(
      dir, {"-M", "--quiet", "big._00", "missing", "big._01", "-o", "all.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Line(kCannotOpen, "missing"));
}

// Several files, one already converted, one that fails: each gets its
// line, the others are converted, the run ends with 1.
TEST(InPlaceE2eTest, SeveralFilesOneUnchangedOneFailing) {
  ScopedTempDir dir;
  WriteFile(dir.File("a.txt"), "a\r\nb\r\n");
  WriteFile(dir.File("b.txt"), "already\n");
  WriteFile(dir.File("c.txt"), "c\r\n");
  struct stat before;
  ASSERT_EQ(stat(dir.File("b.txt").c_str(), &before), 0);
  RunResult r = RunIn(
      dir, {"--in-place", "-Cu", "a.txt", "b.txt", "missing.txt", "c.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), Converted("a.txt") + Unchanged("b.txt") +
                                      Named("missing.txt", strerror(ENOENT)) +
                                      Converted("c.txt"));
  EXPECT_EQ(ReadFile(dir.File("a.txt")), "a\nb\n");
  EXPECT_EQ(ReadFile(dir.File("c.txt")), "c\n");
  // The unchanged file was not rewritten: same inode, same time.
  struct stat after;
  ASSERT_EQ(stat(dir.File("b.txt").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_TRUE(Leftovers(dir.path()).empty());

  // --quiet keeps only the failure.
  r = RunIn(dir, {"--quiet", "--in-place", "-Cd", "a.txt", "missing.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Named("missing.txt", strerror(ENOENT)));
  EXPECT_EQ(ReadFile(dir.File("a.txt")), "a\r\nb\r\n");
}

TEST(InPlaceE2eTest, Refusals) {
  ScopedTempDir dir;
  WriteFile(dir.File("f"), "x\r\n");
  struct Row {
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {{"--in-place", "f"}, Line(kInPlaceWithoutFilter)},  // no switch
      {{"--in-place", "-M", "f", "f"}, Line(kInPlaceWithoutFilter)},
      {{"--in-place", "-S1", "f"}, Line(kInPlaceWithoutFilter)},
      {{"--in-place"}, Line(kInPlaceWithoutFilter)},
      {{"--in-place", "-Cu"}, Line(kTooFewParameters)},
      {{"--in-place", "-Q", "f"}, Line(kBadSwitch, "-Q") + Line(kUsageHint)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.back());
    RunResult r = RunIn(dir, row.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutBanner(r.err), row.err);
    EXPECT_EQ(ReadFile(dir.File("f")), "x\r\n");
  }
}

// What is no regular file with one name is named, left alone, and the run
// ends with 1.
TEST(InPlaceE2eTest, FilesThatAreNotReplaced) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX links, FIFOs and modes";
  ScopedTempDir dir;
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
  WriteFile(dir.File("linked"), "l\r\n");
  ASSERT_EQ(link(dir.File("linked").c_str(), dir.File("other").c_str()), 0);
  WriteFile(dir.File("secret"), "s\r\n");
  ASSERT_EQ(chmod(dir.File("secret").c_str(), 0), 0);
  ASSERT_EQ(mkdir(dir.File("ro").c_str(), 0755), 0);
  WriteFile(dir.File("ro/f"), "r\r\n");
  ASSERT_EQ(chmod(dir.File("ro").c_str(), 0555), 0);
  const bool root = geteuid() == 0;  // root reads and writes anyway
  struct Row {
    std::string name;
    std::string reason;
  };
  std::vector<Row> rows = {
      {"sub", std::string(kNotARegularFile.sjis)},
      {"fifo", std::string(kNotARegularFile.sjis)},
      {"/dev/null", std::string(kNotARegularFile.sjis)},
      {"linked", std::string(kSeveralLinks.sjis)},
  };
  if (!root) {
    rows.push_back({"secret", strerror(EACCES)});
    rows.push_back(
        {"ro/f", std::string(kCannotMakeTemp.sjis) + strerror(EACCES)});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RunResult r = RunIn(dir, {"--in-place", "-Cu", row.name});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutBanner(r.err), Named(row.name, row.reason));
  }
  EXPECT_EQ(ReadFile(dir.File("linked")), "l\r\n");
  EXPECT_EQ(ReadFile(dir.File("ro/f")), "r\r\n");
  chmod(dir.File("ro").c_str(), 0755);
}

TEST(InPlaceE2eTest, WhatAReplacedFileKeeps) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX links and modes";
  ScopedTempDir dir;
  WriteFile(dir.File("f"), "a\r\n");
  ASSERT_EQ(chmod(dir.File("f").c_str(), 0640), 0);
  ASSERT_EQ(symlink("f", dir.File("link").c_str()), 0);
  struct timespec times[2] = {{981173106, 123456789}, {981259506, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.File("f").c_str(), times, 0), 0);
  // Named three times, through a link too: converted once.
  RunResult r =
      RunIn(dir, {"--in-place", "--keep-time", "-Cu", "link", "f", "./f"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutBanner(r.err), Converted("link"));
  struct stat st;  // before the file is read again, which moves its atime
  ASSERT_EQ(stat(dir.File("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
  EXPECT_EQ(ReadFile(dir.File("f")), "a\n");
  ASSERT_EQ(lstat(dir.File("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));  // the link stays a link
  // Without --keep-time the converted file is new.
  r = RunIn(dir, {"--in-place", "-Cd", "f"});
  ASSERT_EQ(stat(dir.File("f").c_str(), &st), 0);
  EXPECT_GT(st.st_mtim.tv_sec, times[1].tv_sec);
}

// A write that fails (here beyond a file-size limit) leaves the original
// as it was and no temporary behind.
TEST(InPlaceE2eTest, WriteFailureKeepsTheOriginal) {
  if (TargetIsWin32()) GTEST_SKIP() << "needs a file-size limit";
  ScopedTempDir dir;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "line\n";
  WriteFile(dir.File("big.txt"), big);
  RunResult r = RunIn(dir, {"--in-place", "-Cd", "big.txt"}, 50000);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            Named("big.txt", std::string(kWriteFailed.sjis) + strerror(EFBIG)));
  EXPECT_EQ(ReadFile(dir.File("big.txt")), big);
  EXPECT_TRUE(Leftovers(dir.path()).empty());
}

// Interrupted while converting: the original stays whole; every signal
// that ends a command takes the temporary away and the process dies by it,
// SIGKILL cannot; a signal ignored at the start (nohup) stays ignored.
TEST(InPlaceE2eTest, InterruptKeepsTheOriginal) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX signals";
  // Large enough that the conversion is still running when it is found.
  std::string chunk;
  for (int i = 0; i < 4096; ++i) chunk += "\tabc\r\n";
  std::string big;
  for (int i = 0; i < 700; ++i) big += chunk;
  struct Case {
    int sig;
    bool ignored;  // at the start
  } cases[] = {{SIGTERM, false}, {SIGINT, false},    {SIGHUP, false},
               {SIGQUIT, false}, {SIGUSR1, false},   {SIGUSR2, false},
               {SIGALRM, false}, {SIGVTALRM, false}, {SIGPROF, false},
               {SIGXCPU, false}, {SIGPIPE, false},   {SIGKILL, false},
               {SIGUSR1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.sig)) +
                 (c.ignored ? ", ignored" : ""));
    ScopedTempDir dir;
    WriteFile(dir.File("big.txt"), big);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (chdir(dir.path().c_str()) != 0) _exit(126);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 2);
      signal(c.sig, c.ignored ? SIG_IGN : SIG_DFL);
      execl(BuiltBinary(), BuiltBinary(), "--in-place", "-T8", "big.txt",
            nullptr);
      _exit(127);
    }
    bool seen = false;
    for (int i = 0; i < 20000 && !seen; ++i) {
      seen = !Leftovers(dir.path()).empty();
      if (!seen) usleep(100);
    }
    kill(pid, c.sig);
    int status = 0;
    waitpid(pid, &status, 0);
    if (c.ignored) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      EXPECT_NE(ReadFile(dir.File("big.txt")), big);
      EXPECT_TRUE(Leftovers(dir.path()).empty());
      continue;
    }
    if (!seen || !WIFSIGNALED(status)) {
      GTEST_SKIP() << "the conversion ended before it could be interrupted";
    }
    EXPECT_EQ(WTERMSIG(status), c.sig);
    EXPECT_EQ(ReadFile(dir.File("big.txt")), big);
    if (c.sig != SIGKILL) {
      EXPECT_TRUE(Leftovers(dir.path()).empty());
    }
  }
}

}  // namespace
}  // namespace vu32::testing
