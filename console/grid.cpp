// The cell grid and its write path.
#include "console/grid.h"

#include <algorithm>
#include <cstring>

namespace navelo {

const std::array<Rgb, 16> kConsolePalette = {{
    {0, 0, 0},       {0, 0, 255},     {0, 255, 0},     {0, 255, 255},
    {255, 0, 0},     {142, 0, 142},   {68, 34, 34},    {192, 192, 192},
    {40, 40, 40},    {128, 128, 255}, {128, 255, 128}, {128, 255, 255},
    {255, 128, 128}, {255, 128, 255}, {255, 255, 0},   {255, 255, 255},
}};

ConsoleGrid::ConsoleGrid() {
  std::array<int, 16> identity{};
  for (int i = 0; i < 16; ++i) identity[i] = i;
  SetColourMap(identity);
  Clear();
}

void ConsoleGrid::Clear() {
  cells_.chars.fill(' ');
  cells_.attrs.fill(attribute_);
  column_ = 0;
  row_ = 0;
}

void ConsoleGrid::SetColourMap(const std::array<int, 16>& map) {
  colour_map_ = map;
  for (int i = 0; i < 16; ++i) {
    const int index = map[i];
    cells_.colours[i] = index >= 0 && index <= 15 ? kConsolePalette[index] : Rgb{0, 0, 0};
  }
}

void ConsoleGrid::GotoXY(int column, int row) {
  column_ = std::clamp(column, 1, kColumns) - 1;
  row_ = std::clamp(row, 1, kRows) - 1;
}

void ConsoleGrid::SetTextColor(int colour) {
  if (colours_fixed_) return;
  attribute_ = static_cast<unsigned char>((attribute_ & 0xF0) | (colour & 0x0F));
}

void ConsoleGrid::SetTextBackground(int colour) {
  if (colours_fixed_) return;
  attribute_ = static_cast<unsigned char>((attribute_ & 0x0F) | ((colour * 16) & 0xF0));
}

unsigned char ConsoleGrid::ScreenChar(int row, int column) const {
  if (row < 1 || row > kRows || column < 1 || column > kColumns) return ' ';
  return cells_.Char(row - 1, column - 1);
}

unsigned char ConsoleGrid::ScreenAttr(int row, int column) const {
  if (row < 1 || row > kRows || column < 1 || column > kColumns) return 0;
  return cells_.Attr(row - 1, column - 1);
}

void ConsoleGrid::LineFeed(int& left, int& right, Painter& painter) {
  if (right > left) painter.DrawRow(row_, left, right);
  left = right = 0;
  if (++row_ < kRows) return;
  row_ = kRows - 1;
  constexpr size_t kMoved = (kRows - 1) * kColumns;
  std::memmove(cells_.chars.data(), cells_.chars.data() + kColumns, kMoved);
  std::memmove(cells_.attrs.data(), cells_.attrs.data() + kColumns, kMoved);
  std::memset(cells_.chars.data() + kMoved, ' ', kColumns);
  std::memset(cells_.attrs.data() + kMoved, attribute_, kColumns);
  painter.Scrolled();
}

void ConsoleGrid::Write(std::string_view bytes, Painter& painter) {
  int left = column_;
  int right = column_;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 32) {
      if (column_ == kColumns) {
        column_ = 0;
        LineFeed(left, right, painter);
      }
      const int at = row_ * kColumns + column_;
      cells_.chars[at] = c;
      cells_.attrs[at] = attribute_;
      // After a carriage return the changed cells lie left of where the write began; they are
      // drawn too, so text written over a line's start shows at once.
      left = std::min(left, column_);
      ++column_;
      right = std::max(right, column_);
    } else if (c == 8) {
      if (column_ > 0) {
        --column_;
        const int at = row_ * kColumns + column_;
        cells_.chars[at] = ' ';
        cells_.attrs[at] = attribute_;
        left = std::min(left, column_);
      }
    } else if (c == 10) {
      LineFeed(left, right, painter);
      column_ = 0;
    } else if (c == 13) {
      column_ = 0;
    } else if (c == 7) {
      painter.Beep();
    }
  }
  if (right > left) painter.DrawRow(row_, left, right);
}

void ConsoleGrid::ClearToLineEnd(Painter& painter) {
  const int from = std::min(column_, kColumns);
  for (int c = from; c < kColumns; ++c) {
    cells_.chars[row_ * kColumns + c] = ' ';
    cells_.attrs[row_ * kColumns + c] = attribute_;
  }
  if (from < kColumns) painter.DrawRow(row_, from, kColumns);
}

}  // namespace navelo
