// Evaluation of conditions.
#include "interp/condition.h"

#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"

namespace navelo {
namespace {

enum class Op { kGe, kLe, kExact, kNe, kContains, kBegins, kEnds, kIn, kEq, kLt, kGt };

struct OperatorText {
  std::string_view text;
  Op op;
};

// Tried in this order, so that the longer operators win over their prefixes.
constexpr OperatorText kOperators[] = {
    {">=", Op::kGe},       {"<=", Op::kLe},     {"==", Op::kExact}, {"<>", Op::kNe},
    {"*=*", Op::kContains}, {"=*", Op::kBegins}, {"*=", Op::kEnds},  {"EM", Op::kIn},
    {"=", Op::kEq},        {"<", Op::kLt},      {">", Op::kGt},
};

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '_';
}

// The length of the value token at the front of the text by the forms TakeValue reads, without
// evaluating it; 0 when no value stands there. A parenthesised expression runs to its matching
// parenthesis.
size_t SkimValue(std::string_view text) {
  if (text.empty()) return 0;
  const auto c = static_cast<unsigned char>(text[0]);
  if (c == '-' || IsDigit(c)) {
    size_t n = 1;
    while (n < text.size() && IsDigit(static_cast<unsigned char>(text[n]))) ++n;
    return n;
  }
  if (c == '"') {
    for (size_t i = 1;;) {
      const size_t quote = text.find('"', i);
      if (quote == std::string_view::npos) return text.size();
      if (quote + 1 < text.size() && text[quote + 1] == '"') {
        i = quote + 2;
        continue;
      }
      return quote + 1;
    }
  }
  if (c == '$') {
    size_t n = 1;
    while (n < text.size() && IsNameByte(static_cast<unsigned char>(text[n]))) ++n;
    return n > 1 ? n : 0;
  }
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return 1;
  if (c == '(') {
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '(') ++depth;
      if (text[i] == ')' && --depth == 0) return i + 1;
    }
  }
  return 0;
}

// Removes the value token at the front of the text (and the blanks after it); false when none.
bool SkipValue(std::string& text) {
  const size_t n = SkimValue(text);
  if (n == 0) return false;
  text.erase(0, n);
  TrimInPlace(text);
  return true;
}

// The comparison operator text starts with, taken off it with the blanks after it; null when
// it starts with none. EM is recognised in either case, the signs as they are.
const OperatorText* TakeOperator(std::string& text) {
  for (const auto& candidate : kOperators) {
    const bool match = candidate.op == Op::kIn
                           ? StartsWithFolded(text, candidate.text)
                           : text.compare(0, candidate.text.size(), candidate.text) == 0;
    if (match) {
      text.erase(0, candidate.text.size());
      TrimInPlace(text);
      return &candidate;
    }
  }
  return nullptr;
}

}  // namespace

bool SkimCondition(std::string_view input, std::string& rest) {
  std::string text = Trim(input);
  if (StartsWithFolded(text, "N\xC3O") || StartsWithFolded(text, "NAO")) {
    text.erase(0, 3);
    TrimInPlace(text);
  }
  if (!SkipValue(text) || text.empty()) return false;
  const OperatorText* found = TakeOperator(text);
  if (found == nullptr) return false;
  if (found->op == Op::kIn) {
    std::string name;
    if (!TakeBracketed(text, name)) return false;
  } else if (!SkipValue(text)) {
    return false;
  }
  rest = Trim(text);
  return true;
}

std::string ComparisonKey(std::string_view text) {
  std::string key = FoldUpper(text);
  for (char c : key) {
    if (c < '0' || c > '9') return key;
  }
  key.insert(0, 20, '0');
  return key.size() > 21 ? key.substr(key.size() - 21) : key;
}

Condition EvaluateCondition(Interpreter& in, std::string_view input) {
  Condition result;
  std::string text = Trim(input);
  if (text.empty()) return result;
  bool negated = false;
  if (StartsWithFolded(text, "N\xC3O") || StartsWithFolded(text, "NAO")) {
    negated = true;
    text.erase(0, 3);
    TrimInPlace(text);
    if (text.empty()) return result;
  }
  std::string left;
  if (!TakeValue(in, text, left) || text.empty()) return result;
  const OperatorText* found = TakeOperator(text);
  if (found == nullptr) return result;
  if (text.empty()) return result;

  bool holds = false;
  if (found->op == Op::kIn) {
    std::string name;
    if (!TakeBracketed(text, name)) return result;
    const ScriptList* list = nullptr;
    for (const auto& candidate : in.lists) {
      if (candidate.in_use && candidate.name == name) {
        list = &candidate;
        break;
      }
    }
    if (list == nullptr) return result;
    const std::string key = ComparisonKey(left);
    for (const auto& item : list->items) {
      if (ComparisonKey(item) == key) {
        holds = true;
        break;
      }
    }
  } else {
    std::string right;
    if (!TakeValue(in, text, right)) return result;
    switch (found->op) {
      case Op::kExact: holds = left == right; break;
      case Op::kContains: holds = !right.empty() && left.find(right) != std::string::npos; break;
      case Op::kBegins: holds = !right.empty() && left.compare(0, right.size(), right) == 0; break;
      case Op::kEnds: holds = !right.empty() && EndsWith(left, right); break;
      default: {
        // std::string compares bytes as unsigned char, and a prefix sorts first.
        const int order = ComparisonKey(left).compare(ComparisonKey(right));
        switch (found->op) {
          case Op::kEq: holds = order == 0; break;
          case Op::kNe: holds = order != 0; break;
          case Op::kLt: holds = order < 0; break;
          case Op::kGt: holds = order > 0; break;
          case Op::kLe: holds = order <= 0; break;
          case Op::kGe: holds = order >= 0; break;
          default: break;
        }
      }
    }
  }
  result.parsed = true;
  result.truth = negated ? !holds : holds;
  TrimInPlace(text);
  result.rest = std::move(text);
  return result;
}

}  // namespace navelo
