// The command line through the real binary: every filter switch on files
// and in pipes, each kind of standard input and output, usage, bad
// switches, the refusals that protect the input, and the exact standard
// error bytes and exit status of each.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "filters/newline.h"
#include "filters/text.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

std::string Banner() { return BannerLine(); }

// The arguments as one line, for traces.
std::string Joined(const std::vector<std::string>& args) {
  std::string line = "vu32";
  for (const std::string& a : args) line += " " + a;
  return line;
}

std::string MissingStreams() {
  return Banner() + Line(kNoStreams) + Line(kUsageHint);
}

std::string Usage() {
  std::string usage(kUsageFormat.sjis);
  for (size_t at; (at = usage.find("%s")) != std::string::npos;) {
    usage.replace(at, 2, "VU32");
  }
  return Banner() + usage;
}

// Pseudo-terminals, /dev/full, links and directory descriptors are the
// POSIX build's; the Win32 build run under an emulator skips those cases.
bool PosixTarget() {
  const char* target = std::getenv("VU32_E2E_TARGET");
  return target == nullptr || std::strcmp(target, "win32") != 0;
}

// A bit of everything the filters care about, then enough random
// Shift-JIS-like bytes to cross every internal block size.
std::string Sample() {
  std::string s = FromHex(
      "41 62 09 43 0D 0A 61 0A 09 42 0D 09 0D 0D 0A 0A 0D 95 5C 83 41 83 61 "
      "81 81 61 82 0A 61 B1 DE 1A 00 1B 7F 20 7E FF 09 88 9F 09 5A 7A");
  std::mt19937 rng(7);
  s += RandomSjisLike(rng, 70000);
  return s + FromHex("41 0D 09 81");  // ends in a CR, a tab, a lone lead byte
}

struct Switch {
  const char* arg;  // "" for no switch: the plain copy
  std::function<std::unique_ptr<ByteFilter>()> make;  // null: plain copy
};

template <typename F, typename... Args>
std::function<std::unique_ptr<ByteFilter>()> Make(Args... args) {
  return [=] { return std::make_unique<F>(args...); };
}

const std::vector<Switch>& FilterSwitches() {
  static const std::vector<Switch> kSwitches = {
      {"", nullptr},
      {"-Cd", Make<Crconv>(NewlineKind::kCrLf)},
      {"-Cu", Make<Crconv>(NewlineKind::kLf)},
      {"-Cm", Make<Crconv>(NewlineKind::kCr)},
      {"-cD", Make<Crconv>(NewlineKind::kCrLf)},
      {"-J", Make<Join>()},
      {"-D", Make<Deletecontrolchar>()},
      {"-L", Make<ChangeCase>(LetterCase::kLower)},
      {"-l", Make<ChangeCase>(LetterCase::kLower)},
      {"-P", Make<ChangeCase>(LetterCase::kUpper)},
      {"-T0", Make<DeleteTabs>()},
      {"-T1", Make<Tab2space>(1)},
      {"-T4", Make<Tab2space>(4)},
      {"-T8", Make<Tab2space>(8)},
      {"-T08", Make<Tab2space>(8)},
      {"-T4abc", Make<Tab2space>(4)},
  };
  return kSwitches;
}

std::string Expected(const Switch& sw, const std::string& input) {
  if (!sw.make) return input;
  std::unique_ptr<ByteFilter> filter = sw.make();
  return RunWhole(*filter, input);
}

// The switch (if any) followed by `names`.
std::vector<std::string> Args(const Switch& sw,
                              std::vector<std::string> names) {
  if (*sw.arg) names.insert(names.begin(), sw.arg);
  return names;
}

TEST(CliE2eTest, EverySwitchOnPipesAndFiles) {
  const std::string input = Sample();
  ScopedTempDir dir;
  const std::string in = dir.File("in.txt");
  const std::string out = dir.File("out.txt");
  WriteFile(in, input);
  for (const Switch& sw : FilterSwitches()) {
    SCOPED_TRACE(*sw.arg ? sw.arg : "(no switch)");
    const std::string expected = Expected(sw, input);
    struct Route {
      const char* what;
      StdinKind stdin_kind;
      StdoutKind stdout_kind;
      std::vector<std::string> names;
      bool to_file;  // the result is in `out`, standard output stays empty
    };
    std::vector<Route> routes = {
        {"pipe to pipe", StdinKind::kPipe, StdoutKind::kPipe, {}, false},
        {"file to file", StdinKind::kFile, StdoutKind::kFile, {}, false},
        {"pipe to OUT", StdinKind::kPipe, StdoutKind::kPipe, {out}, true},
        // Two names: a redirected standard input is not read.
        {"IN to OUT", StdinKind::kPipe, StdoutKind::kPipe, {in, out}, true},
    };
    if (PosixTarget()) {
      routes.push_back({"IN from a terminal to pipe",
                        StdinKind::kTerminal,
                        StdoutKind::kPipe,
                        {in},
                        false});
      routes.push_back({"pipe to terminal",
                        StdinKind::kPipe,
                        StdoutKind::kTerminal,
                        {},
                        false});
    }
    for (const Route& route : routes) {
      SCOPED_TRACE(route.what);
      unlink(out.c_str());
      RunOptions opt;
      opt.stdin_kind = route.stdin_kind;
      opt.stdout_kind = route.stdout_kind;
      opt.stdin_data = route.names.size() == 2 ? "not to be read" : input;
      RunResult r = RunVu32(Args(sw, route.names), opt);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.err, Banner());
      const std::string got = route.to_file ? ReadFile(out) : r.out;
      EXPECT_TRUE(got == expected) << "got " << got.size() << " bytes, "
                                   << expected.size() << " expected";
      if (route.to_file) {
        EXPECT_EQ(r.out, "");
      }
    }
  }
}

// Standard input counts as redirected unless it is a terminal or the null
// device (what xargs, nohup and `cmd &` in a script hand a program), so one
// name is the input there and the output everywhere else.
TEST(CliE2eTest, WhichStandardInputIsARedirection) {
  ScopedTempDir dir;
  const std::string in = dir.File("in.txt");
  const std::string out = dir.File("out.txt");
  struct Row {
    const char* what;
    StdinKind stdin_kind;
    std::vector<std::string> args;
    int status;
    std::string out;  // standard output
    std::string err;
    std::string out_file;  // out.txt afterwards; "-" when it must not exist
  };
  std::vector<Row> rows = {
      {"null, -Cu IN",
       StdinKind::kDevNull,
       {"-Cu", in},
       0,
       "Ab\n",
       Banner(),
       "-"},
      {"null, -P IN",
       StdinKind::kDevNull,
       {"-P", in},
       0,
       "AB\r\n",
       Banner(),
       "-"},
      {"null, -L", StdinKind::kDevNull, {"-L"}, 1, "", MissingStreams(), "-"},
      {"null, no switch", StdinKind::kDevNull, {}, 1, "", Usage(), "-"},
      {"closed, no switch", StdinKind::kClosed, {}, 1, "", Usage(), "-"},
      {"closed, -L", StdinKind::kClosed, {"-L"}, 1, "", MissingStreams(), "-"},
      {"closed, -L IN",
       StdinKind::kClosed,
       {"-L", in},
       0,
       "ab\r\n",
       Banner(),
       "-"},
      {"closed, -P IN OUT",
       StdinKind::kClosed,
       {"-P", in, out},
       0,
       "",
       Banner(),
       "AB\r\n"},
      {"pipe, -L OUT", StdinKind::kPipe, {"-L", out}, 0, "", Banner(), "xy"},
      {"file, -L OUT", StdinKind::kFile, {"-L", out}, 0, "", Banner(), "xy"},
      {"empty file, -T4", StdinKind::kFile, {"-T4"}, 0, "", Banner(), "-"},
  };
  if (PosixTarget()) {
    rows.push_back({"terminal, -L IN",
                    StdinKind::kTerminal,
                    {"-L", in},
                    0,
                    "ab\r\n",
                    Banner(),
                    "-"});
    rows.push_back({"terminal, -L",
                    StdinKind::kTerminal,
                    {"-L"},
                    1,
                    "",
                    MissingStreams(),
                    "-"});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFile(in, "Ab\r\n");
    std::remove(out.c_str());
    RunOptions opt;
    opt.stdin_kind = row.stdin_kind;
    if (std::string(row.what) != "empty file, -T4") opt.stdin_data = "XY";
    RunResult r = RunVu32(row.args, opt);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(Hex(r.out), Hex(row.out));
    EXPECT_EQ(r.err, row.err);
    EXPECT_EQ(ReadFile(in), "Ab\r\n");
    if (row.out_file == "-") {
      EXPECT_FALSE(FileExists(out));
    } else {
      EXPECT_EQ(ReadFile(out), row.out_file);
    }
  }
}

TEST(CliE2eTest, WriteFailureEndsWithStatusOne) {
  if (!PosixTarget()) GTEST_SKIP() << "needs /dev/full";
  ScopedTempDir dir;
  const std::string in = dir.File("in.txt");
  WriteFile(in, "abc\n");
  struct Row {
    std::vector<std::string> args;
    StdoutKind stdout_kind;
    std::string name;  // in the message
  };
  const Row kRows[] = {
      {{"-L"}, StdoutKind::kDevFull, "stdout"},
      {{}, StdoutKind::kDevFull, "stdout"},
      {{"-Cd"}, StdoutKind::kDevFull, "stdout"},
      {{"-T8"}, StdoutKind::kDevFull, "stdout"},
      {{"-L", in, "/dev/full"}, StdoutKind::kPipe, "/dev/full"},
      {{in, "/dev/full"}, StdoutKind::kPipe, "/dev/full"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(Joined(row.args));
    RunOptions opt;
    opt.stdin_data = "abc\n";
    opt.stdout_kind = row.stdout_kind;
    RunResult r = RunVu32(row.args, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, Banner() + Line(kWriteFailed, row.name));
  }
  // Nothing written, nothing lost: an empty input succeeds on /dev/full.
  RunOptions empty;
  empty.stdin_kind = StdinKind::kFile;
  empty.stdout_kind = StdoutKind::kDevFull;
  RunResult r = RunVu32({"-L"}, empty);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, Banner());
}

// A directory as standard input gives nothing to read: refused before the
// output named on the command line is created or emptied.
TEST(CliE2eTest, DirectoryAsStandardInputIsRefusedFirst) {
  if (!PosixTarget()) GTEST_SKIP() << "needs a directory as standard input";
  ScopedTempDir dir;
  const std::string keep = dir.File("keep.txt");
  for (const char* sw : {"", "-L", "-Cu"}) {
    SCOPED_TRACE(sw);
    WriteFile(keep, "precious");
    RunOptions opt;
    opt.stdin_kind = StdinKind::kFile;
    opt.stdin_path = dir.path();
    std::vector<std::string> args;
    if (*sw) args.push_back(sw);
    args.push_back(keep);
    RunResult r = RunVu32(args, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              Banner() +
                  Line(kCannotOpen, "stdin: " + std::string(strerror(EISDIR))) +
                  Line(kNoStreams) + Line(kUsageHint));
    EXPECT_EQ(ReadFile(keep), "precious");
  }
}

TEST(CliE2eTest, UsageText) {
  struct Row {
    std::vector<std::string> args;
    StdinKind stdin_kind;
  };
  std::vector<Row> rows = {
      {{"-?"}, StdinKind::kPipe},           {{"-H"}, StdinKind::kPipe},
      {{"-h"}, StdinKind::kPipe},           {{"-help"}, StdinKind::kPipe},
      {{"-?", "a", "A"}, StdinKind::kPipe},  // answered before the names
  };
  if (PosixTarget()) rows.push_back({{}, StdinKind::kTerminal});
  for (const Row& row : rows) {
    SCOPED_TRACE(Joined(row.args));
    for (StdoutKind out : {StdoutKind::kPipe, StdoutKind::kFile}) {
      RunOptions opt;
      opt.stdin_kind = row.stdin_kind;
      opt.stdin_data = "data";
      opt.stdout_kind = out;
      RunResult r = RunVu32(row.args, opt);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, Usage());
    }
  }
}

TEST(CliE2eTest, BadSwitches) {
  ScopedTempDir dir;
  const std::string out = dir.File("out.txt");
  for (const char* sw : {"-X", "-", "-C", "-Cx", "-S", "-Sx", "-T9", "-T10",
                         "-Tx", "-#", "--bogus", "--in-place=1"}) {
    SCOPED_TRACE(sw);
    RunOptions opt;
    opt.stdin_data = "abc";
    RunResult r = RunVu32({sw, out}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Banner() + Line(kBadSwitch, sw) + Line(kUsageHint));
    EXPECT_FALSE(FileExists(out));
  }
}

TEST(CliE2eTest, NamesThatAreTheInputItself) {
  ScopedTempDir dir;
  const std::string content = "Ab\tc\r\n";
  WriteFile(dir.File("a.txt"), content);
  WriteFile(dir.File("OUT"), "keep");
  std::string same_file = Banner() + Line(kSameName);
  struct Row {
    std::vector<std::string> args;
    std::string err;
    bool with_links;              // needs symbolic and hard links
    bool input_is_a_txt = false;  // standard input comes from a.txt
  };
  std::vector<Row> rows = {
      // Three arguments, the last two spelt alike: refused by name.
      {{"-L", "a.txt", "a.txt"}, same_file, false},
      {{"-M", "X", "X"}, same_file, false},
      {{"-S10", "F", "F"}, same_file, false},
      // Two names only: the stream setup refuses the pair.
      {{"a.txt", "a.txt"}, MissingStreams(), false},
      // The same file under another name.
      {{"-L", "a.txt", "./a.txt"}, same_file, false},
      {{"-L", "./a.txt", "a.txt"}, same_file, false},
      {{"-L", "a.txt", dir.File("a.txt")}, same_file, false},
      {{"a.txt", "./a.txt"}, same_file, false},
      {{"-L", "a.txt"}, same_file, false, true},
      {{"-L", "a.txt", "sym.txt"}, same_file, true},
      {{"-L", "sym.txt", "a.txt"}, same_file, true},
      {{"-T4", "a.txt", "hard.txt"}, same_file, true},
  };
  if (!PosixTarget()) {
    // Win32 file systems ignore case, so names do too.
    rows.push_back({{"-L", "a.txt", "A.TXT"}, same_file, false});
    rows.push_back({{"-M", "X", "x"}, same_file, false});
    rows.push_back({{"-S10", "F", "f"}, same_file, false});
    rows.push_back({{"a.txt", "A.TXT"}, MissingStreams(), false});
  } else {
    ASSERT_EQ(symlink("a.txt", dir.File("sym.txt").c_str()), 0);
    ASSERT_EQ(link(dir.File("a.txt").c_str(), dir.File("hard.txt").c_str()), 0);
  }
  for (const Row& row : rows) {
    if (row.with_links && !PosixTarget()) continue;
    SCOPED_TRACE(Joined(row.args));
    RunOptions opt;
    opt.cwd = dir.path();
    if (row.input_is_a_txt) {
      opt.stdin_kind = StdinKind::kFile;
      opt.stdin_path = dir.File("a.txt");
    } else {
      opt.stdin_data = "piped";
    }
    RunResult r = RunVu32(row.args, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, row.err);
    // Nothing was created or emptied.
    EXPECT_EQ(ReadFile(dir.File("a.txt")), content);
    EXPECT_EQ(ReadFile(dir.File("OUT")), "keep");
    EXPECT_FALSE(FileExists(dir.File("A.TXT")));
    EXPECT_FALSE(FileExists(dir.File("A.txt")));
    EXPECT_FALSE(FileExists(dir.File("out")));
  }
}

// A file that cannot be opened or created is named, with the system's
// reason, before the missing-streams lines; nothing is created.
TEST(CliE2eTest, OpenFailuresNameTheFileAndTheReason) {
  ScopedTempDir dir;
  const std::string in = dir.File("in.txt");
  const std::string out = dir.File("out.txt");
  const std::string missing = dir.File("missing");
  const std::string sub = dir.File("sub");
  const std::string nowhere = dir.File("nodir/out.txt");
  WriteFile(in, "abc");
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  const std::string kNoFile = strerror(ENOENT);
  struct Row {
    std::vector<std::string> args;
    StdinKind stdin_kind;
    std::string first_line;  // the line before the missing-streams lines
  };
  std::vector<Row> rows = {
      {{"-L", missing, out},
       StdinKind::kPipe,
       Line(kCannotOpen, missing + ": " + kNoFile)},
      {{missing, out},
       StdinKind::kPipe,
       Line(kCannotOpen, missing + ": " + kNoFile)},
      {{"-L", in, nowhere},
       StdinKind::kPipe,
       Line(kCannotCreate, ": " + nowhere + ": " + kNoFile)},
      {{"-L", nowhere},
       StdinKind::kPipe,  // the one name is the output
       Line(kCannotCreate, ": " + nowhere + ": " + kNoFile)},
      {{"-L", missing},
       StdinKind::kDevNull,  // the one name is the input
       Line(kCannotOpen, missing + ": " + kNoFile)},
  };
  if (PosixTarget()) {
    // A directory opens on POSIX but holds no data; "/" begins a path here,
    // not a switch.
    const std::string kIsDir = strerror(EISDIR);
    rows.push_back({{"-L", sub, out},
                    StdinKind::kPipe,
                    Line(kCannotOpen, sub + ": " + kIsDir)});
    rows.push_back({{sub, out},
                    StdinKind::kDevNull,
                    Line(kCannotOpen, sub + ": " + kIsDir)});
    rows.push_back(
        {{"/Cd", out}, StdinKind::kPipe, Line(kCannotOpen, "/Cd: " + kNoFile)});
    rows.push_back({{"-L", sub},
                    StdinKind::kTerminal,
                    Line(kCannotOpen, sub + ": " + kIsDir)});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(Joined(row.args));
    RunOptions opt;
    opt.stdin_kind = row.stdin_kind;
    opt.stdin_data = "piped";
    RunResult r = RunVu32(row.args, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    if (PosixTarget()) {
      EXPECT_EQ(r.err, Banner() + row.first_line + Line(kNoStreams) +
                           Line(kUsageHint));
    } else {
      // The runtime's wording of the reason may differ: the name must lead.
      const std::string head = row.first_line.substr(
          0, row.first_line.find(": ", row.first_line.find(dir.path())) + 2);
      EXPECT_EQ(WithoutBanner(r.err).rfind(head, 0), 0u) << r.err;
      EXPECT_TRUE(r.err.ends_with(Line(kNoStreams) + Line(kUsageHint)));
    }
    EXPECT_FALSE(FileExists(out));
  }
}

// A filter takes two names; a third (`vu32 -Cu *.txt` over three files)
// is refused before anything is opened or created.
TEST(CliE2eTest, ExtraNamesAreRefused) {
  ScopedTempDir dir;
  const std::string in = dir.File("in.txt");
  const std::string out = dir.File("out.txt");
  const std::string extra = dir.File("x.txt");
  WriteFile(in, "Ab\r\n");
  WriteFile(out, "keep");
  const std::vector<std::vector<std::string>> kArgs = {
      {in, out, extra},
      {"-L", in, out, extra, extra},
      {"-Cu", in, out, out},  // three names, the last two spelt alike
      {"-K", in, in, extra},
  };
  for (const std::vector<std::string>& args : kArgs) {
    SCOPED_TRACE(Joined(args));
    for (StdinKind kind : {StdinKind::kPipe, StdinKind::kDevNull}) {
      RunOptions opt;
      opt.stdin_kind = kind;
      RunResult r = RunVu32(args, opt);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      const std::string first_extra = args[args[0][0] == '-' ? 3 : 2];
      EXPECT_EQ(r.err, Banner() + Line(kExtraArgument, first_extra) +
                           Line(kNoStreams) + Line(kUsageHint));
      EXPECT_EQ(ReadFile(in), "Ab\r\n");
      EXPECT_EQ(ReadFile(out), "keep");
      EXPECT_FALSE(FileExists(extra));
    }
  }
}

// Names that differ only in case are two files where the file system says
// so (POSIX), and one name on Win32.
TEST(CliE2eTest, NamesDifferingInCase) {
  ScopedTempDir dir;
  WriteFile(dir.File("Data.CSV"), "a\r\nb\r\n");
  RunOptions opt;
  opt.cwd = dir.path();
  RunResult r = RunVu32({"-Cu", "Data.CSV", "data.csv"}, opt);
  if (PosixTarget()) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, Banner());
    EXPECT_EQ(ReadFile(dir.File("data.csv")), "a\nb\n");
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, Banner() + Line(kSameName));
  }
  EXPECT_EQ(ReadFile(dir.File("Data.CSV")), "a\r\nb\r\n");
}

// Messages follow the locale wherever standard error goes (a terminal, a
// log, cron's mail): UTF-8 under a UTF-8 locale, Shift-JIS otherwise;
// VU32_MESSAGE_ENCODING overrides the locale.
TEST(CliE2eTest, MessagesInTheLocalesEncoding) {
  if (!PosixTarget()) GTEST_SKIP() << "Win32 follows the console's code page";
  const std::string sjis = Banner() + Line(kBadSwitch, "-X") + Line(kUsageHint);
  const std::string utf8 = "Kelzar " + std::string(kVersion.text) + " " +
                           std::string(kCopyright) + "\n" +
                           std::string(kBadSwitch.text) + "-X\n" +
                           std::string(kUsageHint.text) + "\n";
  const struct {
    bool terminal;
    const char* locale;
    const char* override;  // VU32_MESSAGE_ENCODING, "" unset
    const std::string& err;
  } kRows[] = {
      {false, "C", "", sjis},
      {false, "C.UTF-8", "", utf8},
      {true, "C.UTF-8", "", utf8},
      {true, "C", "", sjis},
      {false, "C.UTF-8", "sjis", sjis},
      {false, "C", "utf-8", utf8},
      {false, "C", "UTF8", utf8},
      {false, "C.UTF-8", "latin1", utf8},  // unknown: the locale decides
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.terminal ? "terminal, " : "pipe, ") +
                 row.locale + ", " + row.override);
    RunOptions opt;
    opt.stderr_terminal = row.terminal;
    opt.env = {std::string("LC_ALL=") + row.locale};
    if (*row.override) {
      opt.env.push_back(std::string("VU32_MESSAGE_ENCODING=") + row.override);
    }
    RunResult r = RunVu32({"-X"}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Hex(r.err), Hex(row.err));
  }
}

}  // namespace
}  // namespace vu32::testing
