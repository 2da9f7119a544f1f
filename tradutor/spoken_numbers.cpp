// Numbers in Portuguese words and the names of their recorded word sounds.
#include "tradutor/spoken_numbers.h"

#include "platform/text_encoding.h"

namespace navelo {
namespace {

const char* const kUnits[10] = {"",      "um",   "dois", "tres", "quatro",
                                "cinco", "seis", "sete", "oito", "nove"};
const char* const kTens[10] = {"",          "",         "vinte",    "trinta",  "quarenta",
                               "cinquenta", "sessenta", "setenta", "oitenta", "noventa"};
const char* const kTeens[10] = {"dez",    "onze",      "doze",      "treze",   "quatorze",
                                "quinze", "dezesseis", "dezessete", "dezoito", "dezenove"};
const char* const kHundreds[10] = {"",           "cento",     "duzentos",   "trezentos",
                                   "quatrocentos", "quinhentos", "seiscentos", "setecentos",
                                   "oitocentos", "novecentos"};

std::string GroupWords(int h, int t, int u) {
  if (h == 0 && t == 0 && u == 0) return "";
  if (h == 1 && t == 0 && u == 0) return "cem";
  std::string out;
  if (h != 0) {
    out += kHundreds[h];
    if (t != 0 || u != 0) out += " e ";
  }
  if (t == 1) return out + kTeens[u];
  if (t != 0) {
    out += kTens[t];
    if (u != 0) out += " e ";
  }
  if (u != 0) out += kUnits[u];
  return out;
}

}  // namespace

const char* const kWeekdayNames[7] = {"Domingo", "Segunda", "Terca", "Quarta",
                                      "Quinta",  "Sexta",   "Sabado"};
const char* const kMonthNames[12] = {"Janeiro", "Fevereiro", "Marco",    "Abril",
                                     "Maio",    "Junho",     "Julho",    "Agosto",
                                     "Setembro", "Outubro",  "Novembro", "Dezembro"};

std::string NumberToWords(long long n) {
  if (n <= 0) return "zero";
  std::string digits = std::to_string(n);
  if (digits.size() > 15) digits = digits.substr(digits.size() - 15);
  digits = std::string(15 - digits.size(), '0') + digits;
  static const char* const kSingular[4] = {"trilhão ", "bilhão ", "milhão ", "mil "};
  static const char* const kPlural[4] = {"trilhões ", "bilhões ", "milhões ", "mil "};
  std::string result;
  bool earlier = false;
  for (int g = 0; g < 5; ++g) {
    const int h = digits[3 * g] - '0';
    const int t = digits[3 * g + 1] - '0';
    const int u = digits[3 * g + 2] - '0';
    std::string words = GroupWords(h, t, u);
    if (words.empty()) continue;
    if (g < 4) words += " " + Utf8ToCp1252((h == 0 && t == 0 && u == 1) ? kSingular[g] : kPlural[g]);
    // The last group with words is joined with "e" when an earlier one had words.
    bool later = false;
    for (int k = g + 1; k < 5; ++k) {
      later = later || digits.compare(3 * k, 3, "000") != 0;
    }
    if (earlier && !later) result += "e ";
    result += words;
    earlier = true;
  }
  if (result.compare(0, 6, "um mil") == 0 && result.compare(0, 7, "um milh") != 0) {
    result = result.substr(3);
  }
  return result;
}

std::string WordSoundName(std::string_view word, bool feminine_last) {
  std::string w;
  for (const char c : word) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0xE3) w += 'a';       // a with tilde
    else if (b == 0xF5) w += 'o';  // o with tilde
    else w += c;
  }
  if (w == "dezessete") w = "dezeset";
  std::string name = ("_" + w).substr(0, 8);
  if (feminine_last) {
    if (name == "_um") name = "_uma";
    else if (name == "_dois") name = "_duas";
  }
  return name;
}

int WeekDay(int day, int month, int year) {
  static const int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 1 || month > 12) return 0;
  if (month < 3) year -= 1;
  const int w = (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
  return w < 0 ? w + 7 : w;
}

}  // namespace navelo
