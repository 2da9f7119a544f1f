// The spoken line editor driven by scripted keys, with a console that keeps its cells and a
// speech layer that records what the user would hear.
#include "tradutor/spoken_editor.h"

#include <array>
#include <deque>
#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include "../config/temp_host.h"
#include "platform/host_system.h"
#include "tests/fixtures/stub_console.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo::testing {
namespace {

// Why a test cannot hold on Windows.
constexpr const char* kPosixPrograms =
    "it opens items with Linux programs (/bin/sh, /bin/cat, xdg-open), which Windows lacks";

// A console with a grid of characters and attributes, a cursor and a clipboard.
class GridConsole final : public StubConsole {
 public:
  GridConsole() {
    for (auto& row : chars) row.fill(' ');
    for (auto& row : attrs) row.fill(0);
  }
  void Write(std::string_view bytes) override {
    writes.emplace_back(bytes);
    for (const char c : bytes) {
      if (c == '\r') {
        x = 1;
      } else if (c == '\n') {
        y = std::min(y + 1, 25);
      } else if (x <= 80) {
        chars[y - 1][x - 1] = c;
        attrs[y - 1][x - 1] = attribute;
        ++x;
      }
    }
  }
  void Delay(int ms) override { delayed += ms; }
  void GotoXY(int column, int row) override {
    x = column;
    y = row;
  }
  int WhereX() override { return x; }
  int WhereY() override { return y; }
  void ClearToLineEnd() override {
    for (int c = x; c <= 80; ++c) chars[y - 1][c - 1] = ' ', attrs[y - 1][c - 1] = attribute;
  }
  unsigned char TextAttribute() override { return attribute; }
  void SetTextAttribute(unsigned char a) override { attribute = a; }
  void ClipboardPut(std::string_view text) override { clipboard = text; }
  void ClipboardGet(std::string& buffer, size_t capacity) override {
    if (capacity == 0) return;
    buffer = clipboard.substr(0, capacity - 1);
  }
  void MagnifiedLineShow(std::string_view text, int p) override {
    magnified = text;
    magnified_p = p;
  }

  // A row without its trailing blanks.
  std::string Row(int row) const {
    std::string text(chars[row - 1].begin(), chars[row - 1].end());
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }

  std::array<std::array<char, 80>, 25> chars;
  std::array<std::array<unsigned char, 80>, 25> attrs;
  int x = 1;
  int y = 1;
  unsigned char attribute = 0x0F;
  std::vector<std::string> writes;
  std::string clipboard;
  std::string magnified;
  int magnified_p = 0;
  int delayed = 0;
};

// Keys with the modifiers held as each was typed. Like a patient user, a key is typed only when
// the editor waits for it: KeyPressed sees only the code that follows a 0 and keys typed together.
class ScriptKeys final : public Keyboard {
 public:
  struct Entry {
    unsigned char byte;
    KeyModifiers mods;
    bool waiting;  // already in the queue before the editor asks for it
  };
  bool KeyPressed() override { return !queue.empty() && queue.front().waiting; }
  unsigned char ReadKey() override {
    if (before_read) before_read(queue.size());
    if (queue.empty()) {
      ADD_FAILURE() << "the editor waited for a key that the test did not type";
      return 13;
    }
    const Entry entry = queue.front();
    queue.pop_front();
    last = entry.mods;
    return entry.byte;
  }
  KeyModifiers Modifiers() override { return last; }

  ScriptKeys& Text(std::string_view text) {
    for (const char c : text) queue.push_back({static_cast<unsigned char>(c), {}, false});
    return *this;
  }
  // Keys typed so quickly that the later ones wait in the queue.
  ScriptKeys& Together(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
      queue.push_back({static_cast<unsigned char>(text[i]), {}, i > 0});
    }
    return *this;
  }
  ScriptKeys& Byte(unsigned char byte, KeyModifiers mods = {}) {
    queue.push_back({byte, mods, false});
    return *this;
  }
  ScriptKeys& Special(unsigned char code, KeyModifiers mods = {}) {
    queue.push_back({0, mods, false});
    queue.push_back({code, mods, true});
    return *this;
  }

  std::deque<Entry> queue;
  KeyModifiers last;
  // Called with the number of bytes left before each read: a look at the screen mid-edit.
  std::function<void(size_t)> before_read;
};

constexpr KeyModifiers kShift{true, false, false};
constexpr KeyModifiers kAlt{false, false, true};
constexpr KeyModifiers kCtrlAlt{false, true, true};

// Records every call as "kind:payload", in order.
class HeardSpeech final : public StubSpeech {
 public:
  HeardSpeech(Console& console, Keyboard& keys) : StubSpeech(console), keys_(keys) {}
  void SpeechReconfigure(int speed, bool, int, int, int, int) override {
    heard.push_back("speed:" + std::to_string(speed));
  }
  void Speak(std::string_view text) override { heard.push_back("speak:" + std::string(text)); }
  void SpellText(std::string_view text) override { heard.push_back("spell:" + std::string(text)); }
  void SpeakChar(unsigned char c) override {
    heard.push_back("char:" + std::string(1, static_cast<char>(c)));
  }
  void PlayNamedSound(std::string_view name) override {
    heard.push_back("sound:" + std::string(name));
  }
  bool SoundExists(std::string_view) override { return true; }
  int PlayWaveFile(std::string_view name) override {
    heard.push_back("wave:" + std::string(name));
    return 0;
  }
  void ShortTone() override { heard.push_back("click"); }
  void LongTone() override { heard.push_back("beep"); }
  unsigned char ReadKeySpoken() override {
    const unsigned char key = keys_.ReadKey();
    heard.push_back("key:" + std::to_string(key));
    return key;
  }
  void SpeakTime(int hour, int minute) override {
    heard.push_back("time:" + std::to_string(hour) + ":" + std::to_string(minute));
  }
  void SpeakDate(int day, int month, int year) override {
    heard.push_back("date:" + std::to_string(day) + "/" + std::to_string(month) + "/" +
                    std::to_string(year));
  }
  bool Echo() const override { return echo; }
  bool SpeakAll() const override { return speak_all; }
  void SetEcho(bool on) override { echo = on; }
  bool SetSoundNoWait(bool on) override {
    const bool old = no_wait;
    no_wait = on;
    return old;
  }
  void PlayLetterSound(std::string_view name) override {
    heard.push_back("letter:" + std::string(name));
  }

  std::vector<std::string> heard;
  bool echo = true;
  bool speak_all = true;
  bool no_wait = false;

 private:
  Keyboard& keys_;
};

class FixedClock final : public Clock {
 public:
  DateParts GetDate() override { return {2026, 12, 9, 3}; }
  TimeParts GetTime() override { return {14, 5, 0, 0}; }
};

using Heard = std::vector<std::string>;

class EditorTest : public ::testing::Test {
 protected:
  EditorTest()
      : host_(MapEnv({{"HOME", (dir_ / "home").string()},
                      {"NAVELO_DRIVE_C", (dir_ / "c").string()}}),
              dir_.path().string()),
        config_(host_),
        speech_(console, keys),
        editor(EditorServices{console, keys, speech_, config_, host_, clock_}) {
    editor.spawn = [this](const SpawnRequest& request) {
      started.push_back(request);
      return 1;
    };
    editor.current_directory = [] { return std::string("c:\\trabalho"); };
    // The desktop's opener, whether or not this machine has one.
    editor.find_in_path = [](std::string_view name) {
      return name == "xdg-open" ? std::string("/usr/bin/xdg-open") : FindInSearchPath(name);
    };
  }

  void Ini(const std::string& text) {
    Spit(dir_ / "home" / "AppData" / "Roaming" / "Navelo" / "navelo.ini", text);
  }

  // Edits text at column 1 of row 3 and returns the ending key.
  int Edit(std::string& text, int max_length = 40, int x = 1, int y = 3) {
    return editor.EditLineSpoken(text, x, y, max_length);
  }
  // What was heard, without the clicks and letters of typing.
  Heard HeardBesidesTyping() const {
    Heard out;
    for (const auto& h : speech_.heard) {
      if (h.rfind("char:", 0) != 0) out.push_back(h);
    }
    return out;
  }
  Heard& heard() { return speech_.heard; }

  TempDir dir_;
  HostEnvironment host_;
  Config config_;
  FixedClock clock_;

 public:
  GridConsole console;
  ScriptKeys keys;

 protected:
  HeardSpeech speech_;

 public:
  SpokenEditor editor;
  std::vector<SpawnRequest> started;
};

TEST_F(EditorTest, TypedCharactersAreEchoedShownAndEndedByEnter) {
  keys.Text("ab1").Byte(13);
  std::string text;
  EXPECT_EQ(Edit(text), 13);
  EXPECT_EQ(text, "ab1");
  EXPECT_EQ(heard(), (Heard{"char:a", "char:b", "char:1"}));
  EXPECT_EQ(console.Row(3), "ab1");
  // The editor's sounds do not wait while it runs; the setting is given back at the end.
  EXPECT_FALSE(speech_.no_wait);
}

TEST_F(EditorTest, EndingKeysAreReturnedAndAltCtrlF9OpensTheScreenReview) {
  std::string text;
  for (const int byte : {2, 9, 10, 13, 27}) {
    keys.Byte(static_cast<unsigned char>(byte));
    EXPECT_EQ(Edit(text), byte);
  }
  // Special keys outside the tables end the edit with their code: Up, PgDn, Insert, F2, F10.
  for (const int code : {72, 81, 82, 60, 68}) {
    keys.Special(static_cast<unsigned char>(code));
    EXPECT_EQ(Edit(text), code);
  }
  keys.Special(59, kAlt);
  EXPECT_EQ(Edit(text), 104) << "Alt+F1";
  keys.Special(102);
  EXPECT_EQ(Edit(text), 102) << "Ctrl+F9";
  EXPECT_TRUE(heard().empty());
  int reviews = 0;
  editor.screen_review = [&reviews] { ++reviews; };
  keys.Special(102, kCtrlAlt).Byte(13);
  EXPECT_EQ(Edit(text), 13);
  EXPECT_EQ(reviews, 1);
  EXPECT_TRUE(heard().empty());
  // Ctrl+Alt+Q with nothing after it neither ends the edit nor waits for another key.
  keys.Special(16, kCtrlAlt).Text("z").Byte(13);
  EXPECT_EQ(Edit(text), 13);
  EXPECT_EQ(text, "z");
}

TEST_F(EditorTest, ReadLineSpokenStartsEmptyAndEndsTheLine) {
  console.GotoXY(10, 2);
  keys.Text("AB12").Byte(13);
  std::string text = "oferecido";
  EXPECT_EQ(editor.ReadLineSpoken(text), 13);
  EXPECT_EQ(text, "AB12");
  EXPECT_EQ(console.Row(2), "         AB12");
  EXPECT_EQ(console.y, 3);
}

TEST_F(EditorTest, ReadLineSpokenEndedWithEscBlanksWhatWasTyped) {
  console.GotoXY(7, 4);
  keys.Text("segredo").Byte(27);
  std::string text;
  EXPECT_EQ(editor.ReadLineSpoken(text), 27);
  EXPECT_EQ(text, "");
  EXPECT_EQ(console.Row(4), "");
  EXPECT_EQ(console.y, 5);
}

TEST_F(EditorTest, FirstPrintableKeyReplacesAnOfferedValueAndAnArrowKeepsIt) {
  keys.Text("xy").Byte(13);
  std::string text = "oferta";
  Edit(text);
  EXPECT_EQ(text, "xy");
  EXPECT_EQ(heard(), (Heard{"click", "click", "char:x", "char:y"}));
  heard().clear();
  keys.Special(77).Text("X").Byte(13);
  text = "oferta";
  Edit(text);
  EXPECT_EQ(text, "oXferta");
  EXPECT_EQ(heard(), (Heard{"char:o", "char:X"}));
}

TEST_F(EditorTest, BackspaceAndLeftAtTheStartGiveTheLongBeepAndChangeNothing) {
  keys.Special(77).Special(71).Byte(8).Special(75).Byte(13);
  std::string text = "abc";
  Edit(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(heard(), (Heard{"char:a", "beep", "beep"}));
}

TEST_F(EditorTest, BackspaceSaysTheLetterAndDeleteAddsItsPromptWithSpeakAll) {
  keys.Special(79).Byte(8).Special(71).Special(83).Byte(13);
  std::string text = "abcd";
  Edit(text);
  EXPECT_EQ(text, "bc");
  EXPECT_EQ(heard(), (Heard{"char:d", "sound:_DEL", "char:a"}));
  heard().clear();
  speech_.speak_all = false;
  keys.Special(83).Byte(13);
  Edit(text);
  EXPECT_EQ(text, "c");
  EXPECT_EQ(heard(), (Heard{"char:b"}));
}

TEST_F(EditorTest, CtrlLeftMovesToThePreviousWordThenBeepsAtTheStart) {
  // From the first letter of the second word, back twice.
  keys.Special(116).Special(115).Special(115).Text("X").Byte(13);
  std::string text = "abc def";
  Edit(text);
  EXPECT_EQ(HeardBesidesTyping(), (Heard{"click", "click", "beep"}));
  EXPECT_EQ(text, "Xabc def");
}

TEST_F(EditorTest, F1SpeaksTheNumberAfterBlanksAndLeavesTheCursorAfterIt) {
  keys.Special(59).Text("x").Byte(13);
  std::string text = "  123 abc";
  Edit(text);
  EXPECT_EQ(HeardBesidesTyping(), (Heard{"speak:123"}));
  EXPECT_EQ(text, "  123x abc");
}

TEST_F(EditorTest, F1ReadsWordsSpellsConsonantRunsAndSignsThenBeepsAtTheEnd) {
  keys.Special(59).Special(59).Special(59).Special(59).Special(59).Text("!").Byte(13);
  std::string text = "casa CPF -12 /";
  Edit(text);
  EXPECT_EQ(HeardBesidesTyping(),
            (Heard{"speak:casa", "spell:CPF", "speak:-12", "spell:/", "beep"}));
  // After the beep the cursor is where it was: after the last item.
  EXPECT_EQ(text, "casa CPF -12 /!");
}

TEST_F(EditorTest, F4TogglesTheEchoForTheRestOfTheRun) {
  keys.Special(62).Text("ab").Special(62).Text("c").Byte(13);
  std::string text;
  Edit(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(heard(), (Heard{"sound:_FALDLG", "sound:_FALACI", "char:c"}));
  EXPECT_TRUE(speech_.echo);
}

TEST_F(EditorTest, CtrlF4ThenADigitChangesTheSpeedAndEscChangesNothing) {
  std::string text;
  keys.Special(97).Text("2").Byte(13);
  keys.Special(97).Byte(27).Byte(13);
  // Of keys typed together the last counts; speeds past 5 give the middle one.
  keys.Special(97).Together("14").Byte(13);
  keys.Special(97).Text("9").Byte(13);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Edit(text), 13);
  EXPECT_EQ(heard(), (Heard{"sound:_VELOC", "key:50", "speed:2", "sound:_VELOC", "key:27",
                            "sound:_VELOC", "key:49", "key:52", "speed:4", "sound:_VELOC",
                            "key:57", "speed:3"}));
}

TEST_F(EditorTest, CtrlBackspaceDeletesTheWordAndTheBlanksAfterIt) {
  // The cursor in the middle of "dois".
  keys.Special(116).Special(77).Special(77).Byte(127).Byte(13);
  std::string text = "um dois  tres";
  Edit(text);
  EXPECT_EQ(text, "um tres");
  Heard deleted;
  for (const auto& h : heard()) {
    if (h == "sound:_DEL" || h.rfind("char:", 0) == 0) deleted.push_back(h);
  }
  EXPECT_EQ(deleted, (Heard{"char:d", "char:o", "sound:_DEL", "char:d", "char:o", "char:i",
                            "char:s", "char: ", "char: "}));
}

TEST_F(EditorTest, TypingPastTheLimitBeepsAndAFullFieldLosesNothing) {
  keys.Text("abcd").Special(71).Text("X").Byte(13);
  std::string text;
  Edit(text, 3);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(heard(), (Heard{"char:a", "char:b", "char:c", "beep", "beep"}));
}

TEST_F(EditorTest, CopyTakesTheLineWithItsEndOrTheSelection) {
  keys.Byte(3).Byte(13);
  std::string text = "AB123";
  Edit(text);
  EXPECT_EQ(console.clipboard, "AB123\r\n");
  // A selection made leftwards is copied as one made rightwards.
  keys.Special(79).Special(75, kShift).Special(75, kShift).Special(255).Byte(13);
  Edit(text);
  EXPECT_EQ(console.clipboard, "23");
  keys.Special(77).Special(77, kShift).Special(77, kShift).Byte(3).Byte(13);
  Edit(text);
  EXPECT_EQ(console.clipboard, "B1");
  EXPECT_EQ(text, "AB123");
}

TEST_F(EditorTest, TheSelectionIsDrawnOnBackground8) {
  console.attribute = 0x1E;
  unsigned char selected = 0, plain = 0;
  keys.before_read = [&](size_t left) {
    if (left == 1) selected = console.attrs[2][1], plain = console.attrs[2][3];
  };
  keys.Special(77).Special(77, kShift).Special(77, kShift).Byte(13);
  std::string text = "abcdef";
  Edit(text);
  EXPECT_EQ(selected, 0x8E);
  EXPECT_EQ(plain, 0x1E);
  EXPECT_EQ(console.attribute, 0x1E);
}

TEST_F(EditorTest, ShiftDeleteRemovesTheSelection) {
  // An arrow without Shift would end the selection; Shift+Del deletes it.
  keys.Special(79).Special(75, kShift).Special(75, kShift).Special(83, kShift).Byte(13);
  std::string text = "abcdef";
  Edit(text);
  EXPECT_EQ(text, "abcd");
  EXPECT_EQ(HeardBesidesTyping(), (Heard{"sound:_DEL"}));
}

TEST_F(EditorTest, PasteAtTheCursorOverTheSelectionOrAsFirstKey) {
  console.clipboard = "XY\r\nresto";
  keys.Special(77).Byte(22).Byte(13);
  std::string text = "ab";
  Edit(text);
  EXPECT_EQ(text, "aXYb");  // up to the line end
  console.clipboard = "ZZZ";
  keys.Special(77).Special(77, kShift).Special(77, kShift).Byte(22).Byte(13);
  text = "abcdef";
  Edit(text);
  EXPECT_EQ(text, "aZZZdef");
  EXPECT_TRUE(HeardBesidesTyping().empty());
  heard().clear();
  console.clipboard = "novo";
  keys.Special(254, kShift).Byte(13);
  text = "velho";
  Edit(text);
  EXPECT_EQ(text, "novo");
  EXPECT_EQ(heard(), (Heard{"click", "click"}));
}

TEST_F(EditorTest, PasteThatDoesNotFitIsCutWithTheLongBeepAndControlBytesShowAsBlanks) {
  console.clipboard = "123456";
  keys.Special(77).Special(77).Byte(22).Byte(13);
  std::string text = "ab";
  Edit(text, 5);
  EXPECT_EQ(text, "ab123");
  EXPECT_EQ(HeardBesidesTyping(), (Heard{"beep"}));
  console.clipboard = "a\tb";
  keys.Byte(22).Byte(13);
  text.clear();
  Edit(text);
  EXPECT_EQ(text, "a\tb");
  EXPECT_EQ(console.Row(3), "a b");
}

TEST_F(EditorTest, ALongFieldScrollsToKeepTheCursorInView) {
  std::string typed(90, 'x');
  typed += "0123456789";
  std::string row_at_end;
  keys.before_read = [&](size_t left) {
    if (left == 1) row_at_end = console.Row(5);
  };
  keys.Text(typed).Byte(13);
  speech_.echo = false;
  std::string text;
  Edit(text, 255, 11, 5);
  EXPECT_EQ(text, typed);
  // 79 - 11 = 68 columns: the last 68 characters typed, the cursor after them, and the magnified
  // line from the scroll start with the cursor at the width.
  EXPECT_EQ(row_at_end, std::string(10, ' ') + typed.substr(100 - 68));
  EXPECT_EQ(console.magnified.substr(0, 68), typed.substr(100 - 68));
  EXPECT_EQ(console.magnified_p, 69);
  // At the end the field's first columns are shown again.
  EXPECT_EQ(console.Row(5), std::string(10, ' ') + typed.substr(0, 68));
}

TEST_F(EditorTest, NoRoomLeftOnTheRowStartsTheFieldOnTheNextRow) {
  console.GotoXY(80, 6);
  keys.Text("ok").Byte(13);
  std::string text;
  EXPECT_EQ(editor.ReadLineSpoken(text), 13);
  EXPECT_EQ(text, "ok");
  EXPECT_EQ(console.Row(7), "ok");
}

TEST_F(EditorTest, CtrlBackslashDialsTheFieldAndAKeyStopsIt) {
  keys.Byte(28).Byte(13);
  std::string text = "1*#,a9";
  Edit(text);
  EXPECT_EQ(heard(), (Heard{"letter:dtmf_1", "letter:dtmf_X", "letter:dtmf_#", "letter:dtmf_9"}));
  EXPECT_EQ(console.delayed, 4 * 100 + 1000);
  heard().clear();
  keys.queue.push_back({13, {}, true});
  editor.DialTones("123");
  EXPECT_TRUE(heard().empty());
  EXPECT_EQ(keys.queue.size(), 1u);
}

class BatteryTest : public EditorTest {
 protected:
  void Supply(const std::string& name, std::map<std::string, std::string> files) {
    for (const auto& [file, value] : files) Spit(dir_ / "power" / name / file, value + "\n");
  }
};

TEST_F(BatteryTest, ChargeIsSpokenAndMainsOffIsSaid) {
  Supply("BAT0", {{"type", "Battery"}, {"capacity", "57"}, {"status", "Discharging"}});
  Supply("AC", {{"type", "Mains"}, {"online", "0"}});
  Supply("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "5"}});
  editor.power_supply_dir = dir_ / "power";
  editor.SpeakBattery();
  EXPECT_EQ(heard(), (Heard{"speak:57%", "sound:_SEMENER"}));
}

TEST_F(BatteryTest, OnMainsOnlyTheChargeOfTheBatteriesIsSpoken) {
  Supply("BAT0", {{"type", "Battery"}, {"capacity", "80"}, {"status", "Charging"}});
  Supply("BAT1", {{"type", "Battery"}, {"capacity", "100"}});
  Supply("ADP1", {{"type", "Mains"}, {"online", "1"}});
  editor.power_supply_dir = dir_ / "power";
  keys.Special(104).Byte(13);
  std::string text;
  Edit(text);
  EXPECT_EQ(heard(), (Heard{"speak:90%"}));
}

TEST_F(BatteryTest, NoBatteryAMissingFolderAndUnreadableFiles) {
  Supply("AC", {{"type", "Mains"}, {"online", "1"}});
  editor.power_supply_dir = dir_ / "power";
  editor.SpeakBattery();
  editor.power_supply_dir = dir_ / "nowhere";
  editor.SpeakBattery();
  EXPECT_EQ(heard(), (Heard{"sound:_SEMBAT", "sound:_SEMBAT"}));
  Supply("BAT0", {{"type", "Battery"}, {"capacity", "lots"}, {"status", "Discharging"}});
  const PowerStatus power = ReadPowerStatus(dir_ / "power");
  EXPECT_TRUE(power.has_battery);
  EXPECT_EQ(power.percent, -1);
  EXPECT_EQ(power.line_online, 1);
}

TEST_F(EditorTest, F12OpensAnAddressInParenthesesWithTheBrowserOfTheIni) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixPrograms;
  Ini("[NAVELO]\nPROG.HTM=/bin/sh\n");
  keys.Special(77).Special(77).Special(77).Special(77).Special(77).Special(77).Special(70);
  keys.Byte(13);
  std::string text = "veja (www.exemplo.com.br) agora";
  Edit(text);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, "/bin/sh");
  EXPECT_EQ(started[0].argv, (std::vector<std::string>{"/bin/sh", "www.exemplo.com.br"}));
  EXPECT_EQ(started[0].directory, host_.Resolve("c:\\trabalho").string());
  // On a blank there is nothing to open.
  keys.Special(77).Special(77).Special(70).Byte(13);
  text = "a  b";
  Edit(text);
  EXPECT_EQ(started.size(), 1u);
  EXPECT_EQ(HeardBesidesTyping(), (Heard{"beep"}));
}

TEST_F(EditorTest, OpenItemUsesTheProgramOfTheExtensionElseTheDesktopOpener) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixPrograms;
  Ini("[NAVELO]\nPROG.TXT=/bin/cat\nPROG.PDF=c:\\falta\\leitor.exe\n");
  editor.OpenItem("nota.txt");
  editor.OpenItem("foto.jpg");
  editor.OpenItem("https://exemplo.com/x");
  editor.OpenItem("livro.pdf");
  ASSERT_EQ(started.size(), 4u);
  EXPECT_EQ(started[0].argv, (std::vector<std::string>{"/bin/cat", "nota.txt"}));
  EXPECT_EQ(started[1].program, "/usr/bin/xdg-open");
  EXPECT_EQ(started[1].argv, (std::vector<std::string>{"xdg-open", "foto.jpg"}));
  EXPECT_EQ(started[2].argv, (std::vector<std::string>{"xdg-open", "https://exemplo.com/x"}));
  // The program set for it is not on this machine.
  EXPECT_EQ(started[3].argv, (std::vector<std::string>{"xdg-open", "livro.pdf"}));
}

TEST_F(EditorTest, OpenItemStartsAProgramNamedWithExeAndNothingWhenItIsMissing) {
  if (HostPathsAreNative()) GTEST_SKIP() << kPosixPrograms;
  Spit(dir_ / "c" / "jogos" / "xadrez", "#!/bin/sh\n");
  fs::permissions(dir_ / "c" / "jogos" / "xadrez", fs::perms::owner_all);
  editor.OpenItem("c:\\jogos\\xadrez.exe");
  editor.OpenItem("c:\\jogos\\falta.exe");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].argv,
            (std::vector<std::string>{(dir_ / "c" / "jogos" / "xadrez").string()}));
}

}  // namespace
}  // namespace navelo::testing
