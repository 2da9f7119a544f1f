// Portuguese braille for the console: a row of cp1252 text becomes braille text and then cells
// (one byte per cell, dot n in bit n - 1, the ISO 11548 order displays take).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace navelo {

class BrailleTranslator {
 public:
  // Translates one row in one pass. The open-parenthesis state carries over to the next row,
  // so a parenthesis opened on one row still decides how the next row closes it.
  std::string Translate(std::string_view row);
  // Appends the translation of row to out (out is not cleared), so a caller can reuse its buffer.
  void TranslateInto(std::string_view row, std::string& out);

  // Translates row, pads with blanks in groups of 10 until the text is longer than cells.size(),
  // and maps the first cells.size() characters to cells. text is the caller's scratch buffer.
  void RowCells(std::string_view row, std::string& text, std::span<uint8_t> cells);

  bool ParenthesisOpen() const { return parenthesis_open_; }
  void Reset() { parenthesis_open_ = false; }

 private:
  bool parenthesis_open_ = false;
};

// The cell of one character of braille text.
uint8_t BrailleCell(unsigned char c);

}  // namespace navelo
