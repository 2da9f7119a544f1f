// Tests of line dispatch, conditions and the block, loop, jump and call commands.
#include "interp/condition.h"

#include "fake_services.h"

namespace navelo::testing {
namespace {

using ControlTest = InterpreterTest;

bool Holds(Interpreter& in, const std::string& text) {
  const Condition c = EvaluateCondition(in, text);
  EXPECT_TRUE(c.parsed) << text;
  return c.truth;
}

TEST_F(ControlTest, ComparisonsZeroFillDigitTextsAndFoldLetterCase) {
  EXPECT_TRUE(Holds(in, "10 > 9"));
  EXPECT_FALSE(Holds(in, "-5 < -3"));  // signed numbers compare as text
  EXPECT_TRUE(Holds(in, "\"\" < 0"));
  EXPECT_TRUE(Holds(in, "\"Abc\" = \"aBC\""));
  EXPECT_FALSE(Holds(in, "\"Abc\" == \"aBC\""));
  EXPECT_TRUE(Holds(in, "\"\xE7\" = \"\xC7\""));
  EXPECT_TRUE(Holds(in, "007 = 7"));
  EXPECT_TRUE(Holds(in, "\"b\" >= \"B\""));
  EXPECT_TRUE(Holds(in, "\"ab\" < \"abc\""));
  EXPECT_TRUE(Holds(in, "\"\xE9\" > \"z\""));  // bytes compare unsigned
  EXPECT_TRUE(Holds(in, "1<>2"));
}

TEST_F(ControlTest, SubstringOperatorsAreExactAndNeverHoldForAnEmptyRightSide) {
  Var('L') = "abab";
  Var('M') = "ab";
  EXPECT_TRUE(Holds(in, "l *= m"));
  EXPECT_TRUE(Holds(in, "l =* m"));
  EXPECT_TRUE(Holds(in, "l *=* \"ba\""));
  Var('M') = "abc";
  EXPECT_FALSE(Holds(in, "l *= m"));
  Var('M') = "";
  EXPECT_FALSE(Holds(in, "l =* m"));
  EXPECT_FALSE(Holds(in, "l *=* m"));
  Var("A") = "PgmX";
  Var("B") = "PGM";
  EXPECT_TRUE(Holds(in, "N\xC3O $A =* $B"));
  EXPECT_TRUE(Holds(in, "nao $a =* $b"));
}

TEST_F(ControlTest, EmComparesWithTheItemsOfANamedList) {
  in.lists[3] = ScriptList{true, "nomes", {"Ana", "0042"}};
  Var('X') = "ana";
  EXPECT_TRUE(Holds(in, "x em [nomes]"));
  EXPECT_TRUE(Holds(in, "42 EM [nomes]"));
  EXPECT_FALSE(Holds(in, "N\xC3O x EM [nomes]"));
  EXPECT_TRUE(Holds(in, "N\xC3O \"Bia\" EM [nomes]"));
  EXPECT_FALSE(EvaluateCondition(in, "x em [NOMES]").parsed);  // list names are exact
}

TEST_F(ControlTest, MalformedConditionsAreNotConditions) {
  for (const char* text : {"", "n\xE3o", "1", "1 ! 2", "1 =", "x em lista", "nao"}) {
    EXPECT_FALSE(EvaluateCondition(in, text).parsed) << text;
  }
  const Condition c = EvaluateCondition(in, "1 = 1escreve \"x\"");
  EXPECT_TRUE(c.parsed);
  EXPECT_EQ(c.rest, "escreve \"x\"");
}

TEST_F(ControlTest, OneLineSeRunsItsCommandOnlyWhenTrueAndRefusesBlockWords) {
  Var("X") = "1";
  EXPECT_EQ(Run("se $x = 1 seja a \"sim\"\nse $x = 2 seja b \"sim\"").result, 0);
  EXPECT_EQ(Var('A'), "sim");
  EXPECT_EQ(Var('B'), "");
  const RunResult r = Run("seja a 1\nse 1 = 1 fim se");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 2);
}

TEST_F(ControlTest, FalseBlockSkipsNestedBlocksAndElseIfChainsShareOneFimSe) {
  Run("se 1 = 2\n"
      "  se 1 = 1\n"
      "    seja a \"inner\"\n"
      "  fim se\n"
      "  seja b \"body\"\n"
      "fim   se\n"
      "seja c \"after\"");
  EXPECT_EQ(Var('A'), "");
  EXPECT_EQ(Var('B'), "");
  EXPECT_EQ(Var('C'), "after");

  const char* chain =
      "se v = 1\n seja r \"um\"\nsenao\nse v = 2\n seja r \"dois\"\nSEN\xC3O\n seja r \"outro\"\n"
      "fim se\nseja d \"fim\"";
  for (const auto& [v, expected] :
       std::vector<std::pair<std::string, std::string>>{{"1", "um"}, {"2", "dois"}, {"3", "outro"}}) {
    in.Reset();
    Var('V') = v;
    EXPECT_EQ(Run(chain).result, 0);
    EXPECT_EQ(Var('R'), expected) << v;
    EXPECT_EQ(Var('D'), "fim");
  }
}

TEST_F(ControlTest, FalseBlockCountsNestedBlocksWhoseConditionCannotBeEvaluated) {
  // An unknown list, an expression over an empty variable, and a list whose name the scan would
  // see upper-cased: each nested SE opens a block, so its FIM SE does not end the outer one.
  in.lists[2] = ScriptList{true, "nomes", {"ana"}};
  for (const char* nested : {"se x em [faltando]", "se (v + 1) = 2", "se x em [nomes]",
                             "se n\xC3o $vazio *=* (v * 2)", "se x ? 1"}) {
    in.Reset();
    in.lists[2] = ScriptList{true, "nomes", {"ana"}};
    const std::string script = std::string("se 1 = 2\n  ") + nested +
                               "\n    seja a \"inner\"\n  fim se\n  seja b \"body\"\nfim se\n"
                               "seja c \"after\"";
    EXPECT_EQ(Run(script).result, 0) << nested;
    EXPECT_EQ(Var('B'), "") << nested;
    EXPECT_EQ(Var('C'), "after") << nested;
  }
  // One-line SE commands open no block, whether or not their condition can be evaluated.
  Run("se 1 = 2\n"
      "  se x em [faltando] seja a 1\n"
      "  se (v + 1) = 2 seja a 2\n"
      "  se 1 = 1 seja a 3\n"
      "senao\n"
      "  seja b \"else\"\n"
      "fim se");
  EXPECT_EQ(Var('A'), "");
  EXPECT_EQ(Var('B'), "else");
}

TEST_F(ControlTest, RepeteCountsFromOneAndLeavesCountPlusOne) {
  Run("seja s \"\"\nrepete i 3\nconcatena s i\nfim repete");
  EXPECT_EQ(Var('S'), "123");
  EXPECT_EQ(Var('I'), "4");
  in.Reset();
  Run("seja s \"\"\nrepete i 0\nconcatena s \"x\"\nfim repete");
  EXPECT_EQ(Var('S'), "");
  EXPECT_EQ(Var('I'), "1");
  in.Reset();
  EXPECT_EQ(Run("repete i \"tres\"\nfim repete").result, 1);
}

TEST_F(ControlTest, EnquantoRetestsItsConditionAndLoopsOfOneKindDoNotNest) {
  Run("seja n 0\nenquanto n < 5\nsoma n 1\nfim enquanto");
  EXPECT_EQ(Var('N'), "5");
  in.Reset();
  const RunResult r = Run("seja a 1\nfim enquanto");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 2);
}

TEST_F(ControlTest, JumpsAndCallsFindLabelsOnlyInTheFirstColumn) {
  Var("ALVO") = "inicio";
  EXPECT_EQ(Run("desvia $alvo\nseja a \"pulado\"\n@INICIO\nseja b \"ok\"").result, 0);
  EXPECT_EQ(Var('A'), "");
  EXPECT_EQ(Var('B'), "ok");
  in.Reset();
  EXPECT_EQ(Run("desvia @in icio\n@in icio").result, 1);
  in.Reset();
  const RunResult r = Run("desvia @x\n  @x");
  EXPECT_EQ(r.result, 1);
  in.Reset();
  EXPECT_EQ(Run("desvia @fim \n@fim ").result, 1);  // "fim " with its blank is no label
  in.Reset();
  Run("chama @sub\nseja b \"volta\"\ntermina\n@sub\nseja a \"sub\"\nretorna");
  EXPECT_EQ(Var('A'), "sub");
  EXPECT_EQ(Var('B'), "volta");
}

TEST_F(ControlTest, CallDepthAndReturnWithoutCallAreReported) {
  const RunResult deep = Run("@r\nchama @r");
  EXPECT_EQ(deep.result, 1);
  EXPECT_EQ(in.call_stack.size(), 20u);
  EXPECT_EQ(console.written, "Muitas chamadas sem retorno\r\n");
  in.Reset();
  console.written.clear();
  const RunResult top = Run("seja a 1\nretorna");
  EXPECT_EQ(top.line, 2);
  EXPECT_EQ(console.written, "Retorno sem chamada\r\n");
}

TEST_F(ControlTest, TerminaStopsOnItsLineAndMudoSetsTheQuietEnd) {
  RunResult r = Run("termina mudo\nseja a 1");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.line, 1);
  EXPECT_TRUE(in.quiet_end);
  EXPECT_EQ(Var('A'), "");
  in.Reset();
  Run("termina");
  EXPECT_FALSE(in.quiet_end);
}

TEST_F(ControlTest, DispatchRejectsUnknownWordsAndFoldsAccentedOnes) {
  EXPECT_EQ(Run("   seja a 1").result, 0);
  console.written.clear();
  EXPECT_EQ(Run("x = 1").result, 1);
  EXPECT_EQ(console.written, "Comando inv\xE1lido: X\r\n");
  console.written.clear();
  EXPECT_EQ(Run("escreve\t\"a\"").result, 1);
  EXPECT_EQ(console.written, "Comando inv\xE1lido: ESCREVE\t\"A\"\r\n");
  console.written.clear();
  EXPECT_EQ(Run("sensor 1").result, 1);
  // The switch port is missing here: said, and the number that is no variable fails the line.
  EXPECT_EQ(console.written, "Porta paralela n\xE3o dispon\xEDvel.\r\n");
  // L\xEA and L\xCA reach the same handler as LE: here its line form, which reads a line.
  keys.Type("\r\r");
  EXPECT_EQ(Run("l\xEA\nL\xCA").result, 0);
}

TEST_F(ControlTest, DebugTraceSwitchesOnAndOff) {
  Run("debug n\xE3o\nseja a 1\nDEBUG NAO\nseja b 2\ndebug -\ndebug N");
  EXPECT_EQ(console.written,
            "Debug ligado\r\nSEJA a 1\r\nDEBUG NAO\r\nDebug desligado\r\n"
            "Debug desligado\r\nDebug desligado\r\n");
}

}  // namespace
}  // namespace navelo::testing
