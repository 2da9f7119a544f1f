// The console and standard streams on Windows. A console gets virtual-terminal processing, so the
// terminal display's escapes work as on Linux, and its keys come as the same byte sequences.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/terminal.h"
#include "platform/win32/wide_text.h"

namespace navelo {
namespace {

HANDLE In() { return GetStdHandle(STD_INPUT_HANDLE); }
HANDLE Out() { return GetStdHandle(STD_OUTPUT_HANDLE); }

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

struct RawModeState {
  bool active = false;
  DWORD saved_in = 0;
  DWORD saved_out = 0;
  UINT saved_out_cp = 0;
  UINT saved_in_cp = 0;
  char exit_sequence[256] = {};
  size_t exit_length = 0;
  bool registered = false;
};

RawModeState& RawMode() {
  static RawModeState state;
  return state;
}

void RegisterRestore() {
  RawModeState& state = RawMode();
  if (state.registered) return;
  state.registered = true;
  std::atexit(TerminalRestore);
}

// Bytes read from the console but not handed out yet (a key may type several UTF-8 bytes).
std::deque<unsigned char>& ConsoleBytes() {
  static std::deque<unsigned char> bytes;
  return bytes;
}

// Takes the console's waiting input records; key presses that type characters add their UTF-8
// bytes. True when a byte is waiting.
bool DrainConsole(HANDLE in) {
  std::deque<unsigned char>& bytes = ConsoleBytes();
  DWORD count = 0;
  while (bytes.empty() && GetNumberOfConsoleInputEvents(in, &count) && count > 0) {
    INPUT_RECORD records[32];
    DWORD got = 0;
    if (!ReadConsoleInputW(in, records, 32, &got)) return false;
    std::wstring typed;
    for (DWORD i = 0; i < got; ++i) {
      const INPUT_RECORD& r = records[i];
      if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown && r.Event.KeyEvent.uChar.UnicodeChar != 0) {
        for (WORD n = 0; n < r.Event.KeyEvent.wRepeatCount; ++n) typed += r.Event.KeyEvent.uChar.UnicodeChar;
      }
    }
    for (unsigned char c : win32::Narrow(typed)) bytes.push_back(c);
  }
  return !bytes.empty();
}

}  // namespace

bool StdoutIsTerminal() { return IsConsole(Out()); }
bool StdinIsTerminal() { return IsConsole(In()); }

// Windows always has a desktop.
bool DisplayAvailable() { return true; }

void TerminalWrite(std::string_view utf8) {
  HANDLE out = Out();
  size_t done = 0;
  while (done < utf8.size()) {
    DWORD n = 0;
    if (!WriteFile(out, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &n, nullptr) ||
        n == 0) {
      return;
    }
    done += n;
  }
}

void TerminalEnterRaw() {
  RawModeState& state = RawMode();
  if (state.active || !StdinIsTerminal()) return;
  if (!GetConsoleMode(In(), &state.saved_in)) return;
  GetConsoleMode(Out(), &state.saved_out);
  state.saved_in_cp = GetConsoleCP();
  state.saved_out_cp = GetConsoleOutputCP();
  // No line editing, no echo, no Ctrl+C signal: keys come as virtual-terminal byte sequences.
  SetConsoleMode(In(), ENABLE_VIRTUAL_TERMINAL_INPUT);
  SetConsoleMode(Out(), state.saved_out | ENABLE_PROCESSED_OUTPUT |
                            ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  SetConsoleCP(CP_UTF8);
  SetConsoleOutputCP(CP_UTF8);
  state.active = true;
  RegisterRestore();
}

void TerminalRestore() {
  RawModeState& state = RawMode();
  if (state.active) {
    state.active = false;
    SetConsoleMode(In(), state.saved_in);
    SetConsoleMode(Out(), state.saved_out);
    SetConsoleCP(state.saved_in_cp);
    SetConsoleOutputCP(state.saved_out_cp);
  }
  if (state.exit_length > 0) {
    const size_t n = state.exit_length;
    state.exit_length = 0;
    TerminalWrite(std::string_view(state.exit_sequence, n));
  }
}

void TerminalSetExitSequence(std::string_view utf8) {
  RawModeState& state = RawMode();
  const size_t n = std::min(utf8.size(), sizeof(state.exit_sequence));
  std::memcpy(state.exit_sequence, utf8.data(), n);
  state.exit_length = n;
  if (n > 0) RegisterRestore();
}

int StdinReadByte(int timeout_ms) {
  HANDLE in = In();
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return -2;
  const ULONGLONG start = GetTickCount64();
  auto left = [&]() -> DWORD {
    if (timeout_ms < 0) return INFINITE;
    const ULONGLONG spent = GetTickCount64() - start;
    return spent >= static_cast<ULONGLONG>(timeout_ms) ? 0 : static_cast<DWORD>(timeout_ms - spent);
  };
  switch (GetFileType(in)) {
    case FILE_TYPE_CHAR:
      if (IsConsole(in)) {
        for (;;) {
          if (DrainConsole(in)) {
            const unsigned char byte = ConsoleBytes().front();
            ConsoleBytes().pop_front();
            return byte;
          }
          const DWORD wait = left();
          if (wait == 0) return -1;
          if (WaitForSingleObject(in, wait) == WAIT_FAILED) return -2;
        }
      }
      break;  // the NUL device and other character devices read like files
    case FILE_TYPE_PIPE:
      // A pipe cannot be waited on: it is looked at in short steps.
      for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return -2;
        if (available > 0) break;
        const DWORD wait = left();
        if (wait == 0) return -1;
        Sleep(wait < 10 ? wait : 10);
      }
      break;
    default:
      break;
  }
  unsigned char byte = 0;
  DWORD n = 0;
  if (!ReadFile(in, &byte, 1, &n, nullptr) || n == 0) return -2;
  return byte;
}

void SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace navelo

namespace navelo {

// A console on standard input is the one the user types in, whatever standard output is.
bool StdinIsControllingTerminal() { return StdinIsTerminal(); }

bool TerminalSize(int& columns, int& rows) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
  columns = info.srWindow.Right - info.srWindow.Left + 1;
  rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  return columns > 0 && rows > 0;
}

// The console's window size is compared with the one seen last; the first look only records it.
bool TerminalResized() {
  static int last_columns = -1;
  static int last_rows = -1;
  int columns = 0;
  int rows = 0;
  if (!TerminalSize(columns, rows)) return false;
  const bool changed = last_columns >= 0 && (columns != last_columns || rows != last_rows);
  last_columns = columns;
  last_rows = rows;
  return changed;
}

}  // namespace navelo
