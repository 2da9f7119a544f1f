// The screen review over a grid the test fills: words, signs and abbreviations, fields, ranges
// and the two-letter commands, moves and their edges, search kept between reviews, jump, position,
// the copy of the screen, and the cursor put back on leaving.
#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tradutor/screen_review.h"
#include "tests/fixtures/stub_console.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo {
namespace {

// An 80x25 grid of characters and attributes that the test fills directly.
class ReviewConsole final : public StubConsole {
 public:
  ReviewConsole() {
    for (auto& row : chars) row.assign(80, ' ');
    for (auto& row : attrs) row.assign(80, 0x07);
  }
  void Write(std::string_view) override { ++writes; }
  void GotoXY(int column, int row) override {
    column_ = std::clamp(column, 1, 80);
    row_ = std::clamp(row, 1, 25);
  }
  int WhereX() override { return column_; }
  int WhereY() override { return row_; }
  unsigned char ScreenChar(int row, int column) override {
    if (row < 1 || row > 25 || column < 1 || column > 80) return ' ';
    return static_cast<unsigned char>(chars[row - 1][column - 1]);
  }
  unsigned char ScreenAttr(int row, int column) override {
    if (row < 1 || row > 25 || column < 1 || column > 80) return 0;
    return attrs[row - 1][column - 1];
  }
  void ClipboardPut(std::string_view text) override { clipboard = std::string(text); }
  void MagnifiedLineShow(std::string_view text, int p) override {
    magnified = std::string(text);
    shown.emplace_back(std::string(text), p);
  }
  void MagnifiedLineClear() override { magnified = "(cleared)"; }

  // Puts text on row r from column c (1-based) with an attribute.
  void Put(int r, int c, std::string_view text, unsigned char attribute = 0x07) {
    for (size_t i = 0; i < text.size(); ++i) {
      chars[r - 1][c - 1 + i] = text[i];
      attrs[r - 1][c - 1 + i] = attribute;
    }
  }

  std::vector<std::string> chars{25};
  std::vector<std::vector<unsigned char>> attrs{25};
  std::string clipboard;
  std::string magnified;
  std::vector<std::pair<std::string, int>> shown;
  int writes = 0;

 private:
  int column_ = 1;
  int row_ = 1;
};

// Keys as a patient user types them: each key (one byte, or 0 and a code) is typed only when the
// review waits for one, so nothing is waiting while it speaks. Ahead() types several keys at once:
// the first is read and the others are then waiting.
class ReviewKeys final : public Keyboard {
 public:
  ReviewKeys& Type(std::string_view bytes) {
    for (const char c : bytes) later.emplace_back(1, c);
    return *this;
  }
  ReviewKeys& Extended(unsigned char code) {
    later.push_back(std::string{'\0', static_cast<char>(code)});
    return *this;
  }
  ReviewKeys& Ahead(std::string_view bytes) {
    later.emplace_back(bytes);
    return *this;
  }
  bool KeyPressed() override { return !queue.empty(); }
  unsigned char ReadKey() override {
    if (queue.empty() && !later.empty()) {
      queue.insert(queue.end(), later.front().begin(), later.front().end());
      later.pop_front();
    }
    if (queue.empty()) {
      ADD_FAILURE() << "the review waited for a key that the test did not type";
      return 27;
    }
    const auto c = static_cast<unsigned char>(queue.front());
    queue.pop_front();
    return c;
  }
  KeyModifiers Modifiers() override { return {}; }
  std::deque<char> queue;         // waiting now
  std::deque<std::string> later;  // typed when the review waits
};

// Records what the review says, in order: "speak:", "spell:", "char:<n>", "sound:", "short",
// "long". Like the real layer, the long tone throws away the keys typed ahead, unless a test
// keeps them to see what the review does with a waiting key.
class ReviewSpeech final : public StubSpeech {
 public:
  ReviewSpeech(Console& console, ReviewKeys& keys) : StubSpeech(console), keys_(keys) {}
  void Speak(std::string_view text) override { log.push_back("speak:" + std::string(text)); }
  void SpellText(std::string_view text) override { log.push_back("spell:" + std::string(text)); }
  void SpeakChar(unsigned char c) override { log.push_back("char:" + std::to_string(c)); }
  void PlayNamedSound(std::string_view name) override {
    log.push_back("sound:" + std::string(name));
  }
  void ShortTone() override { log.push_back("short"); }
  void LongTone() override {
    log.push_back("long");
    if (long_tone_discards) keys_.queue.clear();
  }
  bool ServiceActive() const override { return service; }

  std::vector<std::string> log;
  bool service = false;
  bool long_tone_discards = false;

 private:
  ReviewKeys& keys_;
};

using Log = std::vector<std::string>;

constexpr unsigned char kF1 = 59, kF5 = 63, kF6 = 64, kUp = 72, kDown = 80, kLeft = 75,
                        kRight = 77, kPageUp = 73, kEnd = 79, kCtrlF1 = 94, kCtrlF5 = 98,
                        kCtrlLeft = 115, kCtrlRight = 116, kShiftTab = 15;

class ScreenReviewTest : public ::testing::Test {
 protected:
  ScreenReviewTest() : speech(console, keys), review(console, keys, speech) {}

  // Starts a review at (column, row) with the keys typed so far and Esc after them; returns what
  // was heard between the entry's long tone and the two of the exit.
  Log Review(int column, int row) {
    console.GotoXY(column, row);
    keys.Type("\x1B");
    speech.log.clear();
    review.Run();
    EXPECT_GE(speech.log.size(), 3u);
    if (speech.log.size() < 3) return speech.log;
    EXPECT_EQ(speech.log.front(), "long");
    EXPECT_EQ(speech.log[speech.log.size() - 1], "long");
    EXPECT_EQ(speech.log[speech.log.size() - 2], "long");
    return Log(speech.log.begin() + 1, speech.log.end() - 2);
  }

  ReviewConsole console;
  ReviewKeys keys;
  ReviewSpeech speech;
  ScreenReview review;
};

TEST_F(ScreenReviewTest, EscPutsTheCursorBackAndClearsTheMagnifiedLine) {
  console.Put(3, 1, "   abc");
  keys.Extended(kDown).Extended(kRight);
  EXPECT_EQ(Review(7, 2), (Log{"short", "speak:abc", "short", "char:32"}));
  EXPECT_EQ(console.WhereX(), 7);
  EXPECT_EQ(console.WhereY(), 2);
  EXPECT_EQ(console.magnified, "(cleared)");
  EXPECT_EQ(console.writes, 0) << "the review never writes to the console";
}

TEST_F(ScreenReviewTest, TheMagnifiedLineShowsTheRowWithoutLeadingBlanksAndMarksTheColumn) {
  console.Put(2, 11, "texto");
  keys.Extended(kF6).Type("0213");
  Review(1, 1);
  // Column 13 is the third character of the row without its ten leading blanks.
  ASSERT_GE(console.shown.size(), 2u);
  EXPECT_EQ(console.shown[0], std::make_pair(std::string(80, ' ').substr(80), 1));
  EXPECT_EQ(console.shown.back(), std::make_pair("texto" + std::string(65, ' '), 3));
  keys.Extended(kRight);
  Review(5, 2);  // inside the leading blanks: the first character is marked
  EXPECT_EQ(console.shown.back(), std::make_pair("texto" + std::string(65, ' '), 1));
}

TEST_F(ScreenReviewTest, F1OnABlankRowSaysNothingClicksAndGoesToColumnOne) {
  keys.Extended(kF1).Type("\x0B");
  EXPECT_EQ(Review(30, 4), (Log{"short", "speak:4 1"}));
}

TEST_F(ScreenReviewTest, ARowOfElevenDashesIsThreeDashesAndThreeClicks) {
  console.Put(1, 1, "-----------");
  console.Put(2, 1, "ab --");
  keys.Extended(kF1).Extended(kDown).Extended(kF1).Extended(kF1);
  EXPECT_EQ(Review(1, 1), (Log{"speak:---", "short", "short", "short",
                               // Down reads row 2 ...
                               "short", "speak:ab", "speak:--", "short",
                               // ... then F1 word by word: two dashes, no clicks.
                               "speak:ab", "speak:--"}));
}

TEST_F(ScreenReviewTest, AnAllConsonantWordIsSpelledAndOthersAreSpoken) {
  console.Put(1, 1, "CPF Casa 123 nh A\xE7\xE3o");
  keys.Extended(kF1).Extended(kF1).Extended(kF1).Extended(kF1).Extended(kF1);
  EXPECT_EQ(Review(1, 1),
            (Log{"spell:CPF", "speak:Casa", "speak:123", "spell:nh", "speak:A\xE7\xE3o"}));
}

TEST_F(ScreenReviewTest, AWordInTheLastColumnIsRead) {
  console.Put(1, 80, "x");
  keys.Extended(kF1).Type("\x0B");
  EXPECT_EQ(Review(70, 1), (Log{"speak:x", "short", "speak:1 81"}));
}

TEST_F(ScreenReviewTest, LeftSpeaksTheCharacterBeforeAndRightTheOneAtTheColumn) {
  console.Put(1, 1, "ab");
  keys.Extended(kRight).Extended(kRight).Extended(kLeft).Type("\x08").Extended(kLeft);
  // At column 1 Left is refused twice: by the key and by the edge.
  EXPECT_EQ(Review(1, 1), (Log{"char:97", "char:98", "char:98", "char:97", "long", "long"}));
  EXPECT_EQ(review.column(), 1);
}

TEST_F(ScreenReviewTest, MovesPastTheGridStopAtItsEdgeAndDropTheKeysTypedAhead) {
  // Two Lefts typed at once at column 1: the first is refused, and the second is thrown away.
  keys.Ahead(std::string("\0K\0K", 4));
  EXPECT_EQ(Review(1, 1), (Log{"long", "long"}));
  EXPECT_EQ(review.column(), 1);
  keys.Extended(kUp);
  EXPECT_EQ(Review(5, 1), (Log{"long"}));
  EXPECT_EQ(review.row(), 1);

  keys.Extended(kRight).Extended(kRight).Type("\x0B");
  // Right speaks column 81 (a blank) and moves to 82, which the edge brings back to 80.
  EXPECT_EQ(Review(80, 25), (Log{"char:32", "char:32", "long", "speak:25 80"}));
}

TEST_F(ScreenReviewTest, DownAtTheLastRowClicksThenSoundsTheLongTone) {
  keys.Extended(kDown);
  EXPECT_EQ(Review(1, 25), (Log{"short", "long"}));
}

TEST_F(ScreenReviewTest, PreviousAndNextWordClickOnAWordAndSoundTheLongToneAtTheEnds) {
  console.Put(1, 1, "um dois  tres");
  keys.Extended(kCtrlRight).Type("\x0B").Extended(kCtrlRight).Type("\x0B");
  keys.Extended(kCtrlRight).Type("\x0B");
  keys.Extended(kCtrlLeft).Type("\x0B").Extended(kCtrlLeft).Type("\x0B");
  keys.Extended(kCtrlLeft).Type("\x0B");
  EXPECT_EQ(Review(1, 1), (Log{"short", "speak:1 4", "short", "speak:1 10", "long",
                               "speak:1 14", "short", "speak:1 10", "short", "speak:1 4",
                               "long", "speak:1 1"}));
}

TEST_F(ScreenReviewTest, FieldsEndAtSeparatorsAndAttributeChangesButNotAtAccentedCapitals) {
  console.Put(1, 1, "Nome", 0x0E);
  console.Put(1, 5, ": \xC9POCA DA CASA|x");
  keys.Extended(kCtrlF1).Type("\t\x0B").Extended(kCtrlF1).Type("\t\x0B");
  EXPECT_EQ(Review(2, 1), (Log{"speak:Nome", "short", "short", "speak:1 6",
                               "speak:\xC9POCA", "speak:DA", "speak:CASA", "short", "short",
                               "speak:1 21"}));
  keys.Extended(kShiftTab).Type("\x0B");
  EXPECT_EQ(Review(8, 1), (Log{"short", "speak:1 4"}));
}

TEST_F(ScreenReviewTest, TwoLetterCommandsReadTheirRangeAndPlaceTheCursor) {
  console.Put(1, 1, "um dois tres");
  console.Put(2, 1, "quatro");
  keys.Type("il").Type("\x0B").Type("FL").Type("\x0B").Type("ic");
  EXPECT_EQ(Review(4, 1), (Log{"speak:um", "short", "speak:1 4", "speak:dois", "speak:tres",
                               "short", "speak:1 4", "speak:um", "speak:d", "short"}));
  // "I T" leaves the cursor where the reading stopped; "L T" is "T T", the whole screen.
  keys.Type("it").Type("\x0B");
  Log heard = Review(3, 2);
  EXPECT_EQ(Log(heard.begin(), heard.begin() + 6),
            (Log{"speak:um", "speak:dois", "speak:tres", "short", "speak:qu", "short"}));
  EXPECT_EQ(heard.back(), "speak:2 3");
  keys.Type("lt").Type("\x0B");
  heard = Review(3, 2);
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "short"), 25);
  EXPECT_EQ(heard.back(), "speak:25 1");
  // A first letter other than I, T, L, F, or a second other than T, L, C: the error signal.
  keys.Type("xtq");
  EXPECT_EQ(Review(1, 1), (Log{"long", "short", "long", "long", "short", "long"}));
}

TEST_F(ScreenReviewTest, ReadingBeforeTheFirstColumnIsOnlyALongTone) {
  console.Put(1, 1, "abc");
  keys.Type("il");
  EXPECT_EQ(Review(1, 1), (Log{"long"}));
}

TEST_F(ScreenReviewTest, AReadingStopsAtAWaitingKeyAndLeavesTheCursorAtTheLineEnd) {
  console.Put(1, 1, "um dois tres");
  console.Put(2, 1, "quatro");
  // F1 is already waiting when the reading of the screen starts: nothing is read, and the cursor
  // is left at the end of the row where the reading stopped, where F1 finds nothing more.
  keys.Type("t").Ahead(std::string("t\0;", 3)).Type("\x0B");
  EXPECT_EQ(Review(1, 1), (Log{"short", "speak:1 13"}));
}

TEST_F(ScreenReviewTest, WithASpeechServiceEachRowOfARangeIsSpokenWhole) {
  speech.service = true;
  console.Put(1, 1, "um  dois");
  keys.Type(" ");
  EXPECT_EQ(Review(1, 1), (Log{"speak:um  dois" + std::string(72, ' '), "short"}));
}

TEST_F(ScreenReviewTest, SearchFindsAfterTheCursorAndItsTextOutlivesTheReview) {
  console.Put(1, 1, "Entregue aqui");
  console.Put(4, 10, "Objeto Entregue");
  keys.Extended(kF5).Type("En").Type("\x08").Type("nt\r\x0B");
  EXPECT_EQ(Review(1, 1),
            (Log{"speak:Qual texto", "char:69", "char:110", "sound:_DEL", "char:110",
                 "char:110", "char:116", "short", "speak:4 17"}));
  EXPECT_EQ(review.search_text(), "Ent");
  // A later review searches again with the same text; past the last one, two long tones.
  keys.Extended(kCtrlF5).Type("\x0B").Extended(kCtrlF5).Type("\x0B");
  EXPECT_EQ(Review(1, 1), (Log{"short", "speak:4 17", "long", "long", "speak:4 17"}));
}

TEST_F(ScreenReviewTest, SearchComparesLetterCaseAndNeverFindsAnEmptyText) {
  console.Put(2, 1, "entregue");
  keys.Extended(kF5).Type("Ent\r").Extended(kF5).Type("\r");
  EXPECT_EQ(Review(1, 1), (Log{"speak:Qual texto", "char:69", "char:110", "char:116", "long",
                               "long", "speak:Qual texto", "long", "long"}));
  keys.Extended(kF5).Type("x\x1B");  // Esc leaves without searching
  EXPECT_EQ(Review(1, 1), (Log{"speak:Qual texto", "char:120"}));
  EXPECT_EQ(review.search_text(), "x");
}

TEST_F(ScreenReviewTest, JumpTakesFourDigitsAndRefusesAnythingElse) {
  keys.Extended(kF6).Type("0512\x0B");
  EXPECT_EQ(Review(1, 1), (Log{"speak:Entre linha e coluna", "char:48", "char:53", "char:49",
                               "char:50", "speak:5 12"}));
  keys.Extended(kF6).Type("0a\x0B");
  EXPECT_EQ(Review(3, 3), (Log{"speak:Entre linha e coluna", "char:48", "long", "long",
                               "speak:3 3"}));
  keys.Extended(kF6).Type("0000\x0B");
  EXPECT_EQ(Review(3, 3), (Log{"speak:Entre linha e coluna", "char:48", "char:48", "char:48",
                               "char:48", "long", "long", "speak:1 1"}));
}

TEST_F(ScreenReviewTest, CtrlCCopiesTwentyFiveRowsOfEightyCharactersEachEndedByCrLf) {
  console.Put(1, 1, "primeira");
  console.Put(25, 73, "ultima.");
  keys.Type("\x03");
  EXPECT_EQ(Review(1, 1), Log{});
  ASSERT_EQ(console.clipboard.size(), 25u * 82u);
  for (int r = 0; r < 25; ++r) EXPECT_EQ(console.clipboard.substr(r * 82 + 80, 2), "\r\n");
  EXPECT_EQ(console.clipboard.substr(0, 8), "primeira");
  EXPECT_EQ(console.clipboard.substr(24 * 82 + 72, 10), "ultima. \r\n");
}

TEST_F(ScreenReviewTest, PageUpReadsTheFirstRowAndEndGoesToTheLineEnd) {
  console.Put(1, 3, "topo");
  keys.Extended(kPageUp).Type("\x0B").Extended(kEnd).Type("\x0B");
  EXPECT_EQ(Review(9, 9), (Log{"speak:topo", "short", "speak:1 1", "speak:1 7"}));
}

TEST_F(ScreenReviewTest, KeysWithoutAMeaningGiveTheErrorSignal) {
  keys.Type("#").Extended(70);
  EXPECT_EQ(Review(1, 1), (Log{"long", "short", "long", "long", "short", "long"}));
}

}  // namespace
}  // namespace navelo
