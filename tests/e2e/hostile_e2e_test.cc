// Runs in surroundings that try to make the tool lose data: closed standard
// descriptors, links and FIFOs where pieces go, old pieces beside the input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/messages.h"
#include "test_util.h"

namespace vu32::testing {
namespace {

std::string Line(const Message& m, const std::string& arg = "") {
  return std::string(m.sjis) + arg + "\n";
}

std::string Digits(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

// A file opened by the program must never take the number of a closed
// standard descriptor: its progress lines would land in the data.
TEST(HostileE2eTest, ClosedStandardDescriptors) {
  ScopedTempDir dir;
  WriteFile(dir.File("a"), "first\n");
  WriteFile(dir.File("b"), "second\n");
  WriteFile(dir.File("big.txt"), std::string(2500, 'x'));
  struct Row {
    const char* what;
    std::vector<std::string> args;
    bool stdin_closed;
    std::string file;  // what it must hold afterwards
    std::string expected;
  } rows[] = {
      {"merge 2>&-",
       {"-M", "a", "b", "-o", "all.txt"},
       false,
       "all.txt",
       "first\nsecond\n"},
      {"merge -o+ 2>&-",
       {"-M", "a", "b", "-o+", "all.txt"},
       false,
       "all.txt",
       "first\nsecond\nfirst\nsecond\n"},
      {"split <&- 2>&-",
       {"-S1", "big.txt"},
       true,
       "big._02",
       std::string(500, 'x')},
      {"filter <&- 2>&-", {"-P", "a", "up.txt"}, true, "up.txt", "FIRST\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunOptions options;
    options.cwd = dir.path();
    options.stderr_closed = true;
    options.stdin_kind =
        row.stdin_closed ? StdinKind::kClosed : StdinKind::kDevNull;
    RunResult r = RunVu32(row.args, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(dir.File(row.file)), row.expected);
  }
  EXPECT_EQ(ReadFile(dir.File("big._00")) + ReadFile(dir.File("big._01")),
            std::string(2000, 'x'));
}

// An input that is one of the piece names the run would write is refused
// before any piece is created or emptied.
TEST(HostileE2eTest, InputAmongOldPiecesIsRefusedFirst) {
  for (const char* option : {"-S100", "-S1L"}) {
    SCOPED_TRACE(option);
    ScopedTempDir dir;
    // Cut by 100 KB, big._05 makes seven pieces, its own name among them.
    auto content = [](int i) {
      return std::string(i == 5 ? 600000 : 10, static_cast<char>('a' + i)) +
             "\n";
    };
    for (int i = 0; i <= 8; ++i) {
      WriteFile(dir.File("big._" + Digits(i)), content(i));
    }
    RunOptions options;
    options.cwd = dir.path();
    options.stdin_kind = StdinKind::kDevNull;
    RunResult r = RunVu32({option, "big._05", "."}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutBanner(r.err), Line(kSameName));
    for (int i = 0; i <= 8; ++i) {
      EXPECT_EQ(ReadFile(dir.File("big._" + Digits(i))), content(i)) << i;
    }
  }
}

// Nothing is written through a symbolic link, and no FIFO is opened, at a
// piece's or the directory probe's name; a FIFO as FILE is refused at once.
TEST(HostileE2eTest, LinksAndFifosWherePiecesGo) {
  if (TargetIsWin32()) GTEST_SKIP() << "POSIX links and FIFOs";
  struct Row {
    const char* what;
    std::string
        obstacle;  // "link:NAME>TARGET", "hard:NAME>TARGET", "fifo:NAME"
    std::vector<std::string> args;
    std::string err_tail;
  } rows[] = {
      {"link to a victim",
       "link:big._02>victim",
       {"-S1", "big.txt", "."},
       Line(kCannotCreate, "./big._02")},
      {"link to an earlier piece",
       "link:big._01>big._00",
       {"-S1", "big.txt", "."},
       Line(kCannotCreate, "./big._01")},
      {"hard link to an earlier piece",
       "hard:big._01>big._00",
       {"-S1", "big.txt", "."},
       Line(kCannotCreate, "./big._01")},
      {"FIFO at a piece",
       "fifo:big._01",
       {"-S1L", "big.txt", "."},
       Line(kCannotCreate, "./big._01")},
      {"FIFO at the probe",
       "fifo:_KZ_$$$$.TMP",
       {"-S1", "big.txt", "."},
       Line(kCannotCreate, "./_KZ_$$$$.TMP")},
      {"FIFO as FILE",
       "fifo:f.txt",
       {"-S1", "f.txt", "."},
       "f.txt: " + std::string(strerror(ESPIPE)) + "\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir dir;
    std::string big;
    for (int i = 0; i < 3; ++i) big += std::string(999, 'a' + i) + "\n";
    WriteFile(dir.File("big.txt"), big);
    WriteFile(dir.File("victim"), "precious");
    const std::string& o = row.obstacle;
    const size_t colon = o.find(':'), arrow = o.find('>');
    const std::string name = o.substr(colon + 1, arrow - colon - 1);
    if (o.starts_with("link:")) {
      ASSERT_EQ(symlink(o.substr(arrow + 1).c_str(), dir.File(name).c_str()),
                0);
    } else if (o.starts_with("hard:")) {
      WriteFile(dir.File(o.substr(arrow + 1)), "old");
      ASSERT_EQ(
          link(dir.File(o.substr(arrow + 1)).c_str(), dir.File(name).c_str()),
          0);
    } else {
      ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0666), 0);
    }
    RunOptions options;
    options.cwd = dir.path();
    options.stdin_kind = StdinKind::kDevNull;
    RunResult r = RunVu32(row.args, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.ends_with(row.err_tail)) << r.err;
    EXPECT_EQ(ReadFile(dir.File("victim")), "precious");
    EXPECT_EQ(ReadFile(dir.File("big.txt")), big);
    if (FileExists(dir.File("big._00"))) {
      // An earlier piece keeps what it was given.
      EXPECT_EQ(ReadFile(dir.File("big._00")), std::string(999, 'a') + "\n");
    }
  }
}

}  // namespace
}  // namespace vu32::testing
