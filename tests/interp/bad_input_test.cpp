// Scripts that push the interpreter's limits: very long scripts and lines, deep nesting, too
// many names. Each line either works or fails cleanly.
#include "fake_services.h"

namespace navelo::testing {
namespace {

using BadInputTest = InterpreterTest;

TEST_F(BadInputTest, ScriptsLongerThanFiveThousandLinesRunToTheirEnd) {
  int n = 0;
  for (int i = 0; i < 7000; ++i) in.AddLine("soma a 1", ++n);
  in.AddLine("desvia @fim", ++n);
  in.AddLine("seja b \"pulado\"", ++n);
  in.AddLine("@fim", ++n);
  const RunResult r = in.RunScript();
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(Var('A'), "7000");
  EXPECT_EQ(Var('B'), "");
}

TEST_F(BadInputTest, HundredThousandByteLinesWorkOrFailCleanly) {
  const std::string big(100000, 'x');
  EXPECT_EQ(Run("seja a \"" + big + "\"\nseja n tamanho a").result, 0);
  EXPECT_EQ(Var('N'), "100000");
  in.Reset();
  EXPECT_EQ(Run("escreve " + std::string(100000, '7')).result, 0);
  in.Reset();
  const RunResult r = Run("seja a 1 " + big);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 1);
  in.Reset();
  EXPECT_EQ(Run(big).result, 1);  // one enormous unknown word
  in.Reset();
  EXPECT_EQ(Run("se " + std::string(100000, '(') + " = 1").result, 1);
}

TEST_F(BadInputTest, DivisionByZeroInsideAnExpressionFailsTheCommand) {
  const RunResult r = Run("seja a 5\nseja b (a/(a-5))\nseja c 1");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 2);
  EXPECT_EQ(Var('B'), "");
}

TEST_F(BadInputTest, TheHundredAndSecondNameFailsTheLineThatMentionsIt) {
  std::string script;
  for (int i = 1; i <= 101; ++i) script += "seja $v" + std::to_string(i) + " " + std::to_string(i) + "\n";
  script += "seja $v1 $v101\nescreve $demais";
  const RunResult r = Run(script);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 103);
  EXPECT_EQ(Var("V1"), "101");
}

}  // namespace
}  // namespace navelo::testing
