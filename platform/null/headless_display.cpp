// The display that draws nothing: the grid is kept by the console and written out at the end
// when asked. Keys come from a standard input that is not a terminal, or from nowhere.
#include <deque>

#include "platform/display.h"
#include "platform/terminal.h"
#include "platform/terminal_keys.h"

namespace navelo {
namespace {

class HeadlessDisplay final : public Display {
 public:
  explicit HeadlessDisplay(bool read_stdin)
      : read_stdin_(read_stdin), piped_(!StdinIsTerminal()) {
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
    if (pending_.empty()) {
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
      if (ended_) return false;
      std::vector<DisplayEvent> events;
      DecodeTerminalKey(StdinReadByte, timeout_ms, events, piped_);
      for (const auto& e : events) {
        if (e.type == DisplayEvent::Type::kEndOfInput) ended_ = true;
        pending_.push_back(e);
      }
      if (pending_.empty()) return false;
    }
    event = pending_.front();
    pending_.pop_front();
    return true;
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
  bool piped_;  // standard input is text piped in, not a terminal
  bool ended_ = false;
  std::deque<DisplayEvent> pending_;
  std::string clipboard_;
};

}  // namespace

std::unique_ptr<Display> MakeHeadlessDisplay(bool read_stdin) {
  return std::make_unique<HeadlessDisplay>(read_stdin);
}

}  // namespace navelo
