// The key file of NAVELO_KEYS: names, modifiers, braces, waits and close.
#include "console/key_script.h"

#include <gtest/gtest.h>

namespace navelo {
namespace {

std::string Bytes(const KeyScriptResult& result) {
  std::string bytes;
  for (const auto& key : result.keys) bytes += key.bytes;
  return bytes;
}

TEST(KeyScriptTest, EveryNamedKeyAndModifier) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {"{Enter}", "\r"},          {"{Ctrl+Enter}", "\n"},      {"{Esc}", "\x1B"},
      {"{Tab}", "\t"},            {"{Backspace}", "\b"},       {"{Ctrl+Backspace}", "\x7F"},
      {"{Space}", " "},           {"{F1}", {'\0', 59}},        {"{Ctrl+F1}", {'\0', 94}},
      {"{F12}", {'\0', 70}},      {"{Ins}", {'\0', 82}},       {"{Shift+Ins}", {'\0', '\xFE'}},
      {"{Ctrl+Ins}", {'\0', '\xFF'}}, {"{Del}", {'\0', 83}},   {"{Home}", {'\0', 71}},
      {"{End}", {'\0', 79}},      {"{PgUp}", {'\0', 73}},      {"{PgDn}", {'\0', 81}},
      {"{Up}", {'\0', 72}},       {"{Shift+Down}", {'\0', 80}}, {"{Ctrl+Left}", {'\0', 115}},
      {"{Right}", {'\0', 77}},    {"{Alt+Ctrl+F9}", {'\0', 102}}, {"{Ctrl+a}", "\x01"},
      {"{Shift+a}", "A"},         {"{Ctrl+Alt+q}", {'\0', 16}}, {"{Alt+Ctrl+0}", {'\0', '\x81'}},
      {"{{", "{"},                {"a\r\nb", "ab"},            {"ç", "\xE7"},
      {"{enter}", "\r"},
      {"{Ctrl+[}", "\x1B"},       {"{Ctrl+\\}", "\x1C"},      {"{Ctrl+]}", "\x1D"},
      {"{Ctrl+^}", "\x1E"},       {"{Ctrl+_}", "\x1F"},        {"{Ctrl+Tab}", "\t"},
  };
  for (const auto& c : cases) {
    const KeyScriptResult result = ParseKeyScript(c.text);
    EXPECT_EQ(result.error, "") << c.text;
    EXPECT_EQ(Bytes(result), c.bytes) << c.text;
  }
}

TEST(KeyScriptTest, ModifiersAreKeptWithTheKey) {
  const KeyScriptResult result = ParseKeyScript("A{Ctrl+a}{Alt+Left}");
  ASSERT_EQ(result.keys.size(), 3u);
  EXPECT_TRUE(result.keys[0].modifiers.shift);
  EXPECT_TRUE(result.keys[1].modifiers.ctrl);
  EXPECT_TRUE(result.keys[2].modifiers.alt);
}

// Ctrl+J and Ctrl+Enter both type 10; the key file says which of them stands for a letter.
TEST(KeyScriptTest, OnlyLettersTypedWithCtrlAreMarkedAsLetters) {
  const KeyScriptResult result = ParseKeyScript("{Ctrl+j}{Ctrl+Enter}{Ctrl+Tab}{Ctrl+\\}");
  ASSERT_EQ(result.keys.size(), 4u);
  EXPECT_TRUE(result.keys[0].modifiers.letter);
  EXPECT_FALSE(result.keys[1].modifiers.letter);
  EXPECT_FALSE(result.keys[2].modifiers.letter);
  EXPECT_FALSE(result.keys[3].modifiers.letter);
  EXPECT_EQ(Bytes(result), "\n\n\t\x1C");
}

TEST(KeyScriptTest, WaitTimesTheNextKeyAndCloseIsAKey) {
  const KeyScriptResult result = ParseKeyScript("x{wait 250}y{close}");
  ASSERT_EQ(result.keys.size(), 3u);
  EXPECT_EQ(result.keys[0].wait_ms, -1);
  EXPECT_EQ(result.keys[1].wait_ms, 250);
  EXPECT_EQ(result.keys[2].kind, ScriptedKey::Kind::kClose);
}

TEST(KeyScriptTest, UnknownNamesAndOpenBracesAreErrors) {
  EXPECT_NE(ParseKeyScript("{Enterr}").error, "");
  EXPECT_NE(ParseKeyScript("abc{Enter").error, "");
  EXPECT_NE(ParseKeyScript("{Hyper+Enter}").error, "");
}

}  // namespace
}  // namespace navelo
