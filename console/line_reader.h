// The line reader of the standard input stream: the user types, sees the characters, and ends
// the line with Enter; nothing is spoken.
#pragma once

#include <string>

#include "console/console.h"

namespace navelo {

// Reads one line with ReadKey, echoing through the console. Backspace removes the last byte,
// bytes from 32 up are stored while fewer than capacity - 2 are held, other bytes are ignored.
// Returns the line without its end (the console shows CR LF after it).
std::string ConsoleReadLine(Keyboard& keyboard, Console& console, size_t capacity = 128);

}  // namespace navelo
