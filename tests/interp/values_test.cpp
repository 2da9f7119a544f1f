// Tests of SEJA with its words and functions, and of RANDOMIZA.
#include "fake_services.h"

namespace navelo::testing {
namespace {

using ValuesTest = InterpreterTest;

TEST_F(ValuesTest, AssignmentFormsAndTheValueBeforeLeftoverText) {
  EXPECT_EQ(Run("seja x = 5\nseja y 6\nseja z=7\nseja $Nome 1\nseja $NOME \"dois\"").result, 0);
  EXPECT_EQ(Var('X'), "5");
  EXPECT_EQ(Var('Y'), "6");
  EXPECT_EQ(Var('Z'), "7");
  EXPECT_EQ(Var("NOME"), "dois");
  const RunResult r = Run("seja a 1 2");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(Var('A'), "1");  // assigned before the leftover text fails the line
  for (const char* bad : {"seja", "seja a", "seja a =", "seja 1 2", "seja ab 1"}) {
    in.Reset();
    EXPECT_EQ(Run(bad).result, 1) << bad;
  }
}

TEST_F(ValuesTest, WordsGiveParametersDateTimeAndWeekday) {
  in.params = {"AB123BR", "dez segundos"};
  clock.date = {2026, 3, 7, 6};
  clock.time = {9, 5, 3, 0};
  Run("seja p params\nseja d data\nseja h hora\nseja w dia\nseja c = crlf");
  EXPECT_EQ(Var('P'), "2 AB123BR dez%20segundos");
  EXPECT_EQ(Var('D'), "07/03/2026");
  EXPECT_EQ(Var('H'), "09:05:03");
  EXPECT_EQ(Var('W'), "S\xE1" "bado");
  EXPECT_EQ(Var('C'), "\r\n");
  in.params.clear();
  Run("seja p PARAMS");
  EXPECT_EQ(Var('P'), "0");
}

TEST_F(ValuesTest, TempoCountsHundredthsFromTheStartAcrossMidnight) {
  clock.date.weekday = 6;
  clock.time = {23, 59, 59, 50};
  in.Reset();
  clock.date.weekday = 0;  // Sunday after Saturday
  clock.time = {0, 0, 1, 0};
  Run("seja t tempo");
  EXPECT_EQ(Var('T'), "150");
}

TEST_F(ValuesTest, StringFunctions) {
  Var('L') = "abc=123";
  Var("E") = "x  y z";
  Run("seja a tamanho \"\"\n"
      "seja b maiusc \"a\xE7\xE3o\"\n"
      "seja c trim \"  oi \"\n"
      "seja d pos \"=\" l\n"
      "seja f palavra 2 $e\n"
      "seja g palavra 4 $e\n"
      "seja h = pos \"=\" \"\"");
  EXPECT_EQ(Var('A'), "0");
  EXPECT_EQ(Var('B'), "A\xC7\xC3O");
  EXPECT_EQ(Var('C'), "oi");
  EXPECT_EQ(Var('D'), "4");
  EXPECT_EQ(Var('F'), "y");
  EXPECT_EQ(Var('G'), "");
  EXPECT_EQ(Var('H'), "0");
  Var('Z') = "keep";
  EXPECT_EQ(Run("seja z palavra 0 $e").result, 1);
  EXPECT_EQ(Var('Z'), "keep");
  EXPECT_EQ(Run("seja z tamanho \"a\" \"b\"").result, 1);
  EXPECT_EQ(Var('Z'), "keep");
}

TEST_F(ValuesTest, ChrAndAscTranslateKeyTexts) {
  Run("seja a chr \"#65\"\nseja b chr \"100#65\"\nseja c chr \"#13\"\nseja d chr \"#0#59\"\n"
      "seja e chr \"#0\"\nseja f chr \"210#65\"\nseja g chr \"#321\"\nseja h chr \"A\"\n"
      "seja i asc \"A\"\nseja j asc \"AB\"\nseja k asc \"\xE3\"");
  EXPECT_EQ(Var('A'), "A");
  EXPECT_EQ(Var('B'), "A");
  EXPECT_EQ(Var('C'), "\r");
  EXPECT_EQ(Var('D'), "");
  EXPECT_EQ(Var('E'), "");
  EXPECT_EQ(Var('F'), "");
  EXPECT_EQ(Var('G'), "A");  // 321 modulo 256
  EXPECT_EQ(Var('H'), "");
  EXPECT_EQ(Var('I'), "#65");
  EXPECT_EQ(Var('J'), "");
  EXPECT_EQ(Var('K'), "#227");
}

TEST_F(ValuesTest, RandStaysInRangeAndRepeatsWithoutRandomiza) {
  std::string first;
  for (int round = 0; round < 2; ++round) {
    in.random.seed(12345);
    std::string sequence;
    for (int i = 0; i < 50; ++i) {
      Run("seja r rand 6");
      const int n = std::stoi(Var('R'));
      EXPECT_GE(n, 0);
      EXPECT_LT(n, 6);
      sequence += Var('R');
    }
    if (round == 0) first = sequence;
    EXPECT_EQ(sequence, first);
  }
  Run("seja r rand 0");
  EXPECT_EQ(Var('R'), "0");
  Run("seja r rand -3");
  EXPECT_LE(std::stoi(Var('R')), 0);
  EXPECT_GT(std::stoi(Var('R')), -3);
  EXPECT_EQ(Run("seja r rand \"x\"").result, 1);
  EXPECT_EQ(Run("randomiza").result, 0);
  EXPECT_EQ(Run("randomiza 1").result, 1);
}

}  // namespace
}  // namespace navelo::testing
