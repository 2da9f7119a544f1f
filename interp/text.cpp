// Byte-string operations of the language.
#include "interp/text.h"

namespace navelo {

std::string_view TrimView(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

void TrimInPlace(std::string& text) {
  size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  text.resize(end);
  size_t begin = 0;
  while (begin < text.size() && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  text.erase(0, begin);
}

unsigned char FoldUpperByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c > 223) return static_cast<unsigned char>(c - 32);
  return c;
}

std::string FoldUpper(std::string_view text) {
  std::string out(text);
  for (auto& ch : out) ch = static_cast<char>(FoldUpperByte(static_cast<unsigned char>(ch)));
  return out;
}

bool StartsWithFolded(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (FoldUpperByte(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(word[i]))
      return false;
  }
  return true;
}

std::string SubText(std::string_view text, int64_t p, int64_t c) {
  if (p < 1) p = 1;
  const auto size = static_cast<int64_t>(text.size());
  if (p > size || c <= 0) return {};
  const int64_t available = size - (p - 1);
  return std::string(text.substr(static_cast<size_t>(p - 1),
                                 static_cast<size_t>(c < available ? c : available)));
}

void DeleteText(std::string& text, int64_t p, int64_t c) {
  const auto size = static_cast<int64_t>(text.size());
  if (p < 1 || p > size || c <= 0) return;
  const int64_t available = size - (p - 1);
  text.erase(static_cast<size_t>(p - 1), static_cast<size_t>(c < available ? c : available));
}

void InsertText(std::string& text, int64_t p, std::string_view what) {
  if (p < 1) p = 1;
  const auto size = static_cast<int64_t>(text.size());
  if (p > size) {
    text.append(what);
  } else {
    text.insert(static_cast<size_t>(p - 1), what);
  }
}

int64_t PositionOf(std::string_view needle, std::string_view haystack) {
  if (needle.empty() || haystack.empty()) return 0;
  const size_t at = haystack.find(needle);
  return at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1;
}

std::optional<int32_t> ParseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char ch = text[i];
    int digit;
    if (ch >= '0' && ch <= '9') {
      digit = ch - '0';
    } else if (base == 16 && ch >= 'a' && ch <= 'f') {
      digit = ch - 'a' + 10;
    } else if (base == 16 && ch >= 'A' && ch <= 'F') {
      digit = ch - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string DecimalText(int64_t n) { return std::to_string(n); }

}  // namespace navelo
