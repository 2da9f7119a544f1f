// The interfaces through which the interpreter and the speech layer reach the text console and
// the keyboard. The console issue fills them with the 80x25 window; tests use fakes.
#pragma once

#include <string_view>

namespace navelo {

class Console {
 public:
  virtual ~Console() = default;

  // The standard output stream: cp1252 bytes, with the console's control bytes (CR, LF,
  // backspace).
  virtual void Write(std::string_view bytes) = 0;
  virtual void ClearScreen() = 0;
  virtual void SetTitle(std::string_view title) = 0;
  // Shows the window in its normal state and brings it to the front, or minimises it.
  virtual void ShowNormal() = 0;
  virtual void Minimize() = 0;
  // Waits, keeping the window's messages moving.
  virtual void Delay(int milliseconds) = 0;
  virtual void PumpMessages() = 0;
};

struct KeyModifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

// The key stream: an ordinary key is one byte, a function, cursor or editing key is 0 followed by
// its key code.
class Keyboard {
 public:
  virtual ~Keyboard() = default;
  // True when a key byte is waiting. Never waits.
  virtual bool KeyPressed() = 0;
  // Takes one byte, waiting for it when none is queued.
  virtual unsigned char ReadKey() = 0;
  // The modifiers held when the last key was read.
  virtual KeyModifiers Modifiers() = 0;
};

}  // namespace navelo
