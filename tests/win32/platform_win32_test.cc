// The Win32 platform layer against the real system (run under Wine in CI).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace vu32::platform {
namespace {

// A fresh directory under the system's temporary folder, removed (with
// attributes that block deletion taken away) when the test ends.
class TempDir {
 public:
  TempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    for (unsigned n = GetTickCount();; ++n) {
      path_ = std::string(base) + "vu32-" + std::to_string(n);
      if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
  }
  ~TempDir() { Remove(path_); }
  std::string File(const std::string& name) const {
    return path_ + "\\" + name;
  }
  const std::string& path() const { return path_; }

 private:
  static void Remove(const std::string& dir) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = d.cFileName;
        if (name == "." || name == "..") continue;
        std::string full = dir + "\\" + name;
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(full);
        } else {
          DeleteFileA(full.c_str());
        }
      } while (FindNextFileA(h, &d));
      FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
  }
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

std::string ReadFile(const std::string& path) {
  std::string data;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return data;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    data.append(buf, n);
  std::fclose(f);
  return data;
}

TEST(PlatformWin32Test, Spellings) {
  EXPECT_TRUE(kWin32Spellings);
  EXPECT_EQ(kPathSeparator, '\\');
  EXPECT_TRUE(IsSwitchIntroducer('-'));
  EXPECT_TRUE(IsSwitchIntroducer('/'));
  EXPECT_FALSE(IsSwitchIntroducer('\\'));
  EXPECT_TRUE(IsPathSeparator('\\'));
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_FALSE(IsPathSeparator(':'));
}

// Which entries a search yields: ordinary directories are passed over, hidden
// and system entries are taken, even a directory that is hidden or system.
TEST(PlatformWin32Test, FindFilesAttributeRule) {
  TempDir dir;
  WriteFile(dir.File("plain.txt"), "12345");
  WriteFile(dir.File("ronly.txt"), "1");
  WriteFile(dir.File("hidden.txt"), "12");
  WriteFile(dir.File("system.txt"), "123");
  ASSERT_TRUE(CreateDirectoryA(dir.File("sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(dir.File("hsub").c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesA(dir.File("ronly.txt").c_str(),
                                 FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesA(dir.File("hidden.txt").c_str(),
                                 FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA(dir.File("system.txt").c_str(),
                                 FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(
      SetFileAttributesA(dir.File("hsub").c_str(),
                         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));

  std::vector<FoundFile> found;
  ASSERT_TRUE(FindFiles(dir.File("*"), &found));
  std::vector<std::string> names;
  for (const FoundFile& f : found) {
    names.push_back(f.name);
    if (f.name == "plain.txt") {
      EXPECT_EQ(f.size, 5u);
    } else if (f.name == "system.txt") {
      EXPECT_EQ(f.size, 3u);
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"hidden.txt", "hsub", "plain.txt",
                                             "ronly.txt", "system.txt"}));
}

TEST(PlatformWin32Test, FindFilesPlainNamesAndMisses) {
  TempDir dir;
  WriteFile(dir.File("a.txt"), "abc");
  ASSERT_TRUE(CreateDirectoryA(dir.File("d").c_str(), nullptr));
  struct Row {
    std::string pattern;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {dir.File("a.txt"), {"a.txt"}},
      {dir.path() + "/a.txt", {"a.txt"}},  // "/" separates as well
      {dir.File("A.TXT"), {"a.txt"}},      // the long name as stored
      {dir.File("b.txt"), {}},
      {dir.File("*.doc"), {}},
      {dir.File("d"), {}},  // an ordinary directory is no source
      {dir.File("none\\*.txt"), {}},
      {"Q:\\no-such-drive\\*.txt", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    std::vector<FoundFile> found = {{"stale", 1}};
    EXPECT_TRUE(FindFiles(row.pattern, &found));
    std::vector<std::string> names;
    for (const FoundFile& f : found) names.push_back(f.name);
    EXPECT_EQ(names, row.names);
  }
}

TEST(PlatformWin32Test, FileTimesRoundTripAndZeroLeavesAlone) {
  TempDir dir;
  std::string path = dir.File("t.txt");
  WriteFile(path, "x");
  // 2001-02-03 and 2011-12-13, the second with a fraction that 100 ns
  // units keep.
  const FileTime kOld{981158400, 0, true};
  const FileTime kNew{1323734400, 123456700, true};
  FileTimes set;
  set.access = kOld;
  set.write = kNew;
  ASSERT_TRUE(SetFileTimes(path, set));
  FileTimes got;
  ASSERT_TRUE(GetFileTimes(path, &got));
  EXPECT_EQ(got.access, kOld);
  EXPECT_EQ(got.write, kNew);
  EXPECT_TRUE(got.creation.set);

  FileTimes only_write;  // creation and access unset: left as they are
  only_write.write = kOld;
  ASSERT_TRUE(SetFileTimes(path, only_write));
  ASSERT_TRUE(GetFileTimes(path, &got));
  EXPECT_EQ(got.access, kOld);
  EXPECT_EQ(got.write, kOld);

  EXPECT_FALSE(GetFileTimes(dir.File("missing"), &got));
  EXPECT_FALSE(SetFileTimes(dir.File("missing"), set));
}

TEST(PlatformWin32Test, CurrentFileTimeIsUtc) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t ticks =
      (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  int64_t system = static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
  FileTime ours = CurrentFileTime();
  ASSERT_TRUE(ours.set);
  EXPECT_LT(std::llabs(ours.seconds - system), 5)
      << "local time taken for UTC?";
}

TEST(PlatformWin32Test, FreeSpaceDriveRule) {
  struct Row {
    const char* target;
    bool ok;
  };
  const Row rows[] = {
      {"", true},                      // current drive
      {"out.txt", true},               // relative: current drive
      {"C:\\x\\y.txt", true},          // drive C, whatever follows
      {"c:", true},                    // the letter in either case
      {"@:", true},                    // number 0: the current drive
      {"Q:\\", false},                 // no such drive
      {"#:", false},                   // no letter: no drive either
      {"\\\\server\\share\\f", true},  // not "X:": the current drive
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    DiskGeometry g;
    EXPECT_EQ(QueryFreeSpace(row.target, &g), row.ok);
    if (row.ok) {
      EXPECT_GT(g.cluster_bytes, 0u);
    }
  }
}

TEST(PlatformWin32Test, DescriptorsByKind) {
  TempDir dir;
  std::string path = dir.File("f.bin");
  WriteFile(path, std::string(70000, 'x'));

  int file = OpenForRead(path);
  ASSERT_GE(file, 0);
  EXPECT_FALSE(IsTerminal(file));
  EXPECT_EQ(FileLength(file), 70000);

  int nul = _open("NUL", _O_RDONLY);
  ASSERT_GE(nul, 0);
  EXPECT_TRUE(IsTerminal(nul));  // a character device, like the console
  EXPECT_EQ(FileLength(nul), -1);
  FileId id;
  EXPECT_FALSE(FileIdOfFd(nul, &id));

  int fds[2];
  ASSERT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
  EXPECT_FALSE(IsTerminal(fds[0]));
  errno = 0;
  EXPECT_EQ(FileLength(fds[0]), -1);
  EXPECT_EQ(errno, ESPIPE);
  EXPECT_FALSE(FileIdOfFd(fds[0], &id));

  EXPECT_EQ(OpenRegularForRead("NUL"), -1);
  EXPECT_EQ(OpenForRead(dir.path()), -1);  // a directory holds no data
  for (int fd : {file, nul, fds[0], fds[1]}) EXPECT_TRUE(CloseFd(fd));
}

TEST(PlatformWin32Test, SameFileUnderOtherNames) {
  TempDir dir;
  WriteFile(dir.File("a.txt"), "a");
  WriteFile(dir.File("b.txt"), "b");
  FileId a, a_upper, a_dotted, b, fd_id;
  ASSERT_TRUE(FileIdOfPath(dir.File("a.txt"), &a));
  ASSERT_TRUE(FileIdOfPath(dir.File("A.TXT"), &a_upper));
  ASSERT_TRUE(FileIdOfPath(dir.path() + "\\.\\a.txt", &a_dotted));
  ASSERT_TRUE(FileIdOfPath(dir.File("b.txt"), &b));
  EXPECT_EQ(a, a_upper);
  EXPECT_EQ(a, a_dotted);
  EXPECT_FALSE(a == b);
  int fd = OpenForRead(dir.File("a.txt"));
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(FileIdOfFd(fd, &fd_id));
  EXPECT_EQ(fd_id, a);
  CloseFd(fd);
  EXPECT_FALSE(FileIdOfPath(dir.File("missing"), &a));
}

// Text mode turns LF into CR LF on the way out; binary mode passes bytes.
TEST(PlatformWin32Test, BinaryAndTextMode) {
  TempDir dir;
  std::string path = dir.File("m.txt");
  int fd = OpenForWrite(path, WriteMode::kReplace);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, "a\n", 2));
  SetBinaryMode(fd, false);
  ASSERT_TRUE(WriteAll(fd, "b\n", 2));
  SetBinaryMode(fd, true);
  ASSERT_TRUE(WriteAll(fd, "c\n", 2));
  ASSERT_TRUE(CloseFd(fd));
  EXPECT_EQ(ReadFile(path), "a\nb\r\nc\n");

  fd = OpenForWrite(path, WriteMode::kAppend);  // keeps what is there
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, "d", 1));
  ASSERT_TRUE(CloseFd(fd));
  EXPECT_EQ(ReadFile(path), "a\nb\r\nc\nd");
}

TEST(PlatformWin32Test, CreateExclusiveAndRemove) {
  TempDir dir;
  std::string path = dir.File("_KZ_$$$$.TMP");
  int fd = CreateExclusive(path);
  ASSERT_GE(fd, 0);
  CloseFd(fd);
  EXPECT_EQ(CreateExclusive(path), -1);
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(RemoveFile(path));
  EXPECT_EQ(CreateExclusive(dir.File("no\\such\\dir")), -1);
}

// An in-place run holds its file against every writer until the
// replacement is in place; readers, and a rename of the name, stay free.
TEST(PlatformWin32Test, ReplaceableFileShutsOutWriters) {
  TempDir dir;
  const std::string path = dir.File("f.txt");
  WriteFile(path, "old");
  auto opens = [&](DWORD access) {
    HANDLE h =
        CreateFileA(path.c_str(), access,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return h != INVALID_HANDLE_VALUE;
  };
  ReplaceableFile file;
  ASSERT_EQ(file.Open(path), ReplaceableFile::OpenResult::kOk);
  EXPECT_FALSE(opens(GENERIC_WRITE));
  EXPECT_TRUE(opens(GENERIC_READ));
  const int out = file.CreateReplacement();
  ASSERT_GE(out, 0);
  ASSERT_TRUE(WriteAll(out, "new", 3));
  EXPECT_EQ(file.KeepAttributes(false, nullptr), ReplaceableFile::Kept::kAll);
  EXPECT_TRUE(file.Unchanged());
  EXPECT_FALSE(opens(GENERIC_WRITE));
  ASSERT_TRUE(file.Seal());
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_TRUE(opens(GENERIC_WRITE));
}

// A second run on the same file waits until the first has put its
// replacement in place, then takes the new file: both changes land.
TEST(PlatformWin32Test, ReplaceableFileRunsOneAfterTheOther) {
  TempDir dir;
  const std::string path = dir.File("f.txt");
  WriteFile(path, "a");
  auto first = std::make_unique<ReplaceableFile>();
  ASSERT_EQ(first->Open(path), ReplaceableFile::OpenResult::kOk);
  std::atomic<bool> opened{false};
  uint64_t second_size = 0;
  std::thread second([&] {
    ReplaceableFile file;
    if (file.Open(path) == ReplaceableFile::OpenResult::kOk) {
      second_size = file.status().size;
    }
    opened = true;
  });
  Sleep(300);
  EXPECT_FALSE(opened);  // still waiting
  const int out = first->CreateReplacement();
  ASSERT_GE(out, 0);
  ASSERT_TRUE(WriteAll(out, "ab", 2));
  ASSERT_TRUE(first->Seal());
  ASSERT_TRUE(first->Commit());
  first.reset();
  second.join();
  EXPECT_TRUE(opened);
  EXPECT_EQ(second_size, 2u);  // the file the first run put in place
}

}  // namespace
}  // namespace vu32::platform
