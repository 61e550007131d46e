// The operating-system services VU32 needs, behind one small interface.
// platform_posix.cc and platform_win32.cc implement it; no other folder sees
// a system type. Calls report success or failure; callers write the
// program's own messages.
#ifndef VU32_PLATFORM_PLATFORM_H_
#define VU32_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vu32::platform {

// True on the Win32 build: "/" introduces switches and "\\" separates paths.
extern const bool kWin32Spellings;

// True for a byte that introduces a switch or an option ("-", and "/" on
// Win32; on POSIX "/" begins an absolute path).
bool IsSwitchIntroducer(unsigned char c);
// True for a byte that separates directories in a path ("/", and "\\" on Win32).
bool IsPathSeparator(unsigned char c);
// The separator appended to a directory name that lacks one.
extern const char kPathSeparator;

// --- Descriptors -----------------------------------------------------------

// True when `fd` refers to a terminal (a character device on Win32).
bool IsTerminal(int fd);
// Switches `fd` between binary and text mode; a no-op where the two are one.
void SetBinaryMode(int fd, bool binary);
// Duplicates descriptor 0; -1 on failure.
int DuplicateStdin();
// Points descriptor 0 at the console again after its data was taken over by
// a duplicate. Best effort on POSIX (/dev/tty, else /dev/null); false only
// when the platform's console device could not be opened.
bool ReopenConsoleStdin();

// Opens an existing regular file for binary reading; -1 on failure, also for
// a directory or another file that cannot be read as data.
int OpenForRead(const std::string& path);
// Like OpenForRead, but only for a regular file (a symbolic link to one
// counts): a FIFO, device or socket is refused at once, without waiting for
// a writer. -1 on failure.
int OpenRegularForRead(const std::string& path);
// Opens a file for binary writing: created if missing, emptied (or, with
// `append`, positioned at its end) if present. -1 on failure.
int OpenForWrite(const std::string& path, bool append);
// Creates a new file that must not exist yet (exclusive create); -1 when it
// exists or cannot be created.
int CreateExclusive(const std::string& path);
bool RemoveFile(const std::string& path);

// read(2)-like: bytes read, 0 at the end, -1 on error (errno kept).
long ReadSome(int fd, void* buffer, size_t size);
// Writes all of `size` bytes; false on the first failure.
bool WriteAll(int fd, const void* buffer, size_t size);
// Closes `fd`; false when the close reported an error (e.g. a delayed write).
bool CloseFd(int fd);
// Copies up to `size` bytes from `in` to `out` inside the kernel where the
// platform can; returns the bytes copied, 0 at the end of `in`, -1 when the
// kernel path is unavailable for this pair (the caller then copies through
// its own buffer), -2 on a read or write error (errno kept).
long long KernelCopy(int in, int out, size_t size);

// Text of the last failure of the calls above (strerror-like).
std::string LastErrorText();

// Length in bytes of the file behind `fd`; -1 when it cannot be determined
// (a pipe, a terminal), and LastErrorText() says why.
int64_t FileLength(int fd);

// --- File identity ------------------------------------------------------------

struct FileId {
  uint64_t device = 0;  // st_dev on POSIX, volume serial on Win32
  uint64_t index = 0;   // st_ino on POSIX, file index on Win32
  bool operator==(const FileId&) const = default;
};
bool FileIdOfPath(const std::string& path, FileId* id);
bool FileIdOfFd(int fd, FileId* id);

// --- Free space ----------------------------------------------------------------

struct DiskGeometry {
  uint64_t cluster_bytes = 0;  // allocation unit in bytes
  uint64_t free_clusters = 0;  // clusters available to this user
};
// Queries the file system that will hold `target` (a file or directory that
// may not exist yet; empty for the current directory). False on failure.
bool QueryFreeSpace(const std::string& target, DiskGeometry* geometry);

// --- File times ---------------------------------------------------------------

// File times as one neutral value: 100-ns intervals since 1601-01-01 UTC
// (the Win32 FILETIME count). 0 means "none" and, when setting, "leave as is".
struct FileTimes {
  uint64_t creation = 0;  // not kept by POSIX file systems; ignored there
  uint64_t access = 0;
  uint64_t write = 0;
};
bool GetFileTimes(const std::string& path, FileTimes* times);
bool SetFileTimes(const std::string& path, const FileTimes& times);
uint64_t CurrentFileTime();

// --- Directory search ----------------------------------------------------------

struct FoundFile {
  std::string name;  // bare name, no directory part
  uint64_t size = 0;
};
// Lists the files that match `pattern` ("*" and "?" in its last component),
// in the order the system reports them. Directories and special files are
// passed over (on Win32: the merge attribute rule). False only when the
// search itself failed in an unexpected way; no match is an empty list.
bool FindFiles(const std::string& pattern, std::vector<FoundFile>* found);

// --- Messages ------------------------------------------------------------------

// True when messages should be written as UTF-8 rather than Shift-JIS: the
// error stream is a terminal (console) that expects UTF-8.
bool MessagesWantUtf8();

}  // namespace vu32::platform

#endif  // VU32_PLATFORM_PLATFORM_H_
