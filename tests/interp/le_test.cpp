// Tests of the keyboard and mouse forms of LE: the key texts given to scripts, keys named aloud,
// lines read with the spoken editor, EDITA, and the pointer's position.
#include "fake_services.h"

namespace navelo::testing {
namespace {

class LeTest : public InterpreterTest {};

TEST_F(LeTest, SpokenSingleKeysGiveTheKeyTextsAndAreNamed) {
  keys.Type(std::string("\r\x1b\0;s", 5));
  ASSERT_EQ(Run("le a &\nle b &\nle c &\nle d &").result, 0);
  EXPECT_EQ(Var('a'), "#13");
  EXPECT_EQ(Var('b'), "#27");
  EXPECT_EQ(Var('c'), "#0#59");
  EXPECT_EQ(Var('d'), "s");
  // Each key is named as it is read (for a special key, its first byte).
  EXPECT_EQ(speech.sounds, (std::vector<std::string>{"char:13", "char:27", "char:0", "char:115"}));
}

TEST_F(LeTest, TeclaGivesTheModifiersAndTheLetterTypedWithCtrl) {
  keys.modifiers.ctrl = true;
  keys.modifiers.letter = true;
  keys.Type("\x01");
  ASSERT_EQ(Run("le tecla k").result, 0);
  EXPECT_EQ(Var('k'), "010#97");
  EXPECT_EQ(speech.sounds, (std::vector<std::string>{"char:1"}));
}

// Ctrl+J and Ctrl+Enter both give 10, Ctrl+I and Ctrl+Tab 9: only the letters become letters.
TEST_F(LeTest, TeclaKeepsTheCodesOfEnterTabAndPunctuationTypedWithCtrl) {
  keys.modifiers.ctrl = true;
  keys.Type("\n\t\x1c\x1f");
  ASSERT_EQ(Run("le tecla mudo a &\nle tecla mudo b &\nle tecla mudo c &\nle tecla mudo d &").result,
            0);
  EXPECT_EQ(Var('a'), "010#10");
  EXPECT_EQ(Var('b'), "010#9");
  EXPECT_EQ(Var('c'), "010#28");
  EXPECT_EQ(Var('d'), "010#31");

  keys.modifiers.letter = true;
  keys.Type("\n\t");
  ASSERT_EQ(Run("le tecla mudo a &\nle tecla mudo b &").result, 0);
  EXPECT_EQ(Var('a'), "010#106");
  EXPECT_EQ(Var('b'), "010#105");
}

TEST_F(LeTest, MudoReadsTheKeyWithoutNamingIt) {
  keys.Type("\r");
  ASSERT_EQ(Run("le mudo t &").result, 0);
  EXPECT_EQ(Var('t'), "#13");
  EXPECT_TRUE(speech.sounds.empty());
}

TEST_F(LeTest, ALineIsReadWithTheSpokenEditor) {
  keys.Type("AB1x\b2\r");
  ASSERT_EQ(Run("le $codigo").result, 0);
  EXPECT_EQ(Var("CODIGO"), "AB12");
  EXPECT_EQ(speech.sounds, (std::vector<std::string>{"char:65", "char:66", "char:49", "char:120",
                                                     "char:120", "char:50"}));
  EXPECT_TRUE(console.written.ends_with("AB12\r\n"));
}

TEST_F(LeTest, ALineEndedWithEscIsEmpty) {
  keys.Type("xy\x1b");
  Var("CODIGO") = "antigo";
  ASSERT_EQ(Run("le $codigo").result, 0);
  EXPECT_EQ(Var("CODIGO"), "");
}

TEST_F(LeTest, EditaOffersTheValueAndEscEmptiesIt) {
  keys.Type(std::string("\0Od\r", 4));  // End, then d
  Var('v') = "abc";
  ASSERT_EQ(Run("le edita v").result, 0);
  EXPECT_EQ(Var('v'), "abcd");
  // Unlike the plain line, the edit does not end the line.
  EXPECT_FALSE(console.written.ends_with("\r\n"));

  keys.Type("\x1b");
  ASSERT_EQ(Run("le edita v").result, 0);
  EXPECT_EQ(Var('v'), "");
}

TEST_F(LeTest, EditaWithoutAVariableFails) {
  EXPECT_EQ(Run("le edita").result, 1);
  EXPECT_EQ(Run("le edita 12").result, 1);
}

TEST_F(LeTest, MouseOnTheScreenAndFromTheWindow) {
  console.has_pointer = true;
  console.pointer_x = 500;
  console.pointer_y = 300;
  console.window_left = 100;
  console.window_top = 50;
  ASSERT_EQ(Run("le mouse tela x y\nle rato $px $py").result, 0);
  EXPECT_EQ(Var('x'), "500");
  EXPECT_EQ(Var('y'), "300");
  EXPECT_EQ(Var("PX"), "400");
  EXPECT_EQ(Var("PY"), "250");
}

TEST_F(LeTest, MouseArgumentErrorsFail) {
  console.has_pointer = true;
  console.pointer_x = 7;
  // The first variable keeps what it was given when the second is missing.
  EXPECT_EQ(Run("le mouse tela x").result, 1);
  EXPECT_EQ(Var('x'), "7");
  EXPECT_EQ(Run("le mouse tela x y z").result, 1);
  EXPECT_EQ(Run("le mouse 1 2").result, 1);
}

TEST_F(LeTest, MouseWithoutAPointerGivesZeros) {
  Var('x') = "antes";
  ASSERT_EQ(Run("le mouse x y").result, 0);
  EXPECT_EQ(Var('x'), "0");
  EXPECT_EQ(Var('y'), "0");
}

}  // namespace
}  // namespace navelo::testing
