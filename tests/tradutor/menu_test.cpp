// The selection menu driven by scripted keys: moves, ends and their long tones, marks and Shift
// ranges, the keys that end a run, the rows and colours drawn, and erasing.
#include <algorithm>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tradutor/selection_menu.h"
#include "tests/fixtures/stub_console.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo {
namespace {

// An 80x25 grid that clamps the cursor as the real console does and keeps each cell's attribute.
class GridConsole final : public StubConsole {
 public:
  GridConsole() {
    for (auto& row : chars) row.assign(80, '.');
    for (auto& row : attrs) row.assign(80, 0);
  }
  void Write(std::string_view bytes) override {
    ++writes;
    for (char c : bytes) {
      if (column_ > 80) continue;
      chars[row_ - 1][column_ - 1] = c;
      attrs[row_ - 1][column_ - 1] = attribute;
      ++column_;
    }
  }
  void GotoXY(int column, int row) override {
    column_ = std::clamp(column, 1, 80);
    row_ = std::clamp(row, 1, 25);
  }
  int WhereX() override { return column_; }
  int WhereY() override { return row_; }
  void SetTextColor(int colour) override {
    attribute = static_cast<unsigned char>((attribute & 0xF0) | (colour & 0x0F));
  }
  unsigned char TextAttribute() override { return attribute; }
  void SetTextAttribute(unsigned char a) override { attribute = a; }
  void MagnifiedLineShow(std::string_view text, int) override { magnified = std::string(text); }
  void MagnifiedLineClear() override { magnified = "(cleared)"; }

  // Row n (1-based) from column 1, cut to width.
  std::string Row(int n, size_t width) const { return chars[n - 1].substr(0, width); }
  int Colour(int n) const { return attrs[n - 1][0] & 0x0F; }

  std::vector<std::string> chars{25};
  std::vector<std::vector<unsigned char>> attrs{25};
  unsigned char attribute = 0x17;  // white on blue
  std::string magnified;
  int writes = 0;

 private:
  int column_ = 1;
  int row_ = 1;
};

// Keys with the modifiers held while each was typed; past the end, a test failure and Esc.
class ScriptKeys final : public Keyboard {
 public:
  ScriptKeys& Byte(unsigned char c, KeyModifiers mods = {}) {
    queue_.push_back({c, mods});
    return *this;
  }
  ScriptKeys& Extended(unsigned char code, KeyModifiers mods = {}) {
    return Byte(0, mods).Byte(code, mods);
  }
  bool KeyPressed() override { return !queue_.empty(); }
  unsigned char ReadKey() override {
    if (queue_.empty()) {
      ADD_FAILURE() << "the menu waited for a key that the test did not type";
      return 27;
    }
    const auto [c, mods] = queue_.front();
    queue_.pop_front();
    last_ = mods;
    return c;
  }
  KeyModifiers Modifiers() override { return last_; }

 private:
  std::deque<std::pair<unsigned char, KeyModifiers>> queue_;
  KeyModifiers last_;
};

// Records what the menu says, as "speak:<text>", "long" and "stop", in order.
class LogSpeech final : public StubSpeech {
 public:
  using StubSpeech::StubSpeech;
  void Speak(std::string_view text) override { log.push_back("speak:" + std::string(text)); }
  void LongTone() override { log.push_back("long"); }
  void SpeechStop() override { log.push_back("stop"); }
  void ShortTone() override { log.push_back("short"); }
  // The log without the stops, which every extended key makes.
  std::vector<std::string> Heard() const {
    std::vector<std::string> heard;
    for (const auto& entry : log) {
      if (entry != "stop") heard.push_back(entry);
    }
    return heard;
  }
  std::vector<std::string> log;
};

constexpr unsigned char kUp = 72, kDown = 80, kPageUp = 73, kHome = 71, kEnd = 79;
constexpr unsigned char kCtrlHome = 119, kCtrlEnd = 117;
constexpr KeyModifiers kShift{true, false, false};
constexpr KeyModifiers kShiftCtrl{true, true, false};

class MenuTest : public ::testing::Test {
 protected:
  MenuTest() : speech(console), menu(console, keys, speech) {}

  // A menu of n items named "item1".."itemN" on rows 1..rows, 20 columns wide.
  void Make(int n, int rows = 10) {
    menu.MenuCreate(1, 1, 20, rows);
    for (int i = 1; i <= n; ++i) menu.MenuAdd("item" + std::to_string(i));
  }
  std::vector<bool> Marks() const {
    std::vector<bool> marks;
    for (int i = 1; i <= menu.Count(); ++i) {
      bool marked = false;
      menu.MenuGetItem(i, &marked);
      marks.push_back(marked);
    }
    return marks;
  }

  GridConsole console;
  ScriptKeys keys;
  LogSpeech speech;
  SelectionMenu menu;
};

using Log = std::vector<std::string>;

TEST_F(MenuTest, MovingPastTheLastItemSoundsTheLongToneAndEndsAfterTheList) {
  Make(4);
  keys.Extended(kDown).Extended(kDown).Extended(kDown).Extended(kDown).Extended(kDown).Byte(13);
  const MenuChoice choice = menu.MenuRun(1);
  EXPECT_EQ(choice.item, 5);
  EXPECT_EQ(choice.key, 13);
  EXPECT_FALSE(choice.in_range);
  EXPECT_EQ(menu.MenuGetItem(choice.item), "");
  EXPECT_EQ(speech.Heard(), (Log{"speak:item1", "speak:item2", "speak:item3", "speak:item4",
                                 "long", "long"}));
}

TEST_F(MenuTest, PageUpFromTheThirdItemGoesBeforeTheFirstAndDownComesBack) {
  Make(4);
  keys.Extended(kPageUp).Extended(kDown).Byte(13);
  const MenuChoice choice = menu.MenuRun(3);
  EXPECT_EQ(choice.item, 1);
  EXPECT_TRUE(choice.in_range);
  EXPECT_EQ(speech.Heard(), (Log{"speak:item3", "long", "speak:item1"}));
}

TEST_F(MenuTest, EveryExtendedKeyStopsSpeechAtOnce) {
  Make(4);
  keys.Extended(kDown).Byte(13);
  menu.MenuRun(1);
  EXPECT_EQ(speech.log, (Log{"speak:item1", "stop", "speak:item2"}));
}

TEST_F(MenuTest, ALetterEndsTheRunWithoutJumpingToAnItem) {
  Make(4);
  keys.Byte('i');
  const MenuChoice choice = menu.MenuRun(2);
  EXPECT_EQ(choice.item, 2);
  EXPECT_EQ(choice.key, 'i');
  EXPECT_EQ(choice.code, 0);
}

TEST_F(MenuTest, KeysThatEndTheRunReturnTheirCode) {
  for (unsigned char code : {59, 70, 75, 77, 83, 94, 101, 103, 105, 115, 116, 102}) {
    Make(4);
    keys.Extended(code);
    const MenuChoice choice = menu.MenuRun(1);
    EXPECT_EQ(choice.key, 0) << int{code};
    EXPECT_EQ(choice.code, code);
    EXPECT_EQ(choice.item, 1);
  }
}

TEST_F(MenuTest, KeysWithoutMeaningAreIgnored) {
  Make(4);
  keys.Extended(82).Extended(kCtrlHome).Extended(kCtrlEnd).Extended(30).Byte(13);
  const MenuChoice choice = menu.MenuRun(2);
  EXPECT_EQ(choice.item, 2);
  EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false, false}));
}

TEST_F(MenuTest, AltCtrlF9OpensTheScreenReviewAndTheMenuGoesOn) {
  Make(3);
  menu.screen_review = [this] { speech.log.push_back("review"); };
  keys.Extended(102, KeyModifiers{false, true, true}).Byte(13);
  const MenuChoice choice = menu.MenuRun(2);
  EXPECT_EQ(choice.key, 13);
  EXPECT_EQ(speech.Heard(), (Log{"speak:item2", "review", "speak:item2"}));
}

TEST_F(MenuTest, SpaceMarksTheItemAndItsColourFollowsTheSelection) {
  Make(4);
  keys.Byte(' ');
  keys.Extended(kDown);
  keys.Extended(kUp).Byte(13);
  const unsigned char saved = console.attribute;
  // After the blank: the marked item is selected, so colour 14; the others keep white.
  menu.MenuRun(2);
  bool marked = false;
  EXPECT_EQ(menu.MenuGetItem(2, &marked), "item2");
  EXPECT_TRUE(marked);
  EXPECT_EQ(speech.Heard(), (Log{"speak:item2", "long", "speak:item2", "speak:item3", "long",
                                 "speak:item2"}));
  EXPECT_EQ(console.attribute, saved);
  EXPECT_EQ(console.magnified, "(cleared)");

  // Drawn once more with item 3 selected: item 2 in the marked colour.
  keys.Byte(13);
  menu.MenuRun(3);
  EXPECT_EQ(console.Colour(1), 7);
  EXPECT_EQ(console.Colour(2), 2);
  EXPECT_EQ(console.Colour(3), 14);
  EXPECT_EQ(console.attrs[2][0] >> 4, 1) << "the background stays the current one";
}

TEST_F(MenuTest, PlusMinusStarAndSlashSetMarks) {
  Make(4);
  keys.Byte('*').Byte('-').Byte(13);
  menu.MenuRun(2);
  EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true, true}));
  keys.Byte('/').Byte('+').Byte(13);
  menu.MenuRun(4);
  EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false, true}));
}

TEST_F(MenuTest, MarksPersistBetweenRuns) {
  Make(3);
  keys.Byte(' ').Byte(27);
  menu.MenuRun(1);
  keys.Byte(13);
  speech.log.clear();
  menu.MenuRun(1);
  EXPECT_EQ(speech.Heard(), (Log{"long", "speak:item1"}));
}

TEST_F(MenuTest, ShiftDownFromTheFirstItemMarksTwoItems) {
  Make(4);
  keys.Extended(kDown, kShift).Byte(13);
  const MenuChoice choice = menu.MenuRun(1);
  EXPECT_EQ(choice.item, 2);
  EXPECT_EQ(Marks(), (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(speech.Heard(), (Log{"speak:item1", "long", "long", "speak:item2"}));
}

TEST_F(MenuTest, ShiftUpUnmarksTheItemItLeaves) {
  Make(4);
  keys.Byte('*').Extended(kUp, kShift).Byte(13);
  menu.MenuRun(3);
  EXPECT_EQ(Marks(), (std::vector<bool>{true, true, false, true}));
}

TEST_F(MenuTest, ShiftEndMarksToTheLastAndShiftHomeUnmarksFromTheFirst) {
  Make(5);
  keys.Extended(kEnd, kShift).Byte(13);
  EXPECT_EQ(menu.MenuRun(2).item, 5);
  EXPECT_EQ(Marks(), (std::vector<bool>{false, true, true, true, true}));

  keys.Extended(kHome, kShift).Byte(13);
  EXPECT_EQ(menu.MenuRun(3).item, 1);
  EXPECT_EQ(Marks(), (std::vector<bool>{false, false, false, true, true}));
}

TEST_F(MenuTest, HomeAndEndWithoutShiftOnlyMoveWithTheLongTone) {
  Make(5);
  keys.Extended(kEnd).Extended(kHome).Byte(13);
  EXPECT_EQ(menu.MenuRun(3).item, 1);
  EXPECT_EQ(Marks(), (std::vector<bool>(5, false)));
  EXPECT_EQ(speech.Heard(), (Log{"speak:item3", "long", "speak:item5", "long", "speak:item1"}));
}

TEST_F(MenuTest, ShiftCtrlHomeMarksUpToTheSelectionAndShiftCtrlEndUnmarksFromIt) {
  Make(5);
  keys.Extended(kCtrlHome, kShiftCtrl).Byte(13);
  EXPECT_EQ(menu.MenuRun(3).item, 1);
  EXPECT_EQ(Marks(), (std::vector<bool>{true, true, true, false, false}));

  keys.Extended(kCtrlEnd, kShiftCtrl).Byte(13);
  EXPECT_EQ(menu.MenuRun(2).item, 5);
  EXPECT_EQ(Marks(), (std::vector<bool>{true, false, false, false, false}));
}

TEST_F(MenuTest, AnEmptyMenuSaysNothingAndEveryMoveEndsWithTheLongTone) {
  menu.MenuCreate(1, 1, 20, 3);
  keys.Extended(kUp).Extended(kDown).Extended(kDown).Byte(13);
  const MenuChoice choice = menu.MenuRun(1);
  EXPECT_FALSE(choice.in_range);
  EXPECT_EQ(choice.item, 1);
  EXPECT_EQ(speech.Heard(), (Log{"long", "long", "long"}));
}

TEST_F(MenuTest, AStartItemOutsideTheListSelectsNothingUntilTheUserMoves) {
  Make(3);
  keys.Extended(kUp).Extended(kUp).Byte(13);
  const MenuChoice choice = menu.MenuRun(100);
  EXPECT_EQ(choice.item, 3);
  EXPECT_EQ(speech.Heard(), (Log{"long", "speak:item3"}));
}

TEST_F(MenuTest, ALongListScrollsItsWindow) {
  Make(12, 3);
  keys.Extended(81).Byte(13);  // Page Down
  EXPECT_EQ(menu.MenuRun(1).item, 11);
  // Item 11 selected on the bottom row.
  EXPECT_EQ(console.Row(1, 20), "item9               ");
  EXPECT_EQ(console.Row(3, 20), "item11              ");
  EXPECT_EQ(console.Colour(3), 14);
  EXPECT_EQ(console.WhereY(), 3);
}

TEST_F(MenuTest, RowsBelowTheScreenAreDrawnOnTheLastRow) {
  menu.MenuCreate(1, 1, 20, 30);
  for (int i = 1; i <= 30; ++i) menu.MenuAdd("item" + std::to_string(i));
  keys.Byte(13);
  menu.MenuRun(1);
  EXPECT_EQ(console.Row(24, 20), "item24              ");
  EXPECT_EQ(console.Row(25, 20), "item30              ");
  EXPECT_LE(console.writes, 26);
}

TEST_F(MenuTest, AHugeRectangleStillDrawsOnlyTheScreen) {
  menu.MenuCreate(-5, -1000000, 1000000, 1000000);
  menu.MenuAdd("um");
  keys.Byte(13);
  menu.MenuRun(1);
  EXPECT_LE(console.writes, 26);
  EXPECT_EQ(console.Row(1, 3), "   ");  // the rows clamped onto row 1 end with a blank row
  EXPECT_EQ(console.chars[0].size(), 80u);
}

TEST_F(MenuTest, RowsAreCutToTheWidthAndStopAtTheScreenEdge) {
  menu.MenuCreate(75, 1, 90, 1);
  menu.MenuAdd("abcdefghij");
  keys.Byte(13);
  menu.MenuRun(1);
  EXPECT_EQ(console.chars[0].substr(74), "abcdef");
  EXPECT_EQ(console.Row(2, 3), "...");
}

TEST_F(MenuTest, EraseBlanksTheRectangleAndFreeDiscardsTheItems) {
  Make(3, 2);
  keys.Byte(13);
  menu.MenuRun(1);
  menu.MenuErase();
  menu.MenuFree();
  EXPECT_EQ(console.Row(1, 21), std::string(20, ' ') + ".");
  EXPECT_EQ(console.Row(2, 20), std::string(20, ' '));
  EXPECT_EQ(console.Row(3, 1), ".");
  EXPECT_EQ(console.WhereX(), 1);
  EXPECT_EQ(console.WhereY(), 1);
  EXPECT_FALSE(menu.Exists());
  EXPECT_EQ(menu.Count(), 0);
}

TEST_F(MenuTest, EraseBeforeAnyMenuLeavesTheScreenAlone) {
  menu.MenuErase();
  EXPECT_EQ(console.writes, 0);
}

TEST_F(MenuTest, ItemsBeyondTheLimitAreNotAdded) {
  menu.MenuCreate(1, 1, 20, 3);
  for (int i = 0; i < SelectionMenu::kMaxItems + 5; ++i) menu.MenuAdd("x");
  EXPECT_EQ(menu.Count(), SelectionMenu::kMaxItems);
  bool marked = true;
  EXPECT_EQ(menu.MenuGetItem(0, &marked), "");
  EXPECT_FALSE(marked);
  EXPECT_EQ(menu.MenuGetItem(SelectionMenu::kMaxItems + 1), "");
}

TEST_F(MenuTest, ANewMenuReplacesTheOldOne) {
  Make(3);
  keys.Byte(' ').Byte(13);
  menu.MenuRun(1);
  Make(2);
  EXPECT_EQ(Marks(), (std::vector<bool>{false, false}));
}

}  // namespace
}  // namespace navelo
