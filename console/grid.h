// The console's 80x25 cell grid: characters and attributes, the output cursor, the current
// attribute and the colour map, and the write path with its control bytes, wrapping and
// scrolling. It draws nothing itself; it tells a painter which cells changed.
#pragma once

#include <array>
#include <string_view>

#include "platform/display.h"

namespace navelo {

// The 16 fixed colours, by palette index.
extern const std::array<Rgb, 16> kConsolePalette;

class ConsoleGrid {
 public:
  static constexpr int kColumns = ScreenCells::kColumns;
  static constexpr int kRows = ScreenCells::kRows;

  // Told what a write changed, in the order it happened.
  class Painter {
   public:
    virtual ~Painter() = default;
    // Cells left..right-1 of the row changed.
    virtual void DrawRow(int row, int left, int right) = 0;
    // Every row moved up one; the last row is blank.
    virtual void Scrolled() = 0;
    virtual void Beep() = 0;
  };

  ConsoleGrid();

  // Every cell blank in the current attribute; the cursor to the top left.
  void Clear();
  void Write(std::string_view bytes, Painter& painter);
  // Blanks the cursor row from the cursor to its end; the cursor stays.
  void ClearToLineEnd(Painter& painter);

  // 1-based and clamped into the grid.
  void GotoXY(int column, int row);
  // 1..81 (81 after a character was written in the last column) and 1..25.
  int WhereX() const { return column_ + 1; }
  int WhereY() const { return row_ + 1; }
  int CursorColumn() const { return column_; }
  int CursorRow() const { return row_; }

  unsigned char Attribute() const { return attribute_; }
  void SetAttribute(unsigned char attribute) { attribute_ = attribute; }
  // Colour changes are ignored while the colours are fixed.
  void SetColoursFixed(bool fixed) { colours_fixed_ = fixed; }
  void SetTextColor(int colour);
  void SetTextBackground(int colour);

  // colour number -> palette index; an index above 15 draws black.
  void SetColourMap(const std::array<int, 16>& map);
  const std::array<int, 16>& ColourMap() const { return colour_map_; }

  // 1-based; a blank and 0 outside the grid.
  unsigned char ScreenChar(int row, int column) const;
  unsigned char ScreenAttr(int row, int column) const;

  const ScreenCells& Cells() const { return cells_; }

 private:
  void LineFeed(int& left, int& right, Painter& painter);

  ScreenCells cells_;
  std::array<int, 16> colour_map_{};
  unsigned char attribute_ = 0x0F;
  bool colours_fixed_ = false;
  int column_ = 0;  // 0..80
  int row_ = 0;     // 0..24
};

}  // namespace navelo
