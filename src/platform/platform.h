// The operating-system services VU32 needs, behind one small interface.
// platform_posix.cc and platform_win32.cc implement it; no other folder sees
// a system type. Calls report success or failure; callers write the
// program's own messages.
#ifndef VU32_PLATFORM_PLATFORM_H_
#define VU32_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vu32::platform {

// True on the Win32 build: "/" introduces switches and "\\" separates paths.
extern const bool kWin32Spellings;

// True for a byte that introduces a switch or an option ("-", and "/" on
// Win32; on POSIX "/" begins an absolute path).
bool IsSwitchIntroducer(unsigned char c);
// True for a byte that separates directories in a path ("/", and "\\" on
// Win32).
bool IsPathSeparator(unsigned char c);
// The separator appended to a directory name that lacks one.
extern const char kPathSeparator;

// --- Descriptors -----------------------------------------------------------

// True when `fd` refers to a terminal (a character device on Win32).
bool IsTerminal(int fd);
// True when `fd` is the null device. As standard input it is what scripts,
// xargs, nohup and services hand a program that is to read nothing, so it
// counts as no redirection, like a terminal.
bool IsNullDevice(int fd);
// Gives each of descriptors 0, 1 and 2 that is closed the null device, so
// that no file the program opens later takes its number (and its messages or
// data) by accident. Standard output gets it open for reading only: data
// written to an output that was closed is a failed write, not lost.
void OpenNullOnClosedStandardDescriptors();
// Makes a write beyond the process's file-size limit fail like any other
// write error instead of killing the process (SIGXFSZ). No-op on Win32.
void IgnoreFileSizeLimitSignal();
// Switches `fd` between binary and text mode; a no-op where the two are one.
void SetBinaryMode(int fd, bool binary);
// False, with the reason in LastErrorText(), when `fd` is open but gives no
// data to read: a directory, or a descriptor open for writing only.
bool CanReadData(int fd);
// Duplicates descriptor 0; -1 on failure.
int DuplicateStdin();
// Points descriptor 0 at the console again after its data was taken over by
// a duplicate. Best effort on POSIX (/dev/tty, else /dev/null); false only
// when the platform's console device could not be opened.
bool ReopenConsoleStdin();

// Opens an existing regular file for binary reading; -1 on failure, also for
// a directory or another file that cannot be read as data.
int OpenForRead(const std::string& path);
// Like OpenForRead, but a FIFO without a writer opens at once instead of
// waiting for one (it then has no length and no data).
int OpenForReadWithoutWaiting(const std::string& path);
// Like OpenForRead, but only for a regular file (a symbolic link to one
// counts): a FIFO, device or socket is refused at once, without waiting for
// a writer. -1 on failure.
int OpenRegularForRead(const std::string& path);
enum class WriteMode {
  kReplace,  // an existing file is emptied
  kAppend,   // an existing file keeps its content; writes go to its end
};
// Opens a file for binary writing, created if missing. -1 on failure.
int OpenForWrite(const std::string& path, WriteMode mode);
// Opens `path` for writing as a file the program makes: created if missing,
// never through a symbolic link, and never a FIFO, device or directory,
// which could block or send the data elsewhere. An existing file keeps its
// content until TruncateFile, so the caller can first check what it is.
// -1 on failure, and LastErrorText() says why.
int OpenRegularForWrite(const std::string& path);
// Cuts the file behind `fd` to length 0.
bool TruncateFile(int fd);
// Creates a new file that must not exist yet (exclusive create); -1 when it
// exists or cannot be created.
int CreateExclusive(const std::string& path);
bool RemoveFile(const std::string& path);

// read(2)-like: bytes read, 0 at the end, -1 on error (errno kept).
long ReadSome(int fd, void* buffer, size_t size);
// The position of `fd` in its file; -1 on failure.
int64_t CurrentOffset(int fd);
// Reads up to `size` bytes of a regular file at `offset`, leaving the
// descriptor's position as it was. Bytes read, 0 past the end, -1 on error.
long ReadAt(int fd, void* buffer, size_t size, int64_t offset);
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
// The same text for an error number kept from earlier.
std::string ErrorText(int error);

// Length in bytes of the file behind `fd`; -1 when it cannot be determined
// (a pipe, a terminal), and LastErrorText() says why.
int64_t FileLength(int fd);

// --- File identity --------------------------------------------------------

enum class PathKind {
  kMissing,
  kRegular,
  kLink,   // a symbolic link (a reparse point on Win32), whatever it names
  kOther,  // a directory, FIFO, device or socket
};
// What `path` itself is; a symbolic link is not followed.
PathKind KindOfPath(const std::string& path);
// Whether `path` names a directory (links followed). Keeps errno.
bool IsDirectory(const std::string& path);

// Whether two names as written are one name: byte equality on POSIX, ASCII
// letters folded on Win32, whose file systems ignore their case.
bool SameNameSpelling(const char* a, const char* b);

struct FileId {
  uint64_t device = 0;  // st_dev on POSIX, volume serial on Win32
  uint64_t index = 0;   // st_ino on POSIX, file index on Win32
  auto operator<=>(const FileId&) const = default;
};
bool FileIdOfPath(const std::string& path, FileId* id);
bool FileIdOfFd(int fd, FileId* id);

// --- Free space -----------------------------------------------------------

struct DiskGeometry {
  uint64_t cluster_bytes = 0;  // allocation unit in bytes
  uint64_t free_clusters = 0;  // clusters available to this user
};
// Queries the file system that will hold `target` (a file or directory that
// may not exist yet; empty for the current directory). False on failure.
bool QueryFreeSpace(const std::string& target, DiskGeometry* geometry);

// --- File times -----------------------------------------------------------

// A file time as one neutral value: seconds and nanoseconds since
// 1970-01-01 UTC. POSIX keeps nanoseconds and Win32 100-ns units; each
// platform file converts only its own, so neither loses precision. An unset
// time means "none" and, when setting, "leave that time as it is".
struct FileTime {
  int64_t seconds = 0;
  int32_t nanoseconds = 0;  // 0..999,999,999
  bool set = false;
  bool operator==(const FileTime&) const = default;
};
struct FileTimes {
  FileTime creation;  // not kept by POSIX file systems; ignored there
  FileTime access;
  FileTime write;
};
bool GetFileTimes(const std::string& path, FileTimes* times);
bool SetFileTimes(const std::string& path, const FileTimes& times);
FileTime CurrentFileTime();

// --- Replacing a file in one step -----------------------------------------

// What a file is, with links followed.
struct FileStatus {
  PathKind kind = PathKind::kMissing;  // never kLink
  uint64_t size = 0;
  uint64_t links = 0;  // names the file has (hard links)
  FileId id;
  FileTimes times;
  uint32_t mode = 0;   // permission bits; POSIX only
  uint32_t owner = 0;  // user and group; POSIX only
  uint32_t group = 0;
};
// False, with the reason in LastErrorText(), when `path` names nothing.
bool StatFile(const std::string& path, FileStatus* status);

// The file an in-place conversion replaces, held from the moment it is
// opened until a new file has taken its place (or the attempt is given up).
class ReplaceableFile {
 public:
  ReplaceableFile();
  // Closes what is open and removes a replacement that was not committed.
  ~ReplaceableFile();
  ReplaceableFile(const ReplaceableFile&) = delete;
  ReplaceableFile& operator=(const ReplaceableFile&) = delete;

  enum class OpenResult {
    kOk,
    kFailed,      // errno says why
    kNotRegular,  // a directory, FIFO, device or socket, never opened
    kBusy,        // another run holds the lock, and `wait` was false
  };
  // Finds the file `path` names, following symbolic links (the file is
  // replaced, a link stays a link), and opens it for reading, at any
  // length of its name (POSIX: relative to its directory; Win32: the
  // extended-length form). Holds it against another in-place run, waited
  // for when another run holds it (a name that then leads to another file
  // is opened again): an advisory lock on POSIX, a named mutex per file on
  // Win32, where a share mode also denies every writer until the
  // replacement is in place. The file's identity and state are taken as it
  // is opened (and again once a lock that was waited for is had). Without
  // `wait`, a lock held elsewhere gives kBusy at once.
  OpenResult Open(const std::string& path, bool wait = true);
  int fd() const;
  // What the file was when opened.
  const FileStatus& status() const;
  // Whether the file is still as it was opened (the same file, size,
  // modification and change times) and its name still leads to it.
  bool Unchanged() const;

  // Creates the replacement: a new, private, empty file beside the original
  // (".vu32-" and a random part), open for writing and reading. A signal
  // that ends the process removes it first (POSIX); on Win32 it is deleted
  // when the process ends in any way (Ctrl+C, Ctrl+Break, a closed
  // console, a kill) until it is committed. -1, with errno set, on failure.
  int CreateReplacement();

  enum class Kept { kAll, kOwner, kGroup, kMode, kAttribute, kTimes };
  // Gives the replacement the original's owner and group (first: changing
  // them clears set-ID bits), then its permission bits, then every extended
  // attribute the process can read (POSIX ACLs among them), and with
  // `keep_times` its access and modification times. An attribute the
  // replacement already has with the same value needs no setting. On Win32:
  // the read-only, hidden and system attributes and the creation time
  // (kMode when they cannot be set), and with `keep_times` the access and
  // last-write times. kAll, or the first thing that could not be kept, with
  // errno set and `*attribute` naming the attribute.
  Kept KeepAttributes(bool keep_times, std::string* attribute);

  // Starts writing the replacement's data to the disk without waiting, so
  // that the Seal of a batch of files finds most of it done; a no-op where
  // the system has no such call.
  void StartWriteBack();

  // Makes the replacement durable (fsync; POSIX also closes it). False,
  // errno set, when that failed. Safe to call for several files at once,
  // on threads of their own.
  bool Seal();
  // Puts the sealed replacement in the original's place in one step (Win32:
  // renamed through its handle, then closed; a read-only original lets go
  // of the attribute for it). False, errno set, when that failed: the
  // original is as it was, the replacement still to be discarded.
  bool Commit();
  // Removes the replacement; no-op without one.
  void DiscardReplacement();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Runs every task and returns when all have ended: at once, each on a
// thread of its own, where the platform has them (their signals are left
// to the calling thread), else one after another. For tasks that mostly
// wait for the disk.
void RunConcurrently(const std::vector<std::function<void()>>& tasks);

// --- Directory search -----------------------------------------------------

struct FoundFile {
  std::string name;  // bare name, no directory part
  uint64_t size = 0;
  bool hidden = false;  // hidden or system (Win32 attributes); never on POSIX
  // Win32: the name holds characters the ANSI code page cannot (`name` has
  // "?" in their place), so no name the program can use opens the file.
  bool lost = false;
};
// Lists the files that match `pattern` ("*" and "?" in its last component),
// in the order the system reports them. Directories and special files are
// passed over (on Win32: hidden and system entries are taken, even a
// directory that is one; ordinary directories are not). False only when the
// search itself failed in an unexpected way; no match is an empty list.
bool FindFiles(const std::string& pattern, std::vector<FoundFile>* found);

// --- Messages -------------------------------------------------------------

// True when messages should be written as UTF-8 rather than Shift-JIS: the
// locale's character set is UTF-8 (POSIX), or standard error is a console
// with output code page 65001 (Win32).
bool MessagesWantUtf8();
// Writes message text to `fd` when it is a console that takes UTF-16 text
// (Win32): `bytes` are Shift-JIS (code page 932), or UTF-8 when `utf8`, so
// that they show right whatever the console's code page. False, with
// nothing written, when `fd` is no such console (a file, a pipe; always on
// POSIX): the caller then writes the bytes as they are.
bool WriteToConsole(int fd, std::string_view bytes, bool utf8);

// --- Arguments -------------------------------------------------------------

// The indices (1 and up) of the arguments that did not reach the program as
// the user wrote them: on Win32, names with characters outside the ANSI code
// page arrive with "?" or a look-alike in their place, which would name (or
// match, as a wildcard) other files. None on POSIX, where arguments are
// bytes. `argc` and `argv` are main's.
std::vector<size_t> ArgumentsNotRepresentable(int argc, char** argv);

}  // namespace vu32::platform

#endif  // VU32_PLATFORM_PLATFORM_H_
