// The spoken selection menu: a rectangle of the console showing a window onto a list of item
// texts, moved through with the arrow and page keys, with marks, and ended by any other key.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "tradutor/speech.h"

namespace navelo {

// What ended a run of the menu. The item number is 0 for the place before the first item and
// the item count + 1 for the place after the last; key is the byte that ended the run, or 0 for
// an extended key, whose code is then in code.
struct MenuChoice {
  int item = 0;
  unsigned char key = 0;
  unsigned char code = 0;
  bool in_range = false;
};

// The single menu of the program. A fresh object has no menu; MenuCreate makes one.
class SelectionMenu {
 public:
  static constexpr int kMaxItems = 60000;

  SelectionMenu(Console& console, Keyboard& keyboard, Speech& speech);
  SelectionMenu(const SelectionMenu&) = delete;
  SelectionMenu& operator=(const SelectionMenu&) = delete;

  // What Alt+Ctrl+F9 opens from inside the menu: the screen review, unless a test puts its own
  // in place. The menu goes on when it returns.
  std::function<void()> screen_review;

  // Starts a new empty menu on that rectangle (1-based, taken as given); any earlier menu is
  // discarded.
  void MenuCreate(int left, int top, int right, int bottom);
  bool Exists() const { return exists_; }
  // Appends an unmarked item; a 60001st item is not added.
  void MenuAdd(std::string_view text);
  // The text and mark of item n (1-based); empty and unmarked outside 1..count.
  std::string MenuGetItem(int n, bool* marked = nullptr) const;
  // Lets the user choose, starting at item start (1-based), speaking as it goes.
  MenuChoice MenuRun(int start);
  // Blanks the rectangle of the last menu created, in the current attribute, and puts the cursor
  // at its top left corner.
  void MenuErase();
  // Discards the items: no menu exists any more (the rectangle is kept for MenuErase).
  void MenuFree();

  int Count() const { return static_cast<int>(items_.size()); }

 private:
  struct Item {
    std::string text;
    bool marked = false;
  };

  int64_t VisibleRows() const { return static_cast<int64_t>(bottom_) - top_row_ + 1; }
  bool Valid() const { return selection_ >= 0 && selection_ < Count(); }
  void DrawAndSpeak(unsigned char saved_attribute);
  // Marks (or unmarks) the items first..last, 0-based, both ends included.
  void SetMarks(int64_t first, int64_t last, bool marked);
  // One extended key; true when it ends the run.
  bool ExtendedKey(unsigned char code, const KeyModifiers& mods);

  Console& console_;
  Keyboard& keyboard_;
  Speech& speech_;
  bool exists_ = false;
  bool has_rectangle_ = false;  // a menu was created at least once
  int left_ = 1, top_row_ = 1, right_ = 1, bottom_ = 1;
  std::vector<Item> items_;
  // -1 is the place before the first item, Count() the place after the last.
  int64_t selection_ = 0;
  int64_t top_ = 0;  // the item shown on the first row
};

}  // namespace navelo
