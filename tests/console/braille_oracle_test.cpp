// The console's Portuguese braille checked against liblouis (table pt-pt-g1.utb) as an independent
// oracle: where both follow the same rule the dots must match; where our rules choose otherwise,
// the line is listed with the reason and must keep differing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "console/braille_translator.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// The lines where our rules and the table agree.
const std::vector<std::string> kAgreeing = {
    "Casa",
    "CASA azul",
    "ação pública",
    "Órgão de Évora",
    "guarda-chuva",
    "12",
    "1.000",
    "3,5 kg",
    "1.234,56",
    "(12)",
    "50%",
    "€ 12,50",
    "R$ 5,00",
    "ana.silva@correio.pt",
    "Bexilo - rastreamento de objetos",
    "Entre com o código do objeto a pesquisar:",
    "Selecione o objeto a consultar:",
    "Ver detalhes do objeto",
    "Detalhes do objeto:",
    "A página do objeto veio vazia. Tente de novo mais tarde.",
    "Não foi possível baixar a página do objeto. Verifique a conexão com a internet.",
    "Última atualização para o objeto:",
    "Entregue ao destinatário",
    "Objeto em trânsito",
    "câmara, vovô, avó, pêssego, céu, país, saúde, pôr, à",
    "Que horas são?",
    "Sim! Não.",
    "ÀS VEZES",
    "(a)",
    "AÇÃO É ÚTIL",
    "50‰",
    "[3]",
    "x/y",
    "«não»",
    "‘a’",
    "• item",
    "§ 2",
    "m² m³",
    "½ ¼ ¾",
    "Ana@X.PT",
    "joao2@mail.pt",
    "12/03/2024 14:35 Entregue ao destinatário",
    "Última atualização para o objeto: AB123456789BR",
    "3 × 4 = 12",
};

struct Differing {
  std::string line;
  const char* reason;
};

// The lines where our rules choose differently from the table on purpose.
const std::vector<Differing> kDiffering = {
    {"12.05.2004", "a dot between short digit groups repeats the number sign (.#)"},
    {"10.5", "a dot between short digit groups repeats the number sign (.#)"},
    {"12$50", "a dollar sign inside a number keeps the number going without a new number sign"},
    {"3a", "a letter a-j right after a number is marked with dot 5 so it cannot read as a digit"},
    {"1º", "ordinals are written with lower-cell digits"},
    {"1ª", "ordinals are written with lower-cell digits"},
    {"3o. andar", "ordinals are written with lower-cell digits, and their full stop is dropped"},
    {"2as.", "ordinals are written with lower-cell digits, and their full stop is dropped"},
    {"ABc", "lower case after a capital run is marked with dot 5"},
    {"(erro http 404)", "a parenthesis opened before text closes with two cells (dots 6, 3-4-5)"},
    {"O site de rastreamento não encontrou a página do objeto (erro http 404)",
     "a parenthesis opened before text closes with two cells (dots 6, 3-4-5)"},
    {"“sim”", "curly double quotes take the one cell of the straight quote (dots 2-3-6)"},
    {"fim…", "the ellipsis is written as three full stops"},
    {"a – b — c", "the en dash is written as two hyphens, like the em dash"},
    {"Straße", "sharp s is written as dots 4-5 then b"},
    {"# _ ? *", "these signs keep the cells of their braille ASCII characters"},
};

// Runs lou_translate once over all lines; returns one row of cells per line, or nothing when
// liblouis is not installed.
std::vector<std::vector<int>> LouisCells(const std::vector<std::string>& lines) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  // Both oracle tests may run at once in separate processes (and the time-based test seed is often
  // the same for both), so the name holds the test's own name and a random number.
  const std::string stem = std::string("navelo_louis_") +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                           std::to_string(std::random_device{}());
  const std::filesystem::path in = dir / (stem + ".in");
  const std::filesystem::path out = dir / (stem + ".out");
  {
    std::ofstream file(in, std::ios::binary);
    for (const std::string& line : lines) file << line << '\n';
  }
  const std::string command = "lou_translate --forward unicode.dis,pt-pt-g1.utb < '" + in.string() +
                              "' > '" + out.string() + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  std::vector<std::vector<int>> rows;
  std::ifstream file(out, std::ios::binary);
  std::string row;
  while (status == 0 && std::getline(file, row)) {
    std::vector<int> cells;
    // Unicode braille: U+2800 plus the dots, dot n in bit n - 1; three bytes in UTF-8.
    for (size_t k = 0; k + 2 < row.size() && static_cast<unsigned char>(row[k]) == 0xE2; k += 3) {
      const int code = ((row[k] & 0x0F) << 12) | ((row[k + 1] & 0x3F) << 6) | (row[k + 2] & 0x3F);
      cells.push_back(code - 0x2800);
    }
    rows.push_back(std::move(cells));
  }
  std::filesystem::remove(in);
  std::filesystem::remove(out);
  if (rows.size() != lines.size()) rows.clear();
  return rows;
}

std::vector<int> OurCells(const std::string& utf8_line) {
  BrailleTranslator translator;
  const std::string text = translator.Translate(Utf8ToCp1252(utf8_line));
  std::vector<int> cells;
  for (const char c : text) cells.push_back(BrailleCell(static_cast<unsigned char>(c)));
  return cells;
}

std::string Dots(const std::vector<int>& cells) {
  std::string s;
  for (const int cell : cells) {
    if (!s.empty()) s += ' ';
    if (cell == 0) s += '0';
    for (int dot = 0; dot < 8; ++dot) {
      if (cell & (1 << dot)) s += static_cast<char>('1' + dot);
    }
  }
  return s;
}

bool LouisInstalled() { return std::system("command -v lou_translate >/dev/null 2>&1") == 0; }

TEST(BrailleOracle, AgreesWithLiblouisWhereTheRulesAreTheSame) {
  if (!LouisInstalled()) GTEST_SKIP() << "liblouis-bin (lou_translate) is not installed";
  const auto louis = LouisCells(kAgreeing);
  ASSERT_EQ(louis.size(), kAgreeing.size()) << "lou_translate gave no usable answer";
  for (size_t k = 0; k < kAgreeing.size(); ++k) {
    EXPECT_EQ(Dots(OurCells(kAgreeing[k])), Dots(louis[k])) << "line: " << kAgreeing[k];
  }
}

TEST(BrailleOracle, DiffersFromLiblouisOnlyWhereListed) {
  if (!LouisInstalled()) GTEST_SKIP() << "liblouis-bin (lou_translate) is not installed";
  std::vector<std::string> lines;
  for (const Differing& d : kDiffering) lines.push_back(d.line);
  const auto louis = LouisCells(lines);
  ASSERT_EQ(louis.size(), lines.size()) << "lou_translate gave no usable answer";
  for (size_t k = 0; k < lines.size(); ++k) {
    EXPECT_NE(Dots(OurCells(lines[k])), Dots(louis[k]))
        << "line: " << lines[k] << " now agrees; the listed reason (" << kDiffering[k].reason
        << ") no longer holds";
  }
}

}  // namespace
}  // namespace navelo
