// Decoding terminal key bytes into key events.
#include "platform/terminal_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace navelo {
namespace {

using Type = DisplayEvent::Type;

std::vector<DisplayEvent> Decode(const std::string& bytes) {
  size_t at = 0;
  auto read = [&](int) { return at < bytes.size() ? static_cast<unsigned char>(bytes[at++]) : -1; };
  std::vector<DisplayEvent> events;
  while (at < bytes.size()) DecodeTerminalKey(read, 0, events);
  return events;
}

// The events that are not key releases, as "K<key><mods>" or "C<byte><mods>"; "l" marks the
// control byte of a letter typed with Ctrl.
std::string Describe(const std::vector<DisplayEvent>& events) {
  std::string out;
  for (const auto& e : events) {
    const std::string mods = std::string(e.mods.shift ? "s" : "") + (e.mods.ctrl ? "c" : "") +
                             (e.mods.alt ? "a" : "") + (e.mods.letter ? "l" : "");
    if (e.type == Type::kKeyDown) out += "K" + std::to_string(e.key) + mods + " ";
    if (e.type == Type::kSystemKeyDown) out += "S" + std::to_string(e.key) + mods + " ";
    if (e.type == Type::kChar) out += "C" + std::to_string(e.byte) + mods + " ";
  }
  return out;
}

TEST(TerminalKeysTest, EscapeSequencesOfCursorEditingAndFunctionKeys) {
  struct Case {
    std::string bytes;
    std::string events;
  };
  const Case cases[] = {
      {"\x1b[A", "K" + std::to_string(kVkUp) + " "},
      {"\x1b[1;5D", "K" + std::to_string(kVkLeft) + "c "},
      {"\x1b[1;3C", "S" + std::to_string(kVkRight) + "a "},
      {"\x1bOP", "K" + std::to_string(kVkF1) + " "},
      {"\x1b[1;5P", "K" + std::to_string(kVkF1) + "c "},
      {"\x1b[2;2~", "K" + std::to_string(kVkInsert) + "s "},
      {"\x1b[3~", "K" + std::to_string(kVkDelete) + " "},
      {"\x1b[5~", "K" + std::to_string(kVkPageUp) + " "},
      {"\x1b[6;5~", "K" + std::to_string(kVkPageDown) + "c "},
      {"\x1b[15~", "K" + std::to_string(kVkF1 + 4) + " "},
      {"\x1b[21~", "S" + std::to_string(kVkF1 + 9) + " "},
      {"\x1b[21;5~", "K" + std::to_string(kVkF1 + 9) + "c "},
      {"\x1b[24~", "K" + std::to_string(kVkF12) + " "},
      {"\x1b[H", "K" + std::to_string(kVkHome) + " "},
      {"\x1b[F", "K" + std::to_string(kVkEnd) + " "},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(Decode(c.bytes)), c.events) << c.bytes.substr(1);
}

TEST(TerminalKeysTest, ControlBytesCharactersAndAlt) {
  EXPECT_EQ(Describe(Decode("\r")), "C13 ");
  EXPECT_EQ(Describe(Decode("\n")), "C13c ");
  EXPECT_EQ(Describe(Decode("\x7f")), "C8 ");
  EXPECT_EQ(Describe(Decode("\b")), "C8c ");
  EXPECT_EQ(Describe(Decode("\x01")), "C1cl ");
  EXPECT_EQ(Describe(Decode("\x1a")), "C26cl ");
  // Ctrl+\ ] ^ _ type 28 to 31, which stand for no letter.
  EXPECT_EQ(Describe(Decode("\x1c\x1d\x1e\x1f")), "C28c C29c C30c C31c ");
  EXPECT_EQ(Describe(Decode("\x1b")), "C27 ");
  EXPECT_EQ(Describe(Decode("\x1b\x1b")), "C27 ");
  EXPECT_EQ(Describe(Decode("\x1bq")), "S81a ");
  EXPECT_EQ(Describe(Decode("\x1b\x11")), "K81ca ");  // Ctrl+Alt+Q
  EXPECT_EQ(Describe(Decode("1")), "C49 ");
  EXPECT_EQ(Describe(Decode("a")), "K65 C97 ");
  EXPECT_EQ(Describe(Decode("A")), "K65s C65s ");
}

TEST(TerminalKeysTest, LineFeedOfPipedTextIsEnter) {
  auto lf = [](int) { return 10; };
  std::vector<DisplayEvent> events;
  DecodeTerminalKey(lf, 0, events, true);
  EXPECT_EQ(Describe(events), "C13 ");
}

TEST(TerminalKeysTest, Utf8CharactersArriveAsTheirCp1252Bytes) {
  EXPECT_EQ(Describe(Decode("\xc3\xa9\xc3\xa7")), "C233 C231 ");
}

TEST(TerminalKeysTest, EndOfInputAndTruncatedSequences) {
  auto end = [](int) { return -2; };
  std::vector<DisplayEvent> events;
  DecodeTerminalKey(end, 0, events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, Type::kEndOfInput);
  EXPECT_EQ(Describe(Decode("\x1b[")), "");
  EXPECT_EQ(Describe(Decode("\x1b[99999999999~")), "");
  // A lone byte that is not UTF-8 is taken as the cp1252 character it is.
  EXPECT_EQ(Describe(Decode("\xc3")), "C195 ");
}

}  // namespace
}  // namespace navelo
