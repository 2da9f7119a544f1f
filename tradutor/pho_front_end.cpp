// Text to .pho lines for the MBROLA voice.
#include "tradutor/pho_front_end.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/text_encoding.h"
#include "tradutor/spoken_numbers.h"
#include "tradutor/text_to_phonemes.h"

namespace navelo {
namespace {

using Byte = unsigned char;

std::string C(std::string_view utf8) { return Utf8ToCp1252(utf8); }

bool IsDigit(Byte c) { return c >= '0' && c <= '9'; }

Byte UpperByte(Byte c) {
  if (c >= 'a' && c <= 'z') return static_cast<Byte>(c - 32);
  if (c > 223) return static_cast<Byte>(c - 32);
  return c;
}

std::string FoldUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(UpperByte(static_cast<Byte>(c)));
  return out;
}

// Lower case as the locale has it: A to Z and the accented capitals (not the multiplication sign).
Byte LowerByte(Byte c) {
  if (c >= 'A' && c <= 'Z') return static_cast<Byte>(c + 32);
  if (c >= 192 && c <= 222 && c != 215) return static_cast<Byte>(c + 32);
  return c;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<Byte>(text[b]) <= 32) ++b;
  while (e > b && static_cast<Byte>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

// The vowels and consonants of the rules (either case).
bool IsRuleVowel(Byte c) {
  switch (UpperByte(c)) {
    case 'A': case 'E': case 'I': case 'O': case 'U':
    case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC9: case 0xCA: case 0xCC: case 0xCD:
    case 0xD3: case 0xD4: case 0xD5: case 0xD9: case 0xDA: case 0xDC:
      return true;
    default:
      return false;
  }
}

bool IsRuleConsonant(Byte c) {
  const Byte u = UpperByte(c);
  if (u >= 'A' && u <= 'Z') return !IsRuleVowel(u);
  return u == 0xC7 || u == 0xD1;  // Ç, Ñ
}

// Letters that make words: A to Z and the accented letters of Portuguese and Spanish.
bool IsWordLetter(Byte c) {
  const Byte u = UpperByte(c);
  if (u >= 'A' && u <= 'Z') return true;
  switch (u) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC7: case 0xC9: case 0xCA: case 0xCC:
    case 0xCD: case 0xD1: case 0xD3: case 0xD4: case 0xD5: case 0xD9: case 0xDA: case 0xDC:
      return c != 0xF7 && c != 0xD7;
    default:
      return false;
  }
}

bool IsPunctuation(Byte c) {
  return c == '!' || c == '(' || c == ')' || c == ',' || c == '.' || c == ':' || c == ';' ||
         c == '?';
}

// Integer value of a whole text of digits (with an optional sign), or false.
bool ParseNumber(std::string_view text, int& value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (!IsDigit(static_cast<Byte>(t[i]))) return false;
    v = v * 10 + (t[i] - '0');
    if (v > 1000000000) return false;
  }
  value = static_cast<int>(t[0] == '-' ? -v : v);
  return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// A text section of the prosody file: the lines after its header up to the next line that
// begins with "[". False when the header is not there.
bool Section(const std::vector<std::string>& lines, std::string_view header,
             std::vector<std::string>& body) {
  const std::string wanted = FoldUpper(header);
  size_t i = 0;
  while (i < lines.size() && FoldUpper(Trim(lines[i])) != wanted) ++i;
  if (i == lines.size()) return false;
  body.clear();
  for (++i; i < lines.size() && (lines[i].empty() || lines[i][0] != '['); ++i) {
    const std::string& line = lines[i];
    if (Trim(line).empty() || line[0] == ';' || line[0] == '*') continue;
    body.push_back(line);
  }
  return true;
}

// The phoneme of a phoneme line without its marks: a vowel of the voice begins with one of these.
bool IsVowelPhoneme(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && (line[i] == '>' || static_cast<Byte>(line[i]) == 168)) ++i;
  if (i >= line.size()) return false;
  const char c = line[i];
  return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u' || c == '@';
}

bool IsPhonemeLine(const std::string& line) { return !line.empty() && line[0] != ';'; }

std::string DigitName(int d) {
  static const char* const kNames[10] = {"zero",  "um",   "dois", "três", "quatro",
                                         "cinco", "seis", "sete", "oito", "nove"};
  return C(kNames[d]);
}

const std::vector<std::string>& CharacterNames() {
  // Names of 32 to 126, then 161 to 191 and 192 to 220 (the lower-case letters above 223 use
  // the capital's name).
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n(256);
    const char* const kAscii[95] = {
        "espaço", "exclamação", "aspas", "cerquilha", "cifrão", "por cento", "é comercial",
        "apóstrofo", "abre parênteses", "fecha parênteses", "asterisco", "mais", "vírgula",
        "traço", "ponto", "barra", "zéro", "um", "dois", "três", "quatro", "cinco", "seis", "séte",
        "oito", "nóve", "dois pontos", "ponto e vírgula", "menor", "igual", "maior",
        "interrogação", "arrôba", "a", "bê", " sê", "dê", "é", "éfe", "gê", "agá", "i", "jóta",
        "cá", "éle", "ême", "êne", "ó", "pê", "quê", "érre", "ésse", "tê", "u", "vê", "dábliu",
        "xis", "ípsilon", "zê", "abre colchetes", "raiz", "fecha colchetes", "circunflexo",
        "sublinhado", "crase", nullptr};
    for (int c = 32; c < 97; ++c) n[c] = C(kAscii[c - 32]);
    for (int c = 'a'; c <= 'z'; ++c) n[c] = n[c - 32];
    n['{'] = C("abre chaves");
    n['|'] = C("barra vertical");
    n['}'] = C("fecha chaves");
    n['~'] = C("til");
    const char* const kHigh[60] = {
        "exclamação reversa", "centavo", "libra", "moeda", "iene", "barra interrompida",
        "parágrafo", "trema", "copyright", "ordinal feminino", "abre aspas angulares", "negação",
        "hífen", "marca registrada", "mácron", "graus", "mais ou menos", "ao quadrado",
        "ao cubo", "acento agudo", "micro", "sinal de parágrafo", "ponto médio", "cedilha",
        "sobrescrito um", "ordinal masculino", "fecha aspas angulares", "um quarto", "um meio",
        "três quartos", "interrogação reversa",
        "A grave", "A agudo", "A circunflexo", "A com til", "A com trema", "A com anel",
        "A E ligados", "Cê cedilha", "E grave", "E agudo", "E circunflexo", "E com trema",
        "I grave", "I agudo", "I circunflexo", "I com trema", "D cortado", "N com til",
        "O grave", "O agudo", "O circunflexo", "O com til", "O com trema", "vezes",
        "O cortado", "U grave", "U agudo", "U circunflexo", "U com trema"};
    for (int c = 161; c <= 220; ++c) n[c] = C(kHigh[c - 161]);
    for (int c = 224; c <= 252; ++c) n[c] = n[c - 32];
    n[0xF7] = C("dividido por");  // not a letter: its own name rather than the capital's
    return n;
  }();
  return names;
}

}  // namespace

PhoFrontEnd::PhoFrontEnd() { tab_hertz_.fill(100); }

// ---- Loading ----------------------------------------------------------------------------------

void PhoFrontEnd::SetRulesText(std::string_view text) {
  for (auto& chain : chains_) chain.clear();
  for (const std::string& raw : SplitLines(text)) {
    std::optional<PhonemeRule> split = SplitRuleLine(raw);
    if (!split) continue;
    PhoRule rule{std::move(split->left), std::move(split->match), std::move(split->right), {}};
    std::string output = std::move(split->output);
    while (!output.empty() && static_cast<Byte>(output.back()) <= 32) output.pop_back();
    if (output.size() > 20) output.resize(20);
    rule.output = std::move(output);
    // A rule without a match part would apply without moving on: it is never kept.
    if (rule.match.empty()) continue;
    const Byte first = static_cast<Byte>(rule.match[0]);
    if (first < 32) continue;
    chains_[first - 32].push_back(std::move(rule));
  }
}

void PhoFrontEnd::SetExceptionsText(std::string_view text) {
  exceptions_.clear();
  for (const std::string& line : SplitLines(text)) {
    if (exceptions_.size() >= kPhoMaxExceptions) break;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string word = FoldUpper(Trim(line.substr(0, equals)));
    if (word.empty()) continue;
    exceptions_.emplace_back(std::move(word), FoldUpper(Trim(line.substr(equals + 1))));
  }
  std::stable_sort(exceptions_.begin(), exceptions_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

void PhoFrontEnd::SetAbbreviationsText(std::string_view text) {
  abbreviations_.clear();
  for (const std::string& line : SplitLines(text)) {
    if (abbreviations_.size() >= kPhoMaxAbbreviations) break;
    if (Trim(line).empty() || line[0] == ';') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string abbreviation = FoldUpper(Trim(line.substr(0, equals)));
    if (abbreviation.empty()) continue;
    abbreviations_.emplace_back(std::move(abbreviation), Trim(line.substr(equals + 1)));
  }
}

bool PhoFrontEnd::SetProsodyText(std::string_view text, const PhoMessageSink& show) {
  durations_.clear();
  classes_.clear();
  patterns_.clear();
  hertz_ = 230;
  tab_hertz_.fill(100);
  const std::vector<std::string> lines = SplitLines(text);
  std::vector<std::string> body;
  if (!Section(lines, C("[DURAÇÃO]"), body)) {
    show(C("Duração dos difones errada ou ausente"));
    return false;
  }
  for (const std::string& line : body) {
    const size_t equals = line.find('=');
    int value = kPhoDefaultDuration;
    if (equals == std::string::npos || !ParseNumber(line.substr(equals + 1), value) ||
        value < 0 || value > kPhoMaxDuration) {
      show(C("Configuração da prosódia: fonema errado: ") + line);
      value = kPhoDefaultDuration;
      if (equals == std::string::npos) continue;
    }
    std::string phoneme = Trim(line.substr(0, equals));
    if (phoneme.size() > 2) phoneme.resize(2);
    durations_.emplace_back(std::move(phoneme), value);
  }
  if (!Section(lines, "[CHAVES]", body)) {
    show(C("Prosódia: palavras chaves ausentes"));
    return false;
  }
  for (const std::string& line : body) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      show(C("Configuração da prosódia: chave errada: ") + line);
      continue;
    }
    std::string word = FoldUpper(Trim(line.substr(0, equals)));
    std::string word_class = FoldUpper(Trim(line.substr(equals + 1)));
    if (word.empty() || word_class.empty()) {
      show(C("Configuração da prosódia: chave errada: ") + line);
      continue;
    }
    if (word_class.size() > 2) word_class.resize(2);
    classes_.emplace_back(std::move(word), std::move(word_class));
  }
  std::stable_sort(classes_.begin(), classes_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (!Section(lines, C("[PROSÓDIA]"), body)) {
    show(C("Prosódia: especificações ausentes"));
    return false;
  }
  for (const std::string& line : body) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = FoldUpper(Trim(line.substr(0, equals)));
    const std::string value = Trim(line.substr(equals + 1));
    if (key == "HERTZ") {
      int hz = 0;
      if (ParseNumber(value, hz) && hz > 0) hertz_ = hz;
      continue;
    }
    if (key == "TABHERTZ") {
      std::stringstream items(value);
      std::string item;
      for (int d = 0; d < 10 && std::getline(items, item, ','); ++d) {
        int percent = 0;
        if (ParseNumber(item, percent) && percent >= 0) tab_hertz_[d] = percent;
      }
      continue;
    }
    // previous|current|next=pattern
    const size_t bar1 = key.find('|');
    const size_t bar2 = bar1 == std::string::npos ? bar1 : key.find('|', bar1 + 1);
    if (bar2 == std::string::npos || value.size() < 3) continue;
    Pattern pattern;
    pattern.previous = Trim(key.substr(0, bar1)).substr(0, 3);
    pattern.current = Trim(key.substr(bar1 + 1, bar2 - bar1 - 1)).substr(0, 3);
    pattern.next = Trim(key.substr(bar2 + 1)).substr(0, 3);
    pattern.digits = value.substr(0, 3);
    patterns_.push_back(std::move(pattern));
  }
  return true;
}

void PhoFrontEnd::SetDiphonesText(std::string_view text) {
  diphones_.clear();
  // Names are made of letters, "@", "2" and "_".
  auto name_char = [](char c) {
    return c == '2' || c == '_' || (c >= '@' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  for (const std::string& line : SplitLines(text)) {
    if (line.empty() || line[0] == '!' || line[0] == '*' || line[0] == ';') continue;
    std::string names[2];
    size_t i = 0;
    for (std::string& name : names) {
      while (i < line.size() && !name_char(line[i])) ++i;
      while (i < line.size() && name_char(line[i])) name += line[i++];
    }
    if (names[0].empty() || names[1].empty()) continue;
    diphones_.push_back(names[0] + "-" + names[1]);
  }
  std::sort(diphones_.begin(), diphones_.end());
}

std::string PhoFrontEnd::LoadFiles(const std::filesystem::path& stem, const PhoMessageSink& show) {
  auto file = [&](const char* extension) {
    std::filesystem::path p = stem;
    p += extension;
    return p;
  };
  std::string rules, exceptions, abbreviations, prosody, diphones;
  if (!ReadWholeFile(file(".nrl"), rules) || !ReadWholeFile(file(".exc"), exceptions)) {
    return C("Erro na base de dados de português");
  }
  SetRulesText(rules);
  SetExceptionsText(exceptions);
  if (!ReadWholeFile(file(".abr"), abbreviations)) return C("Erro no arquivo de abreviaturas");
  SetAbbreviationsText(abbreviations);
  const std::string prosody_error = C("Erro no arquivo de prosódia");
  if (!ReadWholeFile(file(".pro"), prosody)) {
    show(C("Configuração da prosódia não foi achada"));
    return prosody_error;
  }
  if (!SetProsodyText(prosody, show)) return prosody_error;
  if (!ReadWholeFile(file(".dfn"), diphones)) return prosody_error;
  SetDiphonesText(diphones);
  return "";
}

void PhoFrontEnd::SetVoice(int speed, int pitch) {
  duration_factor_ = 0.8 - speed / 15.0;
  pitch_factor_ = (pitch + 11) / 11.0;
}

// ---- Lookups ----------------------------------------------------------------------------------

size_t PhoFrontEnd::rule_count() const {
  size_t n = 0;
  for (const auto& chain : chains_) n += chain.size();
  return n;
}

bool PhoFrontEnd::LookupException(std::string& word) const {
  auto find = [&](std::string_view w) -> const std::string* {
    const auto it = std::lower_bound(
        exceptions_.begin(), exceptions_.end(), w,
        [](const auto& pair, std::string_view key) { return pair.first < key; });
    return it != exceptions_.end() && it->first == w ? &it->second : nullptr;
  };
  std::string stem = word;
  std::string taken;
  for (;;) {
    if (const std::string* replacement = find(stem)) {
      word = *replacement + taken;
      return true;
    }
    if (stem.size() < 2 || (stem.back() != 'S' && stem.back() != 'M')) return false;
    taken.insert(taken.begin(), stem.back());
    stem.pop_back();
  }
}

const std::string* PhoFrontEnd::FindAbbreviation(std::string_view upper) const {
  for (const auto& [abbreviation, expansion] : abbreviations_) {
    if (abbreviation == upper) return &expansion;
  }
  return nullptr;
}

std::string PhoFrontEnd::WordClass(std::string_view word) const {
  const std::string key = FoldUpper(word);
  const auto it = std::lower_bound(
      classes_.begin(), classes_.end(), key,
      [](const auto& pair, const std::string& k) { return pair.first < k; });
  return it != classes_.end() && it->first == key ? it->second : "XX";
}

bool PhoFrontEnd::HasDiphone(std::string_view first, std::string_view second) const {
  std::string pair(first);
  pair += '-';
  pair += second;
  return std::binary_search(diphones_.begin(), diphones_.end(), pair);
}

int PhoFrontEnd::Duration(std::string_view phoneme) const {
  for (const auto& [name, value] : durations_) {
    if (name == phoneme) return value;
  }
  return kPhoDefaultDuration;
}

std::string PhoFrontEnd::CharacterName(unsigned char c) { return CharacterNames()[c]; }

std::string PhoFrontEnd::OrdinalWords(long long n, bool feminine, bool plural) {
  if (n == 0) return "zero";
  static const char* const kUnits[10] = {"",       "primeiro", "segundo", "terceiro", "quarto",
                                         "quinto", "sexto",    "sétimo",  "oitavo",   "nono"};
  static const char* const kTens[10] = {
      "",           "décimo",       "vigésimo", "trigésimo",   "quadragésimo",
      "quinquagésimo", "sexagésimo", "septuagésimo", "octagésimo", "nonagésimo"};
  static const char* const kHundreds[10] = {
      "",              "centésimo",    "ducentésimo",    "tricentésimo",  "quadrigentésimo",
      "quingentésimo", "seiscentésimo", "septigentésimo", "octigentésimo", "nongentésimo"};
  std::vector<std::string> words;
  if (n >= 1000) {
    words.push_back("milésimo");
    n -= 1000;
  }
  if (n / 100 != 0) words.push_back(kHundreds[n / 100]);
  if (n / 10 % 10 != 0) words.push_back(kTens[n / 10 % 10]);
  if (n % 10 != 0) words.push_back(kUnits[n % 10]);
  std::string out;
  for (std::string w : words) {
    w = C(w);
    if (feminine) w.back() = 'a';
    if (plural) w += 's';
    if (!out.empty()) out += ' ';
    out += w;
  }
  return out;
}

// ---- Normalisation ----------------------------------------------------------------------------

std::string PhoFrontEnd::ReadDigitRun(std::string_view t, size_t& i) const {
  const size_t n = t.size();
  // A stretch of digits with a hyphen among them is read character by character.
  size_t end = i;
  while (end < n && (IsDigit(static_cast<Byte>(t[end])) || t[end] == '-')) ++end;
  while (end > i && t[end - 1] == '-') --end;
  if (t.substr(i, end - i).find('-') != std::string_view::npos) {
    std::string words;
    for (; i < end; ++i) {
      words += ' ';
      words += t[i] == '-' ? C("traço") : DigitName(t[i] - '0');
    }
    return words;
  }
  std::string words;
  while (t[i] == '0' && i + 1 < n && IsDigit(static_cast<Byte>(t[i + 1]))) {
    words += "zero ";
    ++i;
  }
  long long number = 0;
  int count = 0;
  while (i < n && count < 15) {
    if (IsDigit(static_cast<Byte>(t[i]))) {
      number = number * 10 + (t[i] - '0');
      ++count;
      ++i;
    } else if (t[i] == '.' && count > 0 && i + 3 < n && IsDigit(static_cast<Byte>(t[i + 1])) &&
               IsDigit(static_cast<Byte>(t[i + 2])) && IsDigit(static_cast<Byte>(t[i + 3])) &&
               (i + 4 >= n || !IsDigit(static_cast<Byte>(t[i + 4])))) {
      ++i;  // a thousands separator
    } else {
      break;
    }
  }
  bool ordinal = false, feminine = false, plural = false;
  auto at = [&](size_t k) -> Byte { return k < n ? static_cast<Byte>(t[k]) : 0; };
  if ((at(i) == 'o' || at(i) == 'a') && at(i + 1) == 's' && at(i + 2) == '.') {
    ordinal = true;
    feminine = at(i) == 'a';
    plural = true;
    i += 3;
  } else if (at(i) == 0xBA || at(i) == 0xAA) {
    ordinal = true;
    feminine = at(i) == 0xAA;
    i += 1;
  } else if ((at(i) == 'o' || at(i) == 'a') && at(i + 1) == '.') {
    ordinal = true;
    feminine = at(i) == 'a';
    i += 2;
  }
  if (ordinal && number < 2000) return words + OrdinalWords(number, feminine, plural);
  return words + NumberToWords(number);
}

std::string PhoFrontEnd::Normalise(std::string_view text) const {
  std::string single;
  if (text.size() == 1) {
    single = CharacterName(static_cast<Byte>(text[0]));
    text = single;
  }
  const std::string_view t = text;
  const size_t n = t.size();
  std::string out;
  size_t i = 0;
  while (i < n) {
    const Byte c = static_cast<Byte>(t[i]);
    const Byte next = i + 1 < n ? static_cast<Byte>(t[i + 1]) : 0;
    if (c == '-' && i > 0 && t[i - 1] == ' ' && next == ' ') {
      out += ',';
      ++i;
    } else if (c == '-' && IsDigit(next)) {
      out += "menos ";
      ++i;
    } else if (IsDigit(c)) {
      out += ' ' + ReadDigitRun(t, i) + ' ';
      while (i + 1 < n && (t[i] == ',' || t[i] == '.') && IsDigit(static_cast<Byte>(t[i + 1]))) {
        out += t[i] == ',' ? C("vírgula ") : std::string("ponto ");
        ++i;
        out += ReadDigitRun(t, i) + ' ';
      }
    } else if (IsWordLetter(c)) {
      size_t end = i;
      while (end < n && (IsWordLetter(static_cast<Byte>(t[end])) ||
                         (t[end] == '-' && end > i && IsWordLetter(static_cast<Byte>(t[end - 1]))))) {
        ++end;
      }
      const std::string_view run = t.substr(i, end - i);
      bool consonants = true;
      for (const char r : run) {
        if (r != '-' && !IsRuleConsonant(static_cast<Byte>(r))) consonants = false;
      }
      const bool dot_after = end < n && t[end] == '.';
      std::string word(run);
      if (consonants && !(dot_after && FindAbbreviation(FoldUpper(run)) != nullptr)) {
        word.clear();
        for (const char r : run) word += ' ' + CharacterName(static_cast<Byte>(r));
      }
      const std::string* expansion = nullptr;
      if (dot_after && end + 1 < n && t[end + 1] == ' ') expansion = FindAbbreviation(FoldUpper(word));
      if (expansion != nullptr) {
        out += *expansion;
        i = end + 1;
      } else {
        out += word;
        i = end;
      }
    } else if (t.substr(i, 3) == "...") {
      out += "... ";
      i += 3;
    } else if (c == '.' && i + 1 < n && next != ' ') {
      out += " ponto ";
      ++i;
    } else if (c == ' ' || IsPunctuation(c)) {
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\t' || c == '\n' || c == '\r') {
      ++i;
    } else {
      out += ' ' + CharacterName(c) + ' ';
      ++i;
    }
  }
  return out;
}

// ---- Tokens and intonation --------------------------------------------------------------------

std::vector<std::string> PhoFrontEnd::Tokenise(std::string_view t) const {
  std::vector<std::string> tokens{"[--]"};
  size_t i = 0;
  while (i < t.size()) {
    const Byte c = static_cast<Byte>(t[i]);
    if (c <= 32) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    if (c == '.') {
      while (end < t.size() && t[end] == '.') ++end;  // "..." is one mark
    } else if (!IsPunctuation(c)) {
      while (end < t.size() && static_cast<Byte>(t[end]) > 32 &&
             !IsPunctuation(static_cast<Byte>(t[end]))) {
        ++end;
      }
    }
    const std::string_view token = t.substr(i, end - i);
    tokens.push_back("[" + WordClass(token) + "]" + std::string(token));
    if (c == '.' || c == '!' || c == '?') tokens.push_back("[--]");
    i = end;
  }
  return tokens;
}

std::vector<std::string> PhoFrontEnd::Intonate(const std::vector<std::string>& tokens) const {
  auto class_of = [&](size_t k) -> std::string {
    if (k >= tokens.size()) return "--";
    const std::string& token = tokens[k];
    const size_t close = token.find(']');
    return close == std::string::npos ? std::string("XX") : token.substr(1, close - 1);
  };
  std::vector<std::string> out;
  std::string previous_pattern = "555";
  for (size_t k = 0; k < tokens.size(); ++k) {
    const std::string before = k == 0 ? std::string("--") : class_of(k - 1);
    const std::string current = class_of(k);
    const std::string after = class_of(k + 1);
    std::string pattern = "555";
    for (const Pattern& p : patterns_) {
      if ((p.previous.empty() || p.previous == before) &&
          (p.current.empty() || p.current == current) && (p.next.empty() || p.next == after)) {
        pattern = p.digits;
        break;
      }
    }
    if (pattern[0] == '?') pattern[0] = previous_pattern[2];
    previous_pattern = pattern;
    const size_t close = tokens[k].find(']');
    out.push_back(pattern + "|" + tokens[k].substr(close == std::string::npos ? 0 : close + 1));
  }
  return out;
}

// ---- Phonemes ---------------------------------------------------------------------------------

int PhoFrontEnd::StressPosition(std::string_view word) {
  std::string w(word);
  for (char& c : w) c = static_cast<char>(LowerByte(static_cast<Byte>(c)));
  const int n = static_cast<int>(w.size());
  auto at = [&](int i) { return static_cast<Byte>(w[i - 1]); };
  for (int i = n; i >= 1; --i) {
    switch (at(i)) {
      case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE9: case 0xEA: case 0xED: case 0xF3:
      case 0xF4: case 0xF5: case 0xFA:
        return i;
      default:
        break;
    }
  }
  auto vowel = [](Byte c) {
    return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u' || c == 'w' || c == 'y' ||
           c == 0xFC;
  };
  bool any = false;
  for (int i = 1; i <= n; ++i) any = any || vowel(at(i));
  if (!any) return 0;
  auto aeo = [](Byte c) { return c == 'a' || c == 'e' || c == 'o'; };
  auto gq = [](Byte c) { return c == 'g' || c == 'q'; };
  int b = 0;
  int state = 0;
  for (int i = n; i >= 1; --i) {
    const Byte c = at(i);
    switch (state) {
      case 0:
        if (aeo(c)) { b = i; state = 1; }
        else if (c == 'i') { b = i; state = 20; }
        else if (c == 'u') { b = i; state = 10; }
        else if (c == 'm') state = 40;
        else if (c == 's') {}
        else state = 30;
        break;
      case 1:
        if (c == 'u') state = 4;
        else if (vowel(c)) return i;
        else state = 2;
        break;
      case 2:
        if (aeo(c)) return i;
        if (c == 'i' || c == 'u') { b = i; state = 3; }
        break;
      case 3:
        if (aeo(c)) return i;
        if (c == 'u') { state = 5; break; }
        return b;
      case 4:
        if (gq(c)) { b = i + 2; state = 2; break; }
        return i + 1;
      case 5:
        return gq(c) ? i + 2 : i + 1;
      case 10:
        return aeo(c) || c == 'i' ? i : b;
      case 20:
        if (aeo(c)) { b = i; break; }
        if (c == 'u') { state = 21; break; }
        return b;
      case 21:
        return gq(c) ? i + 2 : i + 1;
      case 30:
        if (vowel(c)) return i;
        break;
      case 40:
        if (c == 'i' || c == 'o' || c == 'u') return i;
        if (c == 'a' || c == 'e') { b = i; state = 1; }
        else state = 0;
        break;
      default:
        return b;
    }
  }
  return b;
}

bool PhoFrontEnd::RightHolds(std::string_view w, std::string_view context, int end) const {
  // end: 0-based index of the first character after the match.
  const int n = static_cast<int>(w.size());
  int p = end;
  for (const char symbol : context) {
    const Byte c = p < n ? static_cast<Byte>(w[p]) : 0;
    const bool inside = p < n;
    switch (symbol) {
      case '#':
        if (!inside || !IsRuleVowel(c)) return false;
        ++p;
        break;
      case '+': {
        const Byte u = UpperByte(c);
        if (!inside || !(u == 'E' || u == 'I' || u == 0xC9 || u == 0xCD)) return false;
        ++p;
        break;
      }
      case '&': {
        const Byte u = UpperByte(c);
        if (!inside || !(u == 'L' || u == 'M' || u == 'N' || u == 'R' || u == 'Z')) return false;
        ++p;
        break;
      }
      case '*': {
        const Byte u = UpperByte(c);
        if (!inside || !IsRuleConsonant(c) || u == 'L' || u == 'R') return false;
        break;
      }
      case '[':
        if (inside && !(IsRuleConsonant(c) && UpperByte(c) != 'H')) return false;
        break;
      case '\\':
        if (inside && UpperByte(c) == 'S') ++p;
        break;
      case '%':
        if (inside) return false;
        break;
      default:
        if (!inside || UpperByte(c) != static_cast<Byte>(symbol)) return false;
        ++p;
        break;
    }
  }
  return true;
}

bool PhoFrontEnd::LeftHolds(std::string_view w, std::string_view context, int start) const {
  // start: 0-based index of the first character of the match.
  int p = start - 1;
  for (int k = static_cast<int>(context.size()) - 1; k >= 0; --k) {
    const char symbol = context[k];
    const bool inside = p >= 0;
    const Byte c = inside ? static_cast<Byte>(w[p]) : 0;
    const Byte u = UpperByte(c);
    switch (symbol) {
      case '#':
        if (!inside || !IsRuleVowel(c)) return false;
        --p;
        break;
      case ']':
        if (!inside || !(u == 'A' || u == 'O' || u == 0xC1 || u == 0xC2 || u == 0xD3 || u == 0xD4)) {
          return false;
        }
        --p;
        break;
      case '|':
        if (!inside || !(u == 'N' || u == 'R' || u == 'S')) return false;
        --p;
        break;
      case '_':
        if (inside) {
          if (!IsRuleVowel(c)) return false;
          --p;
        }
        break;
      case '%':
        if (inside) return false;
        break;
      default:
        if (!inside || u != static_cast<Byte>(symbol)) return false;
        --p;
        break;
    }
  }
  return true;
}

std::vector<std::string> PhoFrontEnd::ApplyRules(std::string_view w, int stress) const {
  std::vector<std::string> lines;
  std::string current;
  // Once the mark is placed no later character can reach the position again.
  long long s = stress <= 0 ? 9999 : stress;
  constexpr long long kPlaced = 1LL << 40;
  const int n = static_cast<int>(w.size());
  int pos = 1;
  while (pos <= n) {
    Byte first = static_cast<Byte>(w[pos - 1]);
    if (first >= 'a' && first <= 'z') first = static_cast<Byte>(first - 32);
    const PhoRule* chosen = nullptr;
    if (first >= 32) {
      for (const PhoRule& rule : chains_[first - 32]) {
        const int length = static_cast<int>(rule.match.size());
        if (pos - 1 + length > n) continue;
        bool equal = true;
        for (int k = 0; k < length && equal; ++k) {
          Byte c = static_cast<Byte>(w[pos - 1 + k]);
          if (c >= 'a' && c <= 'z') c = static_cast<Byte>(c - 32);
          equal = c == static_cast<Byte>(rule.match[k]);
        }
        if (!equal) continue;
        if (!LeftHolds(w, rule.left, pos - 1)) continue;
        if (!RightHolds(w, rule.right, pos - 1 + length)) continue;
        chosen = &rule;
        break;
      }
    }
    if (chosen == nullptr) {
      ++pos;
      continue;
    }
    const std::string_view output = std::string_view(chosen->output).substr(0, 11);
    for (const char o : output) {
      if (pos >= s) {
        current += '>';
        s = kPlaced;
      }
      if (o == '&') {
        lines.push_back(current);
        current.clear();
      } else {
        current += o;
      }
    }
    if (!output.empty()) {
      lines.push_back(current);
      current.clear();
    }
    pos += static_cast<int>(chosen->match.size());
  }
  lines.push_back(current);
  return lines;
}

std::vector<std::string> PhoFrontEnd::PhonemeList(const std::vector<std::string>& lines) const {
  static const std::string kShortWords[] = {"POR", "DAS", "DOS", "COM", C("NÃO"), "SIM"};
  std::vector<std::string> list;
  for (const std::string& line : lines) {
    list.push_back(";" + line);
    const std::string word = line.size() > 4 ? line.substr(4) : std::string();
    if (word.empty()) {
      list.push_back("__");
      list.push_back("");
      continue;
    }
    if (IsPunctuation(static_cast<Byte>(word[0]))) {
      list.push_back(std::string("_") + word[0]);
      continue;
    }
    std::string w = FoldUpper(word);
    LookupException(w);
    int stress = 0;
    const bool short_word = w.size() <= 2 || std::find(std::begin(kShortWords), std::end(kShortWords), w) !=
                                                 std::end(kShortWords);
    if (!short_word) stress = StressPosition(w);
    for (std::string& p : ApplyRules(w, stress)) list.push_back(std::move(p));
  }
  list.push_back("__");
  // A word's final r2 or s2 joins a vowel that begins the next word.
  for (size_t k = 0; k < list.size(); ++k) {
    std::string& line = list[k];
    if (!IsPhonemeLine(line)) continue;
    size_t mark = 0;
    while (mark < line.size() && (line[mark] == '>' || static_cast<Byte>(line[mark]) == 168)) ++mark;
    const std::string_view phoneme = std::string_view(line).substr(mark);
    if (phoneme != "r2" && phoneme != "s2") continue;
    if (k + 1 >= list.size() || !list[k + 1].empty()) continue;  // not the word's last phoneme
    size_t j = k + 1;
    while (j < list.size() && !IsPhonemeLine(list[j])) ++j;
    if (j < list.size() && IsVowelPhoneme(list[j])) {
      line = line.substr(0, mark) + (phoneme == "r2" ? "r" : "z");
    }
  }
  return list;
}

// ---- Durations and pitch ----------------------------------------------------------------------

std::vector<std::string> PhoFrontEnd::Prosody(const std::vector<std::string>& list) const {
  std::vector<std::string> out;
  int factor = 100;
  int state = 0;
  int word_length = 0;
  std::string pattern = "555";
  std::string previous = "_";
  for (size_t k = 0; k < list.size(); ++k) {
    const std::string& line = list[k];
    if (line.size() >= 5 && line[0] == ';' && line[4] == '|') {
      pattern = line.substr(1, 3);
      word_length = static_cast<int>(line.size()) - 4;
      state = 0;
      out.push_back(line);
      continue;
    }
    if (line.empty()) {
      factor = 100;
      out.push_back(line);
      continue;
    }
    if (line[0] == ';') {  // a comment of another shape passes as it is
      out.push_back(line);
      continue;
    }
    std::string phoneme = line;
    if (phoneme[0] == '>') {
      phoneme.erase(0, 1);
      if (!phoneme.empty() && static_cast<Byte>(phoneme[0]) == 168) phoneme.erase(0, 1);
      factor = 145;
      state = 2;
    } else if (static_cast<Byte>(phoneme[0]) == 168) {
      phoneme.erase(0, 1);
      factor = 100;
    }
    int base = kPhoDefaultDuration;
    if (!phoneme.empty() && phoneme[0] == '_') {
      int given = 0;
      if (phoneme == "_") {
        base = 100;
      } else if (phoneme.size() > 2 && phoneme[1] == ' ' && ParseNumber(phoneme.substr(2), given)) {
        base = std::clamp(given, 0, kPhoMaxDuration);
      } else {
        base = Duration(phoneme);
      }
      phoneme = "_";
    } else {
      base = Duration(phoneme);
      if (state < 2) {
        if (word_length > 13) {
          base = base * 80 / 100;
        } else if (word_length > 9) {
          base = base * 90 / 100;
        }
      }
    }
    const long long duration =
        static_cast<long long>(std::trunc(static_cast<double>(base) * factor * duration_factor_)) / 100;
    int position = -1;
    int digit = -1;
    if (state == 0) {
      digit = pattern[0] - '0';
      position = 50;
      state = 1;
    } else if (state == 2) {
      digit = pattern[1] - '0';
      position = 80;
      state = 3;
    } else if (state == 3 && (k + 1 >= list.size() || list[k + 1].empty())) {
      digit = pattern[2] - '0';
      position = 50;
    }
    std::string pho = phoneme + " " + std::to_string(duration);
    if (digit >= 0 && digit <= 9 && tab_hertz_[digit] != 0) {
      const int hz = static_cast<int>(std::trunc(tab_hertz_[digit] * pitch_factor_ * hertz_)) / 100;
      pho += " " + std::to_string(position) + " " + std::to_string(hz);
    }
    // A pair the voice lacks is bridged by a short pause or a glide.
    if (!phoneme.empty() && !HasDiphone(previous, phoneme)) {
      if (previous == "r2" && HasDiphone("r2", "_")) {
        out.push_back("_ 50");
      } else if (HasDiphone(previous, "y")) {
        out.push_back("y 50");
      } else {
        out.push_back("_ 50");
      }
    }
    previous = phoneme;
    out.push_back(std::move(pho));
  }
  return out;
}

std::vector<std::string> PhoFrontEnd::TextToPho(std::string_view text) const {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return {};
  return Prosody(PhonemeList(Intonate(Tokenise(Normalise(trimmed)))));
}

}  // namespace navelo
