// The magnified line: one console row drawn with a font factor times larger, showing a window of
// a text that scrolls so the character before the cursor position stays in view, marked in its
// own colour.
#pragma once

#include <string>
#include <string_view>

namespace navelo {

// The three pieces of the magnified line; each character is factor cells wide.
struct MagnifiedPieces {
  std::string leading;   // letter colour
  std::string marked;    // cursor colour (empty when nothing is marked)
  std::string trailing;  // letter colour, padded with 80 blanks
};

class Magnifier {
 public:
  void SetColours(int letter, int background, int cursor) {
    letter_ = letter;
    background_ = background;
    cursor_ = cursor;
  }
  // factor 0 turns magnification off.
  void Start(int row, int factor);
  bool On() const { return factor_ > 0; }
  int Row() const { return row_; }
  int Factor() const { return factor_; }
  int ScrollStart() const { return scroll_start_; }
  int Letter() const { return letter_; }
  int Background() const { return background_; }
  int Cursor() const { return cursor_; }

  // Moves the scroll start as position p (1-based) requires and cuts the text into its pieces.
  MagnifiedPieces Layout(std::string_view text, int p);

 private:
  int row_ = 1;
  int factor_ = 0;
  int scroll_start_ = 1;
  int letter_ = 14;
  int background_ = 6;
  int cursor_ = 3;
};

}  // namespace navelo
