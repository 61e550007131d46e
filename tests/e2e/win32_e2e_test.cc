// What only the Win32 build does, through the real vu32.exe under Wine:
// character devices count as terminals, "/" introduces switches, the
// command line reaches the program unexpanded and in code page 932, the
// directory search follows the system's matching and attributes, and drive
// letters name the drive whose free space is checked; and where Windows
// differs from POSIX as its users meet it: names outside the code page,
// case rules, attributes, hidden files, long names, interrupts and the
// console. Skipped elsewhere.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

std::string Usage() {
  std::string usage(kUsageFormat.sjis);
  for (size_t at; (at = usage.find("%s")) != std::string::npos;) {
    usage.replace(at, 2, "VU32");
  }
  return BannerLine() + usage;
}

class Win32E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TargetIsWin32()) GTEST_SKIP() << "for the Win32 build only";
  }
  RunResult Run(const std::vector<std::string>& args, RunOptions options) {
    options.cwd = dir_.path();
    return RunVu32(args, options);
  }
  void Write(const std::string& name, const std::string& data) {
    WriteFile(dir_.File(name), data);
  }
  std::string Read(const std::string& name) {
    return ReadFile(dir_.File(name));
  }

  ScopedTempDir dir_;
};

// NUL is a character device, so a standard input redirected from it counts
// as the console: no data is taken from it.
TEST_F(Win32E2eTest, NulAsStandardInputIsATerminal) {
  Write("in.txt", "Ab\r\n");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Usage());
  r = Run({"-L"}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, BannerLine() + Line(kNoStreams) + Line(kUsageHint));
  // One name is then the input, not the output.
  r = Run({"-L", "in.txt"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "ab\r\n");
  EXPECT_EQ(r.err, BannerLine());
}

TEST_F(Win32E2eTest, SlashIntroducesSwitches) {
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const Row rows[] = {
      {{"/L"}, 0, "ab\r\n", BannerLine()},
      {{"/cd"}, 0, "a\r\nb", BannerLine()},
      {{"/?"}, 1, "", Usage()},
      {{"/X"}, 1, "", BannerLine() + Line(kBadSwitch, "/X") + Line(kUsageHint)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0]);
    RunOptions pipe;
    pipe.stdin_data = row.args[0] == "/cd" ? "a\nb" : "Ab\r\n";
    RunResult r = Run(row.args, pipe);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(Hex(r.out), Hex(row.out));
    EXPECT_EQ(r.err, row.err);
  }
}

TEST_F(Win32E2eTest, SlashOIsTheMergeOutputOption) {
  Write("a", "a");
  Write("b", "b");
  Write("out2", "old");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-M", "a", "b", "/oout1"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out1"), "ab");
  r = Run({"/m", "/O+", "out2", "b", "a"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out2"), "oldba");
}

// The runtime expands no wildcards: "-L *.txt" names a file that does not
// exist instead of turning into "-L a.txt b.txt", which would overwrite
// b.txt.
TEST_F(Win32E2eTest, WildcardsReachTheProgramUnexpanded) {
  Write("a.txt", "AAA");
  Write("b.txt", "BBB");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-L", "*.txt"}, nul);
  EXPECT_EQ(r.status, 1);
  // "*.txt" is a name that no file has (the system's reason follows it).
  EXPECT_TRUE(WithoutBanner(r.err).starts_with(std::string(kCannotOpen.sjis) +
                                               "*.txt: "))
      << r.err;
  EXPECT_TRUE(r.err.ends_with(Line(kNoStreams) + Line(kUsageHint)));
  EXPECT_EQ(Read("b.txt"), "BBB");
}

TEST_F(Win32E2eTest, BackslashesAndSlashesSeparateDirectories) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  Write("sub/in.txt", "Ab");
  RunResult r = Run({"-P", "sub\\in.txt", "sub/out.txt"}, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  EXPECT_EQ(Read("sub/out.txt"), "AB");
}

// Arguments arrive in code page 932, so a name whose second byte is 0x5C
// (表) is one name, not a directory and a name; the file system then holds
// it in its own encoding.
TEST_F(Win32E2eTest, ShiftJisNames) {
  Write("in.txt", "Ab");
  RunResult r = Run({"-P", "in.txt", "\x95\x5C.txt"}, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, BannerLine());
  EXPECT_EQ(Read("\xE8\xA1\xA8.txt"), "AB");  // 表.txt in UTF-8
}

// The system matches the wildcard (case-insensitively) and reports hidden
// entries (Wine hides names that begin with a dot) and directories; the
// program takes hidden files, passes ordinary directories over, and sorts
// by unsigned bytes whatever order the system used.
TEST_F(Win32E2eTest, MergeWildcardUsesTheSystemSearch) {
  Write("a.txt", "a");
  Write("B.txt", "B");
  Write("C.TXT", "C");
  Write(".d.txt", "d");
  Write("\xE3\x81\x82.txt", "e");  // あ.txt, 82 A0 in code page 932
  ASSERT_EQ(mkdir(dir_.File("sub.txt").c_str(), 0755), 0);
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-M", "*.txt", "-o", "out"}, nul);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("out"), "dBCae");
  EXPECT_EQ(WithoutBanner(r.err),
            "Total Marge Size = 5 byte\nMerging to 'out'\n"
            "allocated buf size =16384 . ok\n"
            ".d.txt 1bytes ok\nB.txt 1bytes ok\nC.TXT 1bytes ok\n"
            "a.txt 1bytes ok\n\x82\xA0.txt 1bytes ok\n");
}

// "X:" at the start of the target names the drive to check; a drive that
// does not exist is not ready, and nothing is written.
TEST_F(Win32E2eTest, FreeSpaceOfANamedDrive) {
  Write("a", "a");
  Write("b", "b");
  RunOptions nul;
  nul.stdin_kind = StdinKind::kDevNull;
  RunResult r = Run({"-M", "a", "b", "-o", "Q:\\out"}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutBanner(r.err),
            "Total Marge Size = 2 byte\n" + Line(kDriveNotReady));
  r = Run({"-S1", "a", "q:out"}, nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Line(kDriveNotReady)), std::string::npos) << r.err;
}

// --- Where Windows differs, as its users meet it ----------------------------

namespace fs = std::filesystem;

constexpr char kAbsent[] =
    "\x01"
    "absent";
// The times a row's files get first when it checks which times a run keeps
// (2001-01-01 and 2002-02-02, UTC).
constexpr time_t kOldAccess = 978307200, kOldWrite = 1012608000;
// Three folders of 110 bytes: with the test folder and "f", a name beyond
// MAX_PATH (260).
const std::string kDeep(std::string(110, 'd') + "/" + std::string(110, 'd') +
                        "/" + std::string(110, 'd'));

// Win32 attributes as Wine keeps them on Linux: read-only as the missing
// write bits, hidden (2) and system (4) in user.DOSATTRIB, as Samba does.
void SetAttributes(const std::string& path, const std::string& letters) {
  unsigned dos = 0;
  if (letters.find('H') != std::string::npos) dos |= 2;
  if (letters.find('S') != std::string::npos) dos |= 4;
  if (dos != 0) {
    const std::string value = "0x" + std::to_string(dos);
    ASSERT_EQ(
        setxattr(path.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0),
        0)
        << "no user attributes here: " << strerror(errno);
  }
  if (letters.find('R') != std::string::npos) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    chmod(path.c_str(), st.st_mode & ~0222);
  }
}

std::string AttributesOf(const std::string& path) {
  std::string letters;
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0) letters += "R";
  char value[32] = {};
  if (getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1) > 0) {
    const unsigned long dos = std::strtoul(value, nullptr, 16);
    if (dos & 2) letters += "H";
    if (dos & 4) letters += "S";
  }
  return letters;
}

bool HasOldTimes(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_atim.tv_sec == kOldAccess &&
         st.st_mtim.tv_sec == kOldWrite;
}

std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> names;
  // Never throws: a replacement may vanish while the folder is read.
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, error), end;
       !error && it != end; it.increment(error)) {
    if (it->path().filename().string().starts_with(".vu32-")) {
      names.push_back(it->path().string());
    }
  }
  return names;
}

// "{dir}" in an argument: the test folder (its Z: name, as the harness
// gives absolute names); "{long}": the same in the extended-length form.
std::string Expand(std::string arg, const std::string& dir) {
  std::string wine = "\\\\?\\Z:" + dir;
  for (char& c : wine) c = c == '/' ? '\\' : c;
  for (const auto& [token, value] :
       {std::pair<std::string, std::string>{"{dir}", dir}, {"{long}", wine}}) {
    if (const size_t at = arg.find(token); at != std::string::npos) {
      arg.replace(at, token.size(), value);
      if (token == "{long}") {
        for (size_t i = at + value.size(); i < arg.size(); ++i) {
          if (arg[i] == '/') arg[i] = '\\';
        }
      }
    }
  }
  return arg;
}

struct Row {
  const char* what;
  std::vector<std::string> args;
  std::map<std::string, std::string> files;       // made first; "x/" a folder
  std::map<std::string, std::string> attributes;  // then set: R, H, S
  int status = 0;
  // Standard error without the banner; "~" + text: holds text; "?": any.
  std::string err;
  std::map<std::string, std::string> after;  // kAbsent: no such file
  std::map<std::string, std::string> after_attributes;
  // Files that end with the old times (every file gets them first).
  std::vector<std::string> old_times;
  std::vector<std::string> first_run;  // run before `args`, if any
  bool utf8 = false;  // the arguments are UTF-8: names Shift-JIS lacks
  std::vector<std::string> env;
};

void Check(const Row& row) {
  SCOPED_TRACE(row.what);
  ScopedTempDir dir;
  for (const auto& [name, data] : row.files) {
    if (name.ends_with("/")) {
      fs::create_directories(dir.File(name));
      continue;
    }
    fs::create_directories(fs::path(dir.File(name)).parent_path());
    WriteFile(dir.File(name), data);
    if (!row.old_times.empty()) {
      const timespec times[2] = {{kOldAccess, 0}, {kOldWrite, 0}};
      utimensat(AT_FDCWD, dir.File(name).c_str(), times, 0);
    }
  }
  for (const auto& [name, letters] : row.attributes) {
    SetAttributes(dir.File(name), letters);
  }
  RunOptions options;
  options.cwd = dir.path();
  options.stdin_kind = StdinKind::kDevNull;
  options.utf8_arguments = row.utf8;
  options.env = row.env;
  if (!row.first_run.empty()) RunVu32(row.first_run, options);
  std::vector<std::string> args;
  for (const std::string& arg : row.args) {
    args.push_back(Expand(arg, dir.path()));
  }
  const RunResult r = RunVu32(args, options);
  EXPECT_EQ(r.status, row.status) << r.err;
  const std::string err = WithoutBanner(r.err);
  if (row.err.starts_with("~")) {
    EXPECT_NE(err.find(row.err.substr(1)), std::string::npos) << Hex(err);
  } else if (row.err != "?") {
    EXPECT_EQ(Hex(err), Hex(row.err));
  }
  // The times first: reading a file here is an access.
  for (const std::string& name : row.old_times) {
    EXPECT_TRUE(HasOldTimes(dir.File(name))) << name;
  }
  for (const auto& [name, data] : row.after) {
    if (data == kAbsent) {
      EXPECT_FALSE(fs::exists(dir.File(name))) << name;
    } else {
      EXPECT_EQ(ReadFile(dir.File(name)), data) << name;
    }
  }
  for (const auto& [name, letters] : row.after_attributes) {
    EXPECT_EQ(AttributesOf(dir.File(name)), letters) << name;
  }
  EXPECT_EQ(Leftovers(dir.path()), std::vector<std::string>());
  // Read-only files come out of the folder as any other.
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    chmod(e.path().c_str(), 0755);
  }
}

TEST_F(Win32E2eTest, WhereWindowsDiffers) {
  const std::string k1500(1500, 'x');
  const std::string b_sjis = "\x82\x82", B_sjis = "\x82\x61";  // ｂ Ｂ
  const std::string b_utf8 = "\xEF\xBD\x82";
  const std::vector<std::string> cp1252 = {"LC_ALL=C.UTF-8"};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
  // A line a case.
  // clang-format off
  const Row rows[] = {
      // A name the code page cannot hold arrives with "?" (which would be
      // expanded) or a look-alike (best fit): refused, nothing opened.
      {"们: the ? matches nothing", {"--in-place", "-Cu", "们.txt"}, {{"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}}, {}, 1, Line(kNotRepresentable, "?.txt"), {{"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}}, {}, {}, {}, true},
      {"们 as a merge source", {"-M", "们.txt", "a.txt", "-o", "out.txt"}, {{"a.txt", "a"}, {"b.txt", "b"}}, {}, 1, Line(kNotRepresentable, "?.txt"), {{"out.txt", kAbsent}}, {}, {}, {}, true},
      {"Café is no Cafe", {"-Cu", "Café.txt", "o"}, {{"Cafe.txt", "c\r\n"}}, {}, 1, Line(kNotRepresentable, "Cafe.txt"), {{"o", kAbsent}}, {}, {}, {}, true},
      {"code page 1252: あ", {"-Cu", "あ.txt", "o"}, {{"a.txt", "a\r\n"}}, {}, 1, Line(kNotRepresentable, "?.txt"), {{"o", kAbsent}}, {}, {}, {}, true, cp1252},
      // So does a wildcard's match: named, left out, the run fails.
      {"merge *.txt beside Café.txt", {"--quiet", "-M", "*.txt", "-o", "all"}, {{"Café.txt", "e"}, {"Cafe.txt", "E"}, {"a.txt", "a"}}, {}, 1, Line(kNotRepresentable, "Caf?.txt"), {{"all", "Ea"}}},
      {"--in-place * beside 们.txt", {"--quiet", "--in-place", "-Cu", "*"}, {{"们.txt", "m\r\n"}, {"a", "a\r\n"}}, {}, 1, Line(kNotRepresentable, "?.txt"), {{"们.txt", "m\r\n"}, {"a", "a\n"}}},
      {"code page 1252: Café is whole", {"-Cu", "Café.txt", "o"}, {{"Café.txt", "c\r\n"}}, {}, 0, "", {{"o", "c\n"}}, {}, {}, {}, true, cp1252},
      // Piece names follow the case rules, full-width letters too; the
      // same file is refused before any piece is made.
      {"B._01 after b.txt was split", {"-S1L", "B._01", "."}, {{"b.txt", "1\n2\n"}}, {}, 1, Line(kSameName), {{"b._00", "1\n"}, {"b._01", "2\n"}}, {}, {}, {"--quiet", "-S1L", "b.txt", "."}},
      {"W._01 beside w._01", {"-S1", "W._01", "."}, {{"w._01", k1500}}, {}, 1, Line(kSameName), {{"W._00", kAbsent}, {"w._00", kAbsent}, {"w._01", k1500}}},
      {"Ｂ._01 after ｂ.txt was split", {"-S1L", B_sjis + "._01", "."}, {{b_utf8 + ".txt", "1\n2\n"}}, {}, 1, Line(kSameName), {{b_utf8 + "._00", "1\n"}}, {}, {}, {"--quiet", "-S1L", b_sjis + ".txt", "."}},
      {"stale pieces of another case", {"-S2", "s.log", "st"}, {{"s.log", std::string(5000, 'x')}, {"st/", ""}}, {}, 0, "~" + Line(kStalePieces, "st\\S._03 .. st\\S._05"), {}, {}, {}, {"--quiet", "-S1", "S.LOG", "st"}},
      // What in place keeps: the attributes, and with --keep-time both
      // times; pieces get the times from before the input was read.
      {"read-only, hidden, system kept", {"--quiet", "--in-place", "-Cu", "f"}, {{"f", "a\r\n"}}, {{"f", "RHS"}}, 0, "", {{"f", "a\n"}}, {{"f", "RHS"}}},
      {"--keep-time: access time too", {"--quiet", "--in-place", "--keep-time", "-Cu", "f"}, {{"f", "a\r\n"}}, {}, 0, "", {{"f", "a\n"}}, {}, {"f"}},
      {"pieces: times before the read", {"--quiet", "-S1", "s", "."}, {{"s", k1500}}, {}, 0, "", {{"s._01", std::string(500, 'x')}}, {}, {"s._00", "s._01"}},
      // The in-place wildcard passes over hidden and system files (and, as
      // Wine hides them, over names that begin with a dot).
      {"--in-place * and desktop.ini", {"--quiet", "--in-place", "-Cu", "*"}, {{"a", "a\r\n"}, {"desktop.ini", "h\r\n"}, {"s", "s\r\n"}, {".d", "d\r\n"}}, {{"desktop.ini", "HS"}, {"s", "S"}}, 0, "", {{"a", "a\n"}, {"desktop.ini", "h\r\n"}, {"s", "s\r\n"}, {".d", "d\r\n"}}},
      // Names beyond MAX_PATH, as given and in the \\?\ form.
      {"in place beyond MAX_PATH", {"--quiet", "--in-place", "-Cu", "{dir}/" + kDeep + "/f"}, {{kDeep + "/f", "a\r\n"}}, {}, 0, "", {{kDeep + "/f", "a\n"}}},
      {"in place beyond MAX_PATH, \\\\?\\", {"--quiet", "--in-place", "-Cu", "{long}/" + kDeep + "/f"}, {{kDeep + "/f", "a\r\n"}}, {}, 0, "", {{kDeep + "/f", "a\n"}}},
  };
  // clang-format on
#pragma GCC diagnostic pop
  for (const Row& row : rows) Check(row);
}

// The Unix process of the running vu32.exe (not its launcher) whose
// command line holds `word`; 0 when there is none.
pid_t Vu32ProcessNaming(const std::string& word) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  pid_t found = 0;
  while (dirent* e = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    // Read with the system's calls: a process that ends meanwhile makes
    // the read fail, which a stream would throw for.
    std::string line;
    const int fd = open(
        ("/proc/" + std::string(e->d_name) + "/cmdline").c_str(), O_RDONLY);
    if (fd < 0) continue;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
      line.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    const std::string program = line.substr(0, line.find('\0'));
    if (program.ends_with("vu32.exe") && line.find(word) != std::string::npos) {
      found = pid;
      break;
    }
  }
  closedir(proc);
  return found;
}

// However the run is ended while the replacement is being written, it
// goes with the process, and the original stays whole: Ctrl+C (Wine turns
// SIGINT into it), and a process ended from outside, as Windows ends one
// whose console was closed once its handler's time is up (Ctrl+Break goes
// the way of Ctrl+C; Wine has no way to send it from here).
TEST_F(Win32E2eTest, InterruptRemovesTheReplacement) {
  std::string chunk;
  for (int i = 0; i < 4096; ++i) chunk += "\tabc\r\n";
  std::string big;
  for (int i = 0; i < 700; ++i) big += chunk;
  for (const int sig : {SIGINT, SIGKILL}) {
    SCOPED_TRACE(sig == SIGINT ? "Ctrl+C" : "ended from outside");
    ScopedTempDir dir;
    WriteFile(dir.File("big.txt"), big);
    RunOptions options;
    options.cwd = dir.path();
    options.stdin_kind = StdinKind::kDevNull;
    RunResult r;
    std::thread run([&] {
      r = RunVu32({"--in-place", "-T8", dir.File("big.txt")}, options);
    });
    // The process is there well before its replacement: found first, so
    // that the replacement is looked for alone, quickly. It is marked for
    // deletion a moment after it is made (a console event waits for the
    // mark; a kill in that moment would leave it), before any data.
    const std::string word = fs::path(dir.path()).filename().string();
    pid_t pid = 0;
    bool seen = false;
    for (int i = 0; i < 40000 && !seen; ++i) {
      if (pid == 0) pid = Vu32ProcessNaming(word);
      for (const std::string& name : Leftovers(dir.path())) {
        std::error_code error;
        seen = seen || (pid != 0 && fs::file_size(name, error) > 0 && !error);
      }
      if (!seen) usleep(100);
    }
    if (seen) kill(pid, sig);
    run.join();
    if (!seen) {
      GTEST_SKIP() << "the conversion ended before it could be interrupted";
    }
    // Wine reports no status for a killed process.
    if (sig == SIGINT) {
      EXPECT_NE(r.status, 0);
    }
    EXPECT_EQ(WithoutBanner(r.err), "");  // no "converted" line
    EXPECT_EQ(ReadFile(dir.File("big.txt")), big);
    EXPECT_EQ(Leftovers(dir.path()), std::vector<std::string>());
  }
}

// A console shows the messages whatever its output code page: they are
// written as text, not as Shift-JIS bytes that it would read in its own
// code page. The launcher reads the console's screen back.
TEST_F(Win32E2eTest, ConsoleShowsMessagesWhateverItsCodePage) {
  auto shown = [](const Message& m, const std::string& arg) {
    std::string text = std::string(m.text) + arg + "\n";
    if (text[0] == '\t') text.replace(0, 1, 8, ' ');  // the console's tab
    return text;
  };
  const std::string expected = "Kelzar " + std::string(kVersion.text) + " " +
                               std::string(kCopyright) + "\n" +
                               shown(kBadSwitch, "-Q") + shown(kUsageHint, "");
  for (const char* code_page : {"932", "437", "65001"}) {
    SCOPED_TRACE(code_page);
    RunOptions options;
    options.stdin_kind = StdinKind::kDevNull;
    options.env = {std::string("VU32_LAUNCHER_CONSOLE_STDERR=") + code_page};
    const RunResult r = Run({"-Q"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, expected);
  }
}

}  // namespace
}  // namespace vu32::testing
