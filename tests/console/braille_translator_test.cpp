// Portuguese braille of console rows: the text the rules make, and the cells displays get.
#include "console/braille_translator.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/text_encoding.h"

namespace navelo {
namespace {

// Inputs and expectations are written in UTF-8 and compared in cp1252, as the console holds them.
std::string Braille(BrailleTranslator& translator, std::string_view utf8_row) {
  return Cp1252ToUtf8(translator.Translate(Utf8ToCp1252(utf8_row)));
}

struct Golden {
  const char* row;
  const char* braille;
};

void ExpectAll(const std::vector<Golden>& cases) {
  for (const Golden& g : cases) {
    BrailleTranslator translator;
    EXPECT_EQ(Braille(translator, g.row), g.braille) << "row: " << g.row;
  }
}

TEST(BrailleTranslator, CapitalsMarkOneLetterOrAWholeRun) {
  ExpectAll({
      {"Casa", "{casa"},
      {"CASA azul", "{{casa azul"},
      {"ABc", "{{ab~c"},
      {"Órgão de Évora", "{órgão de {évora"},
      {"AÇÃO É ÚTIL", "{{ação {é {{útil"},
      {"ação pública", "ação pública"},
      {"guarda-chuva", "guarda-chuva"},
      {"× vezes", "× vezes"},
  });
}

TEST(BrailleTranslator, NumbersTakeTheNumberSignAndLetterDigits) {
  ExpectAll({
      {"12", "#ab"},
      {"1.000", "#a.jjj"},
      {"12.05.2004", "#ab.#je.bjjd"},
      {"3a", "#c~a"},
      {"3,5 kg", "#c,e kg"},
      {"1.234,56", "#a.bcd,ef"},
      {"10.5", "#aj.#e"},
      {"fim 7.", "fim #g."},
      {"12$50", "#ab$ej"},
      {"4k", "#dk"},
  });
}

TEST(BrailleTranslator, OrdinalsUseTheLowerDigits) {
  ExpectAll({
      {"1º", "#,o"},
      {"1ª", "#,a"},
      {"2as.", "#;as"},
      {"3o. andar", "#:o andar"},
      {"10os. lugares", "#,}os lugares"},
      {"5a. feira", "#?a feira"},
  });
}

TEST(BrailleTranslator, MoneyAndPercent) {
  ExpectAll({
      {"€ 12,50", "€e #ab,ej"},
      {"R$ 5,00", "{r$ #e,jj"},
      {"50%", "#ej_}"},
      {"2‰", "#b_}}"},
      {"`%", "_}}"},
  });
}

TEST(BrailleTranslator, ParenthesesAroundNumbersAndText) {
  ExpectAll({
      {"(12)", "ê#abã"},
      {"(a)", "(.a\\)"},
      {"[3]", "á#cú"},
      {"[a]", "[.a\\]"},
      {"(12 dias", "(.#ab dias"},
      {"(erro http 404)", "(.erro http #djd\\)"},
      {"x/y", "x\\,y"},
      {"a\\b", "a~.b"},
  });
}

TEST(BrailleTranslator, TheParenthesisStateCarriesToTheNextRow) {
  BrailleTranslator translator;
  EXPECT_EQ(Braille(translator, "(ver"), "(.ver");
  EXPECT_TRUE(translator.ParenthesisOpen());
  EXPECT_EQ(Braille(translator, "12)"), "#ab\\)");
  EXPECT_FALSE(translator.ParenthesisOpen());
  EXPECT_EQ(Braille(translator, "12)"), "#abã");
}

TEST(BrailleTranslator, GraveAccentPairs) {
  ExpectAll({
      {"`3/4", "#:4"},
      {"`12", "#,;"},
      {"`^", "å"},
      {"`(", "ê"},
      {"`{", "~l"},
      {"`}", "_,"},
      {"`_", "~÷"},
      {"`/", "÷"},
      {"`:", "÷"},
      {"`e", "€e"},
      {"`x", "×"},
      {"`\"", "üü"},
      {"`o", "°"},
      {"a``b", "ab"},
      {"`z", "`z"},
  });
}

TEST(BrailleTranslator, PunctuationAndSigns) {
  ExpectAll({
      {"“sim”", "\"sim\""},
      {"«não»", "\\\"não\\\""},
      {"‘a’", "$\"a$\""},
      {"fim…", "fim..."},
      {"• item", "õo item"},
      {"a – b — c", "a -- b -- c"},
      {"§ 2", "ss #b"},
      {"m² m³ ¹", "må#b må#c å#a"},
      {"½ ¼ ¾", "#,b #,d #:d"},
      {"Straße", "{stra¬be"},
      {"œuvre", "oeuvre"},
      {"# _ ? *", "# _ ? *"},
  });
}

TEST(BrailleTranslator, EmailAddresses) {
  ExpectAll({
      {"ana.silva@correio.pt", "ana.silva@correio.pt"},
      {"Ana@X.PT", "{ana@{x.{{pt"},
      {"joao2@mail.pt", "joao#b@mail.pt"},
  });
}

TEST(BrailleTranslator, TheTrackersOwnLines) {
  ExpectAll({
      {"Bexilo - rastreamento de objetos", "{bexilo - rastreamento de objetos"},
      {"Última atualização para o objeto: AB123456789BR",
       "{última atualização para o objeto: {{ab#abcdefghi{{br"},
      {"12/03/2024 14:35 Entregue ao destinatário",
       "#ab\\,#jc\\,#bjbd #ad:#ce {entregue ao destinatário"},
      {"Entre com o código do objeto a pesquisar:",
       "{entre com o código do objeto a pesquisar:"},
  });
}

std::vector<int> CellsOf(std::string_view utf8_row, size_t count) {
  BrailleTranslator translator;
  std::string text;
  std::vector<uint8_t> cells(count);
  translator.RowCells(Utf8ToCp1252(utf8_row), text, cells);
  return {cells.begin(), cells.end()};
}

TEST(BrailleCells, DotsAreBitsInTheDisplayOrder) {
  // Capital sign dots 4-6, number sign 3-4-5-6, full stop dot 3, "~" dot 5, "ê" dots 1-2-6.
  EXPECT_EQ(BrailleCell('{'), 0x08 | 0x20);
  EXPECT_EQ(BrailleCell('#'), 0x04 | 0x08 | 0x10 | 0x20);
  EXPECT_EQ(BrailleCell('.'), 0x04);
  EXPECT_EQ(BrailleCell('~'), 0x10);
  EXPECT_EQ(BrailleCell(0xEA), 0x01 | 0x02 | 0x20);
  EXPECT_EQ(BrailleCell('a'), 0x01);
  EXPECT_EQ(BrailleCell('A'), 0x01);
  EXPECT_EQ(BrailleCell('z'), 0x01 | 0x04 | 0x10 | 0x20);
  EXPECT_EQ(BrailleCell(' '), 0);
  EXPECT_EQ(BrailleCell(0x7F), 0x3F);
  // ç is dots 1-2-3-4-6 and ã dots 3-4-5 in Portuguese braille.
  EXPECT_EQ(BrailleCell(0xE7), 0x01 | 0x02 | 0x04 | 0x08 | 0x20);
  EXPECT_EQ(BrailleCell(0xE3), 0x04 | 0x08 | 0x10);
}

TEST(BrailleCells, ABlankRowFillsTheDisplayWithEmptyCells) {
  EXPECT_EQ(CellsOf(std::string(80, ' '), 40), std::vector<int>(40, 0));
  const std::vector<int> cells = CellsOf("Casa", 40);
  ASSERT_EQ(cells.size(), 40u);
  EXPECT_EQ(cells[0], 0x28);  // capital sign
  EXPECT_EQ(cells[1], 0x09);  // c
  EXPECT_EQ(cells[2], 0x01);  // a
  for (size_t k = 5; k < 40; ++k) EXPECT_EQ(cells[k], 0) << k;
}

TEST(BrailleCells, ALongRowIsCutAtTheCellCount) {
  std::string row(80, 'a');
  const std::vector<int> cells = CellsOf(row, 40);
  EXPECT_EQ(cells, std::vector<int>(40, 1));
}

}  // namespace
}  // namespace navelo
