// ConsoleWindow: the runtime's own text console and keyboard. It keeps the 80x25 grid, the key
// queue and the console's settings, draws through a Display (a window, the terminal, or nothing)
// and takes the user's keys from it or from a key file.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/braille_output.h"
#include "console/console.h"
#include "console/console_settings.h"
#include "console/grid.h"
#include "console/key_input.h"
#include "console/magnifier.h"
#include "console/scripted_keyboard.h"
#include "console/tone.h"
#include "platform/display.h"
#include "platform/transcript.h"

namespace navelo {

class ConsoleWindow final : public Console,
                            public Keyboard,
                            private ConsoleGrid::Painter,
                            private KeyInput::Host {
 public:
  struct Wiring {
    Display& display;
    Transcript& transcript;  // write, title and tone events
    ToneOutput& tones;
    // Where navelo.ini is read from when the window opens.
    std::function<std::filesystem::path()> settings_file;
    // Ends the program with an exit code; in the program it does not return.
    std::function<void(int)> end_program;
  };

  // The window title holds at most this many bytes; a longer one is cut.
  static constexpr size_t kTitleCapacity = 300;

  explicit ConsoleWindow(Wiring wiring);

  // Keys come from this key file as well as from the display.
  void UseKeyScript(std::vector<ScriptedKey> keys);
  // Shows the console on this braille display and takes its keys, from the moment it opens.
  void UseBraille(BrailleDisplay& display) { braille_.emplace(display); }

  // The program was started minimised: the window opens out of sight, without the focus.
  void StartMinimised() { start_minimised_ = true; }
  // ConsoleOpen: reads the settings and opens the window, once.
  void Open();
  bool IsOpen() const { return open_; }
  // The exit step of a program that ends normally: the title says so.
  void ProgramFinished();
  // The 25 rows, UTF-8, each without its trailing blanks and ended by a line feed.
  std::string ScreenText() const;
  const ConsoleGrid& Grid() const { return grid_; }
  const ConsoleSettings& Settings() const { return settings_; }
  int BrailleMode() const { return keys_.BrailleMode(); }
  // Dispatches one display event as if the display had reported it.
  void Dispatch(const DisplayEvent& event);

  // Console
  void Write(std::string_view bytes) override;
  void ClearScreen() override;
  void SetTitle(std::string_view title) override;
  void ShowNormal() override;
  void Minimize() override;
  void Delay(int milliseconds) override;
  void PumpMessages() override;
  void GotoXY(int column, int row) override;
  int WhereX() override { return grid_.WhereX(); }
  int WhereY() override { return grid_.WhereY(); }
  void ClearToLineEnd() override;
  void SetTextColor(int colour) override;
  void SetTextBackground(int colour) override;
  unsigned char TextAttribute() override { return grid_.Attribute(); }
  void SetTextAttribute(unsigned char attribute) override { grid_.SetAttribute(attribute); }
  unsigned char ScreenChar(int row, int column) override { return grid_.ScreenChar(row, column); }
  unsigned char ScreenAttr(int row, int column) override { return grid_.ScreenAttr(row, column); }
  void ClipboardPut(std::string_view text) override;
  void ClipboardGet(std::string& buffer, size_t capacity) override;
  PictureResult PictureLoad(const std::filesystem::path& file) override;
  void PictureShow(int x, int y) override;
  void PictureClear() override;
  void MagnifierSetColours(int letter, int background, int cursor) override;
  void MagnifierStart(int row, int factor) override;
  void MagnifiedLineShow(std::string_view text, int p) override;
  void MagnifiedLineClear() override;
  void Close() override;
  unsigned long WindowHandle() override { return wiring_.display.NativeWindowId(); }
  bool PointerPosition(int& x, int& y) override { return wiring_.display.PointerPosition(x, y); }
  bool WindowOrigin(int& left, int& top) override {
    return open_ && wiring_.display.WindowOrigin(left, top);
  }
  bool SeesForeground() override { return wiring_.display.SeesFocus(); }
  bool InForeground() override {
    PumpMessages();
    return wiring_.display.Focused();
  }

  // Keyboard
  bool KeyPressed() override;
  unsigned char ReadKey() override;
  KeyModifiers Modifiers() override { return last_mods_; }
  void KeyEnqueue(unsigned char byte) override { keys_.Enqueue(byte); }
  void BrailleKeyboardSetMode(int mode) override { keys_.SetBrailleMode(mode); }
  void ToneStart(int hertz) override;
  void NoteTone(int hertz) override;
  void ToneStop() override;

 private:
  // ConsoleGrid::Painter
  void DrawRow(int row, int left, int right) override;
  void Scrolled() override;
  void Beep() override;
  // KeyInput::Host
  void CloseConsole() override { Close(); }
  void PlayModeTone(int hertz) override;

  // Types the next key of the key file; false when it is used up.
  bool TypeScriptedKey();
  void ShowCaret(bool shown);
  // Sends one grid row (0-based) to the braille display when one is active.
  void SendBrailleRow(int row);
  // Moves the braille display's keys into the key queue.
  void TakeBrailleKeys();

  Wiring wiring_;
  ConsoleGrid grid_;
  ConsoleSettings settings_;
  KeyInput keys_;
  Magnifier magnifier_;
  std::optional<ScriptedKeys> script_;
  std::optional<BrailleOutput> braille_;
  std::string title_;
  PictureImage picture_;
  bool picture_loaded_ = false;
  bool open_ = false;
  bool closed_ = false;
  bool waiting_ = false;
  bool input_ended_ = false;
  bool tone_playing_ = false;
  bool start_minimised_ = false;
  KeyModifiers last_mods_;
};

}  // namespace navelo
