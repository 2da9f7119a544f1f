// Tests of the token operations, the integer rule and the parenthesised expressions.
#include "interp/tokens.h"

#include "fake_services.h"

namespace navelo::testing {
namespace {

using TokensTest = InterpreterTest;

TEST(ParseIntegerTest, AcceptsDecimalHexAndSignsWithinThirtyTwoBits) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("  -17"), -17);
  EXPECT_EQ(ParseInteger("+8"), 8);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("x10"), 16);
  EXPECT_EQ(ParseInteger("0XfF"), 255);
  EXPECT_EQ(ParseInteger("-$10"), -16);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), -2147483647 - 1);
}

TEST(ParseIntegerTest, RejectsEverythingElse) {
  for (const char* text : {"", "-", "12a", "2147483648", "-2147483649", "1 ", "0x", "$", " ",
                           "99999999999999999999999", "1.5", "\t1"}) {
    EXPECT_FALSE(ParseInteger(text).has_value()) << '"' << text << '"';
  }
}

TEST(TextOpsTest, SubstringDeleteInsertAndPositionFollowTheBoundaryRules) {
  EXPECT_EQ(SubText("abcdef", 0, 3), "abc");
  EXPECT_EQ(SubText("abcdef", 5, 10), "ef");
  EXPECT_EQ(SubText("abcdef", 7, 1), "");
  EXPECT_EQ(SubText("abcdef", 2, 0), "");
  std::string t = "abcdef";
  DeleteText(t, 0, 2);
  EXPECT_EQ(t, "abcdef");
  DeleteText(t, 5, 9);
  EXPECT_EQ(t, "abcd");
  InsertText(t, -3, "x");
  InsertText(t, 99, "y");
  EXPECT_EQ(t, "xabcdy");
  EXPECT_EQ(PositionOf("=", "abc=123"), 4);
  EXPECT_EQ(PositionOf("", "abc"), 0);
  EXPECT_EQ(PositionOf("=", ""), 0);
}

TEST(TextOpsTest, FoldUpperRaisesAsciiAndLatinLowerCaseOnly) {
  EXPECT_EQ(FoldUpper("l\xEA \xE3o \xFF \xDF 1z"), "L\xCA \xC3O \xDF \xDF 1Z");
}

TEST_F(TokensTest, TakeVariableReadsLettersAndNamesAndRejectsTheRest) {
  std::string text = " a rest";
  int slot = 0;
  ASSERT_TRUE(TakeVariable(in, text, slot));
  EXPECT_EQ(slot, 'A');
  EXPECT_EQ(text, "rest");

  text = "$Nome_1=5";
  ASSERT_TRUE(TakeVariable(in, text, slot));
  EXPECT_EQ(slot, in.vars.NamedSlot("NOME_1"));
  EXPECT_EQ(text, "=5");

  for (const char* bad : {"ab", "a1", "1", "\"x\"", "$", "$ x", ""}) {
    text = bad;
    EXPECT_FALSE(TakeVariable(in, text, slot)) << bad;
  }
}

TEST_F(TokensTest, NamedVariablesAreCaseInsensitiveAndLimitedToOneHundredAndOne) {
  std::string text = "$nome";
  int first = 0;
  int second = 0;
  ASSERT_TRUE(TakeVariable(in, text, first));
  text = "$NOME";
  ASSERT_TRUE(TakeVariable(in, text, second));
  EXPECT_EQ(first, second);
  for (int i = 1; i < 101; ++i) {
    text = "$v" + std::to_string(i);
    ASSERT_TRUE(TakeVariable(in, text, second)) << i;
  }
  EXPECT_EQ(second, 191);
  text = "$one_too_many";
  EXPECT_FALSE(TakeVariable(in, text, second));
  std::string value;
  text = "$one_too_many";
  EXPECT_FALSE(TakeValue(in, text, value));
}

TEST_F(TokensTest, TakeValueReadsNumbersQuotesAndVariables) {
  Var('A') = "x";
  Var('B') = "y";
  struct Case {
    const char* text;
    const char* value;
    const char* rest;
  } cases[] = {
      {"-12 z", "-12", "z"},     {"7x", "7", "x"},          {"-", "-", ""},
      {"1.5", "1", ".5"},        {"\"a\"\"b\"c", "a\"b", "c"}, {"\"open", "open", ""},
      {"\"\"", "", ""},          {"ab", "x", "b"},          {"$novo", "", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    std::string value;
    ASSERT_TRUE(TakeValue(in, text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
  for (const char* bad : {"", "+1", ".5", "#1", "&"}) {
    std::string text = bad;
    std::string value;
    EXPECT_FALSE(TakeValue(in, text, value)) << bad;
  }
}

TEST_F(TokensTest, ExpressionsFollowPrecedenceTruncationAndLenientOperands) {
  Var('A') = "41";
  Var("N") = "5";
  struct Case {
    const char* text;
    const char* value;
  } cases[] = {
      {"(2+3*4)", "14"}, {"(-(7))", "-7"}, {"(7/2)", "3"},       {"(-7/2)", "-3"},
      {"(a+1)", "42"},   {"(3*)", "3"},    {"( 1 + 2 ) x", "3"}, {"($n*$n)", "25"},
      {"(2-)", "2"},     {"(--4)", "4"},   {"(4294967297)", "1"},
      {"(2147483647*2147483647)", "4611686014132420609"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    std::string value;
    ASSERT_TRUE(TakeValue(in, text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  Var('B') = "";
  Var("MY_V") = "1";
  for (const char* bad : {"(b+1)", "(1+ +2)", "(2 3)", "($my_v+1)", "(1/0)", "(2*(3/0))", "(",
                          "(1", "(x)", "(1*/2)"}) {
    std::string text = bad;
    std::string value;
    EXPECT_FALSE(TakeValue(in, text, value)) << bad;
  }
}

TEST_F(TokensTest, DeeplyNestedExpressionsFailInsteadOfExhaustingTheStack) {
  const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
  std::string text = deep;
  std::string value;
  EXPECT_FALSE(TakeValue(in, text, value));
  const std::string negations = "(" + std::string(100000, '-') + "1)";
  text = negations;
  EXPECT_FALSE(TakeValue(in, text, value));
  const std::string fine = std::string(500, '(') + "1" + std::string(500, ')');
  text = fine;
  ASSERT_TRUE(TakeValue(in, text, value));
  EXPECT_EQ(value, "1");
}

TEST(ChannelAndBracketTest, TakeChannelAndTakeBracketed) {
  std::string text = "#1 x";
  int channel = -1;
  ASSERT_TRUE(TakeChannel(text, channel));
  EXPECT_EQ(channel, 1);
  EXPECT_EQ(text, "x");
  for (const char* bad : {"#12", "#x", "#", "1"}) {
    text = bad;
    EXPECT_FALSE(TakeChannel(text, channel)) << bad;
  }
  std::string name;
  text = "[lista] resto";
  ASSERT_TRUE(TakeBracketed(text, name));
  EXPECT_EQ(name, "lista");
  EXPECT_EQ(text, " resto");
  text = "[]x]";
  ASSERT_TRUE(TakeBracketed(text, name));
  EXPECT_EQ(name, "]x");
  for (const char* bad : {"[", "[abc", "x[a]", "[]"}) {
    text = bad;
    EXPECT_FALSE(TakeBracketed(text, name)) << bad;
  }
}

}  // namespace
}  // namespace navelo::testing
