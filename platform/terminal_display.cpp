// The console drawn in a terminal with ANSI escapes (24-bit colours, cursor moves) and keys read
// raw from standard input. The terminal's own state comes back on every way out. A terminal
// smaller than the grid shows the part that fits, without wrapping or scrolling, and says on its
// last line that it is too small; a resize redraws everything.
#include <algorithm>
#include <string>

#include "platform/display.h"
#include "platform/terminal.h"
#include "platform/terminal_keys.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

class TerminalDisplay final : public Display {
 public:
  bool Open(const ScreenCells& cells, const DisplaySetup&) override {
    cells_ = &cells;
    TerminalEnterRaw();
    // Reset colours, wrap lines again, show the cursor and leave it below the grid.
    TerminalSetExitSequence("\x1b[0m\x1b[?7h\x1b[?25h\x1b[26;1H\r\n");
    TerminalWrite("\x1b[?25l\x1b[?7l\x1b[2J");
    ReadSize();
    return true;
  }

  void Close() override {
    cells_ = nullptr;
    TerminalRestore();
  }

  void WorkArea(int& width, int& height) override {
    width = 1024;
    height = 734;
  }

  void DrawRow(int row, int left, int right) override {
    if (cells_ == nullptr || right <= left) return;
    std::string out = "\x1b[?25l";
    AppendRow(out, row, left, right);
    Finish(out);
  }

  void Scrolled(bool) override { RedrawAll(); }

  void RedrawAll() override {
    if (cells_ == nullptr) return;
    std::string out = "\x1b[?25l";
    for (int row = 0; row < ScreenCells::kRows; ++row) AppendRow(out, row, 0, ScreenCells::kColumns);
    AppendTooSmallNotice(out);
    Finish(out);
  }

  void SetTitle(std::string_view utf8) override {
    std::string out = "\x1b]0;";
    for (const char c : utf8) {
      if (static_cast<unsigned char>(c) >= 32) out += c;
    }
    out += '\a';
    TerminalWrite(out);
  }

  void ShowNormal() override {}
  void Minimize() override {}
  void Beep() override { TerminalWrite("\a"); }

  void SetCaret(bool shown, int column, int row) override {
    caret_shown_ = shown;
    caret_column_ = column;
    caret_row_ = row;
    std::string out;
    Finish(out);
  }

  bool NextEvent(int timeout_ms, DisplayEvent& event) override {
    CheckResize();
    const bool got = keys_.Next(timeout_ms, event);
    CheckResize();
    return got;
  }

  bool Focused() override { return true; }

  // A terminal has no pixels: pictures are not shown.
  void ShowPicture(const PictureImage&, int, int) override {}

  // The magnified line is drawn over its row at the terminal's one size, in its colours.
  void DrawMagnifiedLine(int row, int factor, std::span<const MagnifiedRun> runs) override {
    if (cells_ == nullptr || row < 0 || row >= VisibleRows()) return;
    const int visible = std::min(columns_, static_cast<int>(ScreenCells::kColumns)) /
                        (factor > 0 ? factor : 1);
    std::string out = "\x1b[?25l\x1b[" + std::to_string(row + 1) + ";1H";
    int column = 0;
    for (const MagnifiedRun& run : runs) {
      if (run.text.empty()) continue;
      out += Sgr(run.foreground, run.background);
      std::string text;
      for (const char c : run.text) {
        if (column >= visible) break;
        text += c;
        ++column;
      }
      out += Cp1252ToUtf8(text);
    }
    out += "\x1b[0m";
    Finish(out);
  }

  bool ClipboardPut(std::string_view utf8) override {
    clipboard_ = std::string(utf8);
    return true;
  }
  bool ClipboardGet(std::string& utf8) override {
    utf8 = clipboard_;
    return true;
  }

 private:
  static std::string Sgr(const Rgb& fg, const Rgb& bg) {
    return "\x1b[38;2;" + std::to_string(fg.r) + ";" + std::to_string(fg.g) + ";" +
           std::to_string(fg.b) + ";48;2;" + std::to_string(bg.r) + ";" + std::to_string(bg.g) +
           ";" + std::to_string(bg.b) + "m";
  }

  // The terminal's size; drawing is clipped to it.
  void ReadSize() {
    int columns = ScreenCells::kColumns;
    int rows = ScreenCells::kRows;
    if (!TerminalSize(columns, rows)) {
      columns = ScreenCells::kColumns;
      rows = ScreenCells::kRows;
    }
    columns_ = columns;
    rows_ = rows;
  }

  bool TooSmall() const { return columns_ < ScreenCells::kColumns || rows_ < ScreenCells::kRows; }

  // The grid rows that are shown: those that fit, less the last line of a terminal that is too
  // small, which holds the notice.
  int VisibleRows() const {
    const int fit = std::min(rows_, static_cast<int>(ScreenCells::kRows));
    return TooSmall() ? std::max(fit - 1, 0) : fit;
  }

  void CheckResize() {
    if (!TerminalResized() || cells_ == nullptr) return;
    ReadSize();
    TerminalWrite("\x1b[0m\x1b[2J");
    RedrawAll();
  }

  // On the terminal's last line, in reverse video: the size it has and the size it needs.
  void AppendTooSmallNotice(std::string& out) const {
    if (!TooSmall()) return;
    std::string notice = "Terminal de " + std::to_string(columns_) + "x" + std::to_string(rows_) +
                         ": o console precisa de 80x25; aumente a janela.";
    if (static_cast<int>(notice.size()) > columns_) notice.resize(std::max(columns_, 0));
    out += "\x1b[" + std::to_string(rows_) + ";1H\x1b[0;7m" + notice + "\x1b[0m\x1b[K";
  }

  // Cells left..right-1 of a row, as runs of equal attribute, clipped to the terminal.
  void AppendRow(std::string& out, int row, int left, int right) const {
    if (row >= VisibleRows()) return;
    right = std::min(right, columns_);
    if (right <= left) return;
    out += "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(left + 1) + "H";
    int column = left;
    while (column < right) {
      const unsigned char attr = cells_->Attr(row, column);
      std::string text;
      while (column < right && cells_->Attr(row, column) == attr) {
        text += static_cast<char>(cells_->Char(row, column));
        ++column;
      }
      out += Sgr(cells_->colours[attr & 15], cells_->colours[attr >> 4]);
      out += Cp1252ToUtf8(text);
    }
    out += "\x1b[0m";
  }

  // Puts the cursor back under the cell awaiting a key, or leaves it hidden.
  void Finish(std::string& out) const {
    if (caret_shown_ && caret_row_ < VisibleRows() && caret_column_ < columns_) {
      out += "\x1b[" + std::to_string(caret_row_ + 1) + ";" + std::to_string(caret_column_ + 1) +
             "H\x1b[?25h";
    }
    TerminalWrite(out);
  }

  const ScreenCells* cells_ = nullptr;
  int columns_ = ScreenCells::kColumns;
  int rows_ = ScreenCells::kRows;
  bool caret_shown_ = false;
  int caret_column_ = 0;
  int caret_row_ = 0;
  StdinKeys keys_{false};
  std::string clipboard_;
};

}  // namespace

std::unique_ptr<Display> MakeTerminalDisplay() { return std::make_unique<TerminalDisplay>(); }

}  // namespace navelo
