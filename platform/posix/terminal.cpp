// Terminal and standard streams on POSIX systems.
#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <ctime>

namespace navelo {
namespace {

struct RawModeState {
  volatile sig_atomic_t active = 0;
  termios saved{};
  char exit_sequence[256] = {};
  size_t exit_length = 0;
};

RawModeState& RawMode() {
  static RawModeState state;
  return state;
}

volatile sig_atomic_t g_resized = 0;

void NoteResize(int) { g_resized = 1; }

// Where the terminal is drawn: standard output when it is a terminal, else the controlling
// terminal, opened once; standard output again when there is none.
int OutputDescriptor() {
  static const int fd = [] {
    if (isatty(STDOUT_FILENO) == 1) return STDOUT_FILENO;
    const int tty = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    return tty >= 0 ? tty : STDOUT_FILENO;
  }();
  return fd;
}

// Only async-signal-safe calls: it runs from signal handlers too.
void RestoreNow() {
  RawModeState& state = RawMode();
  if (state.active) {
    state.active = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &state.saved);
  }
  if (state.exit_length > 0) {
    const size_t n = state.exit_length;
    state.exit_length = 0;
    ssize_t ignored = write(OutputDescriptor(), state.exit_sequence, n);
    (void)ignored;
  }
}


void RestoreOnSignal(int signal_number) {
  RestoreNow();
  // The handler was installed to run once; the signal then does what it would have done.
  raise(signal_number);
}

void InstallSignalHandlers() {
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT,
                                     SIGSEGV, SIGBUS, SIGFPE, SIGILL};
  for (const int signal_number : kSignals) {
    struct sigaction action{};
    action.sa_handler = RestoreOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal_number, &action, nullptr);
  }
}

void RegisterRestore() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  std::atexit(TerminalRestore);
  InstallSignalHandlers();
}

}  // namespace

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }
bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StdinIsControllingTerminal() {
  // Only the controlling terminal tells the session it belongs to.
  if (!StdinIsTerminal()) return false;
  const pid_t session = tcgetsid(STDIN_FILENO);
  return session != -1 && session == getsid(0);
}

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

void TerminalWrite(std::string_view utf8) {
  size_t done = 0;
  while (done < utf8.size()) {
    const ssize_t n = write(OutputDescriptor(), utf8.data() + done, utf8.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void TerminalEnterRaw() {
  RawModeState& state = RawMode();
  if (state.active || !StdinIsTerminal()) return;
  if (tcgetattr(STDIN_FILENO, &state.saved) != 0) return;
  termios raw = state.saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return;
  state.active = 1;
  RegisterRestore();
  struct sigaction action{};
  action.sa_handler = NoteResize;
  sigemptyset(&action.sa_mask);
  sigaction(SIGWINCH, &action, nullptr);
}

void TerminalRestore() { RestoreNow(); }

bool TerminalSize(int& columns, int& rows) {
  winsize size{};
  if (ioctl(OutputDescriptor(), TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return false;
  }
  columns = size.ws_col;
  rows = size.ws_row;
  return true;
}

bool TerminalResized() {
  if (!g_resized) return false;
  g_resized = 0;
  return true;
}

void TerminalSetExitSequence(std::string_view utf8) {
  OutputDescriptor();  // chosen now, so the signal handlers only read it
  RawModeState& state = RawMode();
  const size_t n = std::min(utf8.size(), sizeof(state.exit_sequence));
  std::memcpy(state.exit_sequence, utf8.data(), n);
  state.exit_length = n;
  if (n > 0) RegisterRestore();
}

int StdinReadByte(int timeout_ms) {
  for (;;) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&fd, 1, timeout_ms);
    if (ready < 0 && errno == EINTR && g_resized) return -1;
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -2;
    if (ready == 0) return -1;
    unsigned char byte = 0;
    const ssize_t n = read(STDIN_FILENO, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -2;
    return byte;
  }
}

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace navelo
