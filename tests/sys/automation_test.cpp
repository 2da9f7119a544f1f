// Tests of key and pointer synthesis over a fake layout, of the accessibility event ring and the
// properties read from an object, and of the switch matrix scan over a fake port.
#include "sys/automation.h"

#include <gtest/gtest.h>

#include "tests/fixtures/fake_desktop.h"

namespace navelo::testing {
namespace {

using Events = std::vector<std::string>;

class KeySynthesisTest : public ::testing::Test {
 protected:
  KeySynthesisTest() : keys([this] { ++pumps; }, [this](int ms) { paused.push_back(ms); }) {
    input.UseSimpleLayout();
    keys.UseInput(input);
  }
  FakeInput input;
  int pumps = 0;
  std::vector<int> paused;
  KeySynthesis keys;
};

TEST_F(KeySynthesisTest, ModifiersGoDownInOrderAndComeUpAfterTheKey) {
  keys.PressKey(36, true, true, 100, true);  // Home with Ctrl, Shift and Alt
  EXPECT_EQ(input.events, (Events{"down:16", "down:17", "down:18", "down:36+x", "up:36+x",
                                  "up:16", "up:17", "up:18"}));
  EXPECT_EQ(paused, std::vector<int>{100});
  // The program's own messages are handled after every key event.
  EXPECT_EQ(pumps, 8);
}

TEST_F(KeySynthesisTest, ShiftHomeIsExtendedAndControlBytesAreCtrlLetters) {
  keys.PressKey(36, false, true, 0, false);
  EXPECT_EQ(input.events, (Events{"down:16", "down:36+x", "up:36+x", "up:16"}));
  EXPECT_TRUE(paused.empty());
  input.events.clear();
  keys.TypeChar(13, 5);  // Ctrl+M, not the Enter key
  EXPECT_EQ(input.events, (Events{"down:17", "down:77", "up:77", "up:17"}));
  EXPECT_EQ(paused, std::vector<int>{5});
}

TEST_F(KeySynthesisTest, NumLockIsSwitchedWithoutAKeyEvent) {
  keys.KeyStroke(kVkNumLock, 1, true);
  EXPECT_EQ(input.events, Events{"numlock"});
}

TEST_F(KeySynthesisTest, AccentedLettersGoThroughTheLayoutsDeadKeys) {
  input.layout[0xE7] = {300, 0};                 // a ç key
  input.dead_keys['~'] = {301, 0};               // the tilde dead key
  input.dead_keys[180] = {302, 0};               // the acute dead key
  input.dead_keys['`'] = {302, kModShift};       // grave is Shift on the same key
  keys.TypeText("\xE7\xE3o", 0);                 // "ção"
  EXPECT_EQ(input.events, (Events{"down:300", "up:300", "down:301", "up:301", "down:65", "up:65",
                                  "down:79", "up:79"}));
  input.events.clear();
  keys.TypeChar(0xC0, 0);  // À: Shift+dead key, then Shift+A
  EXPECT_EQ(input.events, (Events{"down:16", "down:302", "up:302", "up:16", "down:16", "down:65",
                                  "up:65", "up:16"}));
}

TEST_F(KeySynthesisTest, WithoutTheDeadKeyTheCharactersOwnKeyOrABlankIsTyped) {
  input.layout[0xFC] = {310, kModAltGr};  // ü on a key of its own (or a spare one)
  keys.TypeChar(0xFC, 0);
  EXPECT_EQ(input.events, (Events{"down:165", "down:310", "up:310", "up:165"}));
  input.events.clear();
  keys.TypeChar(0xF5, 0);  // õ: no dead tilde and no key: a blank
  EXPECT_EQ(input.events, (Events{"down:32", "up:32"}));
  input.events.clear();
  keys.TypeChar('#', 0);  // a printable character without a key types nothing
  EXPECT_TRUE(input.events.empty());
}

TEST_F(KeySynthesisTest, TypeKeyOfPressesTheKeyWithoutItsModifiers) {
  keys.TypeKeyOf('A');
  keys.TypeKeyOf('!');
  EXPECT_EQ(input.events, (Events{"down:65", "up:65", "down:49", "up:49"}));
  EXPECT_EQ(paused, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(KeySynthesisTest, ClicksMoveThePointerFirst) {
  keys.PointerDoubleClick(100, 200);
  EXPECT_EQ(input.events, (Events{"move:100,200", "button:down", "button:up", "button:down",
                                  "button:up"}));
  input.events.clear();
  keys.PointerClick(5, 6);
  keys.PointerMove(7, 8);
  EXPECT_EQ(input.events, (Events{"move:5,6", "button:down", "button:up", "move:7,8"}));
  // Each press is held a moment and the two clicks of a double click are apart, as a hand
  // clicks (a burst of four button events lost a press under a grabbing window manager).
  EXPECT_EQ(paused, (std::vector<int>{20, 60, 20, 20}));
}

TEST(DeadKeyPairTest, AccentsAndBasesOfTheUpperHalf) {
  using Pair = std::pair<unsigned char, unsigned char>;
  EXPECT_EQ(DeadKeyPair(0xC0), (Pair{'`', 'A'}));
  EXPECT_EQ(DeadKeyPair(0xE9), (Pair{180, 'e'}));
  EXPECT_EQ(DeadKeyPair(0xEA), (Pair{'^', 'e'}));
  EXPECT_EQ(DeadKeyPair(0xF1), (Pair{'~', 'n'}));
  EXPECT_EQ(DeadKeyPair(0xFC), (Pair{168, 'u'}));
  EXPECT_EQ(DeadKeyPair(0xFF), (Pair{168, 'y'}));
  EXPECT_EQ(DeadKeyPair(0x9F), (Pair{168, 'Y'}));
  EXPECT_EQ(DeadKeyPair(0xFD), (Pair{180, 'y'}));
  EXPECT_EQ(DeadKeyPair(0xC7), (Pair{'_', 0xC7}));  // Ç is its own base
  EXPECT_EQ(DeadKeyPair(0xC5), (Pair{'_', 0xC5}));  // Å too
  EXPECT_EQ(DeadKeyPair(0xDF), (Pair{'_', 0xDF}));
  EXPECT_EQ(DeadKeyPair(0xA3), (Pair{'_', 0xA3}));
}

AccessibleInfo Named(std::string name) {
  AccessibleInfo info;
  info.role_code = 44;
  info.role_text = "caixa de sele\xE7\xE3o";
  info.name = std::move(name);
  return info;
}

class AccessibilityTest : public ::testing::Test {
 protected:
  AccessibilityTest() : monitor([this] { ++pumps; }) { monitor.UseBackend(backend); }
  FakeAccessibility backend;
  int pumps = 0;
  AccessibilityMonitor monitor;
};

TEST_F(AccessibilityTest, NothingHappeningGivesNoEventAndNoBackendNoMonitor) {
  EXPECT_TRUE(monitor.AccMonitorStart());
  EXPECT_FALSE(monitor.AccNextEvent());
  FakeAccessibility none;
  none.available = false;
  AccessibilityMonitor other([] {});
  other.UseBackend(none);
  EXPECT_FALSE(other.AccMonitorStart());
  EXPECT_FALSE(other.AccNextEvent());
}

TEST_F(AccessibilityTest, FocusOnATickedCheckBoxReadsItsProperties) {
  monitor.AccMonitorStart();
  AccessibleInfo info = Named("Aceito");
  info.checked = true;
  info.has_location = true;
  info.left = 10, info.top = 20, info.width = 30, info.height = 40;
  info.value = "v";
  backend.Push(32773, info);
  backend.Push(7, Named("ignored"));  // neither focus nor foreground
  ASSERT_TRUE(monitor.AccNextEvent());
  const AccProperties& p = monitor.Properties();
  EXPECT_EQ(p.name, "Aceito");
  EXPECT_EQ(p.role_code, 44);
  EXPECT_EQ(p.role_text, "caixa de sele\xE7\xE3o");
  EXPECT_EQ(p.state_text, "marcado");
  EXPECT_EQ(p.value, "v");
  EXPECT_EQ(p.left + p.top + p.width + p.height, 100);
  EXPECT_FALSE(monitor.AccNextEvent());
}

TEST_F(AccessibilityTest, UnavailableWinsOverTickedAndRoleZeroEmptiesEverything) {
  AccessibleInfo info = Named("Enviar");
  info.checked = info.unavailable = true;
  backend.at_point = std::make_shared<FakeTarget>(info);
  ASSERT_TRUE(monitor.AccObjectAt(3, 4));
  EXPECT_EQ(monitor.Properties().state_text, "indispon\xEDvel");
  AccessibleInfo zero = Named("x");
  zero.role_code = 0;
  zero.checked = true;
  backend.at_point = std::make_shared<FakeTarget>(zero);
  ASSERT_TRUE(monitor.AccObjectAt(3, 4));
  EXPECT_EQ(monitor.Properties().role_code, 0);
  EXPECT_EQ(monitor.Properties().name, "");
  EXPECT_EQ(monitor.Properties().state_text, "");
  AccessibleInfo text_role = Named("y");
  text_role.role_is_number = false;
  backend.at_point = std::make_shared<FakeTarget>(text_role);
  ASSERT_TRUE(monitor.AccObjectAt(3, 4));
  EXPECT_EQ(monitor.Properties().role_code, 8);
  EXPECT_EQ(monitor.Properties().role_text, "");
  EXPECT_EQ(monitor.Properties().name, "y");
}

TEST_F(AccessibilityTest, AFullRingDropsTheOldestInsteadOfLookingEmpty) {
  monitor.AccMonitorStart();
  for (int i = 0; i < 100; ++i) backend.Push(32773, Named("e" + std::to_string(i)));
  ASSERT_TRUE(monitor.AccNextEvent());
  EXPECT_EQ(monitor.Properties().name, "e1");
  int more = 0;
  while (monitor.AccNextEvent()) ++more;
  EXPECT_EQ(more, 98);
  EXPECT_EQ(monitor.Properties().name, "e99");
}

TEST(SwitchMatrixTest, TheFirstClosedSwitchIsFoundAgainstTheIdleReading) {
  FakePort port;
  SwitchMatrix matrix([](int) {});
  matrix.UsePort(port);
  std::string reason;
  ASSERT_TRUE(matrix.Load(reason));
  EXPECT_EQ(port.writes, (Events{"890=255", "888=1"}));
  EXPECT_EQ(matrix.Scan(), 0);
  port.status[1] = 0x78 ^ 0x40;  // row 1, bit 6: switch 4 * 1 + 2
  port.status[5] = 0x78 ^ 0x80;  // row 5, bit 7: switch 21
  EXPECT_EQ(matrix.Scan(), 6);
  EXPECT_TRUE(matrix.Switch(21));
  EXPECT_FALSE(matrix.Switch(22));
}

TEST(SwitchMatrixTest, AMissingPortSaysWhyEachTime) {
  FakePort port;
  port.missing = "inpout32.dll n\xC3\xA3o dispon\xC3\xADvel.";
  SwitchMatrix matrix([](int) {});
  matrix.UsePort(port);
  std::string reason;
  EXPECT_FALSE(matrix.Load(reason));
  EXPECT_EQ(reason, port.missing);
  reason.clear();
  EXPECT_FALSE(matrix.Load(reason));
  EXPECT_EQ(reason, port.missing);
  EXPECT_EQ(matrix.Scan(), 0);
}

}  // namespace
}  // namespace navelo::testing
