// The spoken line editor and the services of its function keys.
#include "tradutor/spoken_editor.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/text_encoding.h"
#include "tradutor/screen_review.h"

namespace navelo {

namespace fs = std::filesystem;

namespace {

// Key bytes and the codes that follow a 0.
constexpr int kCtrlB = 2, kCtrlC = 3, kCtrlD = 4, kBackspace = 8, kTab = 9, kCtrlEnter = 10;
constexpr int kCtrlK = 11, kEnter = 13, kCtrlS = 19, kCtrlU = 21, kCtrlV = 22, kCtrlY = 25;
constexpr int kEsc = 27, kCtrlBackslash = 28, kCtrlBackspace = 127;
constexpr int kFocusBack = 222, kIgnoredByte = 223;
constexpr int kF1 = 59, kF4 = 62, kF8 = 66, kF12 = 70, kHome = 71, kLeft = 75, kRight = 77;
constexpr int kEnd = 79, kDelete = 83, kCtrlF1 = 94, kCtrlF4 = 97, kCtrlF8 = 101, kCtrlF9 = 102;
constexpr int kCtrlF11 = 104, kAltF1 = 104, kCtrlLeft = 115, kCtrlRight = 116;
constexpr int kPaste = 254, kCopy = 255;

unsigned char FoldByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c > 223) return static_cast<unsigned char>(c - 32);
  return c;
}

// Letters of a word: a-z, A-Z and every byte from 128 up.
bool IsWordLetter(unsigned char c) {
  const unsigned char f = FoldByte(c);
  return (f >= 'A' && f <= 'Z') || c >= 128;
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The consonants a run made only of which is spelled rather than read as a word.
bool IsSpelledConsonant(unsigned char folded) {
  if (folded < 'B' || folded > 'Z') return false;
  switch (folded) {
    case 'E': case 'I': case 'O': case 'U': case 'W': case 'Y': return false;
    default: return true;
  }
}

std::string TrimTrailingBlanks(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return std::string(text.substr(0, end));
}

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (FoldByte(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(prefix[i])) {
      return false;
    }
  }
  return true;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace

PowerStatus ReadPowerStatus(const fs::path& folder) {
  PowerStatus status;
  std::error_code error;
  int charge_sum = 0;
  int charged = 0;
  bool mains_seen = false;
  bool mains_online = false;
  bool discharging = false;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::path supply = it->path();
    const std::string type = FirstLine(supply / "type");
    if (type == "Battery") {
      // A device's own battery (a mouse, a headset) says so in "scope"; only the system's count.
      if (FirstLine(supply / "scope") == "Device") continue;
      status.has_battery = true;
      const std::string capacity = FirstLine(supply / "capacity");
      if (!capacity.empty() && capacity.size() <= 3 &&
          std::all_of(capacity.begin(), capacity.end(), [](char c) { return IsDigit(c); })) {
        charge_sum += std::min(100, std::stoi(capacity));
        ++charged;
      }
      if (FirstLine(supply / "status") == "Discharging") discharging = true;
    } else if (!type.empty()) {
      const std::string online = FirstLine(supply / "online");
      if (online.empty()) continue;
      mains_seen = true;
      if (online != "0") mains_online = true;
    }
  }
  if (charged > 0) status.percent = charge_sum / charged;
  if (mains_seen) {
    status.line_online = mains_online ? 1 : 0;
  } else if (discharging) {
    status.line_online = 0;
  }
  return status;
}

// One call of EditLineSpoken: the field and everything the keys move.
class EditSession {
 public:
  EditSession(SpokenEditor& editor, std::string& text, int x, int y, int max_length)
      : editor_(editor),
        svc_(editor.svc_),
        text_(text),
        x_(x),
        y_(y),
        max_(std::clamp(max_length, 1, kEditorMaxLength)) {}

  int Run();
  // The columns the field takes on screen, known once Run has started.
  int Width() const { return width_; }

 private:
  unsigned char At(int position) const {
    return static_cast<unsigned char>(field_[static_cast<size_t>(position - 1)]);
  }
  int LastNonBlank() const {
    const size_t last = field_.find_last_not_of(' ');
    return last == std::string::npos ? 0 : static_cast<int>(last) + 1;
  }
  bool HasSelection() const { return sel_start_ > 0 && sel_end_ > 0 && sel_start_ != sel_end_; }
  void Show();
  void DrawVisible();
  int ReadFullKey(bool& shift, bool& alt);
  // Returns the key that ends the edit, or -1 to go on.
  int OrdinaryKey(int byte);
  int SpecialKey(int code, bool alt);
  void Insert(unsigned char c);
  void DeleteAtCursor(bool with_prompt);
  void ItemAtCursor();
  void NextWord();
  void PreviousWord();
  void DeleteWord();
  void Copy();
  void Paste();
  void ChangeSpeed();
  void OpenWordAtCursor();
  void SpeakField();

  SpokenEditor& editor_;
  EditorServices& svc_;
  std::string& text_;
  int x_;
  int y_;
  int max_;
  int width_ = 0;
  std::string field_;
  std::string entry_;
  int cursor_ = 1;
  int scroll_ = 1;
  int sel_start_ = 0;
  int sel_end_ = 0;
  bool first_key_ = true;
  std::string drawn_;  // what the row shows now, to skip redrawing it unchanged
};

int EditSession::Run() {
  Console& console = svc_.console;
  width_ = 79 - x_;
  if (width_ < 1) {
    // The output cursor stands in the last columns: the field goes to the start of the next row
    // rather than into no room at all.
    console.Write("\r\n");
    x_ = console.WhereX();
    y_ = console.WhereY();
    width_ = 79 - x_;
  }
  width_ = std::min(width_, max_);
  if (y_ >= ScreenCells::kRows && x_ + width_ > ScreenCells::kColumns) --width_;
  field_ = text_.substr(0, static_cast<size_t>(max_));
  field_.resize(static_cast<size_t>(max_), ' ');
  entry_ = field_;
  const bool old_no_wait = svc_.speech.SetSoundNoWait(true);

  int result = -1;
  while (result < 0) {
    scroll_ = std::min(scroll_, cursor_);
    if (cursor_ > scroll_ + width_) scroll_ = cursor_ - width_;
    Show();
    bool shift = false;
    bool alt = false;
    const int key = ReadFullKey(shift, alt);
    if (key == -1) continue;
    const bool special = key >= 256;
    const int value = special ? key - 256 : key;
    if (special) {
      if (shift) {
        if (sel_start_ == 0) {
          sel_start_ = cursor_;
          sel_end_ = 0;
        }
      } else if (value != kCopy && value != kPaste) {
        sel_start_ = sel_end_ = 0;
      }
    } else if (value != kCtrlC && value != kCtrlV && value != kFocusBack &&
               value != kIgnoredByte) {
      sel_start_ = sel_end_ = 0;
    }
    if (special) {
      result = SpecialKey(value, alt);
      if (result < 0 && shift) sel_end_ = cursor_;
    } else {
      result = OrdinaryKey(value);
    }
    first_key_ = false;
  }

  console.MagnifiedLineClear();
  console.GotoXY(x_, y_);
  const std::string shown = TrimTrailingBlanks(field_.substr(0, static_cast<size_t>(width_)));
  std::string drawn = shown;
  for (char& c : drawn) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  if (!drawn.empty()) console.Write(drawn);
  console.ClearToLineEnd();
  console.GotoXY(x_, y_);
  text_ = TrimTrailingBlanks(field_);
  svc_.speech.SetSoundNoWait(old_no_wait);
  svc_.speech.SpeechStop();
  return result;
}

void EditSession::Show() {
  Console& console = svc_.console;
  console.MagnifiedLineShow(std::string_view(field_).substr(static_cast<size_t>(scroll_ - 1)),
                            cursor_ - scroll_ + 1);
  DrawVisible();
  console.GotoXY(x_ + cursor_ - scroll_, y_);
}

// Writes the visible part of the field at (x, y), the selection on background colour 8. Blanks
// at its end are left to ClearToLineEnd, which gives the same cells, so each redraw writes only
// the text. Control bytes (a pasted tab) are shown as blanks so the row keeps its layout.
void EditSession::DrawVisible() {
  Console& console = svc_.console;
  console.GotoXY(x_, y_);
  std::string visible =
      field_.substr(static_cast<size_t>(scroll_ - 1), static_cast<size_t>(width_));
  for (char& c : visible) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  int from = 0;
  int to = 0;  // the selected columns, [from, to) within visible
  if (HasSelection()) {
    const int start = std::min(sel_start_, sel_end_);
    const int end = std::max(sel_start_, sel_end_);
    from = std::clamp(start - scroll_, 0, static_cast<int>(visible.size()));
    to = std::clamp(end - scroll_, 0, static_cast<int>(visible.size()));
  }
  // The row already shows this: a cursor move redraws nothing.
  std::string drawing = visible;
  drawing += static_cast<char>(from & 0xFF);
  drawing += static_cast<char>(from >> 8);
  drawing += static_cast<char>(to & 0xFF);
  drawing += static_cast<char>(to >> 8);
  if (drawing == drawn_) return;
  drawn_ = std::move(drawing);
  const size_t last = visible.find_last_not_of(' ');
  const int length = std::max(last == std::string::npos ? 0 : static_cast<int>(last) + 1, to);
  if (from < to) {
    const unsigned char attribute = console.TextAttribute();
    if (from > 0) console.Write(visible.substr(0, static_cast<size_t>(from)));
    console.SetTextAttribute(static_cast<unsigned char>((attribute & 0x0F) | 0x80));
    console.Write(visible.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
    console.SetTextAttribute(attribute);
    if (length > to) {
      console.Write(visible.substr(static_cast<size_t>(to), static_cast<size_t>(length - to)));
    }
  } else if (length > 0) {
    console.Write(visible.substr(0, static_cast<size_t>(length)));
  }
  if (static_cast<int>(visible.size()) < ScreenCells::kColumns) console.ClearToLineEnd();
}

// A key as one number: the byte, or 256 + the code of a special key; -1 for nothing to do.
int EditSession::ReadFullKey(bool& shift, bool& alt) {
  Keyboard& keys = svc_.keyboard;
  int key = keys.ReadKey();
  svc_.speech.SpeechStop();
  svc_.speech.SpeechStop();
  if (key == 0) {
    const int code = keys.ReadKey();
    if (code == 16 || code == 17 || code == 18) {
      // The character that Ctrl+Alt with Q, W or E types on some layouts follows its code. When
      // none follows, the key is left alone rather than waiting for a key that is not coming.
      if (!keys.KeyPressed()) return -1;
      key = keys.ReadKey();
    } else {
      key = 256 + code;
    }
  }
  const KeyModifiers mods = keys.Modifiers();
  shift = mods.shift;
  alt = mods.alt;
  return key;
}

int EditSession::OrdinaryKey(int byte) {
  Speech& speech = svc_.speech;
  switch (byte) {
    case kCtrlB: case kCtrlEnter: case kEnter: case kEsc: case kTab:
      return byte;
    case kCtrlC:
      Copy();
      return -1;
    case kCtrlV:
      Paste();
      return -1;
    case kCtrlD:
      for (int p = cursor_; p <= max_; ++p) field_[static_cast<size_t>(p - 1)] = ' ';
      speech.PlayNamedSound("_APFCPO");
      return -1;
    case kBackspace:
      if (cursor_ <= 1) {
        speech.LongTone();
      } else {
        --cursor_;
        DeleteAtCursor(false);
      }
      return -1;
    case kCtrlK:
      speech.Speak(std::to_string(cursor_));
      return -1;
    case kCtrlS: {
      const std::string rest =
          cursor_ <= max_ ? field_.substr(static_cast<size_t>(cursor_ - 1)) : std::string();
      field_ = rest;
      field_.resize(static_cast<size_t>(max_), ' ');
      cursor_ = 1;
      speech.PlayNamedSound("_APICPO");
      return -1;
    }
    case kCtrlU:
      field_ = entry_;
      cursor_ = 1;
      speech.LongTone();
      speech.LongTone();
      speech.LongTone();
      return -1;
    case kCtrlY:
      field_.assign(static_cast<size_t>(max_), ' ');
      speech.PlayNamedSound("_CPOAPA");
      cursor_ = 1;
      return -1;
    case kCtrlBackslash:
      editor_.DialTones(field_);
      return -1;
    case kCtrlBackspace:
      DeleteWord();
      return -1;
    case kFocusBack:
      speech.WaitWhileBusy();
      SpeakField();
      return -1;
    case kIgnoredByte:
      return -1;
    default:
      break;
  }
  if (first_key_ && cursor_ <= max_ &&
      field_.find_first_not_of(' ', static_cast<size_t>(cursor_ - 1)) != std::string::npos) {
    // Typing over an offered value replaces it; two clicks say so.
    speech.ShortTone();
    speech.ShortTone();
    if (byte >= 32) field_.assign(static_cast<size_t>(max_), ' ');
  }
  if (byte >= 32) Insert(static_cast<unsigned char>(byte));
  return -1;
}

int EditSession::SpecialKey(int code, bool alt) {
  Speech& speech = svc_.speech;
  switch (code) {
    case kF1:
      if (alt) return kAltF1;
      ItemAtCursor();
      return -1;
    case kF4: {
      const bool on = !speech.Echo();
      speech.SetEcho(on);
      speech.PlayNamedSound(on ? "_FALACI" : "_FALDLG");
      return -1;
    }
    case kF8: {
      const TimeParts now = svc_.clock.GetTime();
      speech.SpeakTime(now.hour, now.minute);
      return -1;
    }
    case kF12:
      OpenWordAtCursor();
      return -1;
    case kHome:
      cursor_ = 1;
      return -1;
    case kLeft:
      if (cursor_ <= 1) {
        speech.LongTone();
      } else {
        --cursor_;
        speech.SpeakChar(At(cursor_));
      }
      return -1;
    case kRight:
      if (cursor_ > max_) {
        speech.LongTone();
      } else {
        const unsigned char c = At(cursor_);
        const unsigned char folded = FoldByte(c);
        if (alt && folded >= 'A' && folded <= 'Z') {
          speech.PlayNamedSound("_FON" + std::to_string(c));
        } else {
          speech.SpeakChar(c);
        }
        ++cursor_;
      }
      return -1;
    case kEnd:
      cursor_ = LastNonBlank() + 1;
      return -1;
    case kDelete:
      if (HasSelection()) {
        const int start = std::min(sel_start_, sel_end_);
        const int end = std::max(sel_start_, sel_end_);
        cursor_ = start;
        sel_start_ = start;
        if (speech.SpeakAll()) speech.PlayNamedSound("_DEL");
        for (int i = 0; i < end - start; ++i) DeleteAtCursor(false);
        sel_end_ = start;
      } else if (cursor_ > max_) {
        speech.LongTone();
      } else {
        DeleteAtCursor(true);
      }
      return -1;
    case kCtrlF1:
      SpeakField();
      return -1;
    case kCtrlF4:
      ChangeSpeed();
      return -1;
    case kCtrlF8: {
      const DateParts today = svc_.clock.GetDate();
      speech.SpeakDate(today.day, today.month, today.year);
      return -1;
    }
    case kCtrlF9:
      if (!alt) return kCtrlF9;
      editor_.screen_review();
      drawn_.clear();
      return -1;
    case kCtrlF11:
      editor_.SpeakBattery();
      return -1;
    case kCtrlLeft:
      PreviousWord();
      return -1;
    case kCtrlRight:
      NextWord();
      return -1;
    case kPaste:
      Paste();
      return -1;
    case kCopy:
      Copy();
      return -1;
    default:
      if (code >= 120 && code <= 129) return -1;
      return code;
  }
}

void EditSession::SpeakField() { svc_.speech.Speak(TrimTrailingBlanks(field_)); }

// Inserting pushes the rest of the field right. When the field is full (its last character is not
// a blank) nothing is pushed out of it: the key is refused with the long tone instead.
void EditSession::Insert(unsigned char c) {
  if (cursor_ > max_ || field_.back() != ' ') {
    svc_.speech.LongTone();
    return;
  }
  field_.insert(static_cast<size_t>(cursor_ - 1), 1, static_cast<char>(c));
  field_.pop_back();
  DrawVisible();
  if (svc_.speech.Echo()) svc_.speech.SpeakChar(c);
  ++cursor_;
}

void EditSession::DeleteAtCursor(bool with_prompt) {
  if (cursor_ > max_) return;
  const unsigned char deleted = At(cursor_);
  field_.erase(static_cast<size_t>(cursor_ - 1), 1);
  field_.push_back(' ');
  DrawVisible();
  if (with_prompt && svc_.speech.SpeakAll()) svc_.speech.PlayNamedSound("_DEL");
  svc_.speech.SpeakChar(deleted);
}

void EditSession::ItemAtCursor() {
  Speech& speech = svc_.speech;
  // The zero byte stands for the end of the field while the item is looked for.
  const std::string text = field_ + '\0';
  const auto at = [&](int p) { return static_cast<unsigned char>(text[static_cast<size_t>(p - 1)]); };
  int p = std::min(cursor_, max_ + 1);
  while (at(p) == ' ') ++p;
  const unsigned char c = at(p);
  const unsigned char folded = FoldByte(c);
  if (c == 0) {
    speech.LongTone();
    return;
  }
  const int start = p;
  if (IsDigit(c) || c == '-') {
    ++p;
    while (IsDigit(at(p))) ++p;
    speech.Speak(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(p - start)));
  } else if ((folded >= 'A' && folded <= 'Z') || c >= 128) {
    bool only_consonants = true;
    while (IsWordLetter(at(p))) {
      if (!IsSpelledConsonant(FoldByte(at(p)))) only_consonants = false;
      ++p;
    }
    const std::string run = text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(p - start));
    if (only_consonants) {
      speech.SpellText(run);
    } else {
      speech.Speak(run);
    }
  } else {
    speech.SpellText(std::string(1, static_cast<char>(c)));
    ++p;
  }
  cursor_ = p;
}

// Word moves look at the field with a blank and "@" beyond its end (or before its start), so a
// move always stops on something.
void EditSession::NextWord() {
  const std::string text = field_ + " @";
  const auto at = [&](int p) { return static_cast<unsigned char>(text[static_cast<size_t>(p - 1)]); };
  int p = std::min(cursor_, max_ + 1);
  if (at(p) != ' ') {
    if (IsWordLetter(at(p))) {
      while (IsWordLetter(at(p))) ++p;
    } else if (IsDigit(at(p))) {
      while (IsDigit(at(p))) ++p;
    } else {
      ++p;
    }
  }
  while (at(p) == ' ') ++p;
  if (p > max_) {
    cursor_ = LastNonBlank() + 1;
    svc_.speech.LongTone();
  } else {
    cursor_ = p;
    svc_.speech.ShortTone();
  }
}

void EditSession::PreviousWord() {
  // Position p of the field is p + 2 here; positions 1 and 2 are the blank and the "@".
  const std::string text = " @" + field_;
  const auto at = [&](int p) { return static_cast<unsigned char>(text[static_cast<size_t>(p + 1)]); };
  int p = std::min(cursor_, max_ + 1) - 1;
  while (p >= 0 && at(p) == ' ') --p;
  if (p >= 1) {
    if (IsWordLetter(at(p))) {
      while (p > 1 && IsWordLetter(at(p - 1))) --p;
    } else if (IsDigit(at(p))) {
      while (p > 1 && IsDigit(at(p - 1))) --p;
    }
  }
  if (p < 1) {
    cursor_ = 1;
    svc_.speech.LongTone();
  } else {
    cursor_ = p;
    svc_.speech.ShortTone();
  }
}

void EditSession::DeleteWord() {
  if (cursor_ > 1 && cursor_ <= max_ + 1 && At(cursor_ - 1) != ' ') PreviousWord();
  const int a = cursor_;
  NextWord();
  const int b = cursor_;
  PreviousWord();
  cursor_ = a;
  for (int i = 0; i < b - a; ++i) DeleteAtCursor(i == 0);
}

void EditSession::Copy() {
  std::string copied;
  if (HasSelection()) {
    const int start = std::min(sel_start_, sel_end_);
    const int end = std::min(std::max(sel_start_, sel_end_), max_ + 1);
    copied = field_.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start));
  } else {
    copied = TrimTrailingBlanks(field_) + "\r\n";
  }
  svc_.console.ClipboardPut(copied);
}

void EditSession::Paste() {
  Speech& speech = svc_.speech;
  std::string clip;
  svc_.console.ClipboardGet(clip, static_cast<size_t>(max_) + 1);
  const size_t line_end = clip.find_first_of("\r\n");
  if (line_end != std::string::npos) clip.resize(line_end);
  if (clip.size() > static_cast<size_t>(max_)) clip.resize(static_cast<size_t>(max_));
  if (first_key_) {
    speech.ShortTone();
    speech.ShortTone();
    field_.assign(static_cast<size_t>(max_), ' ');
  }
  int start = 0;
  int end = 0;
  if (HasSelection()) {
    start = std::min(sel_start_, sel_end_);
    end = std::max(sel_start_, sel_end_);
    cursor_ = start;
  } else {
    start = end = std::min(cursor_, max_ + 1);
  }
  std::string joined = TrimTrailingBlanks(field_.substr(0, static_cast<size_t>(start - 1)));
  joined.resize(static_cast<size_t>(start - 1), ' ');
  joined += clip;
  if (end <= max_) joined += field_.substr(static_cast<size_t>(end - 1));
  const std::string kept = TrimTrailingBlanks(joined);
  sel_start_ = start;
  sel_end_ = std::min(start + static_cast<int>(clip.size()), max_ + 1);
  field_ = joined.substr(0, std::min(joined.size(), static_cast<size_t>(max_)));
  field_.resize(static_cast<size_t>(max_), ' ');
  // Text that does not fit is cut off; the long tone tells the user so.
  if (kept.size() > static_cast<size_t>(max_)) speech.LongTone();
}

void EditSession::ChangeSpeed() {
  Speech& speech = svc_.speech;
  speech.PlayNamedSound("_VELOC");
  unsigned char key = 0;
  do {
    key = speech.ReadKeySpoken();
  } while (svc_.keyboard.KeyPressed());
  if (key == kEsc || key == kEnter) return;
  // The speeds are 1 to 5: 0 and below take the configured one, anything past 5 the middle one,
  // as the speech layer's start does.
  int speed = key - '0';
  if (speed < 1) {
    const std::string configured = svc_.config.Read("TRADUTOR", "VELOCIDADE");
    speed = 0;
    for (char c : configured) {
      if (!IsDigit(static_cast<unsigned char>(c)) || speed > 100) break;
      speed = speed * 10 + (c - '0');
    }
  }
  if (speed < 1 || speed > 5) speed = 3;
  speech.SpeechRestart(speed);
}

void EditSession::OpenWordAtCursor() {
  int start = std::min(cursor_, max_);
  int end = start;
  if (At(start) == ' ') {
    svc_.speech.LongTone();
    return;
  }
  while (start > 1 && At(start - 1) != ' ') --start;
  while (end < max_ && At(end + 1) != ' ') ++end;
  std::string word = field_.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1));
  constexpr std::string_view kStripped = "\"(*-.<=>[_{";
  const size_t first = word.find_first_not_of(kStripped);
  if (first == std::string::npos) {
    svc_.speech.LongTone();
    return;
  }
  const size_t last = word.find_last_not_of(kStripped);
  word = word.substr(first, last - first + 1);
  // A closing bracket is left by the list above; an address written in brackets loses it too.
  while (!word.empty() && (word.back() == ')' || word.back() == ']' || word.back() == '}' ||
                           word.back() == '"' || word.back() == '.' || word.back() == ',')) {
    word.pop_back();
  }
  if (word.empty()) {
    svc_.speech.LongTone();
    return;
  }
  editor_.OpenItem(word);
}

SpokenEditor::SpokenEditor(EditorServices services)
    : spawn([](const SpawnRequest& request) {
        int error = 0;
        return SpawnChild(request, nullptr, error);
      }),
      current_directory([] {
        std::error_code error;
        return Utf8ToCp1252(fs::current_path(error).string());
      }),
      screen_review([services] {
        ScreenReview(services.console, services.keyboard, services.speech).Run();
      }),
      svc_(services) {}

int SpokenEditor::EditLineSpoken(std::string& text, int x, int y, int max_length) {
  EditSession session(*this, text, x, y, max_length);
  return session.Run();
}

int SpokenEditor::ReadLineSpoken(std::string& text) {
  Console& console = svc_.console;
  text.clear();
  const int x = console.WhereX();
  const int y = console.WhereY();
  EditSession session(*this, text, x, y, 255);
  const int key = session.Run();
  if (key == kEsc) {
    const size_t shown = std::min(text.size(), static_cast<size_t>(std::max(session.Width(), 0)));
    if (shown > 0) console.Write(std::string(shown, ' '));
    text.clear();
  }
  console.Write("\r\n");
  return key;
}

void SpokenEditor::DialTones(std::string_view text) {
  Speech& speech = svc_.speech;
  for (const char ch : text) {
    // A key stops the dialling at once and stays for the editor.
    if (svc_.keyboard.KeyPressed()) return;
    const unsigned char c = FoldByte(static_cast<unsigned char>(ch));
    if (c == '#' || c == '*' || IsDigit(c)) {
      speech.PlayLetterSound(std::string("dtmf_") + (c == '*' ? 'X' : static_cast<char>(c)));
      speech.WaitWhileBusy();
      svc_.console.Delay(100);
    } else if (c == ',') {
      svc_.console.Delay(1000);
    }
  }
}

void SpokenEditor::SpeakBattery() {
  Speech& speech = svc_.speech;
  const PowerStatus power = ReadPowerStatus(power_supply_dir);
  if (!power.has_battery) {
    speech.PlayNamedSound("_SEMBAT");
  } else if (power.percent >= 0) {
    speech.Speak(std::to_string(power.percent) + "%");
  }
  if (power.line_online == 0) {
    speech.WaitWhileBusy();
    speech.PlayNamedSound("_SEMENER");
  }
}

void SpokenEditor::OpenItem(std::string_view item) {
  Speech& speech = svc_.speech;
  const std::string text(item.substr(0, 255));
  if (text.empty()) return;
  const std::string directory = current_directory();
  std::string program;
  std::string parameter;
  bool has_parameter = true;
  if (StartsWithFolded(text, "HTTP://") || StartsWithFolded(text, "HTTPS://") ||
      StartsWithFolded(text, "WWW.")) {
    program = svc_.config.Read("NAVELO", "PROG.HTM");
    parameter = text;
  } else {
    const size_t dot = text.find('.');
    std::string extension = dot == std::string::npos ? text.substr(0, 3) : text.substr(dot + 1, 3);
    for (char& c : extension) c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
    if (extension == "EXE" || extension == "COM") {
      const bool absolute = (text.size() >= 2 && text[1] == ':') || text[0] == '\\' ||
                            text[0] == '/';
      if (absolute) {
        program = text;
      } else if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) {
        program = directory + text;
      } else {
        program = directory + "\\" + text;
      }
      has_parameter = false;
    } else {
      program = svc_.config.Read("NAVELO", "PROG." + extension);
      parameter = text;
    }
  }

  SpawnRequest request;
  request.directory = svc_.host.Resolve(directory).string();
  std::string executable;
  if (!program.empty()) {
    std::vector<std::string> names = {program};
    // A Windows program name is found without its ".exe" or ".com" too.
    if (!has_parameter && program.size() > 4) names.push_back(program.substr(0, program.size() - 4));
    for (const std::string& name : names) {
      const std::string path = svc_.host.Resolve(name).string();
      if (IsExecutableFile(path)) {
        executable = path;
      } else if (name.find_first_of("\\/:") == std::string::npos) {
        executable = find_in_path(Cp1252ToUtf8(name));
      }
      if (!executable.empty()) break;
    }
  }
  if (!executable.empty()) {
    request.program = executable;
    request.argv = {executable};
    if (has_parameter) request.argv.push_back(Cp1252ToUtf8(parameter));
  } else if (has_parameter) {
    // No program is set for the item, or the one set is not on this machine: the desktop's
    // opener shows it (a file when one is there, else the text as an address).
    request.program = find_in_path("xdg-open");
    std::error_code error;
    const fs::path as_file = svc_.host.Resolve(parameter);
    request.argv = {"xdg-open",
                    fs::exists(as_file, error) ? as_file.string() : Cp1252ToUtf8(parameter)};
  }
  speech.WaitWhileBusy();
  if (!request.program.empty()) spawn(request);
  speech.WaitWhileBusy();
}

}  // namespace navelo
