// The console as the program sees it: writing through a display, keys from the display and from a
// key file, closing, the end title, tones, the magnified line and the clipboard.
#include "console/console_window.h"
#include "console/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace navelo {
namespace {

namespace fs = std::filesystem;

class FakeDisplay final : public Display {
 public:
  bool Open(const ScreenCells&, const DisplaySetup& s) override {
    ++opens;
    setup = s;
    return true;
  }
  void Close() override { ++closes; }
  void WorkArea(int& w, int& h) override {
    w = 1024;
    h = 734;
  }
  void DrawRow(int row, int left, int right) override {
    draws.push_back(std::to_string(row) + ":" + std::to_string(left) + "-" + std::to_string(right));
  }
  void Scrolled(bool slow) override { scrolls.push_back(slow); }
  void RedrawAll() override { ++redraws; }
  void SetTitle(std::string_view utf8) override { title = utf8; }
  void ShowNormal() override {}
  void Minimize() override {}
  void Beep() override {}
  void SetCaret(bool shown, int, int) override { caret = shown; }
  bool NextEvent(int, DisplayEvent& event) override {
    if (events.empty()) return false;
    event = events.front();
    events.pop_front();
    return true;
  }
  bool Focused() override { return true; }
  void ShowPicture(const PictureImage& p, int, int) override { picture_width = p.width; }
  void DrawMagnifiedLine(int row, int factor, std::span<const MagnifiedRun> r) override {
    magnified_row = row;
    magnified_factor = factor;
    runs.assign(r.begin(), r.end());
  }
  bool ClipboardPut(std::string_view utf8) override {
    clipboard = utf8;
    return true;
  }
  bool ClipboardGet(std::string& utf8) override {
    utf8 = clipboard;
    return true;
  }

  int opens = 0;
  int closes = 0;
  int redraws = 0;
  DisplaySetup setup;
  std::vector<std::string> draws;
  std::vector<bool> scrolls;
  std::string title;
  bool caret = false;
  std::deque<DisplayEvent> events;
  int picture_width = -1;
  int magnified_row = -1;
  int magnified_factor = 0;
  std::vector<MagnifiedRun> runs;
  std::string clipboard;
};

struct CountingTones final : ToneOutput {
  void PlayLooping(std::span<const uint8_t> wav) override { sizes.push_back(wav.size()); }
  void StopLooping() override { ++stops; }
  std::vector<size_t> sizes;
  int stops = 0;
};

class ConsoleWindowTest : public ::testing::Test {
 protected:
  ConsoleWindowTest() {
    std::random_device device;
    dir_ = fs::temp_directory_path() / ("navelo_window_test_" + std::to_string(device()));
    fs::create_directories(dir_);
    transcript_ = std::make_unique<navelo::Transcript>((dir_ / "transcript").string());
    console_ = std::make_unique<ConsoleWindow>(ConsoleWindow::Wiring{
        display, *transcript_, tones, [this] { return dir_ / "navelo.ini"; },
        [this](int code) { exits.push_back(code); }});
  }
  ~ConsoleWindowTest() override {
    console_.reset();
    transcript_.reset();
    std::error_code error;
    fs::remove_all(dir_, error);
  }
  std::string Recorded() {
    std::ifstream in(dir_ / "transcript");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Ini(const std::string& text) { std::ofstream(dir_ / "navelo.ini") << text; }
  void Keys(const std::string& text) { console_->UseKeyScript(ParseKeyScript(text).keys); }

  fs::path dir_;
  FakeDisplay display;
  CountingTones tones;
  std::vector<int> exits;
  std::unique_ptr<navelo::Transcript> transcript_;
  std::unique_ptr<ConsoleWindow> console_;
};

TEST_F(ConsoleWindowTest, WritingOpensOnceRecordsAndDrawsTheChangedCells) {
  Ini("[VIDEO]\nCORFUNDO=1\nCORLETRA=14\nFONTE=Mono\nALTURALETRA=30\n");
  console_->Write("ab");
  console_->Write("\r\nc");
  EXPECT_EQ(display.opens, 1);
  EXPECT_EQ(display.setup.font_face, "Mono");
  EXPECT_EQ(display.setup.char_height, 30);
  EXPECT_EQ(display.draws, (std::vector<std::string>{"0:0-2", "1:0-1"}));
  EXPECT_EQ(console_->ScreenAttr(1, 1), 0x1E);
  EXPECT_EQ(Recorded(), "write\tab\nwrite\t\\r\\nc\n");
}

TEST_F(ConsoleWindowTest, ScrollingTellsTheDisplayWhetherToMovePixels) {
  Ini("[VIDEO]\nLENTO=Sim\n");
  console_->Write(std::string(30, '\n'));
  EXPECT_EQ(display.scrolls.size(), 6u);
  EXPECT_TRUE(display.scrolls[0]);
}

TEST_F(ConsoleWindowTest, KeysFromTheDisplayReachTheQueueWithTheirModifiers) {
  DisplayEvent e;
  e.type = DisplayEvent::Type::kChar;
  e.byte = 'x';
  e.mods.shift = true;
  display.events.push_back(e);
  e.type = DisplayEvent::Type::kKeyDown;
  e.key = kVkF1;
  e.mods = {};
  display.events.push_back(e);
  EXPECT_TRUE(console_->KeyPressed());
  EXPECT_EQ(console_->ReadKey(), 'x');
  EXPECT_TRUE(console_->Modifiers().shift);
  EXPECT_EQ(console_->ReadKey(), 0);
  EXPECT_EQ(console_->ReadKey(), 59);
  EXPECT_FALSE(console_->Modifiers().shift);
}

TEST_F(ConsoleWindowTest, KeyFileKeysAreTypedOnlyWhenTheProgramWaits) {
  Keys("a{Ctrl+b}");
  EXPECT_FALSE(console_->KeyPressed());
  EXPECT_EQ(console_->ReadKey(), 'a');
  EXPECT_FALSE(console_->KeyPressed());
  EXPECT_EQ(console_->ReadKey(), 2);
  EXPECT_TRUE(console_->Modifiers().ctrl);
  EXPECT_TRUE(exits.empty());
  console_->ReadKey();
  EXPECT_EQ(exits, std::vector<int>{3});
}

TEST_F(ConsoleWindowTest, ATimedKeyArrivesWhileTheProgramIsBusy) {
  Keys("{wait 30}z");
  EXPECT_FALSE(console_->KeyPressed());
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_TRUE(console_->KeyPressed());
  EXPECT_EQ(console_->ReadKey(), 'z');
}

TEST_F(ConsoleWindowTest, LineReaderTakesTheCodeOfATwoByteKeyAsACharacter) {
  Keys("ab{Backspace}{Up}{Tab}{Enter}");
  EXPECT_EQ(ConsoleReadLine(*console_, *console_), "aH");
  EXPECT_EQ(console_->ScreenChar(1, 1), 'a');
  EXPECT_EQ(console_->ScreenChar(1, 2), 'H');
  EXPECT_EQ(console_->WhereY(), 2);
}

TEST_F(ConsoleWindowTest, CloseFromTheKeyFileOrTheWindowEndsTheProgram) {
  Keys("{close}");
  console_->Write("x");
  console_->ReadKey();
  EXPECT_EQ(display.closes, 1);
  ASSERT_FALSE(exits.empty());
  EXPECT_EQ(exits[0], 0);
  // A closed console takes no title at the end.
  console_->ProgramFinished();
  EXPECT_EQ(Recorded().find("Programa terminado"), std::string::npos);
}

TEST_F(ConsoleWindowTest, TheWindowsCloseMessageEndsTheProgram) {
  console_->Write("x");
  DisplayEvent e;
  e.type = DisplayEvent::Type::kClose;
  display.events.push_back(e);
  console_->PumpMessages();
  EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(ConsoleWindowTest, TheEndTitle) {
  console_->SetTitle("bexilo");
  console_->ClearScreen();
  EXPECT_EQ(display.title, "bexilo");
  console_->ProgramFinished();
  EXPECT_EQ(display.title, "Programa terminado");
  EXPECT_EQ(Recorded(), "title\tbexilo\ntitle\tPrograma terminado\n");
}

TEST_F(ConsoleWindowTest, TheTitleHoldsThreeHundredBytes) {
  const std::string long_title = std::string(150, 'a') + std::string(150, 'b');
  console_->ClearScreen();
  console_->SetTitle(long_title);
  EXPECT_EQ(display.title, long_title);
  console_->SetTitle(long_title + "cortado");
  EXPECT_EQ(display.title, long_title);
}

TEST_F(ConsoleWindowTest, BrailleModeFromTheSettingsIsAnnouncedWithTones) {
  Ini("[BRAILLE]\nMODO=1\n");
  console_->ClearScreen();
  EXPECT_EQ(console_->BrailleMode(), 1);
  EXPECT_EQ(Recorded(), "tone\t800\ntone\t1600\n");
  EXPECT_EQ(tones.sizes.size(), 2u);
  EXPECT_EQ(tones.stops, 2);
}

TEST_F(ConsoleWindowTest, MagnifiedLineMarksTheCharacterBeforeThePosition) {
  console_->ClearScreen();
  console_->MagnifiedLineShow("abcdef", 3);  // off: nothing drawn
  EXPECT_EQ(display.magnified_factor, 0);
  console_->MagnifierSetColours(14, 1, 12);
  console_->MagnifierStart(2, 2);
  console_->MagnifiedLineShow("abcdef", 3);
  EXPECT_EQ(display.magnified_row, 1);
  EXPECT_EQ(display.magnified_factor, 2);
  ASSERT_EQ(display.runs.size(), 3u);
  EXPECT_EQ(display.runs[0].text, "a");
  EXPECT_EQ(display.runs[1].text, "b");
  EXPECT_EQ(display.runs[2].text, "cdef" + std::string(80, ' '));
  EXPECT_EQ(display.runs[0].foreground, (Rgb{255, 255, 0}));
  EXPECT_EQ(display.runs[1].foreground, (Rgb{255, 128, 128}));
  EXPECT_EQ(display.runs[0].background, (Rgb{0, 0, 255}));
}

TEST(MagnifierTest, TheViewScrollsToKeepTheMarkedCharacterInSight) {
  Magnifier m;
  m.Start(1, 4);  // 20 characters visible
  const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz";
  MagnifiedPieces p = m.Layout(text, 1);
  EXPECT_EQ(p.leading, "");
  EXPECT_EQ(p.marked, "");
  EXPECT_EQ(p.trailing.substr(0, 20), "0123456789abcdefghij");
  p = m.Layout(text, 30);  // scroll start 10
  EXPECT_EQ(m.ScrollStart(), 10);
  EXPECT_EQ(p.marked, "s");
  EXPECT_EQ(p.leading, "9abcdefghijklmnopqr");
  p = m.Layout(text, 5);  // back: scroll start 4
  EXPECT_EQ(m.ScrollStart(), 4);
  EXPECT_EQ(p.marked, "3");
  m.Start(1, 0);
  EXPECT_FALSE(m.On());
}

TEST_F(ConsoleWindowTest, ClipboardCapacities) {
  console_->ClipboardPut(std::string("ol\xE1\0resto", 9));
  EXPECT_EQ(display.clipboard, "olá");
  std::string buffer = "antes";
  console_->ClipboardGet(buffer, 0);
  EXPECT_EQ(buffer, "antes");
  console_->ClipboardGet(buffer, 1);
  EXPECT_EQ(buffer, "");
  console_->ClipboardGet(buffer, 3);
  EXPECT_EQ(buffer, "ol");
  console_->ClipboardGet(buffer, 100);
  EXPECT_EQ(buffer, "ol\xE1");
}

TEST_F(ConsoleWindowTest, PicturesThatCannotLoadLeaveNothingToShow) {
  EXPECT_EQ(console_->PictureLoad(dir_ / "missing.bmp"), PictureResult::kRefused);
  console_->PictureShow(10, 10);
  EXPECT_EQ(display.picture_width, -1);
}

TEST_F(ConsoleWindowTest, ScreenTextHasTwentyFiveRows) {
  console_->Write("ol\xE1\r\n  mundo");
  const std::string text = console_->ScreenText();
  EXPECT_EQ(text.substr(0, 15), "olá\n  mundo\n\n\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 25);
}

TEST(ToneWaveTest, OneSecondSquareWaveWithItsHeader) {
  const std::vector<uint8_t> wav = BuildToneWave(800);
  ASSERT_GT(wav.size(), 44u);
  EXPECT_LE(wav.size(), 11071u);
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(wav[22], 1);   // mono
  EXPECT_EQ(wav[34], 8);   // 8 bits
  EXPECT_EQ(wav[24] | wav[25] << 8, 11025);
  const uint32_t data = wav[40] | wav[41] << 8 | wav[42] << 16 | static_cast<uint32_t>(wav[43]) << 24;
  EXPECT_EQ(data, wav.size() - 44);
  // Period 13: 6 samples low, the rest high; the last sample is the middle.
  EXPECT_EQ(wav[44], 96);
  EXPECT_EQ(wav[44 + 5], 96);
  EXPECT_EQ(wav[44 + 6], 160);
  EXPECT_EQ(wav.back(), 128);
  // The data ends where the first period that does not fit would begin: 796 * 11025 / 800.
  EXPECT_EQ(data, 10969u);
  EXPECT_TRUE(BuildToneWave(0).empty());
}

}  // namespace
}  // namespace navelo
