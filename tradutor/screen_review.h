// The screen review: a review cursor moved over the console grid by ear, reading characters,
// words, lines, fields, ranges and the whole screen, finding text, jumping to a cell, telling the
// position and copying the screen, all without changing what the console shows.
#pragma once

#include <string>
#include <string_view>

#include "console/console.h"
#include "tradutor/speech.h"

namespace navelo {

class ScreenReview {
 public:
  ScreenReview(Console& console, Keyboard& keyboard, Speech& speech);
  ScreenReview(const ScreenReview&) = delete;
  ScreenReview& operator=(const ScreenReview&) = delete;

  // Reviews the screen from the output cursor until Esc, then puts the cursor back where it was.
  void Run();

  // The text of the last search; it outlives each review, so a later one can search again.
  const std::string& search_text() const { return search_; }
  void set_search_text(std::string_view text) { search_ = std::string(text); }

  // The review cursor, 1-based (column 1..81), for tests.
  int row() const { return row_; }
  int column() const { return column_; }

 private:
  // One key (code is the extended code when key is 0); false when it is Esc.
  bool Act(unsigned char key, unsigned char code);
  void KeepInGrid();
  void Discard();
  void ErrorSignal();  // long, short, long: a key without a meaning here

  unsigned char Cell(int column) const;
  std::string RowText(int row) const;
  void ShowMagnified(int row, int column);
  void GoLineEnd();
  // Reads the word (or run of one sign) at or after the review column, up to column last.
  void ReadNextWord(int last);
  void PreviousWord();
  void NextWord();
  void FindField(int& first, int& last) const;
  // Reads row r1 column c1 to row r2 column c2; with restore the review cursor goes back after.
  void ReadRange(int r1, int c1, int r2, int c2, bool restore);
  void ReadLine() { ReadRange(row_, 1, row_, 80, true); }
  void TwoLetterCommand(unsigned char first);
  void NewSearch();
  void Search();
  void Jump();
  void CopyScreen();
  void FirstLetter(bool from_top);
  // The next key byte; an extended key gives 0 and its code in code.
  unsigned char NextKey(unsigned char& code);

  Console& console_;
  Keyboard& keyboard_;
  Speech& speech_;
  std::string search_;
  int row_ = 1;
  int column_ = 1;
};

}  // namespace navelo
