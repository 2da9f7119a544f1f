// The small interface through which the console draws its 80x25 cells and hears the user: one
// implementation per backend (a window, the terminal, nothing at all).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace navelo {

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// The cells a display shows, owned by the console. Attribute bytes hold the foreground colour
// number in the low 4 bits and the background in the high 4; colours[n] is what colour number n
// looks like once the colour map is applied.
struct ScreenCells {
  static constexpr int kColumns = 80;
  static constexpr int kRows = 25;
  static constexpr int kCount = kColumns * kRows;
  std::array<unsigned char, kCount> chars{};
  std::array<unsigned char, kCount> attrs{};
  std::array<Rgb, 16> colours{};

  unsigned char Char(int row, int column) const { return chars[row * kColumns + column]; }
  unsigned char Attr(int row, int column) const { return attrs[row * kColumns + column]; }
};

// How the window is made: the font by face name and pixel size, and whether it opens maximised.
struct DisplaySetup {
  std::string font_face;  // UTF-8
  int char_width = 13;
  int char_height = 28;
  int weight = 700;
  bool maximised = true;
  // The program was started minimised: the window opens out of sight and without taking the
  // focus, and appears only when ShowNormal asks for it.
  bool start_minimised = false;
};

// Keys as the displays report them. Letters are 'A'..'Z', digits '0'..'9', the blank is ' ';
// the other keys that matter have codes from 0x100 on.
enum VirtualKey : int {
  kVkNone = 0,
  kVkSpace = ' ',
  kVkF1 = 0x100,  // kVkF1 + n - 1 is Fn, up to F12
  kVkF12 = kVkF1 + 11,
  kVkInsert = 0x110,
  kVkDelete,
  kVkHome,
  kVkEnd,
  kVkPageUp,
  kVkPageDown,
  kVkUp,
  kVkDown,
  kVkLeft,
  kVkRight,
  kVkCancel,  // Ctrl+Break
  kVkOther,
};

struct InputModifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  // The byte is the control character of a letter typed with Ctrl (Ctrl+J gives 10, as
  // Ctrl+Enter does; only the first stands for a letter).
  bool letter = false;
};

struct DisplayEvent {
  enum class Type {
    kNone,
    kKeyDown,        // key: a virtual key
    kSystemKeyDown,  // a key pressed with Alt (without Ctrl), or F10
    kKeyUp,
    kChar,           // byte: a cp1252 character or control byte the key typed
    kMouseDown,      // button: 1 left, 2 middle, 3 right
    kWheel,          // wheel: positive away from the user
    kFocusGained,    // buttons_down: a mouse button was down as the focus came
    kFocusLost,
    kClose,          // the user closed the window
    kEndOfInput,     // the key source is used up (a standard input that is not a terminal)
  };
  Type type = Type::kNone;
  int key = kVkNone;
  unsigned char byte = 0;
  int button = 0;
  int wheel = 0;
  bool buttons_down = false;
  InputModifiers mods;
};

// A picture in the display's terms: rows top first, each pixel 0xRRGGBB.
struct PictureImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// One piece of the magnified line: cp1252 text drawn in one colour.
struct MagnifiedRun {
  std::string text;
  Rgb foreground;
  Rgb background;
};

class Display {
 public:
  virtual ~Display() = default;

  // Opens the window over cells, which outlive it. False when no window can be made.
  virtual bool Open(const ScreenCells& cells, const DisplaySetup& setup) = 0;
  virtual void Close() = 0;
  // The usable area of the screen in pixels, used for the default character size.
  virtual void WorkArea(int& width, int& height) = 0;

  // Cells left..right-1 of a row changed.
  virtual void DrawRow(int row, int left, int right) = 0;
  // The cells moved up one row. slow: the user asked for the pixels to be moved rather than the
  // whole window redrawn, when the window can do so.
  virtual void Scrolled(bool slow) = 0;
  // Everything is drawn again from the cells (and the picture, when one is shown).
  virtual void RedrawAll() = 0;
  // What was drawn is on the screen now. Displays may otherwise gather quick successive draws
  // and show them together at the next event check.
  virtual void Flush() {}

  virtual void SetTitle(std::string_view utf8) = 0;
  virtual void ShowNormal() = 0;
  virtual void Minimize() = 0;
  virtual void Beep() = 0;
  // The text cursor under a cell while a key is awaited.
  virtual void SetCaret(bool shown, int column, int row) = 0;

  // Sleeps milliseconds while the window stays serviced (painted, its events kept for the next
  // NextEvent); may end early once the user has closed the window. False when the display has
  // nothing to service and the caller sleeps instead.
  virtual bool SleepServiced(int /*milliseconds*/) { return false; }

  // Waits at most timeout_ms (negative: until something happens) for the next event. False
  // when none came.
  virtual bool NextEvent(int timeout_ms, DisplayEvent& event) = 0;
  virtual bool Focused() = 0;
  // True when Focused follows the desktop's foreground window (a real window does; a terminal
  // cannot tell which window is in front).
  virtual bool SeesFocus() { return false; }

  // The picture is drawn over the text at (x, y) now and after every full redraw; an empty
  // picture removes it.
  virtual void ShowPicture(const PictureImage& picture, int x, int y) = 0;
  // Draws the magnified line over the text from the top of the given row (0-based); each
  // character is factor cells wide. It stays until those cells are drawn again.
  virtual void DrawMagnifiedLine(int row, int factor, std::span<const MagnifiedRun> runs) = 0;

  // The clipboard, in UTF-8. ClipboardGet: false when the clipboard cannot be reached; an empty
  // text when it holds no text.
  virtual bool ClipboardPut(std::string_view utf8) = 0;
  virtual bool ClipboardGet(std::string& utf8) = 0;

  // The number by which other programs find the window (the X11 window id); 0 when the display
  // has no window of its own.
  virtual unsigned long NativeWindowId() { return 0; }

  // The mouse pointer on the screen, and the top-left corner of the window's text area on the
  // screen, in pixels; false when the display has no pointer or no window.
  virtual bool PointerPosition(int& /*x*/, int& /*y*/) { return false; }
  virtual bool WindowOrigin(int& /*left*/, int& /*top*/) { return false; }
};

// The backends. The window needs a display server; the terminal draws on standard output and
// reads keys from standard input; headless draws nothing and reads keys from a standard input
// that is not a terminal (its end is reported as kEndOfInput), or from nowhere.
std::unique_ptr<Display> MakeWindowDisplay();
std::unique_ptr<Display> MakeTerminalDisplay();
std::unique_ptr<Display> MakeHeadlessDisplay(bool read_stdin);

}  // namespace navelo
