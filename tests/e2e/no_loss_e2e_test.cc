// Nothing lost, nothing loosened: the runs that could empty, overwrite or
// drop data, or widen a file's permissions, each refused or made safe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

namespace fs = std::filesystem;

std::string L(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}
std::string Exists(const std::string& name, const std::string& spelling) {
  std::string hint(kOutputExistsHint.sjis);
  for (size_t at; (at = hint.find("%s")) != std::string::npos;) {
    hint.replace(at, 2, spelling);
  }
  return L(kOutputExists, name) + hint;
}
std::string Reason(const std::string& name, const Message& m,
                   const std::string& why = "") {
  return name + ": " + std::string(m.sjis) + why + "\n";
}
std::string Sep() { return TargetIsWin32() ? "\\" : "/"; }

// No .vu32-* file is left in `dir`.
void ExpectNoReplacementLeft(const std::string& dir) {
  for (const auto& e : fs::directory_iterator(dir)) {
    EXPECT_FALSE(e.path().filename().string().starts_with(".vu32-"));
  }
}

constexpr char kAbsent[] =
    "\x01"
    "absent";
const std::string k1500(1500, 'x');

struct Row {
  const char* what;
  std::vector<std::string> args;
  std::map<std::string, std::string> files;  // made first; "dir/" a folder
  StdinKind in = StdinKind::kDevNull;
  std::string in_data;  // the pipe's data, or "@name" for a file of the dir
  StdoutKind out = StdoutKind::kPipe;
  int status = 0;
  // Standard error without the banner; "~" + text: holds text; "?": any.
  std::string err;
  std::string stdout_data;
  std::map<std::string, std::string> after;  // kAbsent: no such file
  bool posix_only = false;
  std::vector<std::string> first_run;  // run before `args`, if any
};

void Check(const Row& row) {
  SCOPED_TRACE(row.what);
  if (row.posix_only && TargetIsWin32()) return;
  ScopedTempDir dir;
  for (const auto& [name, data] : row.files) {
    if (name.ends_with("/")) {
      fs::create_directories(dir.File(name));
    } else if (data.starts_with("->")) {
      fs::create_symlink(data.substr(2), dir.File(name));
    } else {
      WriteFile(dir.File(name), data);
    }
  }
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = row.in;
  if (row.in_data.starts_with("@")) {
    options.stdin_path = dir.File(row.in_data.substr(1));
  } else {
    options.stdin_data = row.in_data;
  }
  options.stdout_kind = row.out;
  if (!row.first_run.empty()) RunVu32(row.first_run, options);
  const RunResult r = RunVu32(row.args, options);
  EXPECT_EQ(r.status, row.status) << r.err;
  const std::string err = WithoutBanner(r.err);
  if (row.err.starts_with("~")) {
    EXPECT_NE(err.find(row.err.substr(1)), std::string::npos) << Hex(err);
  } else if (row.err != "?") {
    EXPECT_EQ(Hex(err), Hex(row.err));
  }
  if (row.out == StdoutKind::kPipe) {
    EXPECT_EQ(r.out, row.stdout_data);
  }
  for (const auto& [name, data] : row.after) {
    if (data == kAbsent) {
      EXPECT_FALSE(fs::exists(dir.File(name))) << name;
    } else {
      EXPECT_EQ(ReadFile(dir.File(name)), data) << name;
    }
  }
}

TEST(NoLossE2eTest, Table) {
  using In = StdinKind;
  using Out = StdoutKind;
  const std::string hint(kPatternAfterSwitch.sjis);
  const std::string st = "st" + Sep();
  // A row leaves out the fields it does not need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
  // One line a case:
  // clang-format off
  const Row rows[] = {
      // One name and a redirected standard input: the name is the output,
      // refused when it is a file holding data.
      {"pipe, output holds data", {"-Cu", "f.out"}, {{"f.out", "old"}}, In::kPipe, "a\r\n", Out::kPipe, 1, Exists("f.out", "vu32 -Cu"), "", {{"f.out", "old"}}},
      {"empty pipe, as from ssh", {"-U", "f.out"}, {{"f.out", "old"}}, In::kPipe, "", Out::kPipe, 1, Exists("f.out", "vu32 -U"), "", {{"f.out", "old"}}},
      {"plain copy", {"g"}, {{"g", "old"}, {"in", "new"}}, In::kFile, "@in", Out::kPipe, 1, Exists("g", "vu32"), "", {{"g", "old"}}},
      {"a link to a file with data", {"-L", "l"}, {{"g", "old"}, {"l", "->g"}}, In::kPipe, "A", Out::kPipe, 1, Exists("l", "vu32 -L"), "", {{"g", "old"}}, true},
      {"a new name is created", {"-Cu", "new"}, {}, In::kPipe, "a\r\n", Out::kPipe, 0, "", "", {{"new", "a\n"}}},
      {"an empty file is written", {"-Cu", "e"}, {{"e", ""}}, In::kPipe, "a\r\n", Out::kPipe, 0, "", "", {{"e", "a\n"}}},
      {"the same file speaks first", {"-Cu", "f"}, {{"f", "a\r\n"}}, In::kFile, "@f", Out::kPipe, 1, L(kSameName), "", {{"f", "a\r\n"}}},
      // Named files are opened before standard input is taken over.
      {"/dev/stdin reads the pipe", {"-Cu", "/dev/stdin", "o"}, {}, In::kPipe, "b\r\n", Out::kPipe, 0, "", "", {{"o", "b\n"}}, true},
      // Split takes no argument it does not use.
      {"pattern after the names", {"-S1L", "ch", "out", "-#^CH"}, {{"ch", "CH1\nx\n"}, {"out/", ""}}, In::kDevNull, "", Out::kPipe, 1, L(kExtraArgument, "-#^CH") + hint + "\n", "", {{"out/ch._00", kAbsent}}},
      {"an extra name", {"-S1", "ch", "out", "junk"}, {{"ch", "x"}, {"out/", ""}}, In::kDevNull, "", Out::kPipe, 1, L(kExtraArgument, "junk"), "", {{"out/ch._00", kAbsent}}},
      {"pattern for OUTDIR", {"-S1L", "ch", "-#^CH"}, {{"ch", "CH1\n"}}, In::kDevNull, "", Out::kPipe, 1, hint + "\n", "", {{"ch._00", kAbsent}}},
      // Split in a pipeline reads its FILE.
      {"FILE and OUTDIR, pipe", {"-S1", "s.log", "st"}, {{"s.log", k1500}, {"st/", ""}}, In::kPipe, "x", Out::kPipe, 0, "?", "", {{"st/s._01", std::string(500, 'x')}}},
      {"FILE and OUTDIR, file", {"-S1", "s.log", "st"}, {{"s.log", k1500}, {"st/", ""}, {"list", "y"}}, In::kFile, "@list", Out::kPipe, 0, "?", "", {{"st/s._01", std::string(500, 'x')}}},
      {"one existing file is FILE", {"-S1", "s.log"}, {{"s.log", k1500}, {"list", "y"}}, In::kFile, "@list", Out::kPipe, 0, "?", "", {{"s._01", std::string(500, 'x')}}},
      {"one directory is OUTDIR", {"-S1", "st"}, {{"st/", ""}, {"in", k1500}}, In::kFile, "@in", Out::kPipe, 0, "?", "", {{"st/_stdin_._01", std::string(500, 'x')}}},
      // Data written to a standard output closed at start is a failure.
      {">&-", {"-Cu", "b.csv"}, {{"b.csv", "a\r\n"}}, In::kDevNull, "", Out::kClosed, 1, L(kWriteFailed, "stdout")},
      {">&- with nothing to write", {"-Cu", "e"}, {{"e", ""}}, In::kDevNull, "", Out::kClosed, 0, ""},
      {"--help > /dev/full", {"--help"}, {}, In::kDevNull, "", Out::kDevFull, 1, L(kWriteFailed, "stdout"), "", {}, true},
      {"--version > /dev/full", {"--version"}, {}, In::kDevNull, "", Out::kDevFull, 1, L(kWriteFailed, "stdout"), "", {}, true},
      {"--version >&-", {"--version"}, {}, In::kDevNull, "", Out::kClosed, 1, L(kWriteFailed, "stdout")},
      // "-" is standard input or output, "./-" the file.
      {"- as the one name", {"-Cu", "-"}, {}, In::kPipe, "a\r\n", Out::kPipe, 0, "", "a\n", {{"-", kAbsent}}},
      {"- -", {"-Cu", "-", "-"}, {}, In::kPipe, "a\r\n", Out::kPipe, 0, "", "a\n"},
      {"- f < f", {"-Cu", "-", "f"}, {{"f", "a\r\n"}}, In::kFile, "@f", Out::kPipe, 1, L(kSameName), "", {{"f", "a\r\n"}}},
      {"./- names the file", {"-Cu", "./-", "o"}, {{"-", "a\r\n"}}, In::kDevNull, "", Out::kPipe, 0, "", "", {{"o", "a\n"}}},
      {"merge - and -o -", {"--quiet", "-M", "a", "-", "-o", "-"}, {{"a", "1\n"}}, In::kPipe, "2\n", Out::kPipe, 0, "", "1\n2\n"},
      {"split OUTDIR -", {"-S1", "s.log", "-"}, {{"s.log", k1500}, {"-/", ""}}, In::kDevNull, "", Out::kPipe, 0, "?", "", {{"-/s._01", std::string(500, 'x')}}},
      {"--in-place -", {"--in-place", "-Cu", "-"}, {}, In::kPipe, "a\r\n", Out::kPipe, 1, Reason("-", kInPlaceStdin)},
      {"- as the switch", {"-"}, {}, In::kDevNull, "", Out::kPipe, 1, L(kBadSwitch, "-") + L(kUsageHint)},
      // A list file's blank lines and byte-order mark name nothing.
      {"list with a blank line", {"--quiet", "-M", "@list", "-o", "all"}, {{"a", "1\n"}, {"list", "\xEF\xBB\xBF" "a\r\n\r\n"}}, In::kDevNull, "", Out::kPipe, 0, "", "", {{"all", "1\n"}}},
      // Pieces of an earlier split of the same base are named, not removed.
      {"stale pieces", {"-S2", "s.log", "st"}, {{"s.log", std::string(5000, 'x')}, {"st/", ""}}, In::kDevNull, "", Out::kPipe, 0, "~" + L(kStalePieces, st + "s._03 .. " + st + "s._05"), "", {{"st/s._05", ""}}, false, {"-S1", "s.log", "st"}},
      {"stale pieces, --quiet", {"--quiet", "-S2", "s.log", "st"}, {{"s.log", std::string(5000, 'x')}, {"st/", ""}}, In::kDevNull, "", Out::kPipe, 0, L(kStalePieces, st + "s._03 .. " + st + "s._05"), "", {}, false, {"-S1", "s.log", "st"}},
      // Messages that name the path and the reason.
      {"merge output name too long", {"-M", "a", "a", "-o", std::string(300, 'n')}, {{"a", "1"}}, In::kDevNull, "", Out::kPipe, 1, "~" + std::string(300, 'n') + ": " + strerror(ENAMETOOLONG) + "\n", "", {}, true},
  };
  // clang-format on
#pragma GCC diagnostic pop
  for (const Row& row : rows) Check(row);
}

// A file that needs no change is never written, so a write limit of 0 does
// not stop it (nor would a full disk).
TEST(NoLossE2eTest, UnchangedFileNeedsNoRoom) {
  if (TargetIsWin32()) GTEST_SKIP() << "needs a file-size limit";
  ScopedTempDir dir;
  WriteFile(dir.File("lf"), std::string(200000, 'a') + "\n");
  WriteFile(dir.File("crlf"), "a\r\n");
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  options.file_size_limit = 0;
  RunResult r = RunVu32({"--in-place", "-Cu", "lf", "crlf"}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            "lf: " + std::string(kInPlaceUnchanged.sjis).substr(4) +
                Reason("crlf", kWriteFailed, strerror(EFBIG)));
  EXPECT_EQ(ReadFile(dir.File("crlf")), "a\r\n");
}

// --- Runs at the same time as another writer -------------------------------

// Holds the in-place lock on a file as another vu32 run would.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path)
      : fd_(open(path.c_str(), O_RDONLY)) {
    EXPECT_EQ(flock(fd_, LOCK_EX), 0);
  }
  ~HeldLock() { Release(); }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Waits until `count` processes wait for the lock on the file `inode`.
bool WaitForWaiters(ino_t inode, int count) {
  const std::string key = ":" + std::to_string(inode) + " ";
  for (int i = 0; i < 20000; ++i) {
    std::ifstream locks("/proc/locks");
    int waiting = 0;
    for (std::string line; std::getline(locks, line);) {
      if (line.find("->") != std::string::npos &&
          line.find(key) != std::string::npos) {
        ++waiting;
      }
    }
    if (waiting >= count) return true;
    usleep(500);
  }
  return false;
}

ino_t InodeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The test holds the lock while vu32 waits for it, changes the file at that
// known point, and lets go.
TEST(NoLossE2eTest, ChangedWhileWaitingForTheLock) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX advisory locks";
  if (!fs::exists("/proc/locks")) GTEST_SKIP() << "needs /proc/locks";
  struct Case {
    const char* what;
    std::vector<std::vector<std::string>> runs;  // started in this order
    void (*change)(const std::string& path);     // while they wait
    int status;
    std::string after;
    bool changed_line;  // the run reports the change
  } cases[] = {
      {"replaced by rename: the new file is converted",
       {{"-Cu", "f"}},
       [](const std::string& f) {
         WriteFile(f + ".new", "NEW\r\n");
         fs::rename(f + ".new", f);
       },
       0,
       "NEW\n",
       false},
      // What the holder of the lock left is what the run converts.
      {"rewritten in place (printf NEW > f)",
       {{"-Cu", "f"}},
       [](const std::string& f) { WriteFile(f, "NEW\r\n"); },
       0,
       "NEW\n",
       false},
      {"appended to: every appended line kept",
       {{"-Cu", "f"}},
       [](const std::string& f) {
         std::ofstream(f, std::ios::app) << "more\r\n";
       },
       0,
       "a\nb\nmore\n",
       false},
      {"two runs at once: both changes land",
       {{"-Cd", "f"}, {"-P", "f"}},
       [](const std::string&) {},
       0,
       "A\r\nB\r\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    const std::string f = dir.File("f");
    WriteFile(f, "a\r\nb\r\n");
    RunOptions options;
    options.cwd = dir.path();
    options.stdin_kind = StdinKind::kDevNull;
    HeldLock lock(f);
    std::vector<RunResult> results(c.runs.size());
    std::vector<std::thread> runs;
    for (size_t i = 0; i < c.runs.size(); ++i) {
      std::vector<std::string> args = {"--quiet", "--in-place"};
      args.insert(args.end(), c.runs[i].begin(), c.runs[i].end());
      runs.emplace_back([&, i, args] { results[i] = RunVu32(args, options); });
      ASSERT_TRUE(WaitForWaiters(InodeOf(f), static_cast<int>(i + 1)));
    }
    c.change(f);
    lock.Release();
    for (std::thread& t : runs) t.join();
    for (const RunResult& r : results) {
      EXPECT_EQ(r.status, c.status) << r.err;
      EXPECT_EQ(r.err, c.changed_line ? L(kFileChanged, "f") : "");
    }
    EXPECT_EQ(ReadFile(f), c.after);
    ExpectNoReplacementLeft(dir.path());
  }
}

// A writer that takes no lock changes the file while it is converted: the
// run is stopped once it holds the file, the file appended to, the run let
// go. It must leave the file as the writer left it.
TEST(NoLossE2eTest, ChangedWhileConverted) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX advisory locks";
  if (!fs::exists("/proc/locks")) GTEST_SKIP() << "needs /proc/locks";
  ScopedTempDir dir;
  const std::string f = dir.File("f");
  // Slow to convert (tabs to eight spaces), so that it is found running.
  std::string big;
  for (int i = 0; i < 2000000; ++i) big += "\t\t\t\t\t\t\r\n";
  WriteFile(f, big);
  const ino_t original = InodeOf(f);
  const std::string key = ":" + std::to_string(InodeOf(f)) + " ";
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  RunResult r;
  std::thread run([&] { r = RunVu32({"--in-place", "-T8", "f"}, options); });
  pid_t holder = 0;  // the run, found holding the file's lock
  for (int i = 0; i < 200000 && holder == 0; ++i) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
      std::istringstream words(line);
      std::string number, kind, advisory, mode;
      long pid = 0;
      if (line.find(key) != std::string::npos &&
          (words >> number >> kind >> advisory >> mode >> pid) && pid > 0) {
        holder = static_cast<pid_t>(pid);
        kill(holder, SIGSTOP);
      }
    }
  }
  const bool in_time = holder != 0 && InodeOf(f) == original;
  if (in_time) std::ofstream(f, std::ios::app) << "more\r\n";
  if (holder != 0) kill(holder, SIGCONT);
  run.join();
  if (!in_time) GTEST_SKIP() << "the run ended before it could be stopped";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err), L(kFileChanged, "f"));
  EXPECT_EQ(ReadFile(f), big + "more\r\n");
}

// Two runs over the same files in opposite orders: every change lands.
// (Each run's replacements free inode numbers that the other's new files
// may take: no file may be taken for one already done.)
TEST(NoLossE2eTest, TwoRunsOverManyFiles) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX advisory locks";
  ScopedTempDir dir;
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) names.push_back("m" + std::to_string(i));
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  for (int trial = 0; trial < 3; ++trial) {
    for (const std::string& n : names) WriteFile(dir.File(n), "ab\ncd\n");
    std::vector<std::string> forward = {"--quiet", "--in-place", "-Cd"};
    forward.insert(forward.end(), names.begin(), names.end());
    std::vector<std::string> backward = {"--quiet", "--in-place", "-P"};
    backward.insert(backward.end(), names.rbegin(), names.rend());
    RunResult a, b;
    std::thread first([&] { a = RunVu32(forward, options); });
    b = RunVu32(backward, options);
    first.join();
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;
    for (const std::string& n : names) {
      EXPECT_EQ(ReadFile(dir.File(n)), "AB\r\nCD\r\n") << n;
    }
  }
}

// Files converted together are renamed before the run waits for one that
// another run holds: a run never waits while holding locks of its own, so
// two runs over the same files in other orders cannot wait for each other.
TEST(NoLossE2eTest, NoWaitWhileHoldingLocks) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX advisory locks";
  if (!fs::exists("/proc/locks")) GTEST_SKIP() << "needs /proc/locks";
  ScopedTempDir dir;
  WriteFile(dir.File("f"), "f\r\n");
  WriteFile(dir.File("g"), "g\r\n");
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  HeldLock lock(dir.File("g"));
  RunResult r;
  std::thread run([&] {
    r = RunVu32({"--quiet", "--in-place", "-Cu", "f", "g"}, options);
  });
  ASSERT_TRUE(WaitForWaiters(InodeOf(dir.File("g")), 1));
  EXPECT_EQ(ReadFile(dir.File("f")), "f\n");  // done before the wait
  lock.Release();
  run.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir.File("g")), "g\n");
}

// --- What a converted file keeps, and what it refuses to lose --------------

// A POSIX ACL as the kernel stores it in system.posix_acl_access: version 2,
// then (tag, permissions, id) per entry, sorted by tag.
std::string Acl(std::initializer_list<std::tuple<int, int, uint32_t>> entries) {
  std::string value("\x02\0\0\0", 4);
  for (const auto& [tag, perm, id] : entries) {
    const uint16_t t = static_cast<uint16_t>(tag),
                   p = static_cast<uint16_t>(perm);
    value.append(reinterpret_cast<const char*>(&t), 2);
    value.append(reinterpret_cast<const char*>(&p), 2);
    value.append(reinterpret_cast<const char*>(&id), 4);
  }
  return value;
}

std::string Attribute(const std::string& path, const char* name) {
  char value[256];
  const ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
  return n < 0 ? std::string(kAbsent)
               : std::string(value, static_cast<size_t>(n));
}

constexpr uid_t kNobody = 65534;

// A directory the unprivileged user owns, inside a temporary one it may
// enter. Only when the tests run as root.
std::string UserDirectory(const ScopedTempDir& dir) {
  const std::string work = dir.File("work");
  fs::create_directory(work);
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(chown(work.c_str(), kNobody, kNobody), 0);
  return work;
}

TEST(NoLossE2eTest, AclAndExtendedAttributesKept) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX ACLs (Win32 attributes apart)";
  ScopedTempDir dir;
  const std::string f = dir.File("f");
  WriteFile(f, "a\r\n");
  chmod(f.c_str(), 0640);
  // user::rw- user:nobody:rw- group::r-- mask::rw- other::---
  const std::string acl = Acl({{0x01, 6, ~0u},
                               {0x02, 6, kNobody},
                               {0x04, 4, ~0u},
                               {0x10, 6, ~0u},
                               {0x20, 0, ~0u}});
  if (setxattr(f.c_str(), "system.posix_acl_access", acl.data(), acl.size(),
               0) != 0 ||
      setxattr(f.c_str(), "user.origin", "scanner", 7, 0) != 0) {
    GTEST_SKIP() << "no ACLs or user attributes here: " << strerror(errno);
  }
  struct stat before, after;
  stat(f.c_str(), &before);
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  RunResult r = RunVu32({"--quiet", "--in-place", "-Cu", "f"}, options);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(f), "a\n");
  stat(f.c_str(), &after);
  EXPECT_NE(after.st_ino, before.st_ino);    // really replaced
  EXPECT_EQ(after.st_mode, before.st_mode);  // group bits not widened
  EXPECT_EQ(Hex(Attribute(f, "system.posix_acl_access")), Hex(acl));
  EXPECT_EQ(Attribute(f, "user.origin"), "scanner");
}

// Run as an unprivileged user: what it cannot keep, it does not convert.
TEST(NoLossE2eTest, OwnerAndGroupKeptOrRefused) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX owners";
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make others' files";
  ScopedTempDir dir;
  const std::string work = UserDirectory(dir);
  struct Case {
    const char* what;
    uid_t owner;
    gid_t group;
    mode_t mode;
    int status;
    const Message* reason;  // null: converted
  } cases[] = {
      {"root's file in the user's folder", 0, 0, 0644, 1, &kCannotKeepOwner},
      {"the user's file of a group not the user's", kNobody, 0, 0644, 1,
       &kCannotKeepGroup},
      {"the user's own read-only file", kNobody, kNobody, 0444, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string f = work + "/f";
    fs::remove(f);
    WriteFile(f, "a\r\n");
    ASSERT_EQ(chown(f.c_str(), c.owner, c.group), 0);
    chmod(f.c_str(), c.mode);
    RunOptions options;
    options.cwd = work;
    options.stdin_kind = StdinKind::kDevNull;
    options.user = kNobody;
    options.group = kNobody;
    RunResult r = RunVu32({"--quiet", "--in-place", "-Cu", "f"}, options);
    EXPECT_EQ(r.status, c.status) << r.err;
    struct stat st;
    stat(f.c_str(), &st);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_gid, c.group);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    if (c.reason) {
      EXPECT_EQ(r.err, Reason("f", *c.reason, strerror(EPERM)));
      EXPECT_EQ(ReadFile(f), "a\r\n");
    } else {
      EXPECT_EQ(ReadFile(f), "a\n");
    }
    ExpectNoReplacementLeft(work);
  }
}

// Folders the user may not enter or write, named with the reason.
TEST(NoLossE2eTest, FoldersNamedWithTheReason) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX permissions";
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  ScopedTempDir dir;
  const std::string work = UserDirectory(dir);
  WriteFile(work + "/a", "1");
  WriteFile(work + "/s.log", "x");
  fs::create_directory(work + "/shut");
  fs::create_directory(work + "/ro");
  ASSERT_EQ(chown((work + "/ro").c_str(), kNobody, kNobody), 0);
  chmod((work + "/shut").c_str(), 0);
  chmod((work + "/ro").c_str(), 0555);
  RunOptions options;
  options.cwd = work;
  options.stdin_kind = StdinKind::kDevNull;
  options.user = kNobody;
  options.group = kNobody;
  const std::string denied = strerror(EACCES);
  RunResult merge = RunVu32({"-M", "a", "a", "-o", "shut/out"}, options);
  EXPECT_EQ(merge.status, 1);
  EXPECT_NE(merge.err.find("shut/out: " + denied + "\n"), std::string::npos)
      << merge.err;
  RunResult split = RunVu32({"-S1", "s.log", "ro"}, options);
  EXPECT_EQ(split.status, 1);
  std::string line(kDirectoryNotWritable.sjis);
  line.replace(line.find("%s"), 2, "ro");
  line.replace(line.find("%s"), 2, denied);
  EXPECT_EQ(WithoutBanner(split.err), line);
}

// The rename itself refused (an immutable original): the message says that
// the converted file could not take the original's place.
TEST(NoLossE2eTest, RenameRefused) {
  if (TargetIsWin32()) GTEST_SKIP() << "Linux file flags";
  ScopedTempDir dir;
  const std::string f = dir.File("f");
  WriteFile(f, "a\r\n");
  const int fd = open(f.c_str(), O_RDONLY);
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ||
      (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)) {
    close(fd);
    GTEST_SKIP() << "cannot make a file immutable here: " << strerror(errno);
  }
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  RunResult r = RunVu32({"--quiet", "--in-place", "-Cu", "f"}, options);
  flags &= ~FS_IMMUTABLE_FL;
  ioctl(fd, FS_IOC_SETFLAGS, &flags);
  close(fd);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Reason("f", kCannotReplace, strerror(EPERM)));
  EXPECT_EQ(ReadFile(f), "a\r\n");
  ExpectNoReplacementLeft(dir.path());
}

// In a folder whose absolute name is longer than PATH_MAX, in place works as
// the filters do: relative to the file's directory.
TEST(NoLossE2eTest, FolderDeeperThanPathMax) {
  if (TargetIsWin32()) GTEST_SKIP() << "the Win32 leg has its own";
  ScopedTempDir dir;
  const std::string part(200, 'd');
  std::string deep = dir.path();
  int at = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 25; ++i) {  // 25 x 201 bytes: beyond 4096
    ASSERT_EQ(mkdirat(at, part.c_str(), 0755), 0);
    const int next = openat(at, part.c_str(), O_RDONLY | O_DIRECTORY);
    close(at);
    at = next;
    deep += "/" + part;
  }
  const int out = openat(at, "f", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(out, "a\r\n", 3), 3);
  close(out);
  RunOptions options;
  options.cwd = deep;
  options.stdin_kind = StdinKind::kDevNull;
  RunResult r = RunVu32({"--quiet", "--in-place", "-Cu", "f"}, options);
  EXPECT_EQ(r.status, 0) << r.err;
  char data[8] = {};
  const int in = openat(at, "f", O_RDONLY);
  EXPECT_EQ(read(in, data, sizeof data), 2);
  EXPECT_EQ(std::string(data), "a\n");
  close(in);
  // Taken down from the bottom: a path this long cannot be removed whole.
  unlinkat(at, "f", 0);
  for (int i = 0; i < 25; ++i) {
    const int up = openat(at, "..", O_RDONLY | O_DIRECTORY);
    close(at);
    at = up;
    unlinkat(at, part.c_str(), AT_REMOVEDIR);
  }
  close(at);
}

}  // namespace
}  // namespace vu32::testing
