// Text to phonemes: golden word -> phoneme strings over a tiny rules and exceptions fixture, the
// rewriting of accented letters, the stress scan and each context symbol of the rules.
#include "tradutor/text_to_phonemes.h"

#include <gmock/gmock.h>

#include "platform/text_encoding.h"
#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kRules =
    "; a tiny Portuguese rule set\r\n"
    "(A)=a\r\n"
    "(CH)=x\r\n"
    "(C)+=s\r\n"
    "(C)=k\r\n"
    "(E)%=i\r\n"
    "(E)=e\r\n"
    "\r\n"
    "#(S)#=z\r\n"
    "(S)=s\r\n"
    "(O)%=u\r\n"
    "(O)=o\r\n"
    "%(R)=rr\r\n"
    "(RR)=rr\r\n"
    "(R)=r\r\n"
    "(NH)=nh\r\n"
    "(N)=n\r\n"
    "(P)=p\r\n"
    "(L)=l\r\n"
    "(T)=t\r\n"
    "(M)=m\r\n"
    "(I)=i\r\n"
    "(U)=u\r\n"
    "(K)=k\r\n"
    "a rule line without a bracket=ignored\r\n"
    "()=empty match, ignored\r\n";

constexpr const char* kExceptions =
    "canta=kAnto\n"
    "\n"
    "abacaxi=abakaSI|comment\n";

class TextToPhonemesTest : public ::testing::Test {
 protected:
  TextToPhonemesTest() {
    rules_.SetRulesText(kRules);
    rules_.SetExceptionsText(kExceptions);
  }
  std::string Phonemes(std::string_view utf8) const {
    return rules_.TextToPhonemes(Utf8ToCp1252(utf8));
  }
  PhonemeRules rules_;
};

TEST_F(TextToPhonemesTest, GoldenWords) {
  EXPECT_EQ(Phonemes("casa"), "[k/A/z/a]");
  EXPECT_EQ(Phonemes("papel"), "[p/a/p/E/l]");
  EXPECT_EQ(Phonemes("sol"), "[s/O/l]");
  EXPECT_EQ(Phonemes("mar"), "[m/a/r]");  // one vowel, not ending in l: no stress
  EXPECT_EQ(Phonemes("ama"), "[a/m/a]");  // the first character is never marked
  EXPECT_EQ(Phonemes("chave"), "[x/A/ /_V/i]");
  EXPECT_EQ(Phonemes("rato"), "[rr/A/t/u]");
  EXPECT_EQ(Phonemes("cedo"), "[s/E/ /_D/u]");
  EXPECT_EQ(Phonemes("BRT"), "[ /_b][ /_r][ /_t]");
  // Two words follow each other without a separator; capitals are folded.
  EXPECT_EQ(Phonemes("Casa  papel"), "[k/A/z/a][p/a/p/E/l]");
}

TEST_F(TextToPhonemesTest, AnExplicitAccentTurnsTheStressScanOff) {
  EXPECT_EQ(Phonemes("café"), "[k/a/ /_F/e/ /_']");
  // A trema is no explicit accent.
  EXPECT_EQ(PhonemeRules::RewriteText(Utf8ToCp1252("pinguë")), "pingue\"");
}

TEST_F(TextToPhonemesTest, ExceptionsAndTheirSOrMForms) {
  EXPECT_EQ(Phonemes("canta"), "[k/A/n/t/u]");
  EXPECT_EQ(Phonemes("cantas"), "[k/A/n/t/o/s]");
  // The stress scan still runs over a replacement: a final "om" is stressed.
  EXPECT_EQ(Phonemes("cantam"), "[k/A/n/t/O/m]");
  std::string word = "cantams";
  EXPECT_TRUE(rules_.LookupException(word));
  EXPECT_EQ(word, "kAntoms");
  word = "sss";
  EXPECT_FALSE(rules_.LookupException(word));
  EXPECT_EQ(word, "sss");
  word = "abacaxi";
  EXPECT_TRUE(rules_.LookupException(word));
  EXPECT_EQ(word, "abakaSI");  // the "|" ends the replacement
  EXPECT_EQ(rules_.exception_count(), 2u);
}

TEST_F(TextToPhonemesTest, Rewriting) {
  EXPECT_EQ(PhonemeRules::RewriteText(Utf8ToCp1252("ação")), "assa~o");
  EXPECT_EQ(PhonemeRules::RewriteText(Utf8ToCp1252("d'água")), "da'gua");
  EXPECT_EQ(PhonemeRules::RewriteText(Utf8ToCp1252("Ñandú")), "nhandu'");
  EXPECT_EQ(PhonemeRules::RewriteText(Utf8ToCp1252("ß×÷ÿ")), "ss\xD7\xF7y");
  EXPECT_EQ(PhonemeRules::RewriteText("Wagner w y"), "uagner w y");
  EXPECT_EQ(PhonemeRules::RewriteText("Yara"), "iara");
  EXPECT_EQ(PhonemeRules::RewriteText(std::string("a\tb\xA0" "c\x81", 6)),
            std::string("a \0 b c \0 ", 10));
  EXPECT_EQ(PhonemeRules::RewriteText(Utf8ToCp1252("Ðx")), std::string(" \0 x", 4));
}

TEST_F(TextToPhonemesTest, WordsWithoutVowelsAndOddBytesAreSpelled) {
  EXPECT_EQ(rules_.TextToPhonemes(std::string("\x81", 1)), std::string("[ /_\0]", 6));
  EXPECT_EQ(rules_.TextToPhonemes("\x80"), "[ /_\x80]");
  EXPECT_EQ(rules_.TextToPhonemes(""), "");
  EXPECT_EQ(rules_.TextToPhonemes("   "), "");
}

TEST(StressTest, TheScanMarksTheStressedVowel) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"casa", "cAsa"},     {"papel", "papEl"},   {"sol", "sOl"},     {"ama", "ama"},
      {"cantam", "cAntam"}, {"jabuti", "jabutI"}, {"falou", "falOu"}, {"bebem", "bEbem"},
      {"lapis", "lapIs"},   {"batom", "batOm"},   {"xyz", "xyz"},     {"quase", "quAse"},
      {"rainha", "raInha"}, {"saida", "sAida"},   {"caiu", "caIu"},   {"tatu", "tatU"}};
  for (const auto& [word, marked] : cases) {
    std::string w = word;
    PhonemeRules::MarkStress(w);
    EXPECT_EQ(w, marked) << word;
  }
}

TEST(RuleContextTest, EachContextSymbol) {
  PhonemeRules rules;
  rules.SetRulesText(
      "](B)=B1\n"
      "_(D)=D1\n"
      "|(F)=F1\n"
      "(G)&=G1\n"
      "(J)*=J1\n"
      "(K)[=K1\n"
      "(M)\\A=M1\n"
      "#(V)=V1\n"
      "(X)#T=X1\n"
      "%(Z)=Z1\n"
      "(Q)+A=Q1\n"
      "(H)%=H1\n");
  auto has = [&](std::string_view word, std::string_view unit) {
    return rules.TextToPhonemes(word).find(unit) != std::string::npos;
  };
  EXPECT_TRUE(has("abe", "B1"));
  EXPECT_TRUE(has("a'be", "B1"));  // an accent mark after a or o is passed over
  EXPECT_FALSE(has("ebe", "B1"));
  EXPECT_TRUE(has("dia", "D1"));  // the word's start
  EXPECT_TRUE(has("adi", "D1"));
  EXPECT_TRUE(has("e'di", "D1"));
  EXPECT_FALSE(has("tda", "D1"));
  EXPECT_TRUE(has("anfa", "F1"));
  EXPECT_FALSE(has("afa", "F1"));
  EXPECT_TRUE(has("agla", "G1"));
  EXPECT_FALSE(has("aga", "G1"));
  EXPECT_TRUE(has("ajta", "J1"));
  EXPECT_FALSE(has("ajra", "J1"));
  EXPECT_TRUE(has("ak", "K1"));  // the word's end
  EXPECT_TRUE(has("akta", "K1"));
  EXPECT_FALSE(has("akha", "K1"));
  EXPECT_FALSE(has("aka", "K1"));
  EXPECT_TRUE(has("ama", "M1"));
  EXPECT_TRUE(has("amsa", "M1"));  // the optional s
  EXPECT_FALSE(has("amba", "M1"));
  EXPECT_TRUE(has("aeiv", "V1"));  // a run of vowels
  EXPECT_FALSE(has("tv", "V1"));
  EXPECT_TRUE(has("axoute", "X1"));  // over the whole run of vowels
  EXPECT_FALSE(has("axte", "X1"));
  EXPECT_TRUE(has("za", "Z1"));
  EXPECT_FALSE(has("aza", "Z1"));
  EXPECT_TRUE(has("aqia", "Q1"));
  EXPECT_TRUE(has("aqi'a", "Q1"));  // a front vowel with its accent mark
  EXPECT_FALSE(has("aqua", "Q1"));
  EXPECT_TRUE(has("ah", "H1"));
  EXPECT_FALSE(has("aha", "H1"));
}

TEST(RuleContextTest, FirstRuleWinsAndLongMatchesAdvance) {
  PhonemeRules rules;
  rules.SetRulesText("(ABC)=x\n(A)=y\n(B)=b\n(C)=c\n");
  EXPECT_EQ(rules.TextToPhonemes("abca"), "[x/y]");
  EXPECT_EQ(rules.rule_count(), 4u);
  // Fields longer than their room are cut.
  rules.SetRulesText("LLLLLLL(AAAAAAA)RRRRRRR=OOOOOOOOOOOOOOOO|x\n");
  EXPECT_EQ(rules.rule_count(), 1u);
}

TEST(RuleFilesTest, MissingFilesFailToLoad) {
  TempDir dir;
  PhonemeRules rules;
  EXPECT_FALSE(rules.LoadRules(dir.path() / "regras.rgr"));
  EXPECT_FALSE(rules.LoadExceptions(dir.path() / "portug.exc"));
  WriteFile(dir.path() / "regras.rgr", "(A)=a\n");
  std::string many;
  for (int i = 0; i < 15005; ++i) many += "w" + std::to_string(100000 + i) + "=x\n";
  WriteFile(dir.path() / "portug.exc", many);
  EXPECT_TRUE(rules.LoadRules(dir.path() / "regras.rgr"));
  EXPECT_TRUE(rules.LoadExceptions(dir.path() / "portug.exc"));
  EXPECT_EQ(rules.exception_count(), kMaxExceptions);
}

}  // namespace
}  // namespace navelo::testing
