// Terminal and standard streams on POSIX systems.
#include "platform/terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace navelo {
namespace {

struct RawModeState {
  bool active = false;
  termios saved{};
};

RawModeState& RawMode() {
  static RawModeState state;
  return state;
}

}  // namespace

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }
bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

void TerminalWrite(std::string_view utf8) {
  size_t done = 0;
  while (done < utf8.size()) {
    const ssize_t n = write(STDOUT_FILENO, utf8.data() + done, utf8.size() - done);
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
  state.active = true;
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit(TerminalRestore);
  }
}

void TerminalRestore() {
  RawModeState& state = RawMode();
  if (!state.active) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &state.saved);
  state.active = false;
}

int StdinReadByte(int timeout_ms) {
  for (;;) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&fd, 1, timeout_ms);
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
