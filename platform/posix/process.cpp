// Child processes on Linux: fork and exec with a close-on-exec pipe that reports a failed exec,
// waitpid reaping, non-blocking pipes and the /proc process list.
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace navelo {
namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Writes all of a small buffer, retrying after signals; used only in the child before exec.
void ReportErrno(int fd, int value) {
  const char* p = reinterpret_cast<const char*>(&value);
  size_t left = sizeof value;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Children that end are reaped by the kernel at once (SIGCHLD keeps its default action, with
// SA_NOCLDWAIT), so none lingers as a zombie however long the script goes without asking about
// it. The flag is dropped by exec, so the children's own children are not affected. Set on the
// first start, so a process that never starts a child keeps the usual behaviour.
void ReapChildrenAutomatically() {
  struct sigaction current;
  if (sigaction(SIGCHLD, nullptr, &current) != 0) return;
  if (current.sa_handler == SIG_DFL && (current.sa_flags & SA_NOCLDWAIT) != 0) return;
  if (current.sa_handler != SIG_DFL) return;  // someone else handles SIGCHLD: leave it to them
  struct sigaction automatic {};
  automatic.sa_handler = SIG_DFL;
  automatic.sa_flags = SA_NOCLDWAIT;
  sigemptyset(&automatic.sa_mask);
  sigaction(SIGCHLD, &automatic, nullptr);
}

}  // namespace

int SpawnChild(const SpawnRequest& request, ChildPipes* pipes, int& error) {
  error = 0;
  ReapChildrenAutomatically();
  // Everything the child needs is built before fork: after it, only async-signal-safe calls.
  std::vector<char*> argv;
  for (const std::string& arg : request.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  if (argv.empty()) argv.push_back(const_cast<char*>(request.program.c_str()));
  argv.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    error = errno;
    return -1;
  }
  int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  auto close_all = [&] {
    for (int* p : {report, in_pipe, out_pipe, err_pipe}) {
      CloseIfOpen(p[0]);
      CloseIfOpen(p[1]);
    }
  };
  if (request.with_pipes &&
      (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
       pipe2(err_pipe, O_CLOEXEC) != 0)) {
    error = errno;
    close_all();
    return -1;
  }

  const pid_t pid = fork();
  if (pid < 0) {
    error = errno;
    close_all();
    return -1;
  }
  if (pid == 0) {
    setsid();
    int stdio[3];
    if (request.with_pipes) {
      stdio[0] = in_pipe[0];
      stdio[1] = out_pipe[1];
      stdio[2] = err_pipe[1];
    } else {
      const int null_fd = open("/dev/null", O_RDWR);
      stdio[0] = stdio[1] = stdio[2] = null_fd;
    }
    for (int i = 0; i < 3; ++i) {
      if (stdio[i] < 0 || dup2(stdio[i], i) < 0) {
        ReportErrno(report[1], errno);
        _exit(127);
      }
    }
    // Our files, sockets and pipes are not the child's business: all but the report pipe go.
    if (dup2(report[1], 3) < 0 || fcntl(3, F_SETFD, FD_CLOEXEC) < 0) _exit(127);
    close_range(4, ~0U, 0);
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (!request.directory.empty() && chdir(request.directory.c_str()) != 0) {
      ReportErrno(3, errno);
      _exit(127);
    }
    execv(request.program.c_str(), argv.data());
    ReportErrno(3, errno);
    _exit(127);
  }

  CloseIfOpen(report[1]);
  int child_error = 0;
  ssize_t got;
  do {
    got = read(report[0], &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  CloseIfOpen(report[0]);
  if (got == static_cast<ssize_t>(sizeof child_error)) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    error = child_error;
    close_all();
    return -1;
  }
  if (request.with_pipes && pipes != nullptr) {
    CloseIfOpen(in_pipe[0]);
    CloseIfOpen(out_pipe[1]);
    CloseIfOpen(err_pipe[1]);
    for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    pipes->input = in_pipe[1];
    pipes->output = out_pipe[0];
    pipes->error = err_pipe[0];
    in_pipe[1] = out_pipe[0] = err_pipe[0] = -1;
  }
  close_all();
  return pid;
}

bool ChildEnded(int pid) {
  // A child reaped by the kernel is no child any more: waitpid then fails, which means ended too.
  if (pid <= 0) return true;
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  return result != 0;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> list;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return list;
  while (dirent* entry = readdir(proc)) {
    const char* id = entry->d_name;
    if (*id < '1' || *id > '9') continue;
    const std::string base = std::string("/proc/") + id;
    const std::string stat = ReadSmallFile(base + "/stat");
    // "pid (name) state ...": the name may itself hold ")" so the last one closes it.
    const size_t open_paren = stat.find('(');
    const size_t close_paren = stat.rfind(')');
    if (open_paren == std::string::npos || close_paren == std::string::npos ||
        close_paren + 2 >= stat.size()) {
      continue;
    }
    const char state = stat[close_paren + 2];
    if (state == 'Z' || state == 'X') continue;
    ProcessEntry process;
    process.name = stat.substr(open_paren + 1, close_paren - open_paren - 1);
    char target[4096];
    const ssize_t n = readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
      process.exe.assign(target, static_cast<size_t>(n));
      const std::string deleted = " (deleted)";
      if (process.exe.size() > deleted.size() &&
          process.exe.compare(process.exe.size() - deleted.size(), deleted.size(), deleted) == 0) {
        process.exe.resize(process.exe.size() - deleted.size());
      }
    }
    const std::string cmdline = ReadSmallFile(base + "/cmdline");
    process.arg0 = cmdline.substr(0, cmdline.find('\0'));
    list.push_back(std::move(process));
  }
  closedir(proc);
  return list;
}

std::string ReadAvailable(int fd, size_t max) {
  std::string bytes;
  if (fd < 0) return bytes;
  char block[4096];
  while (bytes.size() < max) {
    const size_t want = std::min(sizeof block, max - bytes.size());
    const ssize_t n = read(fd, block, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(block, static_cast<size_t>(n));
  }
  return bytes;
}

void WriteAvailable(int fd, std::string_view bytes) {
  if (fd < 0) return;
  // A child that has gone would raise SIGPIPE and end this program: the signal is held back for
  // the write and any one it produced is taken away again before it is let through.
  sigset_t pipe_only, old;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old);
  bool broken = false;
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) broken = true;
    if (n <= 0) break;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  if (broken) {
    const timespec none{0, 0};
    sigtimedwait(&pipe_only, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void CloseDescriptor(int fd) {
  if (fd >= 0) close(fd);
}

int OpenDocument(const std::string& path, const std::string& directory, int& error) {
  SpawnRequest request;
  request.program = FindInSearchPath("xdg-open");
  if (request.program.empty()) return kNoDocumentOpener;
  request.argv = {"xdg-open", path};
  request.directory = directory;
  return SpawnChild(request, nullptr, error);
}

std::string SystemBatchInterpreter() { return {}; }

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string FindInSearchPath(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return {};
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + std::string(name);
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

std::string TakeStartShowState() {
  const char* value = std::getenv("NAVELO_SHOW");
  std::string state = value != nullptr ? value : "";
  unsetenv("NAVELO_SHOW");
  return state;
}

}  // namespace navelo
