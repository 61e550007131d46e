// POSIX implementation of the platform layer (Linux and other Unix systems).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/platform.h"

#if defined(__linux__)
#include <sys/sendfile.h>
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
    int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
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

bool ResolvePath(const std::string& path, std::string* resolved) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return false;
  *resolved = real;
  free(real);
  return true;
}

namespace {

// The replacement file an interrupt removes: a fixed buffer, since the
// signal handler may only make async-signal-safe calls.
char g_replacement[PATH_MAX];
volatile sig_atomic_t g_have_replacement = 0;
bool g_cleanup_installed = false;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveReplacementAndDie(int sig) {
  if (g_have_replacement) unlink(g_replacement);
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallCleanup() {
  if (g_cleanup_installed) return;
  g_cleanup_installed = true;
  for (int sig : kCleanupSignals) {
    struct sigaction old;
    // A signal the caller ignores (nohup's SIGHUP) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action = {};
    action.sa_handler = RemoveReplacementAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

// Holds the cleanup signals off while the remembered name changes, so that
// a handler never sees it half written or misses a file just made.
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

void Forget(const std::string& replacement) {
  CleanupSignalsBlocked blocked;
  if (g_have_replacement && replacement == g_replacement) {
    g_have_replacement = 0;
  }
}

}  // namespace

int CreateReplacement(const std::string& target, std::string* replacement) {
  InstallCleanup();
  const size_t slash = target.rfind('/');
  std::string name = (slash == std::string::npos ? std::string(".")
                                                 : target.substr(0, slash)) +
                     "/.vu32-XXXXXX";
  if (name.size() >= sizeof g_replacement) {
    errno = ENAMETOOLONG;
    return -1;
  }
  CleanupSignalsBlocked blocked;
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  memcpy(g_replacement, name.c_str(), name.size() + 1);
  g_have_replacement = 1;
  *replacement = name;
  return fd;
}

bool CommitReplacement(const std::string& replacement,
                       const std::string& target) {
  if (rename(replacement.c_str(), target.c_str()) != 0) return false;
  Forget(replacement);
  return true;
}

void DiscardReplacement(const std::string& replacement) {
  int saved = errno;
  unlink(replacement.c_str());
  Forget(replacement);
  errno = saved;
}

bool CopyOwnerAndMode(int fd, const FileStatus& original) {
  // Owner first: changing it may clear set-user-ID bits that the mode then
  // sets again. Only a privileged process may give a file away, so a
  // refusal there is no failure.
  if (fchown(fd, original.owner, original.group) != 0 && errno != EPERM) {
    return false;
  }
  return fchmod(fd, original.mode) == 0;
}

bool SyncToDisk(int fd) { return fsync(fd) == 0; }

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

}  // namespace vu32::platform
