// The braille display seen from the console: which rows reach it and when, and what its keys put
// in the key queue. The display is a recording fake; the headless display draws nothing.
#include "console/braille_output.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "console/console_window.h"
#include "tests/console/braille_console.h"

namespace navelo {
namespace {

using Kind = BrailleKey::Kind;

class RecordingBraille final : public BrailleDisplay {
 public:
  explicit RecordingBraille(int cells) : cells_(cells) {}
  bool Open(std::string& reason) override {
    ++opens;
    if (cells_ == 0) reason = "none";
    return cells_ > 0;
  }
  int CellCount() const override { return gone ? 0 : cells_; }
  void Write(std::span<const uint8_t> cells) override {
    rows.emplace_back(cells.begin(), cells.end());
  }
  bool NextKey(BrailleKey& key) override {
    if (gone || keys.empty()) return false;
    key = keys.front();
    keys.pop_front();
    return true;
  }
  int opens = 0;
  bool gone = false;
  std::vector<std::vector<uint8_t>> rows;
  std::deque<BrailleKey> keys;

 private:
  int cells_;
};

// Its console, with the braille display bound to it.
struct Console : BrailleConsole {
  explicit Console(BrailleDisplay& braille) : BrailleConsole(braille, "/nonexistent/navelo.ini") {}
};

TEST(BrailleOutput, KeysBecomeKeyQueueBytes) {
  auto bytes = [](BrailleKey key) { return BrailleOutput::KeyBytes(key); };
  EXPECT_EQ(bytes({Kind::kLineUp}), std::string("\0\x48", 2));
  EXPECT_EQ(bytes({Kind::kLineDown}), std::string("\0\x50", 2));
  EXPECT_EQ(bytes({Kind::kHome}), std::string("\0\x47", 2));
  EXPECT_EQ(bytes({Kind::kEnd}), std::string("\0\x4f", 2));
  EXPECT_EQ(bytes({Kind::kEnter}), "\r");
  EXPECT_EQ(bytes({Kind::kBackspace}), "\b");
  EXPECT_EQ(bytes({Kind::kEscape}), "\x1b");
  EXPECT_EQ(bytes({Kind::kBlank}), " ");
  // Chords: the braille typing cells, except dot 3 alone and dots 1-5-6.
  EXPECT_EQ(bytes({Kind::kDots, 1 | 2 | 8}), "f");
  EXPECT_EQ(bytes({Kind::kDots, 4}), ".");
  EXPECT_EQ(bytes({Kind::kDots, 1 | 16 | 32}), "@");
  EXPECT_EQ(bytes({Kind::kDots, 1 | 2 | 4 | 8 | 32}), "\xE7");  // ç
  // With the space bar: the control character of the chord's letter.
  EXPECT_EQ(bytes({Kind::kDots, 1, true}), "\x01");
  EXPECT_EQ(bytes({Kind::kDots, 1 | 2 | 8 | 16, true}), "\x07");  // g
  // Dots 7 and 8 alone have no character.
  EXPECT_EQ(bytes({Kind::kDots, 64 | 128}), "");
  EXPECT_EQ(bytes({Kind::kCharacter, 0, false, 0xE3}), "\xE3");
}

TEST(BrailleOutput, TheConsoleShowsTheDrawnRowAndTheCursorRow) {
  RecordingBraille braille(40);
  Console c(braille);
  c.console.Open();
  ASSERT_EQ(braille.opens, 1);
  // Opening shows the (blank) cursor row.
  ASSERT_EQ(braille.rows.size(), 1u);
  EXPECT_EQ(braille.rows[0], std::vector<uint8_t>(40, 0));
  c.console.Write("Casa 12");
  ASSERT_FALSE(braille.rows.empty());
  EXPECT_EQ(braille.rows.back(), CellsOf("{casa #ab", 40));
  c.console.Write("\r\n(12)");
  EXPECT_EQ(braille.rows.back(), CellsOf("\xEA#ab\xE3", 40));
  // GotoXY shows the row the cursor lands on, drawn or not.
  braille.rows.clear();
  c.console.GotoXY(5, 1);
  ASSERT_EQ(braille.rows.size(), 1u);
  EXPECT_EQ(braille.rows.back(), CellsOf("{casa #ab", 40));
  c.console.GotoXY(1, 20);
  EXPECT_EQ(braille.rows.back(), std::vector<uint8_t>(40, 0));
}

TEST(BrailleOutput, DisplayKeysReachReadKey) {
  RecordingBraille braille(40);
  Console c(braille);
  c.console.Open();
  braille.keys = {{Kind::kDots, 1 | 2 | 8}, {Kind::kLineDown}, {Kind::kEnter}};
  EXPECT_EQ(c.console.ReadKey(), 'f');
  EXPECT_EQ(c.console.ReadKey(), 0);
  EXPECT_EQ(c.console.ReadKey(), 80);
  EXPECT_EQ(c.console.ReadKey(), '\r');
  EXPECT_FALSE(c.console.KeyPressed());
}

TEST(BrailleOutput, WithoutADisplayNothingIsSentAndNothingWaits) {
  RecordingBraille braille(0);
  Console c(braille);
  c.console.Open();
  c.console.Write("Casa");
  c.console.GotoXY(1, 3);
  EXPECT_EQ(braille.opens, 1);
  EXPECT_TRUE(braille.rows.empty());
}

TEST(BrailleOutput, ADisplayThatGoesAwayIsLeftAlone) {
  RecordingBraille braille(40);
  Console c(braille);
  c.console.Open();
  braille.gone = true;
  braille.rows.clear();
  c.console.Write("Casa");
  c.console.GotoXY(1, 3);
  EXPECT_TRUE(braille.rows.empty());
  EXPECT_EQ(c.console.ScreenText().substr(0, 5), "Casa\n");
}

}  // namespace
}  // namespace navelo
