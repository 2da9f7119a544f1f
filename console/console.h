// The interfaces through which the interpreter and the speech layer reach the text console and
// the keyboard. ConsoleWindow (console_window.h) is the real one; tests use fakes. The operations
// beyond the first few have harmless defaults, so a wrapper or fake that needs only the output
// stream stays small.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/display.h"

namespace navelo {

// What PictureLoad made of a file: loaded, refused (cannot be opened, not a BMP with a 40-byte
// information header, a form not handled), or an input/output failure (the file ends early).
enum class PictureResult { kLoaded, kRefused, kReadError };

class Console {
 public:
  virtual ~Console() = default;

  // The standard output stream: cp1252 bytes, with the console's control bytes (CR, LF,
  // backspace, bell).
  virtual void Write(std::string_view bytes) = 0;
  virtual void ClearScreen() = 0;
  virtual void SetTitle(std::string_view title) = 0;
  // Shows the window in its normal state and brings it to the front, or minimises it.
  virtual void ShowNormal() = 0;
  virtual void Minimize() = 0;
  // Waits, keeping the window's messages moving.
  virtual void Delay(int milliseconds) = 0;
  virtual void PumpMessages() = 0;

  // The output cursor, 1-based: GotoXY clamps into 80x25; WhereX is 81 after a character was
  // written in the last column.
  virtual void GotoXY(int /*column*/, int /*row*/) {}
  virtual int WhereX() { return 1; }
  virtual int WhereY() { return 1; }
  virtual void ClearToLineEnd() {}
  // Colour numbers 0..15 (higher bits ignored); nothing while the colours are fixed.
  virtual void SetTextColor(int /*colour*/) {}
  virtual void SetTextBackground(int /*colour*/) {}
  // The current attribute byte (background * 16 + foreground), to save and restore it.
  virtual unsigned char TextAttribute() { return 0x0F; }
  virtual void SetTextAttribute(unsigned char /*attribute*/) {}
  // A cell, 1-based: a blank and 0 outside the grid.
  virtual unsigned char ScreenChar(int /*row*/, int /*column*/) { return ' '; }
  virtual unsigned char ScreenAttr(int /*row*/, int /*column*/) { return 0; }

  // The clipboard, cp1252. ClipboardGet leaves buffer untouched when capacity is 0 or the
  // clipboard cannot be reached, and otherwise stores at most capacity - 1 bytes.
  virtual void ClipboardPut(std::string_view /*text*/) {}
  virtual void ClipboardGet(std::string& /*buffer*/, size_t /*capacity*/) {}

  // A BMP picture over the text: loaded at (0, 0), drawn by PictureShow at (x, y) pixels.
  virtual PictureResult PictureLoad(const std::filesystem::path& /*file*/) {
    return PictureResult::kRefused;
  }
  virtual void PictureShow(int /*x*/, int /*y*/) {}
  virtual void PictureClear() {}

  // The magnified line for users with low vision: a factor of 0 turns it off.
  virtual void MagnifierSetColours(int /*letter*/, int /*background*/, int /*cursor*/) {}
  virtual void MagnifierStart(int /*row*/, int /*factor*/) {}
  // Shows the text magnified with the character before position p (1-based) marked.
  virtual void MagnifiedLineShow(std::string_view /*text*/, int /*p*/) {}
  virtual void MagnifiedLineClear() {}

  // Whether the console can tell that another window took the foreground, and whether it is in
  // front now (messages are pumped first).
  virtual bool SeesForeground() { return false; }
  // The mouse pointer in screen pixels, and the screen position of the window's text area; false
  // when the console has no pointer (the terminal, headless) or no window.
  virtual bool PointerPosition(int& /*x*/, int& /*y*/) { return false; }
  virtual bool WindowOrigin(int& /*left*/, int& /*top*/) { return false; }
  virtual bool InForeground() { return true; }

  // ConsoleClose: closes the window and ends the program.
  virtual void Close() {}

  // The number by which other programs find the window (HANDLE); 0 when there is no window.
  virtual unsigned long WindowHandle() { return 0; }
};

using KeyModifiers = InputModifiers;

// The key stream: an ordinary key is one byte, a function, cursor or editing key is 0 followed by
// its key code.
class Keyboard {
 public:
  virtual ~Keyboard() = default;
  // True when a key byte is waiting. Never waits.
  virtual bool KeyPressed() = 0;
  // Takes one byte, waiting for it when none is queued.
  virtual unsigned char ReadKey() = 0;
  // The Shift, Ctrl and Alt state of the last key read.
  virtual KeyModifiers Modifiers() = 0;

  // Puts a byte in the key queue (dropped when 64 are waiting).
  virtual void KeyEnqueue(unsigned char /*byte*/) {}
  // The six-key braille typing mode: 0 off, 1 direct, 2 with the text rules.
  virtual void BrailleKeyboardSetMode(int /*mode*/) {}
  // A square-wave tone that sounds until ToneStop.
  virtual void ToneStart(int /*hertz*/) {}
  virtual void ToneStop() {}
  // A tone sounded by other means (the platform's speaker), noted where the tones are noted.
  virtual void NoteTone(int /*hertz*/) {}
};

}  // namespace navelo
