// The key queue and the key tables: what each key, character, mouse action and braille chord
// puts in the queue.
#include "console/key_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/key_codes.h"

namespace navelo {
namespace {

using Type = DisplayEvent::Type;

struct Host final : KeyInput::Host {
  void CloseConsole() override { ++closes; }
  void PlayModeTone(int hertz) override { tones.push_back(hertz); }
  int closes = 0;
  std::vector<int> tones;
};

InputModifiers Mods(bool shift, bool ctrl, bool alt) {
  InputModifiers m;
  m.shift = shift;
  m.ctrl = ctrl;
  m.alt = alt;
  return m;
}

DisplayEvent Key(int key, InputModifiers mods = {}, Type type = Type::kKeyDown) {
  DisplayEvent e;
  e.type = type;
  e.key = key;
  e.mods = mods;
  return e;
}

DisplayEvent Char(unsigned char c, InputModifiers mods = {}) {
  DisplayEvent e;
  e.type = Type::kChar;
  e.byte = c;
  e.mods = mods;
  return e;
}

class KeyInputTest : public ::testing::Test {
 protected:
  std::string Drain() {
    std::string bytes;
    while (!input.Empty()) bytes += static_cast<char>(input.Take());
    return bytes;
  }
  // Presses the keys together and releases them in the order given.
  void Chord(std::string_view press, std::string_view release) {
    for (char k : press) input.Handle(Key(k));
    for (char k : release) input.Handle(Key(k, {}, Type::kKeyUp));
  }
  Host host;
  KeyInput input{host};
};

struct ExtendedCase {
  int key;
  InputModifiers mods;
  std::string bytes;
};

TEST_F(KeyInputTest, ExtendedKeysQueueZeroAndTheirCode) {
  const InputModifiers none;
  const InputModifiers shift = Mods(true, false, false);
  const InputModifiers ctrl = Mods(false, true, false);
  const std::vector<ExtendedCase> cases = {
      {kVkF1, none, {'\0', 59}},       {kVkF1, ctrl, {'\0', 94}},
      {kVkF1 + 8, none, {'\0', 67}},   {kVkF1 + 8, ctrl, {'\0', 102}},
      {kVkF1 + 9, ctrl, {'\0', 103}},  {kVkF1 + 10, none, {'\0', 69}},
      {kVkF12, ctrl, {'\0', 105}},     {kVkInsert, shift, {'\0', '\xFE'}},
      {kVkInsert, ctrl, {'\0', '\xFF'}}, {kVkInsert, none, {'\0', 82}},
      {kVkDelete, ctrl, {'\0', 83}},   {kVkHome, ctrl, {'\0', 119}},
      {kVkEnd, none, {'\0', 79}},      {kVkPageUp, ctrl, {'\0', '\x84'}},
      {kVkPageDown, none, {'\0', 81}}, {kVkUp, none, {'\0', 72}},
      {kVkDown, ctrl, {'\0', 114}},    {kVkLeft, none, {'\0', 75}},
      {kVkRight, ctrl, {'\0', 116}},
  };
  for (const auto& c : cases) {
    input.Handle(Key(c.key, c.mods));
    EXPECT_EQ(Drain(), c.bytes) << "key " << c.key;
  }
}

TEST_F(KeyInputTest, CtrlAltLettersAndDigitsQueueTheirAltCodes) {
  const InputModifiers ctrl_alt = Mods(false, true, true);
  input.Handle(Key('Q', ctrl_alt));
  EXPECT_EQ(Drain(), std::string({'\0', 16}));
  input.Handle(Key('0', ctrl_alt));
  EXPECT_EQ(Drain(), std::string({'\0', '\x81'}));
  input.Handle(Key('A', ctrl_alt));
  input.Handle(Key('Z', ctrl_alt));
  input.Handle(Key('9', ctrl_alt));
  EXPECT_EQ(Drain(), std::string({'\0', 30, '\0', 44, '\0', '\x80'}));
  EXPECT_EQ(CtrlAltCode('m'), 50);
}

TEST_F(KeyInputTest, AltAloneTakesOnlyLeftAndRightAndF10GivesNothing) {
  const InputModifiers alt = Mods(false, false, true);
  input.Handle(Key(kVkLeft, alt, Type::kSystemKeyDown));
  input.Handle(Key(kVkRight, alt, Type::kSystemKeyDown));
  input.Handle(Key('X', alt, Type::kSystemKeyDown));
  input.Handle(Key(kVkF1 + 3, alt, Type::kSystemKeyDown));
  input.Handle(Key(kVkF1 + 9, {}, Type::kSystemKeyDown));
  EXPECT_EQ(Drain(), std::string({'\0', 75, '\0', 77}));
}

TEST_F(KeyInputTest, CharactersWithCtrlAndPlainKeys) {
  const InputModifiers ctrl = Mods(false, true, false);
  input.Handle(Char(13, ctrl));
  input.Handle(Char(8, ctrl));
  input.Handle(Char(13));
  input.Handle(Char(8));
  input.Handle(Char(1, ctrl));
  input.Handle(Char(0xE9));
  input.Handle(Key('A'));  // a letter's key-down types nothing; its character does
  EXPECT_EQ(Drain(), std::string("\n\x7F\r\b\x01\xE9"));
}

TEST_F(KeyInputTest, AFullQueueDropsTwoByteKeysWholeButTakesOneMoreCharacter) {
  for (int i = 0; i < 63; ++i) input.Enqueue('x');
  input.Handle(Key(kVkUp));
  EXPECT_EQ(input.Count(), 63);
  input.Handle(Char('y'));
  EXPECT_EQ(input.Count(), 64);
  input.Handle(Char('z'));
  input.Enqueue('z');
  EXPECT_EQ(input.Count(), 64);
  const std::string bytes = Drain();
  EXPECT_EQ(bytes.back(), 'y');
}

TEST_F(KeyInputTest, CtrlAltKeyNeedsTwoFreePlaces) {
  for (int i = 0; i < 63; ++i) input.Enqueue('x');
  input.Handle(Key('Q', Mods(false, true, true)));
  EXPECT_EQ(input.Count(), 63);
}

TEST_F(KeyInputTest, CtrlBreakClosesTheConsole) {
  input.Handle(Key(kVkCancel, Mods(false, true, false)));
  EXPECT_EQ(host.closes, 1);
  input.ctrl_break_check = false;
  input.Handle(Key(kVkCancel, Mods(false, true, false)));
  EXPECT_EQ(host.closes, 1);
}

TEST_F(KeyInputTest, MouseButtonsAndWheelAreKeysButTheFocusClickIsNot) {
  DisplayEvent focus;
  focus.type = Type::kFocusGained;
  focus.buttons_down = true;
  input.Handle(focus);
  DisplayEvent click;
  click.type = Type::kMouseDown;
  click.button = 1;
  input.Handle(click);
  EXPECT_TRUE(input.Empty());
  input.Handle(click);
  click.button = 3;
  input.Handle(click);
  click.button = 2;
  input.Handle(click);
  DisplayEvent wheel;
  wheel.type = Type::kWheel;
  wheel.wheel = 1;
  input.Handle(wheel);
  wheel.wheel = -2;
  input.Handle(wheel);
  wheel.wheel = 0;
  input.Handle(wheel);
  EXPECT_EQ(Drain(), std::string({13, 27, '\0', 67, '\0', 72, '\0', 80}));
}

TEST_F(KeyInputTest, ModeHotKeysAndTheirTones) {
  const InputModifiers ctrl_alt = Mods(false, true, true);
  input.Handle(Key(kVkF12, ctrl_alt));
  EXPECT_TRUE(host.tones.empty());
  input.Handle(Key(kVkF1 + 10, ctrl_alt));
  EXPECT_EQ(input.BrailleMode(), 1);
  EXPECT_EQ(host.tones, (std::vector<int>{800, 1600}));
  input.Handle(Key(kVkF1 + 10, ctrl_alt));
  EXPECT_EQ(input.BrailleMode(), 2);
  input.Handle(Key(kVkF1 + 10, ctrl_alt));
  EXPECT_EQ(input.BrailleMode(), 1);
  host.tones.clear();
  input.Handle(Key(kVkF12, ctrl_alt));
  EXPECT_EQ(input.BrailleMode(), 0);
  EXPECT_EQ(host.tones, std::vector<int>{100});
  EXPECT_TRUE(input.Empty());
}

TEST_F(KeyInputTest, DirectModeChordsInEitherReleaseOrder) {
  input.SetBrailleMode(1);
  Chord("FD", "FD");
  Chord("F", "");
  Chord("D", "F");
  input.Handle(Key('D', {}, Type::kKeyUp));
  input.Handle(Char('f'));  // letters type through chords only
  Chord(" FD", " FD");      // space with dots 1-2: Ctrl+B
  Chord(" ", " ");
  EXPECT_EQ(Drain(), std::string("bb\x02 "));
}

TEST_F(KeyInputTest, TextRulesOfModeTwo) {
  input.SetBrailleMode(2);
  Chord("JKLS", "JKLS");  // # starts number mode
  Chord("F", "F");        // a -> 1
  Chord("FD", "FD");      // b -> 2
  Chord(" ", " ");        // the blank ends number mode
  Chord("JL", "JL");      // { capital next
  Chord("F", "F");        // A
  Chord("JL", "JL");
  Chord("JL", "JL");      // caps lock
  Chord("F", "F");
  Chord("FD", "FD");
  Chord(" ", " ");
  Chord("S", "S");        // dot 3 is a full stop
  Chord("FKL", "FKL");    // dots 1-5-6 are @
  EXPECT_EQ(Drain(), "12 AAB .@");
}

TEST_F(KeyInputTest, BrailleCellTableSpotChecks) {
  EXPECT_EQ(kBrailleCells[0], ' ');
  EXPECT_EQ(kBrailleCells[1 | 2 | 4 | 8 | 32], 0xE7);       // 1-2-3-4-6 ç
  EXPECT_EQ(kBrailleCells[1 | 2 | 4 | 8 | 16 | 32], 0xE9);  // é
  EXPECT_EQ(kBrailleCells[4 | 8 | 16 | 32], '#');
  EXPECT_EQ(kBrailleCells[8 | 32], '{');
}

}  // namespace
}  // namespace navelo
