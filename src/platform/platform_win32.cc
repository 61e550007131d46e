// Win32 implementation of the platform layer (mingw-w64 against msvcrt).
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

// The command line is taken as given: wildcards are the business of merge,
// never of the runtime's start-up code.
extern "C" {
int _dowildcard = 0;
}

namespace vu32::platform {

const bool kWin32Spellings = true;
const char kPathSeparator = '\\';

bool IsSwitchIntroducer(unsigned char c) { return c == '-' || c == '/'; }
bool IsPathSeparator(unsigned char c) { return c == '\\' || c == '/'; }

namespace {

// The kernel handle behind a runtime descriptor; INVALID_HANDLE_VALUE when
// the descriptor is not open, or is a standard descriptor that the process
// was started without (the runtime marks those -2).
HANDLE HandleOf(int fd) {
  intptr_t h = _get_osfhandle(fd);
  return h < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(h);
}

bool IsDiskFile(HANDLE h) {
  return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK;
}

// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;  // 100-ns units

FileTime FromFiletime(const FILETIME& f) {
  uint64_t ticks =
      (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  FileTime t;
  if (ticks == 0) return t;  // Win32's "no time"
  t.seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochDelta;
  t.nanoseconds = static_cast<int32_t>(ticks % kTicksPerSecond) * 100;
  t.set = true;
  return t;
}

FILETIME ToFiletime(const FileTime& t) {
  // Before 1601 there is nothing to say: the earliest tick stands in.
  uint64_t ticks = 1;
  if (t.seconds + kEpochDelta >= 0) {
    ticks = static_cast<uint64_t>(t.seconds + kEpochDelta) * kTicksPerSecond +
            static_cast<uint64_t>(t.nanoseconds) / 100;
  }
  FILETIME f;
  f.dwLowDateTime = static_cast<DWORD>(ticks);
  f.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return f;
}

// A handle that can only describe the file `path` names (links followed;
// no access rights are needed; backup semantics let a directory open too).
// INVALID_HANDLE_VALUE with errno set when there is none.
HANDLE OpenToDescribe(const std::string& path) {
  HANDLE h = CreateFileA(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
  }
  return h;
}

bool IdOfHandle(HANDLE h, FileId* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  id->device = info.dwVolumeSerialNumber;
  id->index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

bool IsNullDevice(int fd) {
  // NUL is a character device that is no console (the runtime's _isatty
  // already calls it a terminal).
  HANDLE h = HandleOf(fd);
  DWORD mode;
  return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR &&
         !GetConsoleMode(h, &mode);
}

void OpenNullOnClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (HandleOf(fd) != INVALID_HANDLE_VALUE) continue;
    // Standard output gets it for reading only, so that data written there
    // fails instead of vanishing.
    int null_fd = _open("NUL", (fd == 2 ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (null_fd < 0) continue;
    if (null_fd != fd) {
      _dup2(null_fd, fd);
      _close(null_fd);
    }
  }
}

void SetBinaryMode(int fd, bool binary) {
  _setmode(fd, binary ? _O_BINARY : _O_TEXT);
}

void IgnoreFileSizeLimitSignal() {}

bool CanReadData(int fd) {
  // A directory cannot be a standard handle here; only a missing handle
  // gives nothing to read.
  if (HandleOf(fd) != INVALID_HANDLE_VALUE) return true;
  errno = EBADF;
  return false;
}

// The duplicate inherits descriptor 0's mode, which the caller has already
// switched to binary.
int DuplicateStdin() { return _dup(0); }

bool ReopenConsoleStdin() { return freopen("CON", "r", stdin) != nullptr; }

int OpenForRead(const std::string& path) {
  // A directory does not open here (access denied), as the contract asks.
  return _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// Windows has no FIFOs in the file system: nothing to wait for.
int OpenForReadWithoutWaiting(const std::string& path) {
  return OpenForRead(path);
}

int OpenRegularForRead(const std::string& path) {
  int fd = OpenForRead(path);
  if (fd < 0 || IsDiskFile(HandleOf(fd))) return fd;
  _close(fd);
  errno = EINVAL;
  return -1;
}

int OpenForWrite(const std::string& path, WriteMode mode) {
  int flags = _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT |
              (mode == WriteMode::kAppend ? _O_APPEND : _O_TRUNC);
  return _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}

int OpenRegularForWrite(const std::string& path) {
  // A reparse point (a symbolic link or junction) at the name is refused
  // before the open could follow it.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes &
       (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    errno = EINVAL;
    return -1;
  }
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
  if (fd < 0 || IsDiskFile(HandleOf(fd))) return fd;
  _close(fd);  // a device name such as NUL or COM1
  errno = EINVAL;
  return -1;
}

bool TruncateFile(int fd) { return _chsize_s(fd, 0) == 0; }

int CreateExclusive(const std::string& path) {
  return _open(path.c_str(),
               _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
}

bool RemoveFile(const std::string& path) { return _unlink(path.c_str()) == 0; }

long ReadSome(int fd, void* buffer, size_t size) {
  // _read counts in unsigned int and returns int.
  unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
  return _read(fd, buffer, chunk);
}

int64_t CurrentOffset(int fd) { return _telli64(fd); }

long ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
  __int64 saved = _telli64(fd);
  if (saved < 0 || _lseeki64(fd, offset, SEEK_SET) < 0) return -1;
  long n = ReadSome(fd, buffer, size);
  int read_errno = errno;
  if (_lseeki64(fd, saved, SEEK_SET) < 0) return -1;
  errno = read_errno;
  return n;
}

bool WriteAll(int fd, const void* buffer, size_t size) {
  const char* p = static_cast<const char*>(buffer);
  while (size > 0) {
    unsigned chunk =
        size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    int n = _write(fd, p, chunk);
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CloseFd(int fd) { return _close(fd) == 0; }

long long KernelCopy(int, int, size_t) { return -1; }

std::string LastErrorText() { return strerror(errno); }
std::string ErrorText(int error) { return strerror(error); }

int64_t FileLength(int fd) {
  HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  if (!IsDiskFile(h)) {
    // A pipe, the console or NUL has no length of its own.
    errno = ESPIPE;
    return -1;
  }
  return _filelengthi64(fd);
}

bool SameNameSpelling(const char* a, const char* b) {
  // Letters fold where they are one-byte characters; the second byte of a
  // two-byte character is compared as it is (ア 83 41 is no ヂ 83 61).
  auto fold = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c;
  };
  auto lead = [](unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  };
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  bool second = false;
  for (; *x && *y; ++x, ++y) {
    if (second ? *x != *y : fold(*x) != fold(*y)) return false;
    second = !second && lead(*x);
  }
  return *x == *y;
}

PathKind KindOfPath(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::kLink;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kOther : PathKind::kRegular;
}

bool IsDirectory(const std::string& path) {
  const int saved = errno;
  DWORD a = GetFileAttributesA(path.c_str());
  errno = saved;
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileIdOfPath(const std::string& path, FileId* id) {
  HANDLE h = OpenToDescribe(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = IsDiskFile(h) && IdOfHandle(h, id);
  CloseHandle(h);
  return ok;
}

bool FileIdOfFd(int fd, FileId* id) {
  HANDLE h = HandleOf(fd);
  return IsDiskFile(h) && IdOfHandle(h, id);
}

bool QueryFreeSpace(const std::string& target, DiskGeometry* geometry) {
  // "X:..." asks about drive X, anything else (relative, "\\\\server\\...",
  // empty) about the current drive. The letter is not validated: a byte
  // that names no drive makes the query fail.
  int drive = 0;
  if (target.size() >= 2 && target[1] == ':') {
    drive = (static_cast<unsigned char>(target[0]) & ~0x20) - 0x40;
  }
  char root[4] = {static_cast<char>(0x40 + drive), ':', '\\', '\0'};
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0;
  DWORD free_clusters = 0, total_clusters = 0;
  if (!GetDiskFreeSpaceA(drive != 0 ? root : nullptr, &sectors_per_cluster,
                         &bytes_per_sector, &free_clusters, &total_clusters)) {
    return false;
  }
  geometry->cluster_bytes =
      static_cast<uint32_t>(sectors_per_cluster * bytes_per_sector);
  geometry->free_clusters = free_clusters;
  return true;
}

bool GetFileTimes(const std::string& path, FileTimes* times) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME creation, access, write;
  bool ok = GetFileTime(h, &creation, &access, &write);
  CloseHandle(h);
  if (!ok) return false;
  times->creation = FromFiletime(creation);
  times->access = FromFiletime(access);
  times->write = FromFiletime(write);
  return true;
}

bool SetFileTimes(const std::string& path, const FileTimes& times) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME creation = ToFiletime(times.creation);
  FILETIME access = ToFiletime(times.access);
  FILETIME write = ToFiletime(times.write);
  // A null pointer leaves that time alone.
  bool ok = SetFileTime(h, times.creation.set ? &creation : nullptr,
                        times.access.set ? &access : nullptr,
                        times.write.set ? &write : nullptr);
  return CloseHandle(h) && ok;
}

FileTime CurrentFileTime() {
  // The wall clock as the user sees it, brought back to UTC so that it
  // compares with the times the file system reports.
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME local, utc;
  if (!SystemTimeToFileTime(&now, &local)) return FileTime();
  if (!LocalFileTimeToFileTime(&local, &utc)) return FromFiletime(local);
  return FromFiletime(utc);
}

bool StatFile(const std::string& path, FileStatus* status) {
  HANDLE h = OpenToDescribe(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info);
  const bool disk = IsDiskFile(h);
  CloseHandle(h);
  if (!ok) {
    errno = EIO;
    return false;
  }
  const bool directory = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  status->kind = disk && !directory ? PathKind::kRegular : PathKind::kOther;
  status->size =
      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  status->links = info.nNumberOfLinks;
  status->id.device = info.dwVolumeSerialNumber;
  status->id.index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  status->times.creation = FromFiletime(info.ftCreationTime);
  status->times.access = FromFiletime(info.ftLastAccessTime);
  status->times.write = FromFiletime(info.ftLastWriteTime);
  return true;
}

namespace {

// The final name of the file `path` names: a symbolic link (a reparse
// point) followed to its target. False, errno set, when there is none.
bool ResolvePath(const std::string& path, std::string* resolved) {
  // The handle follows a symbolic link (a reparse point) to its target,
  // whose own name is then asked for.
  HANDLE h = OpenToDescribe(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  char name[MAX_PATH + 8];
  DWORD n = GetFinalPathNameByHandleA(h, name, sizeof name, VOLUME_NAME_DOS);
  CloseHandle(h);
  if (n > 0 && n < sizeof name) {
    // "\\?\C:\dir\f" or "\\?\UNC\server\share\f".
    std::string final(name, n);
    if (final.rfind("\\\\?\\UNC\\", 0) == 0) {
      final = "\\\\" + final.substr(8);
    } else if (final.rfind("\\\\?\\", 0) == 0) {
      final = final.substr(4);
    }
    *resolved = final;
    return true;
  }
  char full[MAX_PATH];
  n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) {
    errno = ENAMETOOLONG;
    return false;
  }
  *resolved = full;
  return true;
}

// The replacement file a console interrupt removes.
char g_replacement[MAX_PATH];
volatile LONG g_have_replacement = 0;
bool g_cleanup_installed = false;

BOOL WINAPI RemoveReplacement(DWORD) {
  if (g_have_replacement) DeleteFileA(g_replacement);
  return FALSE;  // the default handler then ends the process
}

void Forget(const std::string& replacement) {
  if (g_have_replacement && replacement == g_replacement) {
    InterlockedExchange(&g_have_replacement, 0);
  }
}

int CreateReplacementFor(const std::string& target, std::string* replacement) {
  if (!g_cleanup_installed) {
    g_cleanup_installed = true;
    SetConsoleCtrlHandler(RemoveReplacement, TRUE);
  }
  const size_t separator = target.find_last_of("\\/");
  const std::string dir =
      separator == std::string::npos ? "." : target.substr(0, separator);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = dir + "\\.vu32-" +
                       std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(counter++);
    if (name.size() >= sizeof g_replacement) {
      errno = ENAMETOOLONG;
      return -1;
    }
    // Remembered first: the handler runs on a thread of its own.
    memcpy(g_replacement, name.c_str(), name.size() + 1);
    InterlockedExchange(&g_have_replacement, 1);
    // Read as well as written: it is compared with the original.
    int fd = _open(name.c_str(),
                   _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      *replacement = name;
      return fd;
    }
    InterlockedExchange(&g_have_replacement, 0);
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool MoveReplacement(const std::string& replacement,
                     const std::string& target) {
  if (!MoveFileExA(replacement.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
  }
  Forget(replacement);
  return true;
}

void RemoveReplacementFile(const std::string& replacement) {
  int saved = errno;
  DeleteFileA(replacement.c_str());
  Forget(replacement);
  errno = saved;
}

bool SameState(const FileStatus& a, const FileStatus& b) {
  return a.id == b.id && a.size == b.size && a.times.write == b.times.write;
}

}  // namespace

struct ReplaceableFile::State {
  int fd = -1;         // the original, open for reading
  std::string target;  // its final name
  FileStatus status;
  int replacement = -1;
  std::string replacement_name;
};

ReplaceableFile::ReplaceableFile() : state_(std::make_unique<State>()) {}

ReplaceableFile::~ReplaceableFile() {
  DiscardReplacement();
  if (state_->fd >= 0) _close(state_->fd);
}

int ReplaceableFile::fd() const { return state_->fd; }

const FileStatus& ReplaceableFile::status() const { return state_->status; }

// The share mode is the lock: a file another run holds fails to open, so
// there is nothing to wait for.
ReplaceableFile::OpenResult ReplaceableFile::Open(const std::string& path,
                                                  bool) {
  State& s = *state_;
  if (!ResolvePath(path, &s.target) || !StatFile(s.target, &s.status)) {
    return OpenResult::kFailed;
  }
  if (s.status.kind != PathKind::kRegular) return OpenResult::kNotRegular;
  // Nobody may write the file while it is converted: writers already there
  // make the open fail, later ones are refused.
  s.fd = _sopen(s.target.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT,
                _SH_DENYWR);
  if (s.fd < 0) return OpenResult::kFailed;
  if (!IsDiskFile(HandleOf(s.fd))) return OpenResult::kNotRegular;
  return StatFile(s.target, &s.status) ? OpenResult::kOk : OpenResult::kFailed;
}

bool ReplaceableFile::Unchanged() const {
  FileStatus now;
  return StatFile(state_->target, &now) && SameState(now, state_->status);
}

int ReplaceableFile::CreateReplacement() {
  State& s = *state_;
  s.replacement = CreateReplacementFor(s.target, &s.replacement_name);
  if (s.replacement < 0) s.replacement_name.clear();
  return s.replacement;
}

// Windows files carry no POSIX owner, permission bits or extended
// attributes to copy; the times are set on the replacement itself.
ReplaceableFile::Kept ReplaceableFile::KeepAttributes(bool keep_times,
                                                      std::string*) {
  if (!keep_times) return Kept::kAll;
  const FileTimes& times = state_->status.times;
  FILETIME access = ToFiletime(times.access), write = ToFiletime(times.write);
  if (!SetFileTime(HandleOf(state_->replacement), nullptr,
                   times.access.set ? &access : nullptr,
                   times.write.set ? &write : nullptr)) {
    errno = EACCES;
    return Kept::kTimes;
  }
  return Kept::kAll;
}

void ReplaceableFile::StartWriteBack() {}

bool ReplaceableFile::Seal() {
  State& s = *state_;
  if (_commit(s.replacement) != 0) return false;
  const int replacement = s.replacement;
  s.replacement = -1;
  return _close(replacement) == 0;
}

bool ReplaceableFile::Commit() {
  State& s = *state_;
  // Windows cannot rename over a file that is still open.
  _close(s.fd);
  s.fd = -1;
  if (!MoveReplacement(s.replacement_name, s.target)) return false;
  s.replacement_name.clear();
  return true;
}

void ReplaceableFile::DiscardReplacement() {
  State& s = *state_;
  if (s.replacement_name.empty()) return;
  if (s.replacement >= 0) _close(s.replacement);
  s.replacement = -1;
  RemoveReplacementFile(s.replacement_name);
  s.replacement_name.clear();
}

// One after another: the flushes of a batch are few, and the build stays
// free of a thread library.
void RunConcurrently(const std::vector<std::function<void()>>& tasks) {
  for (const auto& task : tasks) task();
}

bool FindFiles(const std::string& pattern, std::vector<FoundFile>* found) {
  found->clear();
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_NO_MORE_FILES:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_NETPATH:
      case ERROR_BAD_PATHNAME:
        return true;  // nothing matches
      default:
        return false;
    }
  }
  do {
    // Ordinary directories ("." and ".." among them) are passed over; hidden
    // and system entries are taken, even a directory that is one of them.
    const DWORD a = data.dwFileAttributes;
    const bool hidden_or_system =
        (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    if (hidden_or_system || (a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      found->push_back(
          {data.cFileName, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                               data.nFileSizeLow});
    }
  } while (FindNextFileA(h, &data));
  bool ok = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(h);
  return ok;
}

bool MessagesWantUtf8() {
  DWORD mode;
  HANDLE h = HandleOf(2);
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) &&
         GetConsoleOutputCP() == CP_UTF8;
}

}  // namespace vu32::platform
