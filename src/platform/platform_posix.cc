// POSIX implementation of the platform layer (Linux and other Unix systems).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "platform/platform.h"

#if defined(__linux__)
#include <sys/sendfile.h>
#include <sys/xattr.h>
#endif

namespace vu32::platform {

const bool kWin32Spellings = false;
const char kPathSeparator = '/';

bool IsSwitchIntroducer(unsigned char c) { return c == '-'; }
bool IsPathSeparator(unsigned char c) { return c == '/'; }

bool IsTerminal(int fd) { return isatty(fd) == 1; }

bool IsNullDevice(int fd) {
  struct stat st, null_st;
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) &&
         stat("/dev/null", &null_st) == 0 && S_ISCHR(null_st.st_mode) &&
         st.st_rdev == null_st.st_rdev;
}

void OpenNullOnClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // Standard output gets it for reading only, so that data written there
    // fails (EBADF) instead of vanishing: `vu32 -Cu f >&-` must not end 0.
    int null_fd = open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
    if (null_fd < 0) continue;
    // The lowest free number is taken, which is fd itself once the lower
    // ones are open; dup2 covers any other order.
    if (null_fd != fd) {
      dup2(null_fd, fd);
      close(null_fd);
    }
  }
}

void SetBinaryMode(int, bool) {}

void IgnoreFileSizeLimitSignal() { signal(SIGXFSZ, SIG_IGN); }

bool CanReadData(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  if ((flags & O_ACCMODE) == O_WRONLY) {
    errno = EBADF;
    return false;
  }
  return true;
}

int DuplicateStdin() { return dup(0); }

bool ReopenConsoleStdin() {
  // Keeps a later prompt possible when there is a terminal, and never fails:
  // piped use must work without a controlling terminal.
  int fd = open("/dev/tty", O_RDONLY | O_CLOEXEC);
  if (fd < 0) fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  if (fd != 0) {
    dup2(fd, 0);
    close(fd);
  }
  return true;
}

namespace {

// What may be opened: 0, or the errno that refuses the file.
int AnythingButADirectory(const struct stat& st) {
  // A directory opens on POSIX but holds no data to read.
  return S_ISDIR(st.st_mode) ? EISDIR : 0;
}
int OnlyARegularFile(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return 0;
  return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}

// Opens `path` with `flags` and keeps it only when `check` accepts what was
// opened. O_NONBLOCK in `flags` keeps the open of a FIFO from waiting; it
// is cleared again before the descriptor is handed out. -1 with errno set
// on failure.
int OpenChecked(const std::string& path, int flags,
                int (*check)(const struct stat&)) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ENXIO) errno = EINVAL;  // a FIFO that no one reads
    return -1;
  }
  struct stat st;
  int refused = fstat(fd, &st) != 0 ? errno : check(st);
  if (refused == 0 && (flags & O_NONBLOCK)) {
    int now = fcntl(fd, F_GETFL);
    if (now < 0 || fcntl(fd, F_SETFL, now & ~O_NONBLOCK) != 0) refused = errno;
  }
  if (refused != 0) {
    close(fd);
    errno = refused;
    return -1;
  }
  return fd;
}

}  // namespace

int OpenForRead(const std::string& path) {
  return OpenChecked(path, O_RDONLY, AnythingButADirectory);
}

int OpenForReadWithoutWaiting(const std::string& path) {
  return OpenChecked(path, O_RDONLY | O_NONBLOCK, AnythingButADirectory);
}

int OpenRegularForRead(const std::string& path) {
  return OpenChecked(path, O_RDONLY | O_NONBLOCK, OnlyARegularFile);
}

int OpenForWrite(const std::string& path, WriteMode mode) {
  const int how = mode == WriteMode::kAppend ? O_APPEND : O_TRUNC;
  return OpenChecked(path, O_WRONLY | O_CREAT | how,
                     [](const struct stat&) { return 0; });
}

int OpenRegularForWrite(const std::string& path) {
  // O_NOFOLLOW refuses a link at the name itself.
  return OpenChecked(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK,
                     OnlyARegularFile);
}

bool TruncateFile(int fd) {
  // An empty file is left alone: on ext4 truncating marks the file for a
  // flush to disk when it is closed (the replace-by-truncate heuristic),
  // which made every new split piece's close ten times slower.
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size == 0) return true;
  return ftruncate(fd, 0) == 0;
}

int CreateExclusive(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

long ReadSome(int fd, void* buffer, size_t size) {
  ssize_t n;
  do {
    n = read(fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

int64_t CurrentOffset(int fd) {
  return static_cast<int64_t>(lseek(fd, 0, SEEK_CUR));
}

long ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
  ssize_t n;
  do {
    n = pread(fd, buffer, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

bool WriteAll(int fd, const void* buffer, size_t size) {
  const char* p = static_cast<const char*>(buffer);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CloseFd(int fd) {
  // On Linux the descriptor is gone even when close reports EINTR.
  return close(fd) == 0 || errno == EINTR;
}

long long KernelCopy(int in, int out, size_t size) {
#if defined(__linux__)
  // copy_file_range refuses pipes and some file systems; sendfile covers
  // regular files to anything. Either failing before a byte moved leaves the
  // caller to copy through its buffer.
  ssize_t n;
  do {
    n = copy_file_range(in, nullptr, out, nullptr, size, 0);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return n;
  if (errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
      errno != EOPNOTSUPP && errno != EBADF) {
    return -2;  // a real read or write error
  }
  do {
    n = sendfile(out, in, nullptr, size);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return n;
  if (errno != EINVAL && errno != ENOSYS) return -2;
  return -1;
#else
  (void)in;
  (void)out;
  (void)size;
  return -1;
#endif
}

std::string LastErrorText() { return strerror(errno); }
std::string ErrorText(int error) { return strerror(error); }

int64_t FileLength(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    // A pipe or a terminal has no length: report it as the system would.
    errno = ESPIPE;
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

bool SameNameSpelling(const char* a, const char* b) {
  return strcmp(a, b) == 0;
}

PathKind KindOfPath(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISLNK(st.st_mode)) return PathKind::kLink;
  return S_ISREG(st.st_mode) ? PathKind::kRegular : PathKind::kOther;
}

bool IsDirectory(const std::string& path) {
  const int saved = errno;
  struct stat st;
  const bool directory = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  errno = saved;
  return directory;
}

bool FileIdOfPath(const std::string& path, FileId* id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  id->device = static_cast<uint64_t>(st.st_dev);
  id->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool FileIdOfFd(int fd, FileId* id) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  id->device = static_cast<uint64_t>(st.st_dev);
  id->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool QueryFreeSpace(const std::string& target, DiskGeometry* geometry) {
  // The target may not exist yet (a new output file, a directory that the
  // directory probe will reject later): ask the nearest existing ancestor.
  std::string path = target.empty() ? std::string(".") : target;
  struct statvfs vfs;
  for (;;) {
    if (statvfs(path.c_str(), &vfs) == 0) break;
    if (errno != ENOENT && errno != ENOTDIR) return false;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
      if (path == ".") return false;
      path.assign(1, '.');
    } else {
      path.resize(slash == 0 ? 1 : slash);
    }
  }
  geometry->cluster_bytes = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  geometry->free_clusters = vfs.f_bavail;
  return geometry->cluster_bytes != 0;
}

namespace {

FileTime FromTimespec(const struct timespec& ts) {
  FileTime t;
  t.seconds = static_cast<int64_t>(ts.tv_sec);
  t.nanoseconds = static_cast<int32_t>(ts.tv_nsec);
  t.set = true;
  return t;
}

struct timespec ToTimespec(const FileTime& t) {
  struct timespec ts;
  if (!t.set) {
    ts.tv_sec = 0;
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  ts.tv_sec = static_cast<time_t>(t.seconds);
  ts.tv_nsec = t.nanoseconds;
  return ts;
}

}  // namespace

bool GetFileTimes(const std::string& path, FileTimes* times) {
  FileStatus status;
  if (!StatFile(path, &status)) return false;
  *times = status.times;
  return true;
}

bool SetFileTimes(const std::string& path, const FileTimes& times) {
  struct timespec ts[2] = {ToTimespec(times.access), ToTimespec(times.write)};
  return utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
}

FileTime CurrentFileTime() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return FromTimespec(ts);
}

bool StatFile(const std::string& path, FileStatus* status) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  status->kind = S_ISREG(st.st_mode) ? PathKind::kRegular : PathKind::kOther;
  status->size = static_cast<uint64_t>(st.st_size);
  status->links = static_cast<uint64_t>(st.st_nlink);
  status->id = {static_cast<uint64_t>(st.st_dev),
                static_cast<uint64_t>(st.st_ino)};
  status->times.access = FromTimespec(st.st_atim);
  status->times.write = FromTimespec(st.st_mtim);
  status->mode = static_cast<uint32_t>(st.st_mode & 07777);
  status->owner = static_cast<uint32_t>(st.st_uid);
  status->group = static_cast<uint32_t>(st.st_gid);
  return true;
}

namespace {

// --- The replacements a signal removes -------------------------------------

// The replacements not yet committed, each as its directory and name, in
// fixed storage: the signal handler may only make async-signal-safe calls.
struct PendingReplacement {
  volatile sig_atomic_t used = 0;
  int directory = -1;
  char name[32];
};
constexpr int kMaxPending = 64;
PendingReplacement g_pending[kMaxPending];
bool g_cleanup_installed = false;

// Every signal whose default action ends the process and that a user or a
// system sends a running command: each removes the replacements before
// the process dies by it. SIGXFSZ stays ignored (a write past the limit
// then fails like any other), and crashes (SIGSEGV and the like) are left
// to their default.
constexpr int kCleanupSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,
                                   SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                                   SIGPROF, SIGXCPU, SIGPIPE};

void RemoveReplacementsAndDie(int sig) {
  for (PendingReplacement& p : g_pending) {
    if (p.used) unlinkat(p.directory, p.name, 0);
  }
  signal(sig, SIG_DFL);
  raise(sig);  // delivered, by the default action, once the handler returns
}

void InstallCleanup() {
  if (g_cleanup_installed) return;
  g_cleanup_installed = true;
  struct sigaction action = {};
  action.sa_handler = RemoveReplacementsAndDie;
  sigemptyset(&action.sa_mask);
  for (int sig : kCleanupSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kCleanupSignals) {
    struct sigaction old;
    // A signal the caller ignores (nohup's SIGHUP) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(sig, &action, nullptr);
  }
}

// Holds the cleanup signals off while the pending list changes, so that a
// handler never sees an entry half written or misses a file just made.
class CleanupSignalsBlocked {
 public:
  CleanupSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCleanupSignals) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~CleanupSignalsBlocked() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

// --- Finding and holding the file -----------------------------------------

// The state that tells a file changed: identity, size, and the times that
// every write and every attribute change move.
struct Snapshot {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified = {}, changed = {};
};

Snapshot SnapshotOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameSnapshot(const Snapshot& a, const Snapshot& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

#ifdef O_PATH
constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The directory `path` lies in, opened relative to `base`, and the name
// of its last component there. -1 with errno set on failure.
int OpenParent(int base, const std::string& path, std::string* name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *name = path;
    return fcntl(base, F_DUPFD_CLOEXEC, 0);
  }
  *name = path.substr(slash + 1);
  const std::string head =
      slash == 0 ? std::string("/") : path.substr(0, slash);
  int fd;
  do {
    fd = openat(base, head.c_str(), kDirectoryFlags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Follows `path` through symbolic links, each read relative to the
// directory it stands in, to a name that is no link: its directory (open)
// and its name there, and what it is. -1 with errno set on failure.
int Locate(const std::string& path, std::string* name, struct stat* st) {
  int directory = open(".", kDirectoryFlags);
  if (directory < 0) return -1;
  std::string next = path;
  for (int hops = 0; hops <= 40; ++hops) {
    const int parent = OpenParent(directory, next, name);
    close(directory);
    directory = parent;
    if (directory < 0) return -1;
    if (name->empty()) {
      // "dir/" names a directory, never a file to convert.
      if (fstat(directory, st) != 0) break;
      *name = ".";
      return directory;
    }
    if (fstatat(directory, name->c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) break;
    if (!S_ISLNK(st->st_mode)) return directory;
    std::string target(static_cast<size_t>(st->st_size) + 1, '\0');
    const ssize_t n =
        readlinkat(directory, name->c_str(), target.data(), target.size());
    if (n < 0) break;
    target.resize(static_cast<size_t>(n));
    next = target;
    errno = ELOOP;  // should the links go on past the limit
  }
  const int saved = errno;
  close(directory);
  errno = saved;
  return -1;
}

FileStatus StatusOf(const struct stat& st) {
  FileStatus status;
  status.kind = S_ISREG(st.st_mode) ? PathKind::kRegular : PathKind::kOther;
  status.size = static_cast<uint64_t>(st.st_size);
  status.links = static_cast<uint64_t>(st.st_nlink);
  status.id = {static_cast<uint64_t>(st.st_dev),
               static_cast<uint64_t>(st.st_ino)};
  status.times.access = FromTimespec(st.st_atim);
  status.times.write = FromTimespec(st.st_mtim);
  status.mode = static_cast<uint32_t>(st.st_mode & 07777);
  status.owner = static_cast<uint32_t>(st.st_uid);
  status.group = static_cast<uint32_t>(st.st_gid);
  return status;
}

enum class Locked { kAtOnce, kAfterWaiting, kBusy };

// Takes the in-place lock on `fd`, waiting for another run that holds it
// when `wait`. A file system without locks is used without one: the
// change checks still guard the file.
Locked Lock(int fd, bool wait) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
    return Locked::kAtOnce;
  }
  if (!wait) return Locked::kBusy;
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  return Locked::kAfterWaiting;
}

// A process-wide source of replacement names: the process number and the
// clock, stirred.
uint64_t NextRandom() {
  static uint64_t state = [] {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ULL ^
           static_cast<uint64_t>(ts.tv_nsec) ^
           (static_cast<uint64_t>(ts.tv_sec) << 20);
  }();
  state += 0x9E3779B97F4A7C15ULL;
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

#if defined(__linux__)
// The names of the extended attributes on `fd` the process can see; false
// (errno set) on failure, an empty list where the file system has none.
bool AttributeNames(int fd, std::vector<std::string>* names) {
  names->clear();
  for (;;) {
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    std::string list(static_cast<size_t>(size), '\0');
    const ssize_t n = flistxattr(fd, list.data(), list.size());
    if (n < 0 && errno == ERANGE) continue;  // grew in the meantime
    if (n < 0) return false;
    for (size_t at = 0; at < static_cast<size_t>(n);) {
      const size_t end = list.find('\0', at);
      names->push_back(list.substr(at, end - at));
      at = end + 1;
    }
    return true;
  }
}

// The value of attribute `name` on `fd`; false when it has none (ENODATA)
// or it cannot be read.
bool AttributeValue(int fd, const std::string& name, std::string* value) {
  for (;;) {
    const ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) return false;
    value->assign(static_cast<size_t>(size), '\0');
    const ssize_t n = fgetxattr(fd, name.c_str(), value->data(), value->size());
    if (n < 0 && errno == ERANGE) continue;
    if (n < 0) return false;
    value->resize(static_cast<size_t>(n));
    return true;
  }
}
#endif

constexpr char kAccessAcl[] = "system.posix_acl_access";

}  // namespace

struct ReplaceableFile::State {
  int fd = -1;         // the original, open for reading
  int directory = -1;  // the directory it stands in
  std::string name;    // its name there
  Snapshot snapshot;
  FileStatus status;
  int replacement = -1;
  int pending = -1;  // the replacement's slot in g_pending
  std::string replacement_name;

  void CloseFile() {
    if (fd >= 0) close(fd);
    if (directory >= 0) close(directory);
    fd = directory = -1;
  }
};

ReplaceableFile::ReplaceableFile() : state_(std::make_unique<State>()) {}

ReplaceableFile::~ReplaceableFile() {
  DiscardReplacement();
  state_->CloseFile();
}

int ReplaceableFile::fd() const { return state_->fd; }

const FileStatus& ReplaceableFile::status() const { return state_->status; }

ReplaceableFile::OpenResult ReplaceableFile::Open(const std::string& path,
                                                  bool wait) {
  State& s = *state_;
  // A run that waited for the lock may find the name moved on (the other
  // run renamed its result over it): it opens the name again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    s.CloseFile();
    struct stat named;
    s.directory = Locate(path, &s.name, &named);
    if (s.directory < 0) return OpenResult::kFailed;
    // Never opened: a FIFO would wait for a writer, a device may act.
    if (!S_ISREG(named.st_mode)) return OpenResult::kNotRegular;
    do {
      s.fd = openat(s.directory, s.name.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    } while (s.fd < 0 && errno == EINTR);
    if (s.fd < 0) return OpenResult::kFailed;
    struct stat st;
    if (fstat(s.fd, &st) != 0) return OpenResult::kFailed;
    if (!S_ISREG(st.st_mode)) return OpenResult::kNotRegular;
    const int flags = fcntl(s.fd, F_GETFL);
    if (flags < 0 || fcntl(s.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      return OpenResult::kFailed;
    }
    s.snapshot = SnapshotOf(st);
    s.status = StatusOf(st);
    switch (Lock(s.fd, wait)) {
      case Locked::kAtOnce:
        return OpenResult::kOk;
      case Locked::kBusy:
        s.CloseFile();
        return OpenResult::kBusy;
      case Locked::kAfterWaiting:
        break;
    }
    // The run that held the lock is done with the file: what it left is
    // what this run converts, so the state is taken again.
    struct stat now;
    if (fstatat(s.directory, s.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
        fstat(s.fd, &st) == 0) {
      s.snapshot = SnapshotOf(st);
      s.status = StatusOf(st);
      return OpenResult::kOk;
    }
  }
  errno = EAGAIN;
  return OpenResult::kFailed;
}

bool ReplaceableFile::Unchanged() const {
  const State& s = *state_;
  struct stat st, named;
  return fstat(s.fd, &st) == 0 && SameSnapshot(s.snapshot, SnapshotOf(st)) &&
         fstatat(s.directory, s.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) ==
             0 &&
         named.st_dev == st.st_dev && named.st_ino == st.st_ino;
}

int ReplaceableFile::CreateReplacement() {
  State& s = *state_;
  InstallCleanup();
  CleanupSignalsBlocked blocked;
  int slot = 0;
  while (slot < kMaxPending && g_pending[slot].used) ++slot;
  if (slot == kMaxPending) {
    errno = EMFILE;
    return -1;
  }
  PendingReplacement& pending = g_pending[slot];
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t r = NextRandom();
    char name[sizeof pending.name] = ".vu32-";
    for (int i = 0; i < 6; ++i, r /= 62) name[6 + i] = kLetters[r % 62];
    name[12] = '\0';
    const int fd =
        openat(s.directory, name,
               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return -1;
    }
    memcpy(pending.name, name, sizeof name);
    pending.directory = s.directory;
    pending.used = 1;
    s.pending = slot;
    s.replacement = fd;
    s.replacement_name = name;
    return fd;
  }
  errno = EEXIST;
  return -1;
}

ReplaceableFile::Kept ReplaceableFile::KeepAttributes(bool keep_times,
                                                      std::string* attribute) {
  const State& s = *state_;
  const FileStatus& original = s.status;
  struct stat st;
  if (fstat(s.replacement, &st) != 0) return Kept::kOwner;
  // Owner first, then group: a refusal says which could not be kept.
  if (st.st_uid != original.owner &&
      fchown(s.replacement, original.owner, static_cast<gid_t>(-1)) != 0) {
    return Kept::kOwner;
  }
  if (st.st_gid != original.group &&
      fchown(s.replacement, static_cast<uid_t>(-1), original.group) != 0) {
    return Kept::kGroup;
  }
#if defined(__linux__)
  std::vector<std::string> names;
  if (!AttributeNames(s.fd, &names)) {
    *attribute = "*";
    return Kept::kAttribute;
  }
  // An ACL the new file took from its directory's default ACL is not the
  // original's: without it the permission bits alone decide, as on the
  // original.
  std::string value;
  if (std::find(names.begin(), names.end(), kAccessAcl) == names.end() &&
      AttributeValue(s.replacement, kAccessAcl, &value) &&
      fremovexattr(s.replacement, kAccessAcl) != 0) {
    *attribute = kAccessAcl;
    return Kept::kAttribute;
  }
#endif
  // The mode before the ACL: with an ACL, the group bits of the mode are
  // its mask, and the ACL then sets both back as they were.
  if (fchmod(s.replacement, original.mode) != 0) return Kept::kMode;
#if defined(__linux__)
  for (const std::string& name : names) {
    std::string wanted, present;
    if (!AttributeValue(s.fd, name, &wanted)) {
      if (errno == ENODATA) continue;  // removed in the meantime
      *attribute = name;
      return Kept::kAttribute;
    }
    if (AttributeValue(s.replacement, name, &present) && present == wanted) {
      continue;  // a security label the new file already has
    }
    if (fsetxattr(s.replacement, name.c_str(), wanted.data(), wanted.size(),
                  0) != 0) {
      *attribute = name;
      return Kept::kAttribute;
    }
  }
#endif
  if (keep_times) {
    struct timespec times[2] = {ToTimespec(original.times.access),
                                ToTimespec(original.times.write)};
    if (futimens(s.replacement, times) != 0) return Kept::kTimes;
  }
  return Kept::kAll;
}

void ReplaceableFile::StartWriteBack() {
#if defined(__linux__)
  sync_file_range(state_->replacement, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool ReplaceableFile::Seal() {
  State& s = *state_;
  if (fsync(s.replacement) != 0) return false;
  const int replacement = s.replacement;
  s.replacement = -1;
  return close(replacement) == 0 || errno == EINTR;
}

bool ReplaceableFile::Commit() {
  State& s = *state_;
  if (renameat(s.directory, s.replacement_name.c_str(), s.directory,
               s.name.c_str()) != 0) {
    return false;
  }
  CleanupSignalsBlocked blocked;
  g_pending[s.pending].used = 0;
  s.pending = -1;
  s.replacement_name.clear();
  return true;
}

void ReplaceableFile::DiscardReplacement() {
  State& s = *state_;
  if (s.replacement_name.empty()) return;
  const int saved = errno;
  if (s.replacement >= 0) close(s.replacement);
  s.replacement = -1;
  unlinkat(s.directory, s.replacement_name.c_str(), 0);
  {
    CleanupSignalsBlocked blocked;
    g_pending[s.pending].used = 0;
  }
  s.pending = -1;
  s.replacement_name.clear();
  errno = saved;
}

void RunConcurrently(const std::vector<std::function<void()>>& tasks) {
  if (tasks.size() <= 1) {
    for (const auto& task : tasks) task();
    return;
  }
  std::vector<std::thread> threads;
  {
    // The threads start with the cleanup signals blocked, so that a signal
    // always runs its handler on this thread, never beside a change of the
    // pending list.
    CleanupSignalsBlocked blocked;
    for (const auto& task : tasks) {
      try {
        threads.emplace_back(task);
      } catch (const std::system_error&) {
        task();  // no thread to be had: this one does it
      }
    }
  }
  for (std::thread& t : threads) t.join();
}

namespace {

// "*" and "?" over bytes, case-sensitive; a leading dot is not special.
bool MatchName(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '?' || (*pattern != '*' && *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool FindFiles(const std::string& pattern, std::vector<FoundFile>* found) {
  found->clear();
  // "/" never occurs inside a Shift-JIS character, so a byte search is safe.
  size_t slash = pattern.rfind('/');
  std::string dir =
      slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
  std::string name_pattern =
      slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (name_pattern.empty()) return true;
  bool wild = name_pattern.find_first_of("*?") != std::string::npos;
  if (!wild) {
    // A plain name: one lookup, no directory scan.
    struct stat st;
    if (stat(pattern.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      found->push_back({name_pattern, static_cast<uint64_t>(st.st_size)});
    }
    return true;
  }
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return errno == ENOENT || errno == ENOTDIR;
  errno = 0;
  while (struct dirent* e = readdir(d)) {
    const char* n = e->d_name;
    if (strcmp(n, ".") == 0 || strcmp(n, "..") == 0) continue;
    if (!MatchName(name_pattern.c_str(), n)) continue;
    struct stat st;
    // stat, not lstat: a symbolic link to a regular file counts as one.
    if (stat((dir + n).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    found->push_back({n, static_cast<uint64_t>(st.st_size)});
  }
  closedir(d);
  return true;
}

bool MessagesWantUtf8() {
  // Wherever standard error goes (a terminal, a log, cron's mail), it is
  // read in the user's locale.
  if (!setlocale(LC_CTYPE, "")) return false;
  const char* codeset = nl_langinfo(CODESET);
  bool utf8 = codeset &&
              (strcmp(codeset, "UTF-8") == 0 || strcmp(codeset, "utf8") == 0);
  setlocale(LC_CTYPE, "C");
  return utf8;
}

// POSIX terminals take the bytes as they are.
bool WriteToConsole(int, std::string_view, bool) { return false; }

// Arguments are bytes: every one arrives as it was given.
std::vector<size_t> ArgumentsNotRepresentable(int, char**) { return {}; }

}  // namespace vu32::platform
