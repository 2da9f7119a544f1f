// Text to phonemes: rewriting, words, exceptions, stress and the context rules.
#include "tradutor/text_to_phonemes.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace navelo {
namespace {

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsVowel(unsigned char c) { return std::string_view("AEIOUaeiou").find(c) != std::string_view::npos && c != 0; }
bool IsConsonant(unsigned char c) {
  const unsigned char u = c & ~32;
  return IsLetter(c) && !IsVowel(c) && u != 'A';
}
bool IsAccentMark(unsigned char c) { return c == '"' || c == '\'' || c == '^' || c == '`' || c == '~'; }
bool IsPunctuation(unsigned char c) { return std::string_view(" !,.:;?").find(c) != std::string_view::npos && c != 0; }
bool IsFrontVowel(unsigned char c) { return c == 'E' || c == 'I' || c == 'e' || c == 'i'; }
bool IsAOrO(unsigned char c) { return c == 'A' || c == 'O' || c == 'a' || c == 'o'; }
unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
bool In(unsigned char c, std::string_view set) {
  return c != 0 && set.find(static_cast<char>(c)) != std::string_view::npos;
}

// The rewriting of the bytes 192 to 255, indexed by the byte with its case bit cleared; nullptr
// keeps the byte, "" makes it a separate zero byte.
const char* RewriteUpperHalf(unsigned char b) {
  if (b == 215 || b == 247) return nullptr;  // multiplication and division signs
  if (b == 223) return "ss";
  if (b == 255) return "y";
  static const char* const kTable[32] = {
      "a`", "a'", "a^", "a~", "a~", "aa", "ae", "ss", "e`", "e'", "e^", "e\"", "i`", "i'", "i^", "i\"",
      "",   "nh", "o`", "o'", "o^", "o~", "o`", nullptr, "oe", "u`", "u'", "u^", "u", "y", "th", "ss"};
  return kTable[(b & ~32) - 192];
}

bool EmptyLowHalf(unsigned char b) {
  return (b >= 129 && b <= 132) || b == 136 || (b >= 138 && b <= 144) || b == 152 ||
         (b >= 154 && b <= 159) || b == 166 || b == 173 || b == 182;
}

bool ReadFile(const std::filesystem::path& file, std::string& text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string PhonemeRules::RewriteText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const bool letter_before = !out.empty() && IsLetter(static_cast<unsigned char>(out.back()));
    const bool letter_after =
        i + 1 < text.size() && IsLetter(static_cast<unsigned char>(text[i + 1]));
    if ((b == 'W' || b == 'w') && (letter_before || letter_after)) {
      out += 'u';
    } else if ((b == 'Y' || b == 'y') && (letter_before || letter_after)) {
      out += 'i';
    } else if (b == '\'' && !out.empty() && (out.back() == 'd' || out.back() == 'D')) {
      // d'água: the apostrophe is dropped.
    } else if (b < 32) {
      out.append(" \0 ", 3);
    } else if (b >= 192) {
      const char* replacement = RewriteUpperHalf(b);
      if (replacement == nullptr) {
        out += static_cast<char>(b);
      } else if (*replacement == '\0') {
        out.append(" \0 ", 3);
      } else {
        out += replacement;
      }
    } else if (b >= 128) {
      if (b == 160) {
        out += ' ';
      } else if (EmptyLowHalf(b)) {
        out.append(" \0 ", 3);
      } else {
        out += static_cast<char>(b);
      }
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::optional<PhonemeRule> SplitRuleLine(std::string_view line) {
  if (line.empty() || line[0] == ';') return std::nullopt;
  const size_t open = line.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const size_t close = line.find(')', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  const size_t equals = line.find('=', close + 1);
  if (equals == std::string_view::npos) return std::nullopt;
  PhonemeRule rule;
  rule.left = line.substr(0, std::min<size_t>(open, 5));
  rule.match = line.substr(open + 1, std::min<size_t>(close - open - 1, 5));
  rule.right = line.substr(close + 1, std::min<size_t>(equals - close - 1, 5));
  const std::string_view output = line.substr(equals + 1);
  rule.output = output.substr(0, output.find('|'));
  return rule;
}

void PhonemeRules::SetRulesText(std::string_view text) {
  for (auto& chain : chains_) chain.clear();
  for (const std::string& line : SplitLines(text)) {
    std::optional<PhonemeRule> split = SplitRuleLine(line);
    if (!split) continue;
    PhonemeRule rule = std::move(*split);
    rule.output.resize(std::min<size_t>(rule.output.size(), 11));
    if (rule.match.empty()) continue;
    const auto first = static_cast<unsigned char>(rule.match[0]);
    if (first < 32 || first > 95) continue;  // could never be chosen
    chains_[first - 32].push_back(std::move(rule));
  }
}

void PhonemeRules::SetExceptionsText(std::string_view text) {
  exceptions_.clear();
  for (std::string line : SplitLines(text)) {
    if (exceptions_.size() >= kMaxExceptions) break;
    if (line.size() > 255) line.resize(255);
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string replacement = line.substr(equals + 1);
    const size_t bar = replacement.find('|');
    if (bar != std::string::npos) replacement.resize(bar);
    exceptions_.emplace_back(line.substr(0, equals), std::move(replacement));
  }
  // The lookup halves the list, so it is kept in byte order whatever order the file has.
  std::stable_sort(exceptions_.begin(), exceptions_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool PhonemeRules::LoadRules(const std::filesystem::path& file) {
  std::string text;
  for (auto& chain : chains_) chain.clear();
  if (!ReadFile(file, text)) return false;
  SetRulesText(text);
  return true;
}

bool PhonemeRules::LoadExceptions(const std::filesystem::path& file) {
  std::string text;
  exceptions_.clear();
  if (!ReadFile(file, text)) return false;
  SetExceptionsText(text);
  return true;
}

size_t PhonemeRules::rule_count() const {
  size_t n = 0;
  for (const auto& chain : chains_) n += chain.size();
  return n;
}

const std::string* PhonemeRules::FindException(std::string_view word) const {
  const auto it = std::lower_bound(exceptions_.begin(), exceptions_.end(), word,
                                   [](const auto& pair, std::string_view w) { return pair.first < w; });
  if (it == exceptions_.end() || it->first != word) return nullptr;
  return &it->second;
}

bool PhonemeRules::LookupException(std::string& word) const {
  std::string stem = word;
  std::string taken;
  for (;;) {
    if (const std::string* replacement = FindException(stem)) {
      word = *replacement + taken;
      return true;
    }
    if (stem.empty() || (stem.back() != 's' && stem.back() != 'm')) return false;
    taken.insert(taken.begin(), stem.back());
    stem.pop_back();
    if (stem.empty()) return false;
  }
}

void PhonemeRules::MarkStress(std::string& w) {
  enum State { kEnd, kFinalVowel, kFinalI, kFinalConsonant, kFinalM, kFinalS, kPreviousI };
  const int length = static_cast<int>(w.size());
  auto at = [&](int p) -> unsigned char {
    return p >= 1 && p <= length ? static_cast<unsigned char>(w[p - 1]) : 0;
  };
  State state = kEnd;
  for (int p = length; p >= 1; --p) {
    const unsigned char c = at(p);
    int mark = 0;
    switch (state) {
      case kEnd:
        if (In(c, "aeo")) state = kFinalVowel;
        else if (In(c, "iu")) state = kFinalI;
        else if (In(c, "lnrxz")) state = kFinalConsonant;
        else if (c == 'm') state = kFinalM;
        else if (c == 's') state = kFinalS;
        break;
      case kFinalConsonant:
        if (IsVowel(c)) mark = p;
        break;
      case kFinalM:
        if (In(c, "ae")) state = kFinalVowel;
        else if (In(c, "iu")) state = kFinalI;
        else if (c == 'o') mark = p;
        break;
      case kFinalS:
        if (In(c, "aeo")) state = kFinalVowel;
        else if (In(c, "iu")) state = kFinalI;
        break;
      case kFinalI:
        if (IsConsonant(c)) mark = p + 1;
        else if (at(p - 1) == 'u' && In(at(p - 2), "gq")) mark = p + 1;
        else mark = p;
        break;
      case kFinalVowel:
        if (In(c, "aeo")) mark = p;
        else if (In(c, "iu")) state = kPreviousI;
        break;
      case kPreviousI:
        if (IsConsonant(c)) {
          mark = p + 1;
        } else if (c == 'u' && In(at(p - 1), "gq")) {
          mark = p + 1;
        } else {
          const unsigned char a = at(p + 2);
          const unsigned char b = at(p + 3);
          const bool pair = (a == 'n' && b == 'h') || (a == 'r' && b == 'r');
          if (In(a, "lmnrz") && (pair || (IsConsonant(b) && b != 'h'))) mark = p + 1;
          else mark = p;
        }
        break;
    }
    if (mark != 0) {
      // A decision reached on the first character is not carried out.
      if (p > 1) w[mark - 1] = static_cast<char>(Upper(static_cast<unsigned char>(w[mark - 1])));
      return;
    }
  }
}

bool PhonemeRules::LeftHolds(const std::string& w, std::string_view context, int pos) const {
  const int length = static_cast<int>(w.size());
  auto at = [&](int p) -> unsigned char {
    return p >= 1 && p <= length ? Lower(static_cast<unsigned char>(w[p - 1])) : 0;
  };
  int q = pos - 1;
  for (int i = static_cast<int>(context.size()) - 1; i >= 0; --i) {
    const auto ch = static_cast<unsigned char>(context[i]);
    const bool inside = q >= 1 && q <= length;
    switch (ch) {
      case '#':
        if (!inside || !(IsVowel(at(q)) || IsAccentMark(at(q)))) return false;
        while (q >= 1 && (IsVowel(at(q)) || IsAccentMark(at(q)))) --q;
        break;
      case '%':
        if (q != 0 && q != length + 1) return false;
        break;
      case ']':
        if (!inside) return false;
        if (IsAOrO(at(q))) q -= 1;
        else if (IsAccentMark(at(q)) && IsAOrO(at(q - 1))) q -= 2;
        else return false;
        break;
      case '_':
        if (q == 0) break;
        if (IsVowel(at(q))) q -= 1;
        else if (IsAccentMark(at(q)) && IsVowel(at(q - 1))) q -= 2;
        else return false;
        break;
      case '|':
        if (q == 0 || !In(at(q), "nrs")) return false;
        q -= 1;
        break;
      default:
        if (q == 0 || !inside || Upper(at(q)) != ch) return false;
        q -= 1;
    }
  }
  return true;
}

bool PhonemeRules::RightHolds(const std::string& w, std::string_view context, int pos) const {
  const int length = static_cast<int>(w.size());
  auto at = [&](int p) -> unsigned char {
    return p >= 1 && p <= length ? Lower(static_cast<unsigned char>(w[p - 1])) : 0;
  };
  int q = pos;
  for (const char raw : context) {
    const auto ch = static_cast<unsigned char>(raw);
    const bool inside = q >= 1 && q <= length;
    switch (ch) {
      case '#':
        if (!inside || !(IsVowel(at(q)) || IsAccentMark(at(q)))) return false;
        while (q <= length && (IsVowel(at(q)) || IsAccentMark(at(q)))) ++q;
        break;
      case '%':
        if (q != 0 && q != length + 1) return false;
        break;
      case '&':
        if (!inside || !In(at(q), "lnmrz")) return false;
        q += 1;
        break;
      case '*':
        if (!inside || !IsConsonant(at(q)) || In(at(q), "rl")) return false;
        break;
      case '+':
        if (!inside || !IsFrontVowel(at(q))) return false;
        q += IsAccentMark(at(q + 1)) ? 2 : 1;
        break;
      case '[':
        if (q == length + 1) break;
        if (!inside || !IsConsonant(at(q)) || at(q) == 'h') return false;
        break;
      case '\\':
        if (inside && at(q) == 's') q += 1;
        break;
      default:
        if (!inside || Upper(at(q)) != ch) return false;
        q += 1;
    }
  }
  return true;
}

std::string PhonemeRules::WordToPhonemes(std::string w, int vowels, bool accent) const {
  LookupException(w);
  if (!accent && vowels > 0 && (vowels > 1 || (!w.empty() && w.back() == 'l'))) MarkStress(w);
  const bool spelled =
      w[0] == '\0' || std::all_of(w.begin(), w.end(), [](char c) {
        return IsConsonant(static_cast<unsigned char>(c)) ||
               IsPunctuation(static_cast<unsigned char>(c));
      });
  std::string out;
  if (spelled) {
    for (const char c : w) {
      out += "[ /_";
      out += c;
      out += ']';
    }
    return out;
  }
  const int length = static_cast<int>(w.size());
  out += '[';
  int pos = 1;
  while (pos <= length) {
    const auto original = static_cast<unsigned char>(w[pos - 1]);
    const unsigned char c = Upper(original);
    std::string unit = " /_";
    unit += static_cast<char>(c);
    int advance = 1;
    if (c >= 32 && c <= 95) {
      for (const PhonemeRule& rule : chains_[c - 32]) {
        const int m = static_cast<int>(rule.match.size());
        if (pos + m - 1 > length) continue;
        bool equal = true;
        for (int k = 0; k < m && equal; ++k) {
          equal = Upper(static_cast<unsigned char>(w[pos - 1 + k])) ==
                  static_cast<unsigned char>(rule.match[k]);
        }
        if (!equal || !LeftHolds(w, rule.left, pos) || !RightHolds(w, rule.right, pos + m)) {
          continue;
        }
        unit = rule.output;
        advance = m;
        break;
      }
    }
    if (In(original, "AEIOU")) {
      for (char& u : unit) {
        if (IsVowel(static_cast<unsigned char>(u))) {
          u = static_cast<char>(Upper(static_cast<unsigned char>(u)));
          break;
        }
      }
    }
    out += unit;
    pos += advance;
    if (pos <= length) out += '/';
  }
  out += ']';
  return out;
}

std::string PhonemeRules::TextToPhonemes(std::string_view text) const {
  const std::string t = RewriteText(text);
  std::string out;
  size_t p = 0;
  while (p < t.size()) {
    if (t[p] == ' ') {
      ++p;
      continue;
    }
    const auto first = Lower(static_cast<unsigned char>(t[p]));
    std::string word;
    int vowels = 0;
    bool accent = false;
    if (IsLetter(first)) {
      while (p < t.size()) {
        const auto c = Lower(static_cast<unsigned char>(t[p]));
        if (!IsLetter(c) && !IsAccentMark(c)) break;
        if (IsAccentMark(c) && c != '"' && !word.empty() &&
            IsLetter(static_cast<unsigned char>(word.back()))) {
          accent = true;
        }
        if (IsVowel(c)) ++vowels;
        word += static_cast<char>(c);
        ++p;
      }
    } else {
      word = t[p++];
    }
    out += WordToPhonemes(std::move(word), vowels, accent);
  }
  return out;
}

}  // namespace navelo
