// The console on the real Windows window: messages posted to it go in as keys, and what it drew
// comes back as pixels, its title and its class. Needs a desktop (Wine with a display server): the
// Windows test stage runs it under Xvfb with NAVELO_WINDOW_TESTS=1, where a window that cannot be
// made is a failure; elsewhere it is skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "console/console_window.h"
#include "platform/win32/gdi_display.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;

bool WindowTestsRequired() {
  const char* value = std::getenv("NAVELO_WINDOW_TESTS");
  return value != nullptr && std::string(value) == "1";
}

class GdiWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = MakeWindowDisplay();
    if (display_ == nullptr) {
      if (WindowTestsRequired()) FAIL() << "no window can be made, though the stage has a display";
      GTEST_SKIP() << "no window can be made here (no display)";
    }
    std::random_device device;
    dir_ = fs::temp_directory_path() / ("navelo_gdi_test_" + std::to_string(device()));
    fs::create_directories(dir_);
    transcript_ = std::make_unique<Transcript>((dir_ / "transcript").string());
    console_ = std::make_unique<ConsoleWindow>(ConsoleWindow::Wiring{
        *display_, *transcript_, tones_, [this] { return dir_ / "navelo.ini"; },
        [this](int code) { exits_.push_back(code); }});
    ResetModifiers();
  }

  void TearDown() override {
    console_.reset();
    if (display_) display_->Close();
    display_.reset();
    transcript_.reset();
    ResetModifiers();
    std::error_code error;
    if (!dir_.empty()) fs::remove_all(dir_, error);
  }

  // Opens the window with these settings added to small cells and, unless they say otherwise, the
  // normal size.
  void OpenWith(const std::string& video_settings) {
    const bool size_given = video_settings.find("CANTOTELA") != std::string::npos;
    std::ofstream(dir_ / "navelo.ini")
        << "[VIDEO]\r\n" << (size_given ? "" : "CANTOTELA=NAO\r\n")
        << "LARGURALETRA=8\r\nALTURALETRA=16\r\n" << video_settings;
    console_->Open();
    ASSERT_TRUE(win32::GetGdiWindowInfo(*display_, info_));
    hwnd_ = info_.window;
    console_->PumpMessages();
  }

  static void ResetModifiers() {
    BYTE state[256] = {};
    SetKeyboardState(state);
  }
  // The key state the window procedure sees: Ctrl, the left Alt, Shift, and AltGr (the right Alt
  // with the left Ctrl, as Windows reports it).
  static void Modifiers(bool ctrl, bool alt, bool shift, bool altgr = false) {
    BYTE state[256] = {};
    auto set = [&state](int vk) { state[vk] = 0x80; };
    if (ctrl) set(VK_CONTROL), set(VK_LCONTROL);
    if (alt) set(VK_MENU), set(VK_LMENU);
    if (shift) set(VK_SHIFT), set(VK_LSHIFT);
    if (altgr) set(VK_CONTROL), set(VK_LCONTROL), set(VK_MENU), set(VK_RMENU);
    SetKeyboardState(state);
  }

  void Post(UINT message, WPARAM wparam, LPARAM lparam = 1) {
    ASSERT_TRUE(PostMessageW(hwnd_, message, wparam, lparam));
  }
  // A key press as the keyboard driver reports it: the key-down message (a system key with Alt
  // and without Ctrl) and whatever character the system's translation makes of it.
  void Press(WPARAM vk, bool ctrl = false, bool alt = false, bool shift = false) {
    Modifiers(ctrl, alt, shift);
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    const bool system = alt && !ctrl;
    Post(system ? WM_SYSKEYDOWN : WM_KEYDOWN, vk,
         1 | static_cast<LPARAM>(scan) << 16 | (system ? 1 << 29 : 0));
    // Taken at once, while the key state is still the one this key was pressed with.
    console_->PumpMessages();
  }
  void Release(WPARAM vk) {
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    Post(WM_KEYUP, vk, 1 | static_cast<LPARAM>(scan) << 16 | 0xC0000000);
    console_->PumpMessages();
  }
  void Char(wchar_t c) { Post(WM_CHAR, c); }

  // Every byte the posted messages put in the key queue, in decimal.
  std::string Taken() {
    std::string out;
    while (console_->KeyPressed()) {
      if (!out.empty()) out += ' ';
      out += std::to_string(console_->ReadKey());
    }
    ResetModifiers();
    return out;
  }

  COLORREF Pixel(int x, int y) {
    console_->PumpMessages();
    HDC dc = GetDC(hwnd_);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(hwnd_, dc);
    return colour;
  }
  // The middle of a cell (0-based column and row).
  COLORREF CellPixel(int column, int row) {
    return Pixel(column * info_.cell_width + info_.cell_width / 2,
                 row * info_.cell_height + info_.cell_height / 2);
  }

  void CheckScrolled();

  std::wstring Title() {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd_, text, 256);
    return text;
  }

  fs::path dir_;
  std::unique_ptr<Display> display_;
  std::unique_ptr<Transcript> transcript_;
  SilentToneOutput tones_;
  std::vector<int> exits_;
  std::unique_ptr<ConsoleWindow> console_;
  win32::GdiWindowInfo info_;
  HWND hwnd_ = nullptr;
};

TEST_F(GdiWindowTest, TheWindowHasItsClassTitleAndHandleAndSaysWhenTheProgramEnded) {
  OpenWith("");
  wchar_t name[64] = {};
  GetClassNameW(hwnd_, name, 64);
  EXPECT_EQ(std::wstring(name), L"NvWinCrt");
  EXPECT_TRUE(IsWindowVisible(hwnd_));
  EXPECT_EQ(console_->WindowHandle(), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd_)));
  console_->SetTitle("Rastreio \xE9 r\xE1pido");  // cp1252
  EXPECT_EQ(Title(), L"Rastreio \u00E9 r\u00E1pido");
  console_->ProgramFinished();
  EXPECT_EQ(Title(), L"Programa terminado");
  // The client area is the grid of 80 by 25 cells.
  RECT client{};
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(client.right, 80 * info_.cell_width);
  EXPECT_EQ(client.bottom, 25 * info_.cell_height);
}

TEST_F(GdiWindowTest, TheWindowIsNoLargerThanTheGridNorSmallerThan16By4Cells) {
  OpenWith("");
  MINMAXINFO limits{};
  SendMessageW(hwnd_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  RECT frame{0, 0, 80 * info_.cell_width, 25 * info_.cell_height};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
  EXPECT_EQ(limits.ptMaxTrackSize.x, frame.right - frame.left);
  EXPECT_EQ(limits.ptMaxTrackSize.y, frame.bottom - frame.top);
  RECT small{0, 0, 16 * info_.cell_width, 4 * info_.cell_height};
  AdjustWindowRectEx(&small, WS_OVERLAPPEDWINDOW, FALSE, 0);
  EXPECT_EQ(limits.ptMinTrackSize.x, small.right - small.left);
  EXPECT_EQ(limits.ptMinTrackSize.y, small.bottom - small.top);
}

TEST_F(GdiWindowTest, TheWindowOpensMaximisedAsTheGridInTheTopLeftCornerUnlessToldNot) {
  OpenWith("CANTOTELA=SIM\r\n");
  EXPECT_TRUE(IsZoomed(hwnd_));
  RECT client{};
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(client.right, 80 * info_.cell_width);
  EXPECT_EQ(client.bottom, 25 * info_.cell_height);
  RECT window{};
  GetWindowRect(hwnd_, &window);
  EXPECT_LE(window.left, 0);
  EXPECT_LE(window.top, 0);
  console_->Close();
  TearDown();
  SetUp();
  OpenWith("CANTOTELA=NAO\r\n");
  EXPECT_FALSE(IsZoomed(hwnd_));
}

TEST_F(GdiWindowTest, TheConsoleKnowsWhetherItIsTheForegroundWindow) {
  OpenWith("");
  SetForegroundWindow(hwnd_);
  EXPECT_TRUE(console_->SeesForeground());
  EXPECT_TRUE(console_->InForeground());
  // Another program's window in front: a program started with EXECUTA waits for this to end.
  HWND other = CreateWindowExW(0, L"STATIC", L"outro programa", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               0, 0, 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  EXPECT_FALSE(console_->InForeground());
  DestroyWindow(other);
  SetForegroundWindow(hwnd_);
  EXPECT_TRUE(console_->InForeground());
}

TEST_F(GdiWindowTest, CellsAreDrawnInTheirColoursThroughTheColourMap) {
  // Colour 0 draws as palette 4 (red) and colour 1 as palette 1 (blue); 20 draws black.
  OpenWith("TABCORES=4,1,20\r\nCORFUNDO=0\r\nCORLETRA=15\r\n");
  console_->Write("  ");
  EXPECT_EQ(CellPixel(0, 0), RGB(255, 0, 0));
  console_->SetTextBackground(1);
  console_->Write("  ");
  EXPECT_EQ(CellPixel(3, 0), RGB(0, 0, 255));
  console_->SetTextBackground(2);
  console_->Write(" ");
  EXPECT_EQ(CellPixel(4, 0), RGB(0, 0, 0));
  console_->SetTextBackground(5);
  console_->Write(" ");
  EXPECT_EQ(CellPixel(5, 0), RGB(142, 0, 142));
  // A full repaint draws the same.
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(CellPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(CellPixel(3, 0), RGB(0, 0, 255));
  EXPECT_EQ(CellPixel(5, 0), RGB(142, 0, 142));
}

TEST_F(GdiWindowTest, GarbageInTheColourMapStillOpensAndDraws) {
  OpenWith("TABCORES=zz,99999999999999999999,-3,,\xFF\xFE\r\nCORFUNDO=abc\r\nCORLETRA=\r\n");
  console_->SetTextBackground(4);
  console_->Write("  ");
  // Colour 4 kept its own place in the map.
  EXPECT_EQ(CellPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(console_->ScreenChar(1, 1), ' ');
}

// Writes 30 rows, each with the background colour (row number mod 7) + 1, and checks that the
// last 24 written are on the screen, with row 25 blank in the current colour.
void GdiWindowTest::CheckScrolled() {
  for (int i = 0; i < 30; ++i) {
    console_->SetTextBackground(i % 7 + 1);
    console_->Write(std::string(10, ' ') + "\r\n");
  }
  const COLORREF palette[] = {RGB(0, 0, 0),   RGB(0, 0, 255),   RGB(0, 255, 0),
                              RGB(0, 255, 255), RGB(255, 0, 0), RGB(142, 0, 142),
                              RGB(68, 34, 34),  RGB(192, 192, 192)};
  for (int row = 0; row < 24; ++row) {
    EXPECT_EQ(CellPixel(2, row), palette[(row + 6) % 7 + 1]) << "row " << row;
  }
  EXPECT_EQ(CellPixel(2, 24), palette[29 % 7 + 1]);
}

TEST_F(GdiWindowTest, ScrollingRedrawsTheRowsOneUp) {
  OpenWith("LENTO=N\r\n");
  CheckScrolled();
}

TEST_F(GdiWindowTest, SlowScrollingMovesThePixelsOneRowUp) {
  OpenWith("LENTO=S\r\n");
  SetForegroundWindow(hwnd_);
  CheckScrolled();
}

TEST_F(GdiWindowTest, ExtendedKeysWithAndWithoutCtrlAndShift) {
  OpenWith("");
  Press(VK_F1);
  EXPECT_EQ(Taken(), "0 59");
  Press(VK_F1, true);
  EXPECT_EQ(Taken(), "0 94");
  Press(VK_F12);
  EXPECT_EQ(Taken(), "0 70");
  Press(VK_F12, true);
  EXPECT_EQ(Taken(), "0 105");
  Press(VK_INSERT, false, false, true);
  EXPECT_EQ(Taken(), "0 254");
  Press(VK_INSERT, true);
  EXPECT_EQ(Taken(), "0 255");
  Press(VK_DELETE, true);
  EXPECT_EQ(Taken(), "0 83");
  Press(VK_HOME);
  Press(VK_END);
  Press(VK_PRIOR);
  Press(VK_NEXT);
  EXPECT_EQ(Taken(), "0 71 0 79 0 73 0 81");
  Press(VK_UP);
  Press(VK_DOWN);
  Press(VK_LEFT);
  Press(VK_RIGHT);
  EXPECT_EQ(Taken(), "0 72 0 80 0 75 0 77");
  Press(VK_LEFT, true);
  Press(VK_PRIOR, true);
  EXPECT_EQ(Taken(), "0 115 0 132");
  // Ctrl+F10 arrives as a plain key-down message; F10 alone is the system's.
  Press(VK_F10, true);
  EXPECT_EQ(Taken(), "0 103");
}

TEST_F(GdiWindowTest, AltAndCtrlAltFormsAndAltGr) {
  OpenWith("");
  Press('Q', true, true);
  EXPECT_EQ(Taken(), "0 16");
  Press('0', true, true);
  EXPECT_EQ(Taken(), "0 129");
  Press('M', true, true);
  EXPECT_EQ(Taken(), "0 50");
  // Alt with Left or Right is ours; with a letter it is the system's and types nothing.
  Press(VK_LEFT, false, true);
  Press(VK_RIGHT, false, true);
  EXPECT_EQ(Taken(), "0 75 0 77");
  Press('A', false, true);
  EXPECT_EQ(Taken(), "");
  // AltGr (the right Alt, reported with the left Ctrl) types its character and no Ctrl+Alt code.
  Modifiers(false, false, false, true);
  Post(WM_KEYDOWN, 'Q', 1 | 0x10 << 16);
  Post(WM_CHAR, L'@');
  EXPECT_EQ(Taken(), "64");
}

TEST_F(GdiWindowTest, TypedCharactersAreCp1252BytesAndCtrlFormsTheControlBytes) {
  OpenWith("");
  for (wchar_t c : std::wstring(L"aZ9 \u00E1\u00E7\u00C3\u20AC")) Char(c);
  EXPECT_EQ(Taken(), "97 90 57 32 225 231 195 128");
  // A character cp1252 has no byte for is dropped, not replaced.
  Char(L'\u4E00');
  Char(L'\u0416');
  Char(L'x');
  EXPECT_EQ(Taken(), "120");
  // Ctrl+A types 1 and is marked as a letter; Ctrl+Enter 10; Ctrl+Backspace 127.
  // The system's translation of the key-down message types the control byte.
  Press('A', true);
  ASSERT_TRUE(console_->KeyPressed());
  EXPECT_EQ(console_->ReadKey(), 1);
  EXPECT_TRUE(console_->Modifiers().ctrl);
  EXPECT_TRUE(console_->Modifiers().letter);
  Modifiers(true, false, false);
  Post(WM_CHAR, 13);
  Post(WM_CHAR, 8);
  EXPECT_EQ(Taken(), "10 127");
  Post(WM_CHAR, 13);
  Post(WM_CHAR, 27);
  Post(WM_CHAR, 9);
  Post(WM_CHAR, 8);
  EXPECT_EQ(Taken(), "13 27 9 8");
}

TEST_F(GdiWindowTest, TheSystemsTranslationOfKeysTypesTheirCharacters) {
  OpenWith("");
  // Only key-down messages: the characters come from the system's own translation.
  Press(VK_RETURN);
  Press(VK_ESCAPE);
  Press(VK_BACK);
  Press(VK_TAB);
  EXPECT_EQ(Taken(), "13 27 8 9");
  Press('K');
  Press('K', false, false, true);
  EXPECT_EQ(Taken(), "107 75");
}

TEST_F(GdiWindowTest, MouseButtonsAndTheWheel) {
  OpenWith("");
  Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  Post(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  Post(WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(Taken(), "13 27 0 67");
  Post(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  Post(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(Taken(), "0 72 0 80");
}

TEST_F(GdiWindowTest, KeysFasterThanTheyAreReadAreDroppedNeverMixed) {
  OpenWith("");
  for (int i = 0; i < 200; ++i) Char(static_cast<wchar_t>('a' + i % 26));
  Press(VK_UP);
  std::string expected;
  for (int i = 0; i < 64; ++i) expected += (expected.empty() ? "" : " ") + std::to_string('a' + i % 26);
  EXPECT_EQ(Taken(), expected);
  // With 63 bytes waiting an arrow key is dropped whole, and a character still fits.
  for (int i = 0; i < 63; ++i) Char(L'x');
  Press(VK_UP);
  Char(L'y');
  ASSERT_TRUE(console_->KeyPressed());
  std::string got;
  while (console_->KeyPressed()) got += static_cast<char>(console_->ReadKey());
  EXPECT_EQ(got, std::string(63, 'x') + "y");
}

TEST_F(GdiWindowTest, SixKeyBrailleTypingTakesChordsOnRealKeyReleases) {
  OpenWith("");
  console_->BrailleKeyboardSetMode(1);
  // F and D together, released one after the other: dots 1-2, "b". The letters the system
  // translates the keys into are not typed.
  Press('F');
  Press('D');
  Release('F');
  EXPECT_EQ(Taken(), "");
  Release('D');
  EXPECT_EQ(Taken(), "98");
  // Space with dots 1-2 types Ctrl+B.
  Press(VK_SPACE);
  Press('F');
  Press('D');
  Release(VK_SPACE);
  Release('F');
  Release('D');
  EXPECT_EQ(Taken(), "2");
  console_->BrailleKeyboardSetMode(0);
  Press('F');
  Release('F');
  EXPECT_EQ(Taken(), "102");
}

TEST_F(GdiWindowTest, CtrlBreakEndsTheProgram) {
  OpenWith("");
  Press(VK_CANCEL, true);
  console_->KeyPressed();
  EXPECT_EQ(exits_, std::vector<int>{0});
  EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(GdiWindowTest, ClosingTheWindowWhileAKeyIsAwaitedEndsTheProgram) {
  OpenWith("");
  // A menu waits for its key: the close command ends the wait and the program.
  Post(WM_SYSCOMMAND, SC_CLOSE, 0);
  console_->ReadKey();
  EXPECT_EQ(exits_, std::vector<int>{0});
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_FALSE(console_->IsOpen());
}

TEST_F(GdiWindowTest, ClosingTheWindowDuringAPauseEndsTheProgramWithoutWaitingForItsEnd) {
  OpenWith("");
  Post(WM_SYSCOMMAND, SC_CLOSE, 0);
  const ULONGLONG start = GetTickCount64();
  console_->Delay(30000);
  // Destroying a window takes Wine up to two seconds where no window manager answers.
  EXPECT_LT(GetTickCount64() - start, 10000u);
  EXPECT_EQ(exits_, std::vector<int>{0});
  EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(GdiWindowTest, KeysTypedDuringAPauseAreKeptForAfterIt) {
  OpenWith("");
  // Posted, not yet taken: the pause handles them and keeps what they typed.
  Post(WM_CHAR, L'a');
  Post(WM_KEYDOWN, VK_F2, 1 | static_cast<LPARAM>(MapVirtualKeyW(VK_F2, MAPVK_VK_TO_VSC)) << 16);
  console_->Delay(50);
  EXPECT_EQ(Taken(), "97 0 60");
}

TEST_F(GdiWindowTest, AFontThatIsNotInstalledFallsBackToAFixedOne) {
  OpenWith("FONTE=NoSuchFontAnywhere\r\n");
  EXPECT_TRUE(info_.font_fell_back);
  EXPECT_FALSE(info_.font_face.empty());
  EXPECT_GT(info_.cell_width, 0);
  EXPECT_GE(info_.cell_height, 16);
  // Text is still drawn: a full block of text leaves foreground pixels in its cells.
  console_->Write(std::string(20, 'M'));
  int lit = 0;
  for (int x = 0; x < 20 * info_.cell_width; ++x) {
    for (int y = 0; y < info_.cell_height; y += 2) lit += Pixel(x, y) == RGB(255, 255, 255);
  }
  EXPECT_GT(lit, 20);
}

// A BMP file: 24-bit rows bottom first, of one colour.
std::string Bmp(int width, int height, COLORREF colour, int header_size = 40) {
  const int stride = (width * 24 + 31) / 32 * 4;
  std::string b(14 + 40 + stride * height, '\0');
  auto put32 = [&b](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, 54);
  put32(14, static_cast<uint32_t>(header_size));
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t at = 54 + y * stride + x * 3;
      b[at] = static_cast<char>(GetBValue(colour));
      b[at + 1] = static_cast<char>(GetGValue(colour));
      b[at + 2] = static_cast<char>(GetRValue(colour));
    }
  }
  return b;
}

TEST_F(GdiWindowTest, APictureIsDrawnOverTheTextAndBadFilesLeaveItAlone) {
  OpenWith("");
  std::ofstream(dir_ / "green.bmp", std::ios::binary) << Bmp(20, 10, RGB(0, 255, 0));
  ASSERT_EQ(console_->PictureLoad(dir_ / "green.bmp"), PictureResult::kLoaded);
  console_->PictureShow(30, 40);
  EXPECT_EQ(Pixel(35, 45), RGB(0, 255, 0));
  EXPECT_EQ(Pixel(29, 45), RGB(0, 0, 0));
  // A truncated file and one that claims 65535 by 65535 pixels are not shown.
  const std::string whole = Bmp(20, 10, RGB(255, 0, 0));
  std::ofstream(dir_ / "cut.bmp", std::ios::binary) << whole.substr(0, whole.size() / 2);
  EXPECT_EQ(console_->PictureLoad(dir_ / "cut.bmp"), PictureResult::kReadError);
  std::string huge = Bmp(1, 1, RGB(255, 0, 0));
  huge[18] = huge[19] = huge[22] = huge[23] = static_cast<char>(0xFF);
  std::ofstream(dir_ / "huge.bmp", std::ios::binary) << huge;
  EXPECT_NE(console_->PictureLoad(dir_ / "huge.bmp"), PictureResult::kLoaded);
  std::ofstream(dir_ / "v5.bmp", std::ios::binary) << Bmp(2, 2, RGB(255, 0, 0), 124);
  EXPECT_EQ(console_->PictureLoad(dir_ / "v5.bmp"), PictureResult::kRefused);
  // The picture stays over a repaint, and goes with PictureClear.
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(Pixel(35, 45), RGB(0, 255, 0));
  console_->PictureClear();
  EXPECT_EQ(Pixel(35, 45), RGB(0, 0, 0));
}

TEST_F(GdiWindowTest, TheMagnifiedLineIsDrawnOverItsRowUntilTheNextRepaint) {
  OpenWith("");
  console_->MagnifierSetColours(14, 6, 3);
  console_->MagnifierStart(2, 2);
  console_->MagnifiedLineShow("abcdef", 3);
  // Row 2 (0-based 1) carries the line's background to the right edge, behind its blanks.
  EXPECT_EQ(CellPixel(78, 1), RGB(68, 34, 34));
  int yellow = 0;
  int cyan = 0;
  for (int x = 0; x < 6 * 2 * info_.cell_width; ++x) {
    for (int y = info_.cell_height; y < 3 * info_.cell_height; ++y) {
      const COLORREF c = Pixel(x, y);
      yellow += c == RGB(255, 255, 0);
      cyan += c == RGB(0, 255, 255);
    }
  }
  EXPECT_GT(yellow, 0);
  EXPECT_GT(cyan, 0);
  console_->MagnifiedLineClear();
  EXPECT_EQ(CellPixel(78, 1), RGB(0, 0, 0));
}

TEST_F(GdiWindowTest, TheClipboardKeepsCp1252TextWhole) {
  OpenWith("");
  console_->ClipboardPut("Ol\xE1 \x80 5");
  std::string back = "unchanged";
  console_->ClipboardGet(back, 100);
  EXPECT_EQ(back, "Ol\xE1 \x80 5");
  console_->ClipboardGet(back, 1);
  EXPECT_EQ(back, "");
  back = "kept";
  console_->ClipboardGet(back, 0);
  EXPECT_EQ(back, "kept");
}

}  // namespace
}  // namespace navelo
