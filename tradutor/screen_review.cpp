// The screen review: its key loop, word and field finding, range reading, search and jump.
#include "tradutor/screen_review.h"

#include <string>

namespace navelo {
namespace {

constexpr int kColumns = 80;
constexpr int kRows = 25;

constexpr unsigned char kEsc = 27, kEnter = 13, kTab = 9, kBackspace = 8, kBlank = ' ';
constexpr unsigned char kCtrlC = 3, kCtrlK = 11, kCtrlL = 12;
// Extended codes.
constexpr unsigned char kShiftTab = 15, kF1 = 59, kF5 = 63, kF6 = 64, kHome = 71, kUp = 72,
                        kPageUp = 73, kLeft = 75, kRight = 77, kEnd = 79, kDown = 80,
                        kPageDown = 81, kCtrlF1 = 94, kCtrlF5 = 98, kCtrlLeft = 115,
                        kCtrlRight = 116, kCtrlPageDown = 118, kCtrlPageUp = 132;

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Letters, digits and the accented letters of Portuguese (and ñ), in both cases (cp1252).
bool IsWordChar(unsigned char c) {
  if (IsAsciiLetter(c) || (c >= '0' && c <= '9')) return true;
  const unsigned char lower = (c >= 0xC0 && c <= 0xDE) ? static_cast<unsigned char>(c + 32) : c;
  switch (lower) {
    case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE7: case 0xE9: case 0xEA: case 0xED:
    case 0xF1: case 0xF3: case 0xF4: case 0xF5: case 0xFA:
      return true;
    default:
      return false;
  }
}

bool IsConsonant(unsigned char c) {
  if (!IsAsciiLetter(c)) return false;
  const char upper = static_cast<char>(c & ~32);
  return std::string_view("BCDFGHJKLMNPQRSTVWXYZ").find(upper) != std::string_view::npos;
}

// Signs that end a field: the ones that separate a label from its value, and the block of signs
// 176-191 (and the multiplication sign). The upper-case accented letters of cp1252 (192-223) are
// letters here and belong to the field.
bool EndsField(unsigned char c) {
  return c == '!' || c == ':' || c == '?' || c == '|' || (c >= 176 && c <= 191) || c == 215;
}

unsigned char FoldLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

}  // namespace

ScreenReview::ScreenReview(Console& console, Keyboard& keyboard, Speech& speech)
    : console_(console), keyboard_(keyboard), speech_(speech) {}

void ScreenReview::Run() {
  speech_.LongTone();
  row_ = console_.WhereY();
  column_ = console_.WhereX();
  const int saved_row = row_;
  const int saved_column = column_;
  for (;;) {
    console_.GotoXY(column_, row_);
    ShowMagnified(row_, column_);
    unsigned char code = 0;
    const unsigned char key = NextKey(code);
    if (!Act(key, code)) break;
    KeepInGrid();
  }
  speech_.LongTone();
  speech_.LongTone();
  console_.MagnifiedLineClear();
  console_.GotoXY(saved_column, saved_row);
}

unsigned char ScreenReview::NextKey(unsigned char& code) {
  const unsigned char key = keyboard_.ReadKey();
  code = key == 0 ? keyboard_.ReadKey() : 0;
  return key;
}

bool ScreenReview::Act(unsigned char key, unsigned char code) {
  switch (key) {
    case kEsc:
      return false;
    case kEnter:
      ++row_;
      column_ = 1;
      speech_.ShortTone();
      return true;
    case kBlank:
      ReadLine();
      return true;
    case kTab: {
      int first = 0, last = 0;
      FindField(first, last);
      column_ = last + 2;
      if (column_ <= kColumns) speech_.ShortTone();
      else GoLineEnd();
      return true;
    }
    case kCtrlK:
    case kCtrlL:
      speech_.Speak(std::to_string(row_) + " " + std::to_string(column_));
      return true;
    case kCtrlC:
      CopyScreen();
      return true;
    case kBackspace:
      break;  // the same as Left, below
    case 0:
      break;
    default:
      if (IsAsciiLetter(key)) TwoLetterCommand(key);
      else ErrorSignal();
      return true;
  }
  if (key == kBackspace) code = kLeft;
  switch (code) {
    case kLeft:
      if (column_ > 1) speech_.SpeakChar(Cell(column_ - 1));
      else speech_.LongTone();
      --column_;
      break;
    case kRight:
      if (column_ <= kColumns + 1) speech_.SpeakChar(Cell(column_));
      else speech_.LongTone();
      ++column_;
      break;
    case kUp:
      --row_;
      column_ = 1;
      if (row_ < 1) {
        speech_.LongTone();
        row_ = 1;
      } else {
        ReadLine();
      }
      break;
    case kDown:
      ++row_;
      column_ = 1;
      speech_.ShortTone();
      if (row_ > kRows) {
        speech_.LongTone();
        row_ = kRows;
      } else {
        ReadLine();
      }
      break;
    case kPageUp:
    case kPageDown:
      row_ = code == kPageUp ? 1 : kRows;
      column_ = 1;
      ReadLine();
      break;
    case kHome:
      column_ = 1;
      break;
    case kEnd:
      GoLineEnd();
      break;
    case kF1:
      // With a speech service a waiting key means the user is skipping ahead: the word is not
      // queued behind it.
      if (!(keyboard_.KeyPressed() && speech_.ServiceActive())) ReadNextWord(kColumns);
      if (column_ >= kColumns) {
        speech_.ShortTone();
        GoLineEnd();
      }
      break;
    case kCtrlLeft:
      PreviousWord();
      break;
    case kCtrlRight:
      NextWord();
      break;
    case kCtrlPageUp:
      FirstLetter(true);
      break;
    case kCtrlPageDown:
      FirstLetter(false);
      break;
    case kCtrlF1: {
      int first = 0, last = 0;
      FindField(first, last);
      ReadRange(row_, first, row_, last, true);
      break;
    }
    case kShiftTab: {
      int first = 0, last = 0;
      FindField(first, last);
      column_ = first - 2;
      speech_.ShortTone();
      break;
    }
    case kF5:
      NewSearch();
      break;
    case kCtrlF5:
      Search();
      break;
    case kF6:
      Jump();
      break;
    default:
      ErrorSignal();
      break;
  }
  return true;
}

void ScreenReview::KeepInGrid() {
  if (column_ < 1) {
    speech_.LongTone();
    Discard();
    column_ = 1;
  }
  if (column_ > kColumns + 1) {
    speech_.LongTone();
    Discard();
    column_ = kColumns;
  }
  if (row_ < 1) {
    speech_.LongTone();
    Discard();
    row_ = 1;
  }
  if (row_ > kRows) {
    speech_.LongTone();
    Discard();
    row_ = kRows;
  }
}

void ScreenReview::Discard() {
  while (keyboard_.KeyPressed()) keyboard_.ReadKey();
}

void ScreenReview::ErrorSignal() {
  speech_.LongTone();
  speech_.ShortTone();
  speech_.LongTone();
}

unsigned char ScreenReview::Cell(int column) const { return console_.ScreenChar(row_, column); }

std::string ScreenReview::RowText(int row) const {
  std::string text(kColumns, ' ');
  for (int c = 1; c <= kColumns; ++c) text[c - 1] = static_cast<char>(console_.ScreenChar(row, c));
  return text;
}

void ScreenReview::ShowMagnified(int row, int column) {
  const std::string text = RowText(row);
  const size_t lead = text.find_first_not_of(' ');
  const int n = lead == std::string::npos ? 0 : kColumns - static_cast<int>(lead);
  const int p = kColumns - n < column ? column + n - kColumns : 1;
  console_.MagnifiedLineShow(std::string_view(text).substr(kColumns - n), p);
}

void ScreenReview::GoLineEnd() {
  column_ = 1;
  for (int c = kColumns; c >= 1; --c) {
    if (Cell(c) != ' ') {
      column_ = c + 1;
      return;
    }
  }
}

void ScreenReview::ReadNextWord(int last) {
  while (column_ < last && Cell(column_) == ' ') ++column_;
  // A sign alone in the last column is still read; only blanks up to the end give nothing.
  if (column_ > last || Cell(column_) == ' ') return;
  std::string text;
  do {
    text += static_cast<char>(Cell(column_));
    console_.GotoXY(column_, row_);
    ++column_;
  } while (column_ <= last && IsWordChar(Cell(column_)));
  if (text.size() == 1) {
    // A run of one sign (a line of dashes) is heard as three of it and three clicks.
    const unsigned char sign = static_cast<unsigned char>(text[0]);
    int run = 1;
    while (column_ <= last && Cell(column_) == sign) {
      if (run < 3) text += static_cast<char>(sign);
      ++run;
      ++column_;
    }
    speech_.Speak(text);
    if (run > 3) {
      for (int i = 0; i < 3; ++i) speech_.ShortTone();
    }
    return;
  }
  bool abbreviation = true;
  for (const char c : text) abbreviation = abbreviation && IsConsonant(static_cast<unsigned char>(c));
  if (abbreviation) speech_.SpellText(text);
  else speech_.Speak(text);
}

void ScreenReview::PreviousWord() {
  int c = column_ - 1;
  while (c >= 1 && Cell(c) == ' ') --c;
  while (c >= 1 && Cell(c) != ' ') --c;
  if (c >= 1) {
    speech_.ShortTone();
    column_ = c + 1;
  } else {
    speech_.LongTone();
    column_ = 1;
  }
}

void ScreenReview::NextWord() {
  int c = column_;
  while (c <= kColumns && Cell(c) != ' ') ++c;
  while (c <= kColumns && Cell(c) == ' ') ++c;
  if (c <= kColumns) {
    speech_.ShortTone();
    column_ = c;
  } else {
    speech_.LongTone();
    GoLineEnd();
  }
}

void ScreenReview::FindField(int& first, int& last) const {
  const unsigned char attribute = console_.ScreenAttr(row_, column_);
  auto in_field = [&](int c) {
    return console_.ScreenAttr(row_, c) == attribute && !EndsField(Cell(c));
  };
  first = last = column_;
  while (first > 1 && in_field(first - 1)) --first;
  while (last < kColumns && in_field(last + 1)) ++last;
}

void ScreenReview::ReadRange(int r1, int c1, int r2, int c2, bool restore) {
  if (r1 == r2 && c2 < c1) {
    speech_.LongTone();
    return;
  }
  const int saved_row = row_;
  const int saved_column = column_;
  for (int r = r1; r <= r2; ++r) {
    const int first = r == r1 ? c1 : 1;
    const int last = r == r2 ? c2 : kColumns;
    row_ = r;
    column_ = first;
    ShowMagnified(r, first);
    if (speech_.ServiceActive()) {
      std::string text;
      for (int c = first; c <= last && c <= kColumns; ++c) text += static_cast<char>(Cell(c));
      speech_.Speak(text);
    } else {
      while (column_ <= last && !keyboard_.KeyPressed()) {
        ReadNextWord(last);
        while (column_ <= last && Cell(column_) == ' ') ++column_;
      }
    }
    if (keyboard_.KeyPressed()) break;
    speech_.ShortTone();
  }
  speech_.SpeechBusy();
  if (c2 == kColumns) GoLineEnd();
  if (restore) {
    row_ = saved_row;
    column_ = saved_column;
  }
}

void ScreenReview::TwoLetterCommand(unsigned char first) {
  unsigned char scope = FoldLetter(first);
  if (scope == 'L') scope = 'T';
  if (scope != 'I' && scope != 'T' && scope != 'F') {
    ErrorSignal();
    return;
  }
  unsigned char code = 0;
  const unsigned char what = FoldLetter(NextKey(code));
  if (what != 'T' && what != 'L' && what != 'C') {
    ErrorSignal();
    return;
  }
  int field_first = 0, field_last = 0;
  if (what == 'C') FindField(field_first, field_last);
  switch (scope) {
    case 'T':
      if (what == 'T') ReadRange(1, 1, kRows, kColumns, false);
      else if (what == 'L') ReadLine();
      else ReadRange(row_, field_first, row_, field_last, true);
      break;
    case 'I':
      if (what == 'T') ReadRange(1, 1, row_, column_ - 1, false);
      else if (what == 'L') ReadRange(row_, 1, row_, column_ - 1, true);
      else ReadRange(row_, field_first, row_, column_, true);
      break;
    default:  // 'F'
      if (what == 'T') ReadRange(row_, column_, kRows, kColumns, false);
      else if (what == 'L') ReadRange(row_, column_, row_, kColumns, true);
      else ReadRange(row_, column_, row_, field_last, true);
      break;
  }
}

void ScreenReview::NewSearch() {
  speech_.Speak("Qual texto");
  search_.clear();
  for (;;) {
    unsigned char code = 0;
    const unsigned char key = NextKey(code);
    if (key == kEnter) break;
    if (key == kEsc) return;
    if (key == 0) continue;  // cursor and function keys are not text
    if (key == kBackspace) {
      if (!search_.empty()) {
        speech_.PlayNamedSound("_DEL");
        speech_.SpeakChar(static_cast<unsigned char>(search_.back()));
        search_.pop_back();
      }
      continue;
    }
    search_ += static_cast<char>(key);
    speech_.SpeakChar(key);
  }
  Search();
}

void ScreenReview::Search() {
  if (!search_.empty()) {
    const int from_row = console_.WhereY();
    const int from_column = console_.WhereX();
    for (int r = from_row; r <= kRows; ++r) {
      const std::string text = RowText(r);
      const size_t skip = r == from_row ? static_cast<size_t>(from_column) : 0;
      const size_t at = skip <= text.size() ? text.find(search_, skip) : std::string::npos;
      if (at != std::string::npos) {
        row_ = r;
        column_ = static_cast<int>(at) + 1;
        speech_.ShortTone();
        return;
      }
    }
  }
  speech_.LongTone();
  speech_.LongTone();
}

void ScreenReview::Jump() {
  speech_.Speak("Entre linha e coluna");
  int digits[4] = {0, 0, 0, 0};
  for (int& digit : digits) {
    unsigned char code = 0;
    const unsigned char key = NextKey(code);
    if (key < '0' || key > '9') {
      speech_.LongTone();
      speech_.LongTone();
      return;
    }
    speech_.SpeakChar(key);
    digit = key - '0';
  }
  row_ = digits[0] * 10 + digits[1];
  column_ = digits[2] * 10 + digits[3];
}

void ScreenReview::CopyScreen() {
  std::string text;
  text.reserve(kRows * (kColumns + 2));
  for (int r = 1; r <= kRows; ++r) text += RowText(r) + "\r\n";
  console_.ClipboardPut(text);
}

void ScreenReview::FirstLetter(bool from_top) {
  for (int i = 0; i < kRows; ++i) {
    const int r = from_top ? 1 + i : kRows - i;
    for (int j = 0; j < kColumns; ++j) {
      const int c = from_top ? 1 + j : kColumns - j;
      if (IsAsciiLetter(console_.ScreenChar(r, c))) {
        row_ = r;
        column_ = c;
        ReadLine();
        return;
      }
    }
  }
  speech_.LongTone();  // nothing but blanks and signs on the screen
}

}  // namespace navelo
