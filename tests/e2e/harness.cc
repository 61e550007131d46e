#include "e2e/harness.h"

#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/messages.h"

namespace vu32::testing {
namespace {

// chdir, also to a directory whose name is longer than the system takes in
// one call: a component at a time.
bool ChangeDirectory(const std::string& path) {
  if (chdir(path.c_str()) == 0) return true;
  if (errno != ENAMETOOLONG) return false;
  if (path[0] == '/' && chdir("/") != 0) return false;
  std::stringstream parts(path);
  for (std::string part; std::getline(parts, part, '/');) {
    if (!part.empty() && chdir(part.c_str()) != 0) return false;
  }
  return true;
}

std::vector<std::string> Command() {
  std::vector<std::string> words;
  if (const char* cmd = std::getenv("VU32_E2E_COMMAND"); cmd && *cmd) {
    std::istringstream in(cmd);
    for (std::string w; in >> w;) words.push_back(w);
  } else {
    words.push_back(BuiltBinary());
  }
  return words;
}

void SetRaw(int fd) {
  struct termios t;
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
}

// Reads everything from the given descriptors until each reports its end.
void Drain(std::vector<std::pair<int, std::string*>> sources) {
  std::vector<pollfd> fds;
  for (auto& s : sources) fds.push_back({s.first, POLLIN, 0});
  size_t open = fds.size();
  char buf[65536];
  while (open > 0) {
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sources[i].second->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        // A pseudo-terminal master reports EIO once the slave is closed.
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSjisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// "/tmp/d/x" as Wine's drive Z: (the Unix root) names it: "Z:\tmp\d\x".
// "/" never occurs inside a Shift-JIS character.
std::string ToWinePath(const std::string& path) {
  std::string out = "Z:";
  for (char c : path) out.push_back(c == '/' ? '\\' : c);
  return out;
}

// An absolute Unix path in an argument (the whole argument, or what follows
// "@" or an attached output option) in Z: form: the Windows program would
// take a leading "/" for a switch and looks for "\\" between directories.
std::string ToWineArgument(const std::string& arg) {
  std::vector<size_t> starts = {0};
  if (!arg.empty() && arg[0] == '@') starts.push_back(1);
  if (arg.size() > 2 && (arg[0] == '-' || arg[0] == '/') &&
      (arg[1] | 0x20) == 'o') {
    starts.push_back(arg[2] == '+' ? 3 : 2);
  }
  for (size_t start : starts) {
    if (start >= arg.size() || arg[start] != '/') continue;
    size_t second = arg.find('/', start + 1);
    if (second == std::string::npos) continue;
    if (!IsDirectory(arg.substr(start, second - start))) continue;
    return arg.substr(0, start) + ToWinePath(arg.substr(start));
  }
  return arg;
}

// Wine decodes the Unix command line as UTF-8 (ja_JP.UTF-8) and hands the
// program code page 932 again. Bytes that are no Shift-JIS text stay as
// they are.
std::string SjisToUtf8(const std::string& text) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii) return text;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string in = text;
  std::string out(text.size() * 3 + 8, '\0');
  char* src = in.data();
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - dst_left);
  return out;
}

// Standard error as the Linux build writes it: CR LF back to LF, and Z:
// paths back to Unix paths.
std::string FromWineText(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (text.compare(i, 3, "Z:\\") != 0) {
      out.push_back(text[i++]);
      continue;
    }
    // The path ends where the message text around it goes on.
    constexpr std::string_view kAfterPath = "'\"\r\n (:";
    for (i += 2; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (kAfterPath.find(static_cast<char>(c)) != kAfterPath.npos) break;
      if (IsSjisLead(c) && i + 1 < text.size()) {
        out.append(text, i++, 2);
        continue;
      }
      out.push_back(c == '\\' ? '/' : static_cast<char>(c));
    }
  }
  return out;
}

// The descriptors of one run: the child's ends, which it takes as 0, 1 and
// 2, and the test's ends, from which it feeds and captures. -1: none.
struct ChildStreams {
  int in_fd = -1, in_feed = -1;
  int out_fd = -1, out_read = -1;
  int err_fd = -1, err_read = -1;
  int tty_master = -1, tty_slave = -1;
  std::string out_file;   // StdoutKind::kFile: the capture
  std::string stdin_env;  // NAME=VALUE for the Win32 launcher

  void CloseChildEnds() {
    for (int* fd : {&in_fd, &out_fd, &err_fd, &tty_slave}) CloseOnce(fd);
  }
  void CloseParentEnds() {
    for (int* fd : {&in_feed, &out_read, &err_read, &tty_master}) {
      CloseOnce(fd);
    }
  }
  static void CloseOnce(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
};

void OpenPipe(int* read_end, int* write_end) {
  int p[2];
  if (pipe(p) != 0) throw std::runtime_error("pipe");
  *read_end = p[0];
  *write_end = p[1];
}

void OpenStdin(const RunOptions& options, const ScopedTempDir& scratch,
               ChildStreams* s) {
  switch (options.stdin_kind) {
    case StdinKind::kPipe:
      OpenPipe(&s->in_fd, &s->in_feed);
      break;
    case StdinKind::kFile: {
      std::string path = scratch.File("stdin");
      if (options.stdin_path.empty()) {
        WriteFile(path, options.stdin_data);
      } else {
        path = options.stdin_path;
      }
      s->in_fd = open(path.c_str(), O_RDONLY);
      if (options.stdin_offset != 0)
        lseek(s->in_fd, options.stdin_offset, SEEK_SET);
      // The launcher opens the file itself, as cmd.exe would: Wine's handle
      // for an inherited descriptor cannot tell which file it is.
      if (TargetIsWin32()) {
        s->stdin_env = "VU32_LAUNCHER_STDIN=" +
                       ToWinePath(std::filesystem::absolute(path).string());
      }
      break;
    }
    case StdinKind::kDevNull:
      s->in_fd = open("/dev/null", O_RDONLY);
      break;
    case StdinKind::kClosed:
      // A Windows program started with no standard input handle at all.
      if (TargetIsWin32()) s->stdin_env = "VU32_LAUNCHER_STDIN=*";
      break;
    case StdinKind::kTerminal:
      break;
  }
}

void OpenStdout(const RunOptions& options, ChildStreams* s) {
  switch (options.stdout_kind) {
    case StdoutKind::kPipe:
      OpenPipe(&s->out_read, &s->out_fd);
      break;
    case StdoutKind::kFile:
      s->out_fd = open(s->out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case StdoutKind::kDevFull:
      s->out_fd = open("/dev/full", O_WRONLY);
      break;
    case StdoutKind::kTerminal:
      break;
    case StdoutKind::kClosed:
      s->out_fd = open("/dev/null", O_WRONLY);  // closed in the child
      break;
  }
}

bool NeedsTerminal(const RunOptions& options) {
  return options.stdin_kind == StdinKind::kTerminal ||
         options.stdout_kind == StdoutKind::kTerminal ||
         options.stderr_terminal;
}

ChildStreams OpenChildStreams(const RunOptions& options,
                              const ScopedTempDir& scratch) {
  ChildStreams s;
  s.out_file = scratch.File("stdout");
  OpenStdin(options, scratch, &s);
  if (NeedsTerminal(options)) {
    if (openpty(&s.tty_master, &s.tty_slave, nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty");
    }
    SetRaw(s.tty_slave);
  }
  OpenStdout(options, &s);
  if (!options.stderr_terminal) OpenPipe(&s.err_read, &s.err_fd);
  return s;
}

// In the child: its three descriptors, the file-size limit, the directory
// and the environment the options ask for, then the command.
[[noreturn]] void RunChild(const RunOptions& options, const ChildStreams& s,
                           std::vector<std::string>* words) {
  signal(SIGPIPE, SIG_DFL);
  if (NeedsTerminal(options)) {
    setsid();
    ioctl(s.tty_slave, TIOCSCTTY, 0);
  }
  int in = options.stdin_kind == StdinKind::kTerminal ? s.tty_slave : s.in_fd;
  int out =
      options.stdout_kind == StdoutKind::kTerminal ? s.tty_slave : s.out_fd;
  int err = options.stderr_terminal ? s.tty_slave : s.err_fd;
  // Move the three into place through high numbers so none clobbers another.
  int hi_in = in >= 0 ? fcntl(in, F_DUPFD, 100) : -1;
  int hi_out = fcntl(out, F_DUPFD, 100);
  int hi_err = fcntl(err, F_DUPFD, 100);
  if (hi_in >= 0) {
    dup2(hi_in, 0);
  } else {
    close(0);
  }
  dup2(hi_out, 1);
  dup2(hi_err, 2);
  if (options.stderr_closed && !TargetIsWin32()) close(2);
  if (options.stdout_kind == StdoutKind::kClosed && !TargetIsWin32()) close(1);
  for (int fd = 3; fd < 1024; ++fd) close(fd);
  if (options.file_size_limit >= 0) {
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(options.file_size_limit);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (!options.cwd.empty() && !ChangeDirectory(options.cwd)) _exit(126);
  if (options.group >= 0 && (setgroups(0, nullptr) != 0 ||
                             setgid(static_cast<gid_t>(options.group)) != 0)) {
    _exit(126);
  }
  if (options.user >= 0 && setuid(static_cast<uid_t>(options.user)) != 0) {
    _exit(126);
  }
  // Messages in Shift-JIS unless a test asks for a locale: the suite
  // must not depend on the locale it is run in. (Wine needs its own
  // locale to give the Windows program code page 932.)
  unsetenv("VU32_MESSAGE_ENCODING");
  if (!TargetIsWin32()) setenv("LC_ALL", "C", 1);
  for (const std::string& e : options.env) putenv(const_cast<char*>(e.c_str()));
  if (!s.stdin_env.empty()) putenv(const_cast<char*>(s.stdin_env.c_str()));
  if (options.stderr_closed && TargetIsWin32()) {
    putenv(const_cast<char*>("VU32_LAUNCHER_NO_STDERR=1"));
  }
  if (options.stdout_kind == StdoutKind::kClosed && TargetIsWin32()) {
    putenv(const_cast<char*>("VU32_LAUNCHER_NO_STDOUT=1"));
  }
  std::vector<char*> argv;
  for (std::string& w : *words) argv.push_back(w.data());
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

// Writes `data` into the pipe *feed from a forked writer, so that a large
// input cannot deadlock against a full output pipe, and closes the test's
// copy of *feed. The writer's pid, or -1 when there is no pipe to feed.
pid_t FeedInput(const std::string& data, int* feed) {
  if (*feed < 0) return -1;
  pid_t writer = fork();
  if (writer == 0) {
    signal(SIGPIPE, SIG_IGN);
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
      ssize_t n = write(*feed, p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(*feed);
  *feed = -1;
  return writer;
}

// The exit status of `pid`; 128 + the signal number when it was killed.
int ExitStatus(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

bool TargetIsWin32() {
  const char* target = std::getenv("VU32_E2E_TARGET");
  return target != nullptr && std::strcmp(target, "win32") == 0;
}

std::string BannerLine() {
  return "Kelzar " + std::string(kVersion.sjis) + " " +
         std::string(kCopyright) + "\n";
}

std::string WithoutBanner(const std::string& err) {
  std::string banner = BannerLine();
  if (err.compare(0, banner.size(), banner) == 0) {
    return err.substr(banner.size());
  }
  return err;
}

RunResult RunVu32(const std::vector<std::string>& args,
                  const RunOptions& options) {
  ScopedTempDir scratch;
  std::vector<std::string> words = Command();
  for (const std::string& arg : args) {
    if (!TargetIsWin32()) {
      words.push_back(arg);
    } else if (options.utf8_arguments) {
      words.push_back(ToWineArgument(arg));
    } else {
      words.push_back(SjisToUtf8(ToWineArgument(arg)));
    }
  }
  ChildStreams streams = OpenChildStreams(options, scratch);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) RunChild(options, streams, &words);

  RunResult result;
  streams.CloseChildEnds();
  const pid_t writer = FeedInput(options.stdin_data, &streams.in_feed);
  std::vector<std::pair<int, std::string*>> sources;
  if (streams.out_read >= 0) sources.push_back({streams.out_read, &result.out});
  if (streams.err_read >= 0) sources.push_back({streams.err_read, &result.err});
  if (streams.tty_master >= 0) {
    sources.push_back({streams.tty_master,
                       options.stderr_terminal ? &result.err : &result.out});
  }
  Drain(sources);
  if (writer > 0) waitpid(writer, nullptr, 0);
  result.status = ExitStatus(pid);
  streams.CloseParentEnds();
  if (options.stdout_kind == StdoutKind::kFile) {
    result.out = ReadFile(streams.out_file);
  }
  if (TargetIsWin32()) result.err = FromWineText(result.err);
  return result;
}

}  // namespace vu32::testing
