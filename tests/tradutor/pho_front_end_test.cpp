// The MBROLA voice's front end: normalisation of numbers, ordinals, abbreviations and symbols;
// the stress scan; each context symbol of the rules; the prosody file's messages; durations,
// pitch points and transition lines; and golden .pho output of tracker sentences.
#include "tradutor/pho_front_end.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/text_encoding.h"
#include "tests/tradutor/pho_fixture.h"
#include "tests/tradutor/pho_golden.h"

namespace navelo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::string U(std::string_view utf8) { return Utf8ToCp1252(utf8); }
std::string Utf8(std::string_view cp1252) { return Cp1252ToUtf8(cp1252); }

class PhoFrontEndTest : public ::testing::Test {
 protected:
  std::string Normal(std::string_view utf8) { return Utf8(front_.Normalise(U(utf8))); }
  std::vector<std::string> Rules(std::string_view rules, std::string_view word, int stress = 0) {
    PhoFrontEnd f;
    f.SetRulesText(U(rules));
    return f.ApplyRules(U(word), stress);
  }
  PhoFrontEnd front_ = MakeTestFrontEnd();
};

// ---- Normalisation ----

TEST_F(PhoFrontEndTest, OrdinalMarksMakeMasculineAndFeminineOrdinals) {
  EXPECT_EQ(Normal("3º"), " terceiro ");
  EXPECT_EQ(Normal("2ª"), " segunda ");
  EXPECT_EQ(Normal("21ª"), " vigésima primeira ");
  EXPECT_EQ(Normal("1500º"), " milésimo quingentésimo ");
  EXPECT_EQ(Normal("1999º"), " milésimo nongentésimo nonagésimo nono ");
  EXPECT_EQ(Normal("0º"), " zero ");
  EXPECT_EQ(Normal("2o. lugar"), " segundo  lugar");
  EXPECT_EQ(Normal("2a. feira"), " segunda  feira");
  EXPECT_EQ(Normal("os 3os. e as 4as."), "os  terceiros  e as  quartas ");
  // From two thousand on the cardinal words are read.
  EXPECT_EQ(Normal("2000º"), " dois mil  ");
}

TEST_F(PhoFrontEndTest, ThousandsSeparatorsAndDecimals) {
  EXPECT_EQ(Normal("1.000"), " mil  ");
  EXPECT_EQ(Normal("1.000.000"), " um milhão  ");
  EXPECT_EQ(Normal("1,5"), " um vírgula cinco ");
  EXPECT_EQ(Normal("1.5"), " um ponto cinco ");
  // Four digits after the full stop are no thousands group.
  EXPECT_EQ(Normal("1.0000"), " um ponto zero zero zero zero ");
  EXPECT_EQ(Normal("10,50"), " dez vírgula cinquenta ");
  // A comma followed by a space is punctuation.
  EXPECT_EQ(Normal("2, 3"), " dois ,  tres ");
}

TEST_F(PhoFrontEndTest, DigitRunsWithHyphensAndLeadingZeros) {
  EXPECT_EQ(Normal("12-34"), "  um dois traço três quatro ");
  EXPECT_EQ(Normal("1-"), " um  traço ");  // a hyphen after the run is not among its digits
  EXPECT_EQ(Normal("007"), " zero zero sete ");
  EXPECT_EQ(Normal("x 0"), " xis  zero ");
  EXPECT_EQ(Normal("0"), "zéro");  // a single character says its name
  EXPECT_EQ(Normal("-5"), "menos  cinco ");
  EXPECT_EQ(Normal("a - e"), "a , e");
}

TEST_F(PhoFrontEndTest, LongNumbersAre64BitCardinalsOfAtMost15Digits) {
  EXPECT_EQ(Normal("999999999999999"),
            " novecentos e noventa e nove trilhões novecentos e noventa e nove bilhões "
            "novecentos e noventa e nove milhões novecentos e noventa e nove mil e "
            "novecentos e noventa e nove ");
  // A sixteenth digit starts a run of its own.
  EXPECT_EQ(Normal("1000000000000005"), " cem trilhões   cinco ");
  EXPECT_EQ(Normal("AA123456789BR"),
            "AA cento e vinte e tres milhões quatrocentos e cinquenta e seis mil e setecentos "
            "e oitenta e nove  bê érre");
}

TEST_F(PhoFrontEndTest, SingleCharactersSayTheirNames) {
  EXPECT_EQ(Normal("@"), "arrôba");
  EXPECT_EQ(Normal("C"), " sê");
  EXPECT_EQ(Normal("ç"), "Cê cedilha");
  EXPECT_EQ(Normal("7"), "séte");
  EXPECT_EQ(Normal("½"), "um meio");
  EXPECT_EQ(Normal("a½"), "a um meio ");
  EXPECT_EQ(Normal("\x7f"), "");  // no name, nothing said
  EXPECT_EQ(Utf8(PhoFrontEnd::CharacterName(U("ã")[0])), "A com til");
  EXPECT_EQ(Utf8(PhoFrontEnd::CharacterName('\\')), "raiz");
  EXPECT_EQ(Utf8(PhoFrontEnd::CharacterName(U("×")[0])), "vezes");
  EXPECT_EQ(PhoFrontEnd::CharacterName(static_cast<char>(0x80)), "");  // the euro sign
  // Symbols inside a text are named between spaces.
  EXPECT_EQ(Normal("R$ 5"), " érre cifrão   cinco ");
  EXPECT_EQ(Normal("a@b"), "a arrôba  bê");
}

TEST_F(PhoFrontEndTest, ConsonantRunsAreSpelledAndAbbreviationsExpanded) {
  EXPECT_EQ(Normal("RJ"), " érre jóta");
  EXPECT_EQ(Normal("SP-RJ"), " ésse pê traço érre jóta");
  EXPECT_EQ(Normal("Sr. Silva"), "senhor Silva");
  EXPECT_EQ(Normal("Dr. Silva"), "doutor Silva");
  // Not in the abbreviations: spelled, and the full stop ends the sentence.
  EXPECT_EQ(Normal("Pr. Silva"), " pê érre. Silva");
  // An abbreviation not followed by a space is neither spelled nor expanded.
  EXPECT_EQ(Normal("Sr.x"), "Sr ponto  xis");
  // A vowel run that is an abbreviation is expanded too.
  EXPECT_EQ(Normal("Av. Brasil"), "avenida Brasil");
  EXPECT_EQ(Normal("guarda-chuva"), "guarda-chuva");
}

TEST_F(PhoFrontEndTest, FullStopsInsideAddressesAreSaidAndOthersKept) {
  EXPECT_EQ(Normal("site.com"), "site ponto com");
  EXPECT_EQ(Normal("Fim. Depois"), "Fim. Depois");
  EXPECT_EQ(Normal("Fim..."), "Fim... ");
  EXPECT_EQ(Normal("um\ttab\r\n"), "umtab");
  EXPECT_EQ(Normal("Sim! (Não)"), "Sim! (Não)");
}

// ---- Stress ----

TEST_F(PhoFrontEndTest, StressedPositions) {
  EXPECT_EQ(PhoFrontEnd::StressPosition("casa"), 2);
  EXPECT_EQ(PhoFrontEnd::StressPosition("FALAR"), 4);
  EXPECT_EQ(PhoFrontEnd::StressPosition("aqui"), 4);
  EXPECT_EQ(PhoFrontEnd::StressPosition(U("linguiça")), 6);
  EXPECT_EQ(PhoFrontEnd::StressPosition(U("ÁGUA")), 1);
  EXPECT_EQ(PhoFrontEnd::StressPosition("cantam"), 2);
  EXPECT_EQ(PhoFrontEnd::StressPosition("jardim"), 5);
  EXPECT_EQ(PhoFrontEnd::StressPosition("BRR"), 0);
  EXPECT_EQ(PhoFrontEnd::StressPosition("casas"), 2);
  EXPECT_EQ(PhoFrontEnd::StressPosition("tatu"), 4);
  EXPECT_EQ(PhoFrontEnd::StressPosition("saguão"), 5);
  EXPECT_EQ(PhoFrontEnd::StressPosition("averigue"), 5);
  EXPECT_EQ(PhoFrontEnd::StressPosition("enxaguam"), 4);
}

TEST_F(PhoFrontEndTest, AWordWithoutAVowelGetsNoStressMark) {
  const auto pho = front_.PhonemeList({"555|BRR"});
  for (const std::string& line : pho) EXPECT_EQ(line.find('>'), std::string::npos) << line;
  EXPECT_THAT(pho, ElementsAre(";555|BRR", "b", "rr", "", "__"));
}

// ---- Rules ----

TEST_F(PhoFrontEndTest, TheStressMarkGoesBeforeThePhonemeOfTheStressedLetter) {
  EXPECT_THAT(front_.ApplyRules("CASA", 2), ElementsAre("k", ">a", "z", "a", ""));
  // A function word has no stressed position.
  EXPECT_THAT(front_.PhonemeList({"555|com"}), ElementsAre(";555|com", "k", "o", "", "__"));
}

TEST_F(PhoFrontEndTest, OutputsUseElevenCharactersAndAmpersandsEndLines) {
  EXPECT_THAT(Rules("(X)=k&s\n", "X"), ElementsAre("k", "s", ""));
  // The eleventh character ends the line, and the output's end adds the empty one after it.
  EXPECT_THAT(Rules("(X)=abcdefghij&lmnopqrstu\n", "X"), ElementsAre("abcdefghij", "", ""));
  EXPECT_THAT(Rules("(X)=a|comment\n", "X"), ElementsAre("a", ""));
  // A letter without a rule is passed; an empty line makes no rule.
  EXPECT_THAT(Rules("\n()=z\n(A)=a\n", "BA"), ElementsAre("a", ""));
  // Characters of the word are compared folded to upper case.
  EXPECT_THAT(Rules("(AB)=ab\n(A)=a\n", "ab"), ElementsAre("ab", ""));
}

TEST_F(PhoFrontEndTest, RightContextSymbols) {
  const char* rules =
      "(A)#=1\n(A)+=2\n(A)&=3\n(A)*=4\n(A)%=5\n(A)\\T=6\n(A)[=7\n(A)X=8\n(B)=b\n(E)=e\n(I)=i\n"
      "(L)=l\n(T)=t\n(S)=s\n(H)=h\n(X)=x\n(O)=o\n(U)=u\n";
  EXPECT_EQ(Rules(rules, "AO")[0], "1");
  EXPECT_EQ(Rules(rules, "AE")[0], "1");  // a vowel is met first
  EXPECT_EQ(Rules("(A)+=2\n", U("AÉ"))[0], "2");
  EXPECT_EQ(Rules("(A)+=2\n(A)=a\n", "AO")[0], "a");
  EXPECT_EQ(Rules(rules, "AL")[0], "3");
  EXPECT_EQ(Rules(rules, "AB")[0], "4");
  EXPECT_EQ(Rules("(A)*B=4\n(A)=a\n", "AB")[0], "4");  // looked at, not passed
  EXPECT_EQ(Rules(rules, "A")[0], "5");
  EXPECT_EQ(Rules("(A)\\T=6\n(A)=a\n", "AST")[0], "6");
  EXPECT_EQ(Rules("(A)\\T=6\n(A)=a\n", "AT")[0], "6");  // the S is optional
  EXPECT_EQ(Rules("(A)\\T=6\n(A)=a\n", "AS")[0], "a");
  EXPECT_EQ(Rules("(A)[=7\n(A)=a\n", "A")[0], "7");
  EXPECT_EQ(Rules("(A)[=7\n(A)=a\n", "AH")[0], "a");
  EXPECT_EQ(Rules("(A)X=8\n(A)=a\n", "AX")[0], "8");
  EXPECT_EQ(Rules("(A)X=8\n(A)=a\n", "A")[0], "a");  // a plain symbol fails at the end
}

TEST_F(PhoFrontEndTest, LeftContextSymbols) {
  const char* letters = "(B)=b\n(O)=o\n(N)=n\n(E)=e\n(U)=u\n";
  EXPECT_EQ(Rules(std::string("#(X)=1\n(X)=x\n") + letters, "OX")[1], "1");
  EXPECT_EQ(Rules(std::string("#(X)=1\n(X)=x\n") + letters, "BX")[1], "x");
  EXPECT_EQ(Rules(std::string("](X)=2\n(X)=x\n") + letters, "OX")[1], "2");
  EXPECT_EQ(Rules(std::string("](X)=2\n(X)=x\n") + letters, "EX")[1], "x");
  EXPECT_EQ(Rules(std::string("|(X)=3\n(X)=x\n") + letters, "NX")[1], "3");
  EXPECT_EQ(Rules("_(X)=4\n(X)=x\n", "X")[0], "4");
  EXPECT_EQ(Rules(std::string("_(X)=4\n(X)=x\n") + letters, "UX")[1], "4");
  EXPECT_EQ(Rules(std::string("_(X)=4\n(X)=x\n") + letters, "BX")[1], "x");
  EXPECT_EQ(Rules("%(X)=5\n(X)=x\n", "XX"), (std::vector<std::string>{"5", "x", ""}));
  // Read from the last symbol leftwards: B then O before the match.
  EXPECT_EQ(Rules(std::string("BO(X)=6\n(X)=x\n") + letters, "BOX")[2], "6");
  EXPECT_EQ(Rules(std::string("BO(X)=6\n(X)=x\n") + letters, "OBX")[2], "x");
}

TEST_F(PhoFrontEndTest, ExceptionsAndTheirSOrMForms) {
  std::string w = "CANTAS";
  EXPECT_TRUE(front_.LookupException(w));
  EXPECT_EQ(w, U("KÁNTAS"));
  w = "CANTAM";
  EXPECT_TRUE(front_.LookupException(w));
  EXPECT_EQ(w, U("KÁNTAM"));
  w = "CANTO";
  EXPECT_FALSE(front_.LookupException(w));
  // The stress follows the replacement's accent.
  EXPECT_THAT(front_.PhonemeList({"555|" + U("táxi")}),
              ElementsAre(";555|" + U("táxi"), "t", ">a", "k", "s", "i", "", "__"));
}

TEST_F(PhoFrontEndTest, FinalR2AndS2JoinAVowelOfTheNextWord) {
  PhoFrontEnd f = MakeTestFrontEnd();
  EXPECT_THAT(f.PhonemeList({"555|mar", "555|azul", "555|mar", "555|.", "555|os", "555|ovos",
                             "555|tios"}),
              ElementsAre(";555|mar", "m", ">a", "r", "", ";555|azul", "a", "z", ">u", "w", "",
                          ";555|mar", "m", ">a", "r2", "", ";555|.", "_.", ";555|os", "u", "z", "",
                          ";555|ovos", ">o", "v", "u", "s2", "", ";555|tios", "t", ">i", "u", "s2",
                          "", "__"));
}

// ---- Tokens and intonation ----

TEST_F(PhoFrontEndTest, TokensCarryTheirClassesAndSentencesEndWithABoundary) {
  EXPECT_THAT(front_.Tokenise("o carro de Ana. Sim? Fim... ok, bom"),
              ElementsAre("[--]", "[AR]o", "[XX]carro", "[PR]de", "[XX]Ana", "[PT].", "[--]",
                          "[XX]Sim", "[QU]?", "[--]", "[XX]Fim", "[XX]...", "[--]", "[XX]ok",
                          "[VG],", "[XX]bom"));
}

TEST_F(PhoFrontEndTest, PatternsMatchByThreeClassesAndAQuestionMarkTakesTheLastDigit) {
  EXPECT_THAT(front_.Intonate({"[--]", "[AR]o", "[XX]carro", "[XX]novo", "[QU]?", "[--]"}),
              ElementsAre("555|", "544|o", "562|carro", "368|novo", "555|?", "555|"));
  // "?44" after "555" takes its 5.
  EXPECT_THAT(front_.Intonate({"[--]", "[AR]o"}), ElementsAre("555|", "544|o"));
  PhoFrontEnd none;
  EXPECT_THAT(none.Intonate({"[--]", "[XX]a"}), ElementsAre("555|", "555|a"));
}

// ---- Prosody file ----

TEST_F(PhoFrontEndTest, ProsodyProblemsAreShownOneByOne) {
  std::vector<std::string> shown;
  auto show = [&](const std::string& m) { shown.push_back(Utf8(m)); };
  PhoFrontEnd f;
  EXPECT_TRUE(f.SetProsodyText(U("[DURAÇÃO]\na=90\nb\nc=x\n[CHAVES]\nde=PR\nerrada\n"
                                 "[PROSÓDIA]\nHERTZ=100\n"),
                               show));
  EXPECT_THAT(shown, ElementsAre("Configuração da prosódia: fonema errado: b",
                                 "Configuração da prosódia: fonema errado: c=x",
                                 "Configuração da prosódia: chave errada: errada"));
  EXPECT_EQ(f.Duration("a"), 90);
  EXPECT_EQ(f.Duration("c"), 100);  // a value that is not a number counts as 100
  EXPECT_EQ(f.Duration("zz"), 100);
  EXPECT_EQ(f.WordClass("DE"), "PR");
  EXPECT_EQ(f.WordClass("casa"), "XX");

  shown.clear();
  EXPECT_FALSE(f.SetProsodyText("[CHAVES]\n[PROSODIA]\n", show));
  EXPECT_THAT(shown, ElementsAre("Duração dos difones errada ou ausente"));
  shown.clear();
  EXPECT_FALSE(f.SetProsodyText(U("[DURAÇÃO]\n[PROSÓDIA]\n"), show));
  EXPECT_THAT(shown, ElementsAre("Prosódia: palavras chaves ausentes"));
  shown.clear();
  EXPECT_FALSE(f.SetProsodyText(U("[duração]\n[CHAVES]\n"), show));
  EXPECT_THAT(shown, ElementsAre("Prosódia: especificações ausentes"));
}

TEST_F(PhoFrontEndTest, LoadingNamesTheFileThatFailed) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("navelo_pho_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  auto write = [&](const char* ext, std::string_view text) {
    std::ofstream(dir / (std::string("portug") + ext), std::ios::binary) << text;
  };
  std::vector<std::string> shown;
  auto show = [&](const std::string& m) { shown.push_back(Utf8(m)); };
  PhoFrontEnd f;
  EXPECT_EQ(Utf8(f.LoadFiles(dir / "portug", show)), "Erro na base de dados de português");
  write(".nrl", kPhoRules);
  EXPECT_EQ(Utf8(f.LoadFiles(dir / "portug", show)), "Erro na base de dados de português");
  write(".exc", U(kPhoExceptions));
  EXPECT_EQ(Utf8(f.LoadFiles(dir / "portug", show)), "Erro no arquivo de abreviaturas");
  write(".abr", U(kPhoAbbreviations));
  EXPECT_EQ(Utf8(f.LoadFiles(dir / "portug", show)), "Erro no arquivo de prosódia");
  EXPECT_THAT(shown, ElementsAre("Configuração da prosódia não foi achada"));
  write(".pro", U(kPhoProsody));
  EXPECT_EQ(Utf8(f.LoadFiles(dir / "portug", show)), "Erro no arquivo de prosódia");
  write(".dfn", kPhoDiphones);
  EXPECT_EQ(f.LoadFiles(dir / "portug", show), "");
  EXPECT_EQ(f.abbreviation_count(), 3u);
  EXPECT_EQ(f.exception_count(), 2u);
  EXPECT_TRUE(f.HasDiphone("_", "a"));
  EXPECT_TRUE(f.HasDiphone("r2", "_"));
  EXPECT_FALSE(f.HasDiphone("a", "a"));
  std::filesystem::remove_all(dir);
}

// ---- Durations, pitch and transitions ----

TEST_F(PhoFrontEndTest, DurationsStressAndPitchPoints) {
  PhoFrontEnd f = MakeTestFrontEnd();
  // Stressed a: 110 x 145 x 0.8 / 100; pitch TABHERTZ[8] = 130 % of 200 Hz.
  EXPECT_THAT(f.Prosody({";582|casa", "k", ">a", "z", "a", ""}),
              ElementsAre(";582|casa", "k 64 50 210", "_ 50", "a 127 80 260", "_ 50", "z 92",
                          "_ 50", "a 127 50 180", ""));
  // Speed 5 and pitch 11: duration factor 0.8 - 1/3, pitch factor 2.
  f.SetVoice(5, 11);
  EXPECT_THAT(f.Prosody({";582|casa", "_a", "k", ">a", "_ 40", ""}),
              ElementsAre(";582|casa", "_ 46 50 420", "k 37", "_ 50", "a 74 80 520", "_ 27 50 360",
                          ""));
}

TEST_F(PhoFrontEndTest, DurationsBeyondAMinuteAreMistakes) {
  std::vector<std::string> shown;
  PhoFrontEnd f;
  EXPECT_TRUE(f.SetProsodyText(U("[DURAÇÃO]\na=70000\ne=-5\ni=60000\n[CHAVES]\n[PROSÓDIA]\n"),
                               [&](const std::string& m) { shown.push_back(Utf8(m)); }));
  EXPECT_THAT(shown, ElementsAre("Configuração da prosódia: fonema errado: a=70000",
                                 "Configuração da prosódia: fonema errado: e=-5"));
  EXPECT_EQ(f.Duration("a"), 100);
  EXPECT_EQ(f.Duration("e"), 100);
  EXPECT_EQ(f.Duration("i"), 60000);
  // A pause a rule writes with its own length is held to a minute too, without overflowing.
  f.SetDiphonesText("_ _\n");
  EXPECT_THAT(f.Prosody({"_ 999999999", "_ 5"}), ElementsAre("_ 48000 50 230", "_ 4"));
}

TEST_F(PhoFrontEndTest, LongWordsAreShortenedBeforeTheirStress) {
  PhoFrontEnd f;
  f.SetProsodyText(U("[DURAÇÃO]\na=100\n[CHAVES]\n[PROSÓDIA]\nTABHERTZ=0,0,0,0,0,0,0,0,0,0\n"),
                   [](const std::string&) {});
  f.SetDiphonesText("a a\n_ a\n");
  // 9 counted: full; 10: 90 %; 14: 80 %; after the stress: full again.
  EXPECT_THAT(f.Prosody({";555|abcdefgh", "a", ""}), ElementsAre(";555|abcdefgh", "a 80", ""));
  EXPECT_THAT(f.Prosody({";555|abcdefghi", "a", ""}), ElementsAre(";555|abcdefghi", "a 72", ""));
  EXPECT_THAT(f.Prosody({";555|abcdefghijklm", "a", ">a", "a", ""}),
              ElementsAre(";555|abcdefghijklm", "a 64", "a 116", "a 116", ""));
}

TEST_F(PhoFrontEndTest, TransitionsBridgePairsTheVoiceLacks) {
  PhoFrontEnd f = MakeTestFrontEnd();
  // e-i is missing but e-y exists: a glide; i-_ is missing: a pause; r2-_ exists: a pause
  // before what follows r2.
  EXPECT_THAT(f.Prosody({"e", "i", "", "_", "a", "r2", "o"}),
              ElementsAre("e 80 50 210", "y 50", "i 64", "", "_ 50", "_ 80", "a 88", "r2 40",
                          "_ 50", "o 80"));
}

TEST_F(PhoFrontEndTest, AnEmptyTextGivesNothing) {
  EXPECT_TRUE(front_.TextToPho("").empty());
  EXPECT_TRUE(front_.TextToPho(" \t ").empty());
}

// ---- Golden sentences ----

struct GoldenCase {
  std::string text;
  std::vector<std::string> lines;
};

std::vector<GoldenCase> GoldenCases() {
  std::vector<GoldenCase> cases;
  std::string_view all = kPhoGolden;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = all.substr(start, end - start);
    start = end + 1;
    if (line.substr(0, 4) == "### ") {
      cases.push_back({U(line.substr(4)), {}});
    } else if (!cases.empty()) {
      cases.back().lines.push_back(U(line));
    }
  }
  return cases;
}

TEST_F(PhoFrontEndTest, GoldenTrackerSentences) {
  const std::vector<GoldenCase> cases = GoldenCases();
  ASSERT_EQ(cases.size(), 12u);
  for (const GoldenCase& c : cases) {
    EXPECT_THAT(front_.TextToPho(c.text), ElementsAreArray(c.lines)) << Utf8(c.text);
  }
}

}  // namespace
}  // namespace navelo::testing
