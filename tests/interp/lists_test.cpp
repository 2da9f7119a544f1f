// Tests of LISTA and MENU: the list table and its messages, the EM operator over lists made by
// scripts, and the item, key and text that MENU EXECUTA hands the script.
#include "fake_services.h"

namespace navelo::testing {
namespace {

using ListsTest = InterpreterTest;

std::string Extended(unsigned char code) { return std::string(1, '\0') + static_cast<char>(code); }

TEST_F(ListsTest, ItemsAreAddedReadByPositionAndCounted) {
  EXPECT_EQ(Run("lista [a] cria\n"
                "lista [a] adiciona \"um\"\n"
                "lista [a] adiciona \"dois\"\n"
                "lista [a] adiciona \"um\" resto ignorado\n"
                "lista [a] item 0 x\n"
                "lista [a] item (0+1) y\n"
                "lista [a] tamanho n")
                .result,
            0);
  EXPECT_EQ(Var('X'), "um");
  EXPECT_EQ(Var('Y'), "dois");
  EXPECT_EQ(Var('N'), "3");
}

TEST_F(ListsTest, APositionOutsideTheListFailsAndLeavesTheVariable) {
  Var('X') = "antes";
  for (const char* position : {"3", "-1", "\"um\""}) {
    const std::string script = std::string("lista [a] cria\nlista [a] adiciona \"um\"\n"
                                           "lista [a] adiciona \"dois\"\nlista [a] adiciona 3\n"
                                           "lista [a] item ") + position + " x";
    in.Reset();
    Var('X') = "antes";
    const RunResult r = Run(script);
    EXPECT_EQ(r.result, 1) << position;
    EXPECT_EQ(r.line, 5);
    EXPECT_EQ(Var('X'), "antes");
  }
}

TEST_F(ListsTest, CreatingAnExistingListSaysSoAndStops) {
  const RunResult r = Run("lista [a] cria\nlista [a] cria\nseja x 1");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 2);
  EXPECT_EQ(console.written, "A lista especificada j\xE1 existe\r\n");
  EXPECT_EQ(speech.spoken.back(), "A lista especificada j\xE1 existe");
}

TEST_F(ListsTest, TheTwentyFirstListSaysThereAreTooMany) {
  std::string script;
  for (int i = 1; i <= 21; ++i) script += "lista [l" + std::to_string(i) + "] cria\n";
  const RunResult r = Run(script);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 21);
  EXPECT_EQ(console.written, "Muitas listas no programa (m\xE1ximo 20)\r\n");
}

TEST_F(ListsTest, NamesAreExactAndADeletedListFreesItsSlot) {
  EXPECT_EQ(Run("lista [a] cria\nlista [A] tamanho x").result, 1);
  in.Reset();
  std::string script;
  for (int i = 1; i <= 20; ++i) script += "lista [l" + std::to_string(i) + "] cria\n";
  script += "lista [l7] apaga\nlista [novo] cria\nlista [l7] tamanho x";
  const RunResult r = Run(script);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 23) << "l7 is gone, novo took its slot";
}

TEST_F(ListsTest, DeleteIgnoresLetterCaseAndRemovesOnlyTheFirstEqualItem) {
  EXPECT_EQ(Run("lista [a] cria\nlista [a] adiciona \"um\"\nlista [a] adiciona \"\xC9ter\"\n"
                "lista [a] adiciona \"um\"\nlista [a] deleta \"UM\"\nlista [a] deleta \"\xE9TER\"\n"
                "lista [a] tamanho n\nlista [a] item 0 x")
                .result,
            0);
  EXPECT_EQ(Var('N'), "1");
  EXPECT_EQ(Var('X'), "um");
  in.Reset();
  const RunResult r = Run("lista [a] cria\nlista [a] adiciona \"um\"\nlista [a] deleta \"UM\"\n"
                          "lista [a] deleta \"UM\"");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.line, 4);
}

TEST_F(ListsTest, MalformedListCommandsFail) {
  for (const char* line : {"lista [a] criar", "lista a cria", "lista [a] apaga x",
                           "lista [a] ordena", "lista [b] adiciona 1", "lista [a] adiciona",
                           "lista [a] tamanho 1", "lista [a] item 0"}) {
    in.Reset();
    EXPECT_EQ(Run(std::string("lista [a] cria\n") + line).result, 1) << line;
    EXPECT_TRUE(console.written.empty()) << line;
  }
}

TEST_F(ListsTest, EmSeesTheListsScriptsMake) {
  EXPECT_EQ(Run("lista [nomes] cria\nlista [nomes] adiciona \"Ana\"\n"
                "se \"ANA\" em [nomes] seja x 1\nse n\xE3o \"Bia\" em [nomes] seja y 1\n"
                "lista [nomes] apaga\nse \"ANA\" em [nomes] seja z 1")
                .result,
            1)
      << "EM over a deleted list is not a condition";
  EXPECT_EQ(Var('X'), "1");
  EXPECT_EQ(Var('Y'), "1");
  EXPECT_EQ(Var('Z'), "");
}

// The main menu of the tracker: four items on rows 1-3.
constexpr const char* kMenu =
    "menu cria 1 1 30 3\n"
    "menu adiciona \"Ver detalhes\"\n"
    "menu adiciona \"Monitorar\"\n"
    "menu adiciona \"Nova consulta\"\n"
    "menu adiciona \"sair\"\n"
    "seja $n 1\n"
    "menu executa $n $k $t";

TEST_F(ListsTest, MenuExecutaGivesTheItemTheKeyTextAndTheItemText) {
  keys.Type(Extended(80) + "\r");
  EXPECT_EQ(Run(kMenu).result, 0);
  EXPECT_EQ(Var("N"), "2");
  EXPECT_EQ(Var("K"), "#13");
  EXPECT_EQ(Var("T"), "Monitorar");

  const std::pair<std::string, std::string> cases[] = {
      {"\x1b", "#27"}, {"a", "a"}, {"\t", "#9"}, {"\b", "#8"}, {Extended(59), "#0#59"},
      {Extended(70), "#0#70"}};
  for (const auto& [typed, text] : cases) {
    in.Reset();
    keys.Type(typed);
    EXPECT_EQ(Run(kMenu).result, 0);
    EXPECT_EQ(Var("K"), text);
    EXPECT_EQ(Var("N"), "1");
    EXPECT_EQ(Var("T"), "Ver detalhes");
  }
}

TEST_F(ListsTest, PlacesBeyondTheEndsGiveZeroOrCountPlusOneAndNoText) {
  keys.Type(Extended(72) + "\r");
  EXPECT_EQ(Run(kMenu).result, 0);
  EXPECT_EQ(Var("N"), "0");
  EXPECT_EQ(Var("T"), "");
  in.Reset();
  keys.Type(Extended(79) + Extended(80) + "\r");
  EXPECT_EQ(Run(kMenu).result, 0);
  EXPECT_EQ(Var("N"), "5");
  EXPECT_EQ(Var("T"), "");
}

TEST_F(ListsTest, SideArrowsAndCtrlKeysRestartTheMenuAtTheStartItem) {
  // Down to item 2, Left: the menu starts again at item 1 (the value of $n), spoken again.
  keys.Type(Extended(80) + Extended(75) + Extended(102) + Extended(115) + "\r");
  EXPECT_EQ(Run(kMenu).result, 0);
  EXPECT_EQ(Var("N"), "1");
  EXPECT_EQ(speech.spoken, (std::vector<std::string>{"Ver detalhes", "Monitorar", "Ver detalhes",
                                                     "Ver detalhes", "Ver detalhes"}));
}

TEST_F(ListsTest, TheStartItemComesFromTheItemVariableOrStaysAsItWas) {
  // The second run starts at 3 from $n; the third keeps 3 when $n holds no number; a start
  // below 1 becomes 1.
  keys.Type(Extended(80) + Extended(80) + "\r" + "\r" + "\r" + "\r");
  EXPECT_EQ(Run(std::string(kMenu) +
                "\nmenu executa $n $k $t\nseja $n \"x\"\nmenu executa $n $k $t\n"
                "seja $n -4\nmenu executa $n $k $t")
                .result,
            0);
  EXPECT_EQ(speech.spoken, (std::vector<std::string>{"Ver detalhes", "Monitorar",
                                                     "Nova consulta", "Nova consulta",
                                                     "Nova consulta", "Ver detalhes"}));
  EXPECT_EQ(Var("N"), "1");
}

TEST_F(ListsTest, MenuCriaNeedsFourIntegers) {
  for (const char* line : {"menu cria 1 1 30", "menu cria 1 1 30 x", "menu cria 1 1 30 \"3a\""}) {
    in.Reset();
    EXPECT_EQ(Run(std::string(line) + "\nmenu adiciona \"x\"").line, 1) << line;
    EXPECT_FALSE(in.menu.Exists()) << line;
  }
  in.Reset();
  // Text after the four values fails the command, but the menu was made.
  EXPECT_FALSE(in.ExecuteLine("menu cria 1 1 30 3 4", false));
  EXPECT_TRUE(in.ExecuteLine("menu adiciona \"x\"", false));
  EXPECT_FALSE(in.ExecuteLine("menu adiciona \"y\" z", false));
  EXPECT_EQ(in.menu.Count(), 2);
}

TEST_F(ListsTest, MenuWithoutAMenuFailsExceptTermina) {
  EXPECT_EQ(Run("menu adiciona \"x\"").result, 1);
  in.Reset();
  EXPECT_EQ(Run("menu executa $n $k $t").result, 1);
  in.Reset();
  EXPECT_EQ(Run("menu termina\nmenu cria 1 1 10 2\nmenu termina\nmenu termina\n"
                "menu executa $n $k $t")
                .line,
            5);
  EXPECT_FALSE(in.ExecuteLine("menu termina agora", false));
  EXPECT_FALSE(in.ExecuteLine("menu mostra", false));
}

TEST_F(ListsTest, MenuExecutaNeedsThreeVariablesAndRunsNothingWithout) {
  EXPECT_EQ(Run("menu cria 1 1 10 2\nmenu adiciona \"x\"\nmenu executa $n $k").result, 1);
  EXPECT_TRUE(speech.spoken.empty());
  // Text after the variables: the choice is stored all the same, and the command fails.
  keys.Type("\r");
  EXPECT_FALSE(in.ExecuteLine("menu executa $n $k $t sobra", false));
  EXPECT_EQ(Var("K"), "#13");
  EXPECT_EQ(Var("T"), "x");
}

}  // namespace
}  // namespace navelo::testing
