// The process's terminal and standard streams, as the console backends need them.
#pragma once

#include <string_view>

namespace navelo {

bool StdoutIsTerminal();
bool StdinIsTerminal();
// True when standard input is the process's controlling terminal (the terminal the user types
// in), whatever standard output is: `program | tee log` still has the user's terminal.
bool StdinIsControllingTerminal();
// True when a graphical display can be reached (DISPLAY or WAYLAND_DISPLAY is set).
bool DisplayAvailable();

// Writes UTF-8 bytes to the terminal at once: standard output when it is a terminal, else the
// controlling terminal.
void TerminalWrite(std::string_view utf8);
// The size of that terminal in columns and rows; false when it cannot be told.
bool TerminalSize(int& columns, int& rows);
// True once after the terminal was resized (a resize that comes while StdinReadByte waits ends
// that wait as if no byte came in time). Resizes are watched from TerminalEnterRaw on.
bool TerminalResized();

// Puts the terminal of standard input in raw mode (no echo, no line editing, no signals from
// keys); the previous mode comes back with TerminalRestore, which also runs at process exit and
// when the process is ended or killed by a signal.
void TerminalEnterRaw();
void TerminalRestore();
// Bytes written to standard output when the terminal is restored (colours reset, cursor shown);
// at most 255 bytes are kept.
void TerminalSetExitSequence(std::string_view utf8);

// One byte from standard input: waits at most timeout_ms (negative: forever). Returns the byte,
// -1 when none came in time, -2 at end of input or on an error.
int StdinReadByte(int timeout_ms);

void SleepMilliseconds(int milliseconds);

}  // namespace navelo
