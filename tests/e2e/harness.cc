#include "e2e/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
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

std::vector<std::string> Command() {
  std::vector<std::string> words;
  if (const char* cmd = std::getenv("VU32_E2E_COMMAND"); cmd && *cmd) {
    std::istringstream in(cmd);
    for (std::string w; in >> w;) words.push_back(w);
  } else {
    words.push_back(VU32_BINARY);
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

}  // namespace

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
  RunResult result;
  ScopedTempDir scratch;
  std::vector<std::string> words = Command();
  words.insert(words.end(), args.begin(), args.end());

  int in_fd = -1, in_feed = -1;
  int out_fd = -1, out_read = -1;
  int err_fd = -1, err_read = -1;
  int tty_master = -1, tty_slave = -1;
  std::string out_file = scratch.File("stdout");

  switch (options.stdin_kind) {
    case StdinKind::kPipe: {
      int p[2];
      if (pipe(p) != 0) throw std::runtime_error("pipe");
      in_fd = p[0];
      in_feed = p[1];
      break;
    }
    case StdinKind::kFile: {
      std::string path = scratch.File("stdin");
      if (options.stdin_path.empty()) {
        WriteFile(path, options.stdin_data);
      } else {
        path = options.stdin_path;
      }
      in_fd = open(path.c_str(), O_RDONLY);
      break;
    }
    case StdinKind::kDevNull:
      in_fd = open("/dev/null", O_RDONLY);
      break;
    case StdinKind::kTerminal:
    case StdinKind::kClosed:
      break;
  }
  bool need_tty = options.stdin_kind == StdinKind::kTerminal ||
                  options.stdout_kind == StdoutKind::kTerminal ||
                  options.stderr_terminal;
  if (need_tty) {
    if (openpty(&tty_master, &tty_slave, nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty");
    }
    SetRaw(tty_slave);
  }
  switch (options.stdout_kind) {
    case StdoutKind::kPipe: {
      int p[2];
      if (pipe(p) != 0) throw std::runtime_error("pipe");
      out_read = p[0];
      out_fd = p[1];
      break;
    }
    case StdoutKind::kFile:
      out_fd = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case StdoutKind::kDevFull:
      out_fd = open("/dev/full", O_WRONLY);
      break;
    case StdoutKind::kTerminal:
      break;
  }
  if (!options.stderr_terminal) {
    int p[2];
    if (pipe(p) != 0) throw std::runtime_error("pipe");
    err_read = p[0];
    err_fd = p[1];
  }

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    if (need_tty) {
      setsid();
      ioctl(tty_slave, TIOCSCTTY, 0);
    }
    int in = options.stdin_kind == StdinKind::kTerminal ? tty_slave : in_fd;
    int out = options.stdout_kind == StdoutKind::kTerminal ? tty_slave : out_fd;
    int err = options.stderr_terminal ? tty_slave : err_fd;
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
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    for (const std::string& e : options.env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }

  // Parent: keep only our ends.
  if (in_fd >= 0) close(in_fd);
  if (out_fd >= 0) close(out_fd);
  if (err_fd >= 0) close(err_fd);
  if (tty_slave >= 0) close(tty_slave);
  if (in_feed >= 0) {
    // Feed in a child-free way: the data is small enough for tests, but a
    // large input must not deadlock against a full output pipe, so write
    // from a forked writer.
    pid_t writer = fork();
    if (writer == 0) {
      signal(SIGPIPE, SIG_IGN);
      const char* p = options.stdin_data.data();
      size_t left = options.stdin_data.size();
      while (left > 0) {
        ssize_t n = write(in_feed, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
      }
      _exit(0);
    }
    close(in_feed);
    std::vector<std::pair<int, std::string*>> sources;
    if (out_read >= 0) sources.push_back({out_read, &result.out});
    if (err_read >= 0) sources.push_back({err_read, &result.err});
    if (tty_master >= 0) {
      sources.push_back({tty_master, options.stderr_terminal ? &result.err
                                                             : &result.out});
    }
    Drain(sources);
    waitpid(writer, nullptr, 0);
  } else {
    std::vector<std::pair<int, std::string*>> sources;
    if (out_read >= 0) sources.push_back({out_read, &result.out});
    if (err_read >= 0) sources.push_back({err_read, &result.err});
    if (tty_master >= 0) {
      sources.push_back({tty_master, options.stderr_terminal ? &result.err
                                                             : &result.out});
    }
    Drain(sources);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.status = 128 + WTERMSIG(status);
  }
  if (out_read >= 0) close(out_read);
  if (err_read >= 0) close(err_read);
  if (tty_master >= 0) close(tty_master);
  if (options.stdout_kind == StdoutKind::kFile) result.out = ReadFile(out_file);
  return result;
}

ScopedTempDir::ScopedTempDir() {
  std::string templ =
      (std::filesystem::temp_directory_path() / "vu32-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp");
  path_ = templ;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  // Make everything removable again (tests may take permissions away).
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); ++it) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string ScopedTempDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace vu32::testing
