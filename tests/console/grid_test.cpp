// The cell grid: writing, wrapping, scrolling, control bytes, cursor and colours.
#include "console/grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace navelo {
namespace {

struct Recorder final : ConsoleGrid::Painter {
  void DrawRow(int row, int left, int right) override {
    draws.push_back(std::to_string(row) + ":" + std::to_string(left) + "-" + std::to_string(right));
  }
  void Scrolled() override { ++scrolls; }
  void Beep() override { ++beeps; }
  std::vector<std::string> draws;
  int scrolls = 0;
  int beeps = 0;
};

std::string Row(const ConsoleGrid& grid, int row) {
  std::string text;
  for (int c = 1; c <= 80; ++c) text += static_cast<char>(grid.ScreenChar(row, c));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

TEST(GridTest, EightyCharactersLeaveTheCursorPastTheLastColumnUntilTheNextOne) {
  ConsoleGrid grid;
  Recorder painter;
  grid.Write(std::string(80, 'x'), painter);
  EXPECT_EQ(grid.WhereX(), 81);
  EXPECT_EQ(grid.WhereY(), 1);
  grid.Write("y", painter);
  EXPECT_EQ(grid.WhereX(), 2);
  EXPECT_EQ(grid.WhereY(), 2);
  EXPECT_EQ(Row(grid, 2), "y");
}

TEST(GridTest, LineEndAfterAFullRowLeavesNoEmptyRow) {
  ConsoleGrid grid;
  Recorder painter;
  grid.Write(std::string(80, 'x') + "\r\nz", painter);
  EXPECT_EQ(Row(grid, 2), "z");
  EXPECT_EQ(grid.WhereY(), 2);
}

TEST(GridTest, TabAndOtherControlBytesAreDroppedAndBellBeeps) {
  ConsoleGrid grid;
  Recorder painter;
  grid.Write(std::string("a\tb\x01\x0c\x1b" "c\x07", 8), painter);
  EXPECT_EQ(Row(grid, 1), "abc");
  EXPECT_EQ(painter.beeps, 1);
}

TEST(GridTest, BackspaceBlanksTheCellToTheLeftExceptInColumnOne) {
  ConsoleGrid grid;
  Recorder painter;
  grid.Write("\b", painter);
  EXPECT_EQ(grid.WhereX(), 1);
  grid.Write("abc\b", painter);
  EXPECT_EQ(Row(grid, 1), "ab");
  EXPECT_EQ(grid.WhereX(), 3);
}

TEST(GridTest, LineFeedOnTheLastRowScrollsAndBlanksItInTheCurrentAttribute) {
  ConsoleGrid grid;
  Recorder painter;
  for (int i = 1; i <= 25; ++i) grid.Write("linha " + std::to_string(i) + (i < 25 ? "\r\n" : ""), painter);
  grid.SetAttribute(0x1E);
  grid.Write("\n", painter);
  EXPECT_EQ(painter.scrolls, 1);
  EXPECT_EQ(Row(grid, 1), "linha 2");
  EXPECT_EQ(Row(grid, 24), "linha 25");
  EXPECT_EQ(Row(grid, 25), "");
  EXPECT_EQ(grid.ScreenAttr(25, 1), 0x1E);
  EXPECT_EQ(grid.ScreenAttr(24, 1), 0x0F);
  EXPECT_EQ(grid.WhereX(), 1);
  EXPECT_EQ(grid.WhereY(), 25);
}

TEST(GridTest, AWriteDrawsOnlyTheCellsItChanged) {
  ConsoleGrid grid;
  Recorder painter;
  grid.GotoXY(10, 3);
  grid.Write("abc", painter);
  grid.Write("\b\b", painter);
  grid.Write("x\r\nyz", painter);
  EXPECT_EQ(painter.draws, (std::vector<std::string>{"2:9-12", "2:10-12", "2:10-11", "3:0-2"}));
}

TEST(GridTest, TextWrittenAfterACarriageReturnIsDrawn) {
  ConsoleGrid grid;
  Recorder painter;
  grid.GotoXY(10, 1);
  grid.Write("\rab", painter);
  EXPECT_EQ(painter.draws, std::vector<std::string>{"0:0-9"});
}

TEST(GridTest, GotoXYClampsAndScreenCellsOutsideAreBlankAndZero) {
  ConsoleGrid grid;
  grid.GotoXY(0, 0);
  EXPECT_EQ(grid.WhereX(), 1);
  EXPECT_EQ(grid.WhereY(), 1);
  grid.GotoXY(200, 99);
  EXPECT_EQ(grid.WhereX(), 80);
  EXPECT_EQ(grid.WhereY(), 25);
  EXPECT_EQ(grid.ScreenChar(0, 5), ' ');
  EXPECT_EQ(grid.ScreenChar(3, 81), ' ');
  EXPECT_EQ(grid.ScreenAttr(0, 5), 0);
  EXPECT_EQ(grid.ScreenAttr(3, 81), 0);
}

TEST(GridTest, ColoursTakeTheirLowBitsAndFixedColoursIgnoreChanges) {
  ConsoleGrid grid;
  grid.SetAttribute(0x07);
  grid.SetTextColor(18);
  EXPECT_EQ(grid.Attribute(), 0x02);
  grid.SetTextBackground(0x1F);
  EXPECT_EQ(grid.Attribute(), 0xF2);
  grid.SetColoursFixed(true);
  grid.SetTextColor(4);
  grid.SetTextBackground(1);
  EXPECT_EQ(grid.Attribute(), 0xF2);
}

TEST(GridTest, ColourMapChoosesThePaletteAndOutOfRangeIsBlack) {
  ConsoleGrid grid;
  grid.SetColourMap({4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 20});
  EXPECT_EQ(grid.Cells().colours[0], (Rgb{255, 0, 0}));
  EXPECT_EQ(grid.Cells().colours[1], (Rgb{0, 0, 255}));
  EXPECT_EQ(grid.Cells().colours[15], (Rgb{0, 0, 0}));
}

TEST(GridTest, ClearToLineEndBlanksFromTheCursorAndKeepsIt) {
  ConsoleGrid grid;
  Recorder painter;
  grid.Write("abcdef", painter);
  grid.GotoXY(3, 1);
  grid.ClearToLineEnd(painter);
  EXPECT_EQ(Row(grid, 1), "ab");
  EXPECT_EQ(grid.WhereX(), 3);
  EXPECT_EQ(painter.draws.back(), "0:2-80");
}

}  // namespace
}  // namespace navelo
