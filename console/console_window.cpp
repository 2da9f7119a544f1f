// The console: grid, keys and display wired together.
#include "console/console_window.h"

#include <algorithm>

#include "console/bmp.h"
#include "platform/audio.h"
#include "platform/terminal.h"
#include "platform/text_encoding.h"

namespace navelo {

ConsoleWindow::ConsoleWindow(Wiring wiring) : wiring_(std::move(wiring)), keys_(*this) {}

void ConsoleWindow::UseKeyScript(std::vector<ScriptedKey> keys) { script_.emplace(std::move(keys)); }

void ConsoleWindow::Open() {
  if (open_ || closed_) return;
  int work_width = 1024;
  int work_height = 734;
  wiring_.display.WorkArea(work_width, work_height);
  settings_ = ReadConsoleSettings(wiring_.settings_file(), work_width, work_height);
  grid_.SetColourMap(settings_.colour_map);
  grid_.SetColoursFixed(settings_.colours_fixed);
  grid_.SetAttribute(settings_.Attribute());
  grid_.Clear();
  DisplaySetup setup;
  setup.font_face = Cp1252ToUtf8(settings_.font_face);
  setup.char_width = std::max(settings_.char_width, 1);
  setup.char_height = std::max(settings_.char_height, 1);
  setup.weight = settings_.weight;
  setup.maximised = settings_.maximised;
  setup.start_minimised = start_minimised_;
  // A display that cannot open leaves a console that keeps its grid and keys all the same.
  wiring_.display.Open(grid_.Cells(), setup);
  open_ = true;
  if (!title_.empty()) wiring_.display.SetTitle(Cp1252ToUtf8(title_));
  wiring_.display.RedrawAll();
  keys_.SetBrailleMode(settings_.braille_mode);
  if (braille_) {
    braille_->Start();
    SendBrailleRow(grid_.CursorRow());
  }
}

void ConsoleWindow::Close() {
  if (waiting_) ShowCaret(false);
  keys_.DiscardAll();
  if (open_) wiring_.display.Close();
  open_ = false;
  closed_ = true;
  grid_.GotoXY(1, 1);
  wiring_.end_program(0);
}

void ConsoleWindow::ProgramFinished() {
  if (open_) SetTitle("Programa terminado");
}

std::string ConsoleWindow::ScreenText() const {
  std::string text;
  for (int row = 1; row <= ConsoleGrid::kRows; ++row) {
    std::string line;
    for (int column = 1; column <= ConsoleGrid::kColumns; ++column) {
      line += static_cast<char>(grid_.ScreenChar(row, column));
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += Cp1252ToUtf8(line);
    text += '\n';
  }
  return text;
}

void ConsoleWindow::DrawRow(int row, int left, int right) {
  if (right > left) SendBrailleRow(row);
  if (open_) wiring_.display.DrawRow(row, left, right);
}

void ConsoleWindow::GotoXY(int column, int row) {
  grid_.GotoXY(column, row);
  SendBrailleRow(grid_.CursorRow());
}

void ConsoleWindow::SendBrailleRow(int row) {
  if (!braille_ || !braille_->Active() || row < 0 || row >= ConsoleGrid::kRows) return;
  const auto& chars = grid_.Cells().chars;
  const auto* begin = chars.data() + row * ConsoleGrid::kColumns;
  braille_->SendRow(std::string_view(reinterpret_cast<const char*>(begin), ConsoleGrid::kColumns));
}

void ConsoleWindow::TakeBrailleKeys() {
  if (!braille_ || !braille_->Active()) return;
  std::string bytes;
  while (braille_->NextKeyBytes(bytes)) {
    for (const char b : bytes) keys_.Enqueue(static_cast<unsigned char>(b));
  }
}

void ConsoleWindow::Scrolled() {
  if (open_) wiring_.display.Scrolled(settings_.slow_scroll);
}

void ConsoleWindow::Beep() {
  if (open_) wiring_.display.Beep();
}

void ConsoleWindow::Write(std::string_view bytes) {
  wiring_.transcript.Record("write", bytes);
  Open();
  grid_.Write(bytes, *this);
  // Every flush of the output stream ends by letting the window's messages through.
  KeyPressed();
}

void ConsoleWindow::ClearScreen() {
  Open();
  grid_.Clear();
  if (open_) wiring_.display.RedrawAll();
}

void ConsoleWindow::ClearToLineEnd() {
  Open();
  grid_.ClearToLineEnd(*this);
}

void ConsoleWindow::SetTextColor(int colour) {
  Open();
  grid_.SetTextColor(colour);
}

void ConsoleWindow::SetTextBackground(int colour) {
  Open();
  grid_.SetTextBackground(colour);
}

void ConsoleWindow::SetTitle(std::string_view title) {
  title_ = std::string(title.substr(0, kTitleCapacity));
  wiring_.transcript.Record("title", title);
  if (open_) wiring_.display.SetTitle(Cp1252ToUtf8(title_));
}

void ConsoleWindow::ShowNormal() {
  if (open_) wiring_.display.ShowNormal();
}

void ConsoleWindow::Minimize() {
  if (open_) wiring_.display.Minimize();
}

void ConsoleWindow::Delay(int milliseconds) {
  milliseconds = std::clamp(milliseconds, 0, 65535);
  if (open_) wiring_.display.Flush();
  // A window that has to answer its system while the program sleeps (or it would be taken as
  // hung, and could not be closed) sleeps through the display; the keys it took wait until now.
  if (!open_ || !wiring_.display.SleepServiced(milliseconds)) SleepMilliseconds(milliseconds);
  NoteProgramWait(milliseconds);
  PumpMessages();
}

void ConsoleWindow::Dispatch(const DisplayEvent& event) {
  using Type = DisplayEvent::Type;
  switch (event.type) {
    case Type::kClose:
      Close();
      return;
    case Type::kEndOfInput:
      input_ended_ = true;
      return;
    case Type::kFocusGained:
      keys_.Handle(event);
      if (waiting_) ShowCaret(true);
      return;
    case Type::kFocusLost:
      if (waiting_) ShowCaret(false);
      keys_.Handle(event);
      return;
    default:
      keys_.Handle(event);
  }
}

void ConsoleWindow::PumpMessages() {
  if (!open_) return;
  DisplayEvent event;
  while (open_ && wiring_.display.NextEvent(0, event)) Dispatch(event);
  if (open_) TakeBrailleKeys();
}

bool ConsoleWindow::TypeScriptedKey() {
  if (!script_ || script_->UsedUp()) return false;
  const ScriptedKey& key = script_->TakeNext();
  if (key.kind == ScriptedKey::Kind::kClose) {
    Close();
    return true;
  }
  for (const char b : key.bytes) keys_.Enqueue(static_cast<unsigned char>(b), key.modifiers);
  return true;
}

bool ConsoleWindow::KeyPressed() {
  Open();
  PumpMessages();
  if (keys_.Empty() && script_ && script_->NextIsTimed() &&
      script_->MillisecondsUntilDue(ScriptedKeys::Clock::now()) == 0) {
    TypeScriptedKey();
  }
  return !keys_.Empty();
}

void ConsoleWindow::ShowCaret(bool shown) {
  if (!open_) return;
  if (shown && !wiring_.display.Focused()) return;
  wiring_.display.SetCaret(shown, std::min(grid_.CursorColumn(), ConsoleGrid::kColumns - 1),
                           grid_.CursorRow());
}

unsigned char ConsoleWindow::ReadKey() {
  if (keys_.Empty()) {
    Open();
    waiting_ = true;
    ShowCaret(true);
    while (!KeyPressed()) {
      int timeout = -1;
      bool used_up = input_ended_;
      if (script_) {
        used_up = script_->UsedUp();
        if (!used_up && !script_->NextIsTimed()) {
          TypeScriptedKey();
          continue;
        }
        if (!used_up) timeout = script_->MillisecondsUntilDue(ScriptedKeys::Clock::now());
      }
      // An active braille display can still type, whatever the other sources say.
      if (braille_ && braille_->Active()) used_up = false;
      // No key can come any more: the program ends rather than wait for ever.
      if (used_up) wiring_.end_program(3);
      if (used_up || !open_ || closed_) {
        // Only reached when end_program returns (tests): nothing more can come.
        keys_.Enqueue(27);
        break;
      }
      // The braille display has no wake-up of its own: while one is active the wait comes back
      // often enough to take its keys.
      constexpr int kBraillePollMs = 20;
      if (braille_ && braille_->Active() && (timeout < 0 || timeout > kBraillePollMs)) {
        timeout = kBraillePollMs;
      }
      DisplayEvent event;
      if (wiring_.display.NextEvent(timeout, event)) Dispatch(event);
    }
    ShowCaret(false);
    waiting_ = false;
  }
  const unsigned char byte = keys_.Take(&last_mods_);
  if (script_) script_->MarkTaken(ScriptedKeys::Clock::now());
  return byte;
}

void ConsoleWindow::ToneStart(int hertz) {
  wiring_.transcript.Record("tone", std::to_string(hertz));
  ToneStop();
  const std::vector<uint8_t> wav = BuildToneWave(hertz);
  if (wav.empty()) return;
  wiring_.tones.PlayLooping(wav);
  tone_playing_ = true;
}

void ConsoleWindow::NoteTone(int hertz) { wiring_.transcript.Record("tone", std::to_string(hertz)); }

void ConsoleWindow::ToneStop() {
  if (!tone_playing_) return;
  wiring_.tones.StopLooping();
  tone_playing_ = false;
}

void ConsoleWindow::PlayModeTone(int hertz) {
  ToneStart(hertz);
  Delay(200);
  ToneStop();
}

void ConsoleWindow::ClipboardPut(std::string_view text) {
  // The text ends at its first NUL, as the host's clipboard holds it.
  wiring_.display.ClipboardPut(Cp1252ToUtf8(text.substr(0, text.find('\0'))));
}

void ConsoleWindow::ClipboardGet(std::string& buffer, size_t capacity) {
  if (capacity == 0) return;
  std::string utf8;
  if (!wiring_.display.ClipboardGet(utf8)) return;
  std::string text = Utf8ToCp1252(utf8);
  if (text.size() > capacity - 1) text.resize(capacity - 1);
  buffer = std::move(text);
}

PictureResult ConsoleWindow::PictureLoad(const std::filesystem::path& file) {
  PictureImage image;
  const PictureResult result = LoadBmpFile(file, image);
  if (result == PictureResult::kLoaded) {
    picture_ = std::move(image);
    picture_loaded_ = true;
  }
  return result;
}

void ConsoleWindow::PictureShow(int x, int y) {
  if (!picture_loaded_) return;
  Open();
  wiring_.display.ShowPicture(picture_, x, y);
}

void ConsoleWindow::PictureClear() {
  picture_ = PictureImage{};
  picture_loaded_ = false;
  if (open_) wiring_.display.ShowPicture(picture_, 0, 0);
  PumpMessages();
}

void ConsoleWindow::MagnifierSetColours(int letter, int background, int cursor) {
  magnifier_.SetColours(letter, background, cursor);
}

void ConsoleWindow::MagnifierStart(int row, int factor) { magnifier_.Start(row, factor); }

void ConsoleWindow::MagnifiedLineShow(std::string_view text, int p) {
  if (!magnifier_.On()) return;
  const MagnifiedPieces pieces = magnifier_.Layout(text, p);
  if (!open_) return;
  const auto& colours = grid_.Cells().colours;
  const Rgb background = colours[magnifier_.Background() & 15];
  const Rgb letter = colours[magnifier_.Letter() & 15];
  const Rgb cursor = colours[magnifier_.Cursor() & 15];
  const MagnifiedRun runs[] = {{pieces.leading, letter, background},
                               {pieces.marked, cursor, background},
                               {pieces.trailing, letter, background}};
  wiring_.display.DrawMagnifiedLine(magnifier_.Row() - 1, magnifier_.Factor(), runs);
}

void ConsoleWindow::MagnifiedLineClear() {
  if (open_) wiring_.display.RedrawAll();
}

}  // namespace navelo
