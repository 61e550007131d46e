// Win32 implementation of the platform layer (mingw-w64 against msvcrt).
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string_view>

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

// errno for a system error, as the runtime maps the ones it meets.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return EIO;
  }
}

// `text` in UTF-16: from the ANSI code page, in which names reach the
// program, or from `code_page`.
std::wstring Widen(std::string_view text, UINT code_page = CP_ACP) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n =
      MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
}

// `wide` in the ANSI code page, into `*narrow`; false when a character
// had no place there and "?" stands in for it (never a best-fit look-alike,
// é as e, which could name another file).
bool NarrowExactly(const wchar_t* wide, std::string* narrow) {
  // UTF-8 (the system-wide option) holds every character; it takes no
  // best-fit flag.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf8 ? nullptr : &used_default;
  const int n =
      WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, used);
  narrow->assign(static_cast<size_t>(n > 0 ? n : 1), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_ACP, flags, wide, -1, narrow->data(), n, nullptr,
                        used);
  }
  narrow->pop_back();  // the terminating null
  return n > 0 && !used_default;
}

// `path` as the wide calls take it at any length: a name that would not fit
// MAX_PATH becomes absolute in the extended-length form ("\\?\C:\...",
// "\\?\UNC\server\share\..."), which the system takes without a limit.
// Shorter names stay as they are, so that device names keep their meaning.
std::wstring LongPath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0 ||
      wide.rfind(L"\\\\.\\", 0) == 0) {
    return wide;
  }
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// A handle that can only describe the file `path` names (links followed;
// no access rights are needed; backup semantics let a directory open too).
// INVALID_HANDLE_VALUE with errno set when there is none.
HANDLE OpenToDescribe(const std::wstring& path) {
  HANDLE h = CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) errno = ErrnoOf(GetLastError());
  return h;
}

HANDLE OpenToDescribe(const std::string& path) {
  return OpenToDescribe(LongPath(path));
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

namespace {

// The old rule, for names that are no valid text in the code page: ASCII
// letters fold where they are one-byte characters; the second byte of a
// two-byte character is compared as it is (ア 83 41 is no ヂ 83 61).
bool SameFoldingAscii(const char* a, const char* b) {
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

// `text` in UTF-16, false when it is no valid text in the ANSI code page.
bool WidenStrictly(const char* text, std::wstring* wide) {
  const int n =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (n <= 0) return false;
  wide->assign(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide->data(), n);
  wide->pop_back();  // the terminating null
  return true;
}

}  // namespace

bool SameNameSpelling(const char* a, const char* b) {
  // The file systems fold every letter that has a case, full-width Latin,
  // Greek and Cyrillic among them (Ａ 82 60 and ａ 82 81 are one name);
  // the system's ordinal case-insensitive comparison follows the same
  // table.
  std::wstring x, y;
  if (!WidenStrictly(a, &x) || !WidenStrictly(b, &y)) {
    return SameFoldingAscii(a, b);
  }
  return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

PathKind KindOfPath(const std::string& path) {
  DWORD a = GetFileAttributesW(LongPath(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::kLink;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kOther : PathKind::kRegular;
}

bool IsDirectory(const std::string& path) {
  const int saved = errno;
  DWORD a = GetFileAttributesW(LongPath(path).c_str());
  errno = saved;
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileIdOfPath(const std::string& path, FileId* id) {
  HANDLE h = OpenToDescribe(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  // No GetFileType: under Wine asking a file's type counts as reading it,
  // which would move its access time; only a file on a disk has an index.
  bool ok = IdOfHandle(h, id);
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
  // Attributes only: under Wine, a handle that may read already counts as
  // an access, and any writer may have the file open.
  HANDLE h =
      CreateFileW(LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  HANDLE h =
      CreateFileW(LongPath(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

namespace {

// What the handle `h` describes; `*attributes` gets its Win32 attributes.
bool StatHandle(HANDLE h, FileStatus* status, DWORD* attributes) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) {
    errno = EIO;
    return false;
  }
  const bool directory = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  status->kind =
      IsDiskFile(h) && !directory ? PathKind::kRegular : PathKind::kOther;
  status->size =
      (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  status->links = info.nNumberOfLinks;
  status->id.device = info.dwVolumeSerialNumber;
  status->id.index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  status->times.creation = FromFiletime(info.ftCreationTime);
  status->times.access = FromFiletime(info.ftLastAccessTime);
  status->times.write = FromFiletime(info.ftLastWriteTime);
  *attributes = info.dwFileAttributes;
  return true;
}

bool StatWide(const std::wstring& path, FileStatus* status, DWORD* attributes) {
  HANDLE h = OpenToDescribe(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = StatHandle(h, status, attributes);
  CloseHandle(h);
  return ok;
}

}  // namespace

bool StatFile(const std::string& path, FileStatus* status) {
  DWORD attributes;
  return StatWide(LongPath(path), status, &attributes);
}

namespace {

// The final name of the file `path` names, a symbolic link (a reparse
// point) followed to its target, in the extended-length form that the wide
// calls take at any length. False, errno set, when there is none.
bool ResolvePath(const std::string& path, std::wstring* resolved) {
  const std::wstring wide = LongPath(path);
  HANDLE h = OpenToDescribe(wide);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = GetFinalPathNameByHandleW(h, nullptr, 0, VOLUME_NAME_DOS);
  std::wstring name(n, L'\0');
  if (n > 0) {
    n = GetFinalPathNameByHandleW(h, name.data(), n, VOLUME_NAME_DOS);
  }
  CloseHandle(h);
  if (n > 0 && n < name.size()) {
    name.resize(n);  // "\\?\C:\dir\f" or "\\?\UNC\server\share\f"
    *resolved = name;
    return true;
  }
  // A file system that cannot say: the full name of what was given.
  n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(n, L'\0');
  if (n == 0 ||
      (n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr)) == 0) {
    errno = ErrnoOf(GetLastError());
    return false;
  }
  full.resize(n);
  if (full.rfind(L"\\\\?\\", 0) == 0) {
    *resolved = full;
  } else if (full.rfind(L"\\\\", 0) == 0) {
    *resolved = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    *resolved = L"\\\\?\\" + full;
  }
  return true;
}

bool SetDeleteOnClose(HANDLE h, bool remove) {
  FILE_DISPOSITION_INFO info;
  info.DeleteFile = remove;
  return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info);
}

bool SetAttributes(HANDLE h, DWORD attributes) {
  FILE_BASIC_INFO info = {};
  info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info);
}

// A read-only file cannot be marked for deletion: it lets go of the
// attribute first.
void MarkForDeletion(HANDLE h) {
  if (SetDeleteOnClose(h, true)) return;
  SetAttributes(h, FILE_ATTRIBUTE_NORMAL);
  SetDeleteOnClose(h, true);
}

// The replacement being renamed, which a console event must mark for
// deletion again should it come before the rename is done (the others
// still are marked), and the lock that keeps the event's handler and the
// rename apart: the handler takes it and never gives it back, since the
// process ends right after.
SRWLOCK g_replacement_lock = SRWLOCK_INIT;
HANDLE g_replacement = INVALID_HANDLE_VALUE;  // guarded by the lock

// Ctrl+C, Ctrl+Break, a closed console, logoff and shutdown. The
// replacement is already to be deleted when its handle closes, which the
// end of the process does; the lock only waits for a rename under way.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  AcquireSRWLockExclusive(&g_replacement_lock);
  if (g_replacement != INVALID_HANDLE_VALUE) MarkForDeletion(g_replacement);
  // Ended with the status Windows gives an interrupted program, which
  // Wine's default handler does not.
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    ExitProcess(STATUS_CONTROL_C_EXIT);
  }
  return FALSE;  // the default handler then ends the process
}

// Creates the file `name` for a replacement, to be deleted as its handle
// closes, and makes it the one a console event must see to. The handler is
// in place and kept out first, so that no event falls between the file's
// creation and its marking. INVALID_HANDLE_VALUE, errno set, on failure.
HANDLE CreateMarkedReplacement(const std::wstring& name) {
  static bool installed = false;
  if (!installed) installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  AcquireSRWLockExclusive(&g_replacement_lock);
  // Read as well as written: the equal part of the original is copied in
  // and compared.
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
  } else if (!SetDeleteOnClose(h, true)) {
    errno = ErrnoOf(GetLastError());
    CloseHandle(h);
    DeleteFileW(name.c_str());
    h = INVALID_HANDLE_VALUE;
  }
  ReleaseSRWLockExclusive(&g_replacement_lock);
  return h;
}

// Flags and class of a rename that may replace a file that is still open
// (Windows 10 1607 and later, on NTFS); spelt out here because the headers
// declare them only for builds that require those versions.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;

// Renames the file behind `h` to `target` (extended-length form), over a
// file of that name: with `over_open_file`, also when that file is still
// open, where the system can.
bool RenameByHandle(HANDLE h, const std::wstring& target, bool over_open_file) {
  // The native form of "\\?\C:\..." is "\??\C:\...".
  std::wstring name = target;
  if (name.rfind(L"\\\\?\\", 0) == 0) name[1] = L'?';
  const size_t bytes = name.size() * sizeof(wchar_t);
  std::string buffer(sizeof(FILE_RENAME_INFO) + bytes, '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  if (over_open_file) {
    info->Flags = kRenameReplaceIfExists | kRenamePosixSemantics;
  } else {
    info->ReplaceIfExists = TRUE;
  }
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  memcpy(info->FileName, name.data(), bytes);
  return SetFileInformationByHandle(
      h, over_open_file ? kFileRenameInfoEx : FileRenameInfo, info,
      static_cast<DWORD>(buffer.size()));
}

// Another in-place run on the same file waits for this one: a named mutex
// per file (volume serial and file index), taken before the file is opened
// and held until its replacement is in place. Null when none could be had;
// the run then goes on alone, as it did before.
// Without `wait`, a mutex another run holds gives null with `*busy` set.
HANDLE LockAgainstOtherRuns(const FileId& id, bool wait, bool* busy) {
  *busy = false;
  const std::wstring name = L"Local\\vu32-in-place-" +
                            std::to_wstring(id.device) + L"-" +
                            std::to_wstring(id.index);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return nullptr;
  // Abandoned: the run that held it ended without letting go.
  const DWORD waited = WaitForSingleObject(mutex, wait ? INFINITE : 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    *busy = waited == WAIT_TIMEOUT;
    CloseHandle(mutex);
    return nullptr;
  }
  return mutex;
}

void Unlock(HANDLE* mutex) {
  if (*mutex == nullptr) return;
  ReleaseMutex(*mutex);
  CloseHandle(*mutex);
  *mutex = nullptr;
}

bool SameState(const FileStatus& a, const FileStatus& b) {
  return a.id == b.id && a.size == b.size && a.times.write == b.times.write;
}

// What a replacement takes over from the file it replaces; the archive
// attribute is set, as on every file whose content changed.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

LARGE_INTEGER TimeValue(const FileTime& time) {
  LARGE_INTEGER value;
  value.QuadPart = 0;  // "leave as it is"
  if (time.set) {
    const FILETIME f = ToFiletime(time);
    value.QuadPart = static_cast<LONGLONG>(
        (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  }
  return value;
}

}  // namespace

struct ReplaceableFile::State {
  int fd = -1;          // the original, open for reading; writing denied
  std::wstring target;  // its final name, extended-length form
  FileStatus status;
  DWORD attributes = 0;
  HANDLE lock = nullptr;  // see LockAgainstOtherRuns
  int replacement = -1;   // deleted when closed, until it is committed
  std::wstring replacement_name;
};

ReplaceableFile::ReplaceableFile() : state_(std::make_unique<State>()) {}

ReplaceableFile::~ReplaceableFile() {
  DiscardReplacement();
  if (state_->fd >= 0) _close(state_->fd);
  Unlock(&state_->lock);
}

int ReplaceableFile::fd() const { return state_->fd; }

const FileStatus& ReplaceableFile::status() const { return state_->status; }

ReplaceableFile::OpenResult ReplaceableFile::Open(const std::string& path,
                                                  bool wait) {
  State& s = *state_;
  // A run that waited for the lock may find the name leading to the file
  // that run put in place: it starts again with that one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    FileStatus before;
    if (!ResolvePath(path, &s.target) ||
        !StatWide(s.target, &before, &s.attributes)) {
      return OpenResult::kFailed;
    }
    if (before.kind != PathKind::kRegular) return OpenResult::kNotRegular;
    bool busy = false;
    s.lock = LockAgainstOtherRuns(before.id, wait, &busy);
    if (busy) return OpenResult::kBusy;
    // Nobody may write the file until its replacement is in place:
    // writers already there make the open fail, later ones are refused.
    // Deleting and renaming stay allowed, for the replacement to take its
    // place; the name is checked before that.
    HANDLE h =
        CreateFileW(s.target.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      errno = ErrnoOf(GetLastError());
      Unlock(&s.lock);
      return OpenResult::kFailed;
    }
    s.fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (s.fd < 0) {
      CloseHandle(h);
      Unlock(&s.lock);
      return OpenResult::kFailed;
    }
    if (!StatHandle(h, &s.status, &s.attributes)) return OpenResult::kFailed;
    if (s.status.id == before.id) {
      // The access time from before the open, which under Wine already
      // counts as one.
      s.status.times.access = before.times.access;
      return OpenResult::kOk;
    }
    _close(s.fd);
    s.fd = -1;
    Unlock(&s.lock);
  }
  errno = EAGAIN;
  return OpenResult::kFailed;
}

bool ReplaceableFile::Unchanged() const {
  FileStatus now;
  DWORD attributes;
  return StatWide(state_->target, &now, &attributes) &&
         SameState(now, state_->status);
}

int ReplaceableFile::CreateReplacement() {
  State& s = *state_;
  const std::wstring dir = s.target.substr(0, s.target.find_last_of(L'\\'));
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = dir + L"\\.vu32-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter++);
    // Deleted as its handle closes, however the process ends (Ctrl+C,
    // Ctrl+Break, a closed console, a kill), until Commit takes that back.
    HANDLE h = CreateMarkedReplacement(name);
    if (h == INVALID_HANDLE_VALUE) {
      if (errno == EEXIST) continue;
      return -1;
    }
    s.replacement =
        _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (s.replacement < 0) {
      CloseHandle(h);
      return -1;
    }
    s.replacement_name = name;
    return s.replacement;
  }
  errno = EEXIST;
  return -1;
}

// Windows files carry no POSIX owner, permission bits or extended
// attributes; the replacement gets the original's read-only, hidden and
// system attributes and its creation time, and with `keep_times` its
// access and last-write times.
ReplaceableFile::Kept ReplaceableFile::KeepAttributes(bool keep_times,
                                                      std::string*) {
  const State& s = *state_;
  FILE_BASIC_INFO info = {};
  info.FileAttributes =
      (s.attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  info.CreationTime = TimeValue(s.status.times.creation);
  if (keep_times) {
    info.LastAccessTime = TimeValue(s.status.times.access);
    info.LastWriteTime = TimeValue(s.status.times.write);
  }
  if (!SetFileInformationByHandle(HandleOf(s.replacement), FileBasicInfo, &info,
                                  sizeof info)) {
    errno = ErrnoOf(GetLastError());
    return Kept::kMode;
  }
  return Kept::kAll;
}

void ReplaceableFile::StartWriteBack() {}

bool ReplaceableFile::Seal() {
  State& s = *state_;
  if (!FlushFileBuffers(HandleOf(s.replacement))) {
    errno = ErrnoOf(GetLastError());
    return false;
  }
  return true;
}

bool ReplaceableFile::Commit() {
  State& s = *state_;
  const HANDLE replacement = HandleOf(s.replacement);
  // A read-only file cannot be replaced: the original lets go of the
  // attribute, and gets it back when its replacement does not take its
  // place.
  const bool read_only = s.attributes & FILE_ATTRIBUTE_READONLY;
  if (read_only &&
      !SetAttributes(HandleOf(s.fd), s.attributes & ~FILE_ATTRIBUTE_READONLY)) {
    errno = ErrnoOf(GetLastError());
    return false;
  }
  AcquireSRWLockExclusive(&g_replacement_lock);
  g_replacement = replacement;
  // Renamed only when it is sure to stay: a replacement still marked
  // would take the original's name with it as it closes.
  bool moved = false;
  DWORD error = 0;
  if (!SetDeleteOnClose(replacement, false)) {
    error = GetLastError();
  } else {
    // The original stays open, and so closed to writers, until the
    // replacement is in its place. Where the system replaces no file that
    // is open (Windows before 10, FAT, Wine), it is let go of just before.
    moved = RenameByHandle(replacement, s.target, true);
    if (!moved) {
      _close(s.fd);
      s.fd = -1;
      moved = RenameByHandle(replacement, s.target, false);
    }
    if (!moved) {
      error = GetLastError();
      MarkForDeletion(replacement);
    }
  }
  g_replacement = INVALID_HANDLE_VALUE;
  ReleaseSRWLockExclusive(&g_replacement_lock);
  if (!moved) {
    if (read_only) {
      SetFileAttributesW(s.target.c_str(), s.attributes);
    }
    errno = ErrnoOf(error);
    return false;
  }
  // Its data is on the disk and it bears the original's name: a failing
  // close changes nothing of that.
  _close(s.replacement);
  s.replacement = -1;
  s.replacement_name.clear();
  Unlock(&s.lock);
  return true;
}

void ReplaceableFile::DiscardReplacement() {
  State& s = *state_;
  if (s.replacement < 0) return;
  const int saved = errno;
  _close(s.replacement);  // which deletes it
  s.replacement = -1;
  // Should the mark have been lost on the way (a failed rename of a
  // read-only replacement), the name goes too.
  if (GetFileAttributesW(s.replacement_name.c_str()) !=
      INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesW(s.replacement_name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(s.replacement_name.c_str());
  }
  s.replacement_name.clear();
  errno = saved;
}

// One after another: the flushes of a batch are few, and the build stays
// free of a thread library.
void RunConcurrently(const std::vector<std::function<void()>>& tasks) {
  for (const auto& task : tasks) task();
}

bool FindFiles(const std::string& pattern, std::vector<FoundFile>* found) {
  found->clear();
  // The wide search, so that a name the code page cannot hold is seen as
  // such, not as "?" or a look-alike that may name another file.
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(LongPath(pattern).c_str(), &data);
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
      FoundFile file;
      file.lost = !NarrowExactly(data.cFileName, &file.name);
      file.size =
          (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      file.hidden = hidden_or_system;
      found->push_back(std::move(file));
    }
  } while (FindNextFileW(h, &data));
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

bool WriteToConsole(int fd, std::string_view bytes, bool utf8) {
  DWORD mode;
  HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return false;
  // The texts are code page 932 whatever the system's code page is.
  const std::wstring text = Widen(bytes, utf8 ? CP_UTF8 : 932);
  const wchar_t* p = text.data();
  for (size_t left = text.size(); left > 0;) {
    DWORD written = 0;
    const DWORD chunk = left > 16384 ? 16384 : static_cast<DWORD>(left);
    if (!WriteConsoleW(h, p, chunk, &written, nullptr) || written == 0) break;
    p += written;
    left -= written;
  }
  return true;
}

// --- Arguments --------------------------------------------------------------

// msvcrt's parser of the wide command line, the twin of the one that made
// argv, so that both split the line the same way.
extern "C" {
struct MsvcrtStartupInfo {
  int new_mode;
};
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int wildcard,
                   MsvcrtStartupInfo* info);
}

std::vector<size_t> ArgumentsNotRepresentable(int argc, char** argv) {
  std::vector<size_t> lost;
  int wide_argc = 0;
  wchar_t** wide_argv = nullptr;
  wchar_t** wide_env = nullptr;
  MsvcrtStartupInfo info = {0};
  if (__wgetmainargs(&wide_argc, &wide_argv, &wide_env, 0, &info) < 0 ||
      wide_argv == nullptr) {
    return lost;
  }
  // The program's own name is no argument.
  for (int i = 1; i < argc; ++i) {
    // Whole only when it comes out of the code page as the program got it.
    std::string back;
    if (i >= wide_argc || !NarrowExactly(wide_argv[i], &back) ||
        back != argv[i]) {
      lost.push_back(static_cast<size_t>(i));
    }
  }
  return lost;
}

}  // namespace vu32::platform
