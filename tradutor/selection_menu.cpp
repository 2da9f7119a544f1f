// The spoken selection menu: drawing its rows, speaking the selected item, and the keys that move,
// mark and end.
#include "tradutor/selection_menu.h"

#include <algorithm>

#include "tradutor/screen_review.h"

namespace navelo {
namespace {

constexpr int kSelectedColour = 14;
constexpr int kMarkedColour = 2;
constexpr int kScreenRows = 25;

// Extended key codes the menu reads.
constexpr unsigned char kHome = 71;
constexpr unsigned char kUp = 72;
constexpr unsigned char kPageUp = 73;
constexpr unsigned char kLeft = 75;
constexpr unsigned char kRight = 77;
constexpr unsigned char kEnd = 79;
constexpr unsigned char kDown = 80;
constexpr unsigned char kPageDown = 81;
constexpr unsigned char kDelete = 83;
constexpr unsigned char kTab = 9;
constexpr unsigned char kCtrlF9 = 102;
constexpr unsigned char kCtrlLeft = 115;
constexpr unsigned char kCtrlRight = 116;
constexpr unsigned char kCtrlEnd = 117;
constexpr unsigned char kCtrlPageDown = 118;
constexpr unsigned char kCtrlHome = 119;
constexpr unsigned char kCtrlPageUp = 132;

// The extended keys that end a run: F1-F12, Left, Right, Delete, Ctrl+F1-F8, Ctrl+F10-F12,
// Ctrl+Left and Ctrl+Right. Ctrl+F9 is decided apart, by Alt.
bool EndsRun(unsigned char code) {
  return (code >= 59 && code <= 70) || code == kLeft || code == kRight || code == kDelete ||
         (code >= 94 && code <= 101) || (code >= 103 && code <= 105) || code == kCtrlLeft ||
         code == kCtrlRight;
}

}  // namespace

SelectionMenu::SelectionMenu(Console& console, Keyboard& keyboard, Speech& speech)
    : screen_review([this] { ScreenReview(console_, keyboard_, speech_).Run(); }),
      console_(console),
      keyboard_(keyboard),
      speech_(speech) {}

void SelectionMenu::MenuCreate(int left, int top, int right, int bottom) {
  exists_ = true;
  has_rectangle_ = true;
  left_ = left;
  top_row_ = top;
  right_ = right;
  bottom_ = bottom;
  items_.clear();
  selection_ = 0;
  top_ = 0;
}

void SelectionMenu::MenuAdd(std::string_view text) {
  if (items_.size() >= static_cast<size_t>(kMaxItems)) return;
  items_.push_back({std::string(text), false});
}

std::string SelectionMenu::MenuGetItem(int n, bool* marked) const {
  if (n < 1 || n > Count()) {
    if (marked != nullptr) *marked = false;
    return std::string();
  }
  const Item& item = items_[static_cast<size_t>(n - 1)];
  if (marked != nullptr) *marked = item.marked;
  return item.text;
}

void SelectionMenu::MenuErase() {
  if (!has_rectangle_) return;
  // The blanks stop at the right edge of the screen instead of wrapping onto the next row, and
  // rows the console clamps onto the first or last screen row are blanked once.
  const int64_t first_column = std::clamp(left_, 1, 80);
  const int64_t width = std::min<int64_t>(static_cast<int64_t>(right_) - left_ + 1, 81 - first_column);
  const std::string blanks(static_cast<size_t>(std::max<int64_t>(width, 0)), ' ');
  if (top_row_ <= bottom_) {
    const int first = std::clamp(top_row_, 1, kScreenRows);
    const int last = std::clamp(bottom_, 1, kScreenRows);
    for (int row = first; row <= last; ++row) {
      console_.GotoXY(left_, row);
      console_.Write(blanks);
    }
  }
  console_.GotoXY(left_, top_row_);
}

void SelectionMenu::MenuFree() {
  items_.clear();
  items_.shrink_to_fit();
  exists_ = false;
}

void SelectionMenu::SetMarks(int64_t first, int64_t last, bool marked) {
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, Count() - 1);
  for (int64_t i = first; i <= last; ++i) items_[static_cast<size_t>(i)].marked = marked;
}

void SelectionMenu::DrawAndSpeak(unsigned char saved_attribute) {
  const int64_t visible = VisibleRows();
  // A row stops at the right edge of the screen: wrapping would write onto the next row, and on
  // the last row scroll the whole screen.
  const int64_t first_column = std::clamp(left_, 1, 80);
  const int64_t width = std::clamp<int64_t>(static_cast<int64_t>(right_) - left_ + 1, 0, 81 - first_column);
  std::string spoken;
  bool selected_marked = false;
  int64_t cursor_row = top_row_;
  const int64_t selected_row = selection_ - top_;
  if (selected_row >= 0 && selected_row < visible) {
    cursor_row = top_row_ + selected_row;
    if (Valid()) {
      const Item& item = items_[static_cast<size_t>(selection_)];
      spoken = item.text;
      selected_marked = item.marked;
    }
  }
  // The console clamps the cursor into its 25 rows, so rows above the first screen row or below
  // the last land on it and are overwritten by the next row written there. Only the rows that stay
  // visible are written, which keeps a rectangle of any height to at most 26 writes.
  const auto draw_row = [&](int64_t r) {
    const int64_t i = top_ + r;
    std::string line = i < Count() ? items_[static_cast<size_t>(i)].text : std::string();
    line.append(81, ' ');
    line.resize(std::min(line.size(), static_cast<size_t>(width)));
    int colour = saved_attribute & 0x0F;
    if (i == selection_) {
      colour = kSelectedColour;
    } else if (i < Count() && items_[static_cast<size_t>(i)].marked) {
      colour = kMarkedColour;
    }
    const int64_t screen_row = std::clamp<int64_t>(top_row_ + r, 1, kScreenRows);
    console_.GotoXY(left_, static_cast<int>(screen_row));
    console_.SetTextColor(colour);
    console_.Write(line);
  };
  if (visible > 0) {
    const int64_t first = std::max<int64_t>(0, 1 - static_cast<int64_t>(top_row_));
    const int64_t last_on_screen = std::min<int64_t>(visible - 1, kScreenRows - static_cast<int64_t>(top_row_));
    for (int64_t r = first; r <= last_on_screen; ++r) draw_row(r);
    if (last_on_screen < visible - 1 || first > visible - 1) draw_row(visible - 1);
  }
  if (selected_marked) speech_.LongTone();
  console_.MagnifiedLineShow(spoken, 1);
  // An empty text (an empty item, or a place beyond the ends) says nothing.
  if (!spoken.empty()) speech_.Speak(spoken);
  console_.GotoXY(left_, static_cast<int>(std::clamp<int64_t>(cursor_row, 1, kScreenRows)));
}

bool SelectionMenu::ExtendedKey(unsigned char code, const KeyModifiers& mods) {
  const bool shift = mods.shift;
  const int64_t count = Count();
  bool ends = false;
  switch (code) {
    case kUp:
      if (shift && Valid()) items_[static_cast<size_t>(selection_)].marked = false;
      --selection_;
      break;
    case kDown:
    case kTab:
      if (shift && Valid() && !items_[static_cast<size_t>(selection_)].marked) {
        speech_.LongTone();
        items_[static_cast<size_t>(selection_)].marked = true;
      }
      ++selection_;
      if (shift && Valid()) items_[static_cast<size_t>(selection_)].marked = true;
      break;
    case kPageUp: selection_ -= 10; break;
    case kPageDown: selection_ += 10; break;
    case kHome:
    case kCtrlPageUp:
      if (shift && Valid()) SetMarks(0, selection_, false);
      speech_.LongTone();
      selection_ = 0;
      break;
    case kEnd:
    case kCtrlPageDown:
      if (shift && Valid()) SetMarks(selection_, count - 1, true);
      speech_.LongTone();
      selection_ = count - 1;
      break;
    case kCtrlHome:
      if (shift) {
        if (Valid()) SetMarks(0, selection_, true);
        speech_.LongTone();
        selection_ = 0;
      }
      break;
    case kCtrlEnd:
      if (shift) {
        if (Valid()) SetMarks(selection_, count - 1, false);
        selection_ = count - 1;
        speech_.LongTone();
      }
      break;
    case kCtrlF9:
      if (mods.alt) {
        screen_review();
      } else {
        ends = true;
      }
      break;
    default: ends = EndsRun(code); break;
  }
  if (selection_ < 0) {
    selection_ = -1;
    speech_.LongTone();
  } else if (selection_ >= count) {
    selection_ = count;
    speech_.LongTone();
  }
  return ends;
}

MenuChoice SelectionMenu::MenuRun(int start) {
  const unsigned char saved = console_.TextAttribute();
  selection_ = static_cast<int64_t>(start) - 1;
  MenuChoice choice;
  for (;;) {
    const int64_t visible = VisibleRows();
    if (selection_ < top_) {
      top_ = selection_;
    } else if (selection_ >= top_ + visible) {
      top_ = selection_ - visible + 1;
    }
    if (top_ < 0) top_ = 0;
    DrawAndSpeak(saved);
    const unsigned char key = keyboard_.ReadKey();
    const KeyModifiers mods = keyboard_.Modifiers();
    if (key != 0) {
      const bool valid = Valid();
      if (key == ' ') {
        if (valid) items_[static_cast<size_t>(selection_)].marked ^= true;
      } else if (key == '+') {
        if (valid) items_[static_cast<size_t>(selection_)].marked = true;
      } else if (key == '-') {
        if (valid) items_[static_cast<size_t>(selection_)].marked = false;
      } else if (key == '*') {
        SetMarks(0, Count() - 1, true);
      } else if (key == '/') {
        SetMarks(0, Count() - 1, false);
      } else {
        choice.key = key;
        break;
      }
      continue;
    }
    const unsigned char code = keyboard_.ReadKey();
    // Shift was noted with the 0 that announced the key; Alt belongs to the same key.
    KeyModifiers code_mods = mods;
    code_mods.alt = code_mods.alt || keyboard_.Modifiers().alt;
    speech_.SpeechStop();
    if (ExtendedKey(code, code_mods)) {
      choice.code = code;
      break;
    }
  }
  console_.SetTextAttribute(saved);
  choice.item = static_cast<int>(selection_ + 1);
  console_.MagnifiedLineClear();
  choice.in_range = choice.item >= 1 && choice.item <= Count();
  return choice;
}

}  // namespace navelo
