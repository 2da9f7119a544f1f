// The display that draws nothing: the grid is kept by the console and written out at the end
// when asked. Keys come from a standard input that is not a terminal, or from nowhere.

#include "platform/display.h"
#include "platform/terminal.h"
#include "platform/terminal_keys.h"

namespace navelo {
namespace {

class HeadlessDisplay final : public Display {
 public:
  explicit HeadlessDisplay(bool read_stdin)
      // Text piped in ends its lines with LF, which is Enter there.
      : read_stdin_(read_stdin), keys_(!StdinIsTerminal()) {
    if (read_stdin_) TerminalEnterRaw();
  }

  bool Open(const ScreenCells&, const DisplaySetup&) override { return true; }
  void Close() override {}
  void WorkArea(int& width, int& height) override {
    width = 1024;
    height = 734;
  }
  void DrawRow(int, int, int) override {}
  void Scrolled(bool) override {}
  void RedrawAll() override {}
  void SetTitle(std::string_view) override {}
  void ShowNormal() override {}
  void Minimize() override {}
  void Beep() override {}
  void SetCaret(bool, int, int) override {}

  bool NextEvent(int timeout_ms, DisplayEvent& event) override {
    if (!read_stdin_) {
      // Nothing can ever come: a wait without end is reported as the end of input.
      if (timeout_ms < 0) {
        event = DisplayEvent{};
        event.type = DisplayEvent::Type::kEndOfInput;
        return true;
      }
      SleepMilliseconds(timeout_ms);
      return false;
    }
    return keys_.Next(timeout_ms, event);
  }
  bool Focused() override { return false; }

  void ShowPicture(const PictureImage&, int, int) override {}
  void DrawMagnifiedLine(int, int, std::span<const MagnifiedRun>) override {}

  // A clipboard of the process's own, so copying and pasting work without a desktop.
  bool ClipboardPut(std::string_view utf8) override {
    clipboard_ = std::string(utf8);
    return true;
  }
  bool ClipboardGet(std::string& utf8) override {
    utf8 = clipboard_;
    return true;
  }

 private:
  bool read_stdin_;
  StdinKeys keys_;
  std::string clipboard_;
};

}  // namespace

std::unique_ptr<Display> MakeHeadlessDisplay(bool read_stdin) {
  return std::make_unique<HeadlessDisplay>(read_stdin);
}

}  // namespace navelo
