// The Portuguese braille rules of the console row, and the cell of each braille character.
#include "console/braille_translator.h"

#include <array>

namespace navelo {

namespace {

bool IsLower(unsigned char c) { return (c >= 'a' && c <= 'z') || c >= 224; }
bool IsUpper(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 192 && c <= 222 && c != 215); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
unsigned char Lowered(unsigned char c) { return static_cast<unsigned char>(c + 32); }

// Digits written in the lower part of the cell (ordinals, fractions), 0 to 9.
constexpr std::string_view kLowerDigits = "},;:/?!=\"*";
char LowerDigit(unsigned char d) { return kLowerDigits[d - '0']; }
// Digits after the number sign: 0 is "j", 1 to 9 are "a" to "i".
char LetterDigit(unsigned char d) { return d == '0' ? 'j' : static_cast<char>('a' + (d - '1')); }

// What a character becomes when no other rule takes it; empty when it stays as it is.
std::string_view Replacement(unsigned char c) {
  switch (c) {
    case '(': return "(.";
    case ')': return "\\)";
    case '[': return "[.";
    case ']': return "\\]";
    case '/': return "\\,";
    case '\\': return "~.";
    case '%': return "_}";
    case 0x89: return "_}}";   // per mille
    case 0x80: return "\x80" "e";  // euro
    case 0x85: return "...";   // ellipsis
    case 0x91:
    case 0x92: return "$\"";   // single quotation marks
    case 0xAB:
    case 0xBB: return "\\\"";  // angle quotation marks
    case 0x95: return "\xF5o";  // bullet
    case 0x96:
    case 0x97:
    case 0xAD: return "--";    // en dash, em dash, soft hyphen
    case 0x9C: return "oe";
    case 0xA7: return "ss";    // section sign
    case 0xB2: return "\xE5#b";  // superscript two
    case 0xB3: return "\xE5#c";
    case 0xB9: return "\xE5#a";
    case 0xBC: return "#,d";   // one quarter
    case 0xBD: return "#,b";
    case 0xBE: return "#:d";
    case 0xDF: return "\xAC" "b";  // sharp s
    default: return {};
  }
}

// What a character after the grave accent becomes; empty when the pair has no meaning.
std::string_view GraveReplacement(unsigned char c) {
  switch (c) {
    case '^': return "\xE5";
    case '(': return "\xEA";
    case ')': return "\xE3";
    case '[': return "\xE1";
    case ']': return "\xFA";
    case '{': return "~l";
    case '}': return "_,";
    case '=': return "=";
    case '\'': return "\xFC";
    case '.': return ".";
    case '-': return "-";
    case '_': return "~\xF7";
    case '/':
    case ':': return "\xF7";
    case 0xF7: return "~\xF7";
    case 'E':
    case 'e': return "\x80" "e";
    case '%': return "_}}";
    case '*':
    case 'X':
    case 'x': return "\xD7";
    case '+': return "+";
    case '"': return "\xFC\xFC";
    case 'O':
    case 'o': return "\xB0";
    default: return {};
  }
}

// The North American Braille ASCII character each braille character shows as; 0 where there is
// no braille form.
constexpr std::array<unsigned char, 256> kToBrailleAscii = [] {
  std::array<unsigned char, 256> t{};
  constexpr unsigned char kFrom20[224] = {
      0x20, 0x36, 0x38, 0x23, 0x3B, 0x25, 0x26, 0x27, 0x3C, 0x3E, 0x39, 0x36, 0x31, 0x2D, 0x27, 0x34,
      0x6A, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x33, 0x32, 0x7B, 0x37, 0x6F, 0x35,
      0x3A, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
      0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x28, 0x2C, 0x29, 0x60, 0x5F,
      0x2C, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
      0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x2E, 0x5F, 0x30, 0x22, 0x7F,
      0x40, 0x5C, 0x3D, 0x2A, 0x3E, 0x24, 0,    0x26, 0x3C, 0,    0x21, 0x7D, 0,    0x25, 0,    0,
      0,    0x38, 0x38, 0x3F, 0x5B, 0x27, 0,    0x3A, 0,    0,    0,    0,    0,    0,    0,    0,
      0x28, 0x36, 0x2B, 0x29, 0,    0,    0x5F, 0,    0x20, 0,    0x61, 0x38, 0x5E, 0,    0,    0,
      0x30, 0,    0x62, 0x63, 0x39, 0,    0,    0,    0,    0x61, 0x4F, 0x38, 0,    0,    0,    0x35,
      0x24, 0x28, 0x2A, 0x33, 0x3E, 0x2A, 0x3E, 0x26, 0x21, 0x3D, 0x3C, 0x24, 0x2F, 0x27, 0x25, 0x5D,
      0,    0x7D, 0x2B, 0x3F, 0x5B, 0x5B, 0,    0x38, 0,    0x29, 0x29, 0x3A, 0x5C, 0,    0,    0,
      0x24, 0x28, 0x2A, 0x3E, 0x3E, 0x2A, 0x3E, 0x26, 0x21, 0x3D, 0x3C, 0x24, 0x2F, 0x2F, 0x25, 0x7D,
      0,    0x7D, 0x2B, 0x2B, 0x3F, 0x5B, 0x5B, 0x34, 0,    0x29, 0x29, 0x3A, 0x5C, 0x2C, 0,    0x34,
  };
  for (int i = 0; i < 224; ++i) t[i + 32] = kFrom20[i];
  return t;
}();

// The dots of the North American Braille ASCII characters 32..95, dot n in bit n - 1.
constexpr uint8_t Dots(std::string_view dots) {
  uint8_t bits = 0;
  for (const char d : dots) bits = static_cast<uint8_t>(bits | (1 << (d - '1')));
  return bits;
}
constexpr std::array<std::string_view, 64> kAsciiDots = {
    "",      "2346", "5",    "3456", "1246", "146",  "12346", "3",     // space ! " # $ % & '
    "12356", "23456", "16",  "346",  "6",    "36",   "46",    "34",    // ( ) * + , - . /
    "356",   "2",    "23",   "25",   "256",  "26",   "235",   "2356",  // 0..7
    "236",   "35",   "156",  "56",   "126",  "123456", "345", "1456",  // 8 9 : ; < = > ?
    "4",     "1",    "12",   "14",   "145",  "15",   "124",   "1245",  // @ A..G
    "125",   "24",   "245",  "13",   "123",  "134",  "1345",  "135",   // H..O
    "1234",  "12345", "1235", "234", "2345", "136",  "1236",  "2456",  // P..W
    "1346",  "13456", "1356", "246", "1256", "12456", "45",   "456",   // X Y Z [ \ ] ^ _
};

constexpr std::array<uint8_t, 256> kCells = [] {
  std::array<uint8_t, 256> cells{};
  for (int c = 0; c < 256; ++c) {
    const unsigned char a = kToBrailleAscii[c];
    if (a == 0) {
      // A character with no braille form shows as the full cell, so the reader knows something is
      // there.
      cells[c] = 0x3F;
    } else if (a == 0x7F) {
      cells[c] = 0x3F;
    } else {
      cells[c] = Dots(kAsciiDots[(a >= 96 ? a - 32 : a) - 32]);
    }
  }
  return cells;
}();

}  // namespace

uint8_t BrailleCell(unsigned char c) { return kCells[c]; }

std::string BrailleTranslator::Translate(std::string_view row) {
  std::string out;
  TranslateInto(row, out);
  return out;
}

void BrailleTranslator::TranslateInto(std::string_view row, std::string& out) {
  const size_t n = row.size();
  auto at = [&](size_t i) -> unsigned char {
    return i < n ? static_cast<unsigned char>(row[i]) : 0;
  };
  size_t i = 0;
  while (i < n) {
    const unsigned char c = at(i);
    if (IsLower(c)) {
      while (i < n && (IsLower(at(i)) || at(i) == '-')) out += static_cast<char>(at(i++));
      continue;
    }
    if (IsUpper(c)) {
      if (i + 1 < n && IsUpper(at(i + 1))) {
        out += "{{";
        while (i < n && IsUpper(at(i))) out += static_cast<char>(Lowered(at(i++)));
        if (i < n && IsLower(at(i))) out += '~';
      } else {
        out += '{';
        out += static_cast<char>(Lowered(c));
        ++i;
      }
      continue;
    }
    if (IsDigit(c)) {
      out += '#';
      size_t end = i;
      while (end < n && IsDigit(at(end))) ++end;
      std::string_view suffix_out;
      size_t suffix_len = 0;
      const unsigned char s0 = at(end), s1 = at(end + 1), s2 = at(end + 2);
      if (end < n && s0 == 0xAA) {
        suffix_out = "a", suffix_len = 1;
      } else if (end < n && s0 == 0xBA) {
        suffix_out = "o", suffix_len = 1;
      } else if (end + 1 < n && (s0 == 'a' || s0 == 'o') && s1 == '.') {
        suffix_out = s0 == 'a' ? "a" : "o", suffix_len = 2;
      } else if (end + 2 < n && (s0 == 'a' || s0 == 'o') && s1 == 's' && s2 == '.') {
        suffix_out = s0 == 'a' ? "as" : "os", suffix_len = 3;
      }
      if (suffix_len != 0) {
        for (; i < end; ++i) out += LowerDigit(at(i));
        out += suffix_out;
        i = end + suffix_len;
        continue;
      }
      while (i < n) {
        const unsigned char d = at(i);
        if (IsDigit(d)) {
          out += LetterDigit(d);
        } else if (d == '$' || d == ',') {
          out += static_cast<char>(d);
        } else if (d == '.') {
          if (i + 1 >= n || !IsDigit(at(i + 1))) {
            out += '.';
          } else {
            int before = 0;
            for (size_t k = i; k > 0 && IsDigit(at(k - 1)); --k) ++before;
            int after = 0;
            for (size_t k = i + 1; k < n && IsDigit(at(k)); ++k) ++after;
            out += (before < 3 && after < 3) ? ".#" : ".";
          }
        } else if (d >= 'a' && d <= 'j') {
          out += '~';
          break;
        } else {
          break;
        }
        ++i;
      }
      continue;
    }
    if ((c == '(' || c == '[') && IsDigit(at(i + 1)) && i + 1 < n) {
      parenthesis_open_ = false;
      const char closer = c == '(' ? ')' : ']';
      const size_t close = row.find(closer, i + 1);
      if (close != std::string_view::npos && IsDigit(at(close - 1))) {
        out += c == '(' ? '\xEA' : '\xE1';
        ++i;
        continue;
      }
      parenthesis_open_ = true;
      // Falls through to the plain replacement below.
    } else if ((c == ')' || c == ']') && i > 0 && IsDigit(at(i - 1)) && !parenthesis_open_) {
      out += c == ')' ? '\xE3' : '\xFA';
      parenthesis_open_ = false;
      ++i;
      continue;
    } else if (c == '`' && i + 1 < n && IsDigit(at(i + 1))) {
      out += '#';
      ++i;
      while (i < n && IsDigit(at(i))) out += LowerDigit(at(i++));
      if (i < n && at(i) == '/') {
        ++i;
        while (i < n && IsDigit(at(i))) out += static_cast<char>(at(i++));
      }
      continue;
    } else if (c == '`' && i + 1 < n && at(i + 1) == '`') {
      i += 2;
      continue;
    } else if (c == '`' && i + 1 < n && !GraveReplacement(at(i + 1)).empty()) {
      out += GraveReplacement(at(i + 1));
      i += 2;
      continue;
    } else if (c == '.') {
      out += '.';
      ++i;
      continue;
    } else if (c == '"' || c == 0x93 || c == 0x94) {
      out += '"';
      ++i;
      continue;
    }
    const std::string_view replacement = Replacement(c);
    if (replacement.empty()) {
      out += static_cast<char>(c);
    } else {
      out += replacement;
    }
    if (c == '(') parenthesis_open_ = true;
    if (c == ')') parenthesis_open_ = false;
    ++i;
  }
}

void BrailleTranslator::RowCells(std::string_view row, std::string& text,
                                 std::span<uint8_t> cells) {
  text.clear();
  TranslateInto(row, text);
  while (text.size() <= cells.size()) text.append(10, ' ');
  for (size_t k = 0; k < cells.size(); ++k) cells[k] = kCells[static_cast<unsigned char>(text[k])];
}

}  // namespace navelo
