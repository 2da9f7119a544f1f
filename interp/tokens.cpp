// Token operations and the parenthesised integer expressions.
#include "interp/tokens.h"

#include <cstdint>

#include "interp/interpreter.h"
#include "interp/text.h"

namespace navelo {
namespace {

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// Reads "$name" at the front of text (name: letters, digits and, when allow_underscore, "_");
// returns the number of bytes taken (0 when there is no name) and the upper-cased name.
size_t ScanName(std::string_view text, bool allow_underscore, std::string& name) {
  size_t i = 1;
  name.clear();
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!(IsAsciiLetter(c) || IsDigit(c) || (allow_underscore && c == '_'))) break;
    name.push_back(static_cast<char>(UpperAscii(c)));
    ++i;
  }
  return name.empty() ? 0 : i;
}

// Recursive-descent evaluation in 64-bit arithmetic (wrapping), with the lenient operand rules:
// an unreadable operand after an operator is ignored unless another operator of the same level
// stands where it should have been.
class ExpressionParser {
 public:
  ExpressionParser(Interpreter& in, std::string_view text) : in_(in), text_(text) { Next(); }

  bool Evaluate(int64_t& result) { return Expression(result) && !hard_failure_; }
  size_t StopPosition() const { return token_.start; }

 private:
  enum class Kind { kNumber, kOpen, kClose, kPlus, kMinus, kStar, kSlash, kError, kEnd };
  struct Token {
    Kind kind = Kind::kEnd;
    int64_t value = 0;
    size_t start = 0;
  };

  void Next() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    token_ = Token{Kind::kEnd, 0, pos_};
    if (pos_ >= text_.size()) return;
    const auto c = static_cast<unsigned char>(text_[pos_]);
    switch (c) {
      case '(': token_.kind = Kind::kOpen; ++pos_; return;
      case ')': token_.kind = Kind::kClose; ++pos_; return;
      case '*': token_.kind = Kind::kStar; ++pos_; return;
      case '+': token_.kind = Kind::kPlus; ++pos_; return;
      case '-': token_.kind = Kind::kMinus; ++pos_; return;
      case '/': token_.kind = Kind::kSlash; ++pos_; return;
      default: break;
    }
    if (IsDigit(c)) {
      uint32_t value = 0;
      while (pos_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[pos_]))) {
        value = value * 10u + static_cast<uint32_t>(text_[pos_] - '0');
        ++pos_;
      }
      token_.kind = Kind::kNumber;
      token_.value = static_cast<int32_t>(value);
      return;
    }
    int slot = -1;
    if (IsAsciiLetter(c)) {
      slot = UpperAscii(c);
      ++pos_;
    } else if (c == '$') {
      std::string name;
      const size_t taken = ScanName(text_.substr(pos_), false, name);
      if (taken > 0) {
        slot = in_.vars.NamedSlot(name);
        pos_ += taken;
      }
    }
    if (slot < 0) {
      token_.kind = Kind::kError;
      return;
    }
    const auto value = ParseInteger(in_.vars.Slot(slot));
    token_.kind = value ? Kind::kNumber : Kind::kError;
    token_.value = value.value_or(0);
  }

  bool Expression(int64_t& result) {
    if (!Term(result)) return false;
    while (token_.kind == Kind::kPlus || token_.kind == Kind::kMinus) {
      const Kind op = token_.kind;
      Next();
      int64_t rhs = 0;
      if (!Term(rhs)) {
        if (token_.kind == Kind::kPlus || token_.kind == Kind::kMinus) return false;
        break;
      }
      result = static_cast<int64_t>(op == Kind::kPlus
                                        ? static_cast<uint64_t>(result) + static_cast<uint64_t>(rhs)
                                        : static_cast<uint64_t>(result) - static_cast<uint64_t>(rhs));
    }
    return true;
  }

  bool Term(int64_t& result) {
    if (!Factor(result)) return false;
    while (token_.kind == Kind::kStar || token_.kind == Kind::kSlash) {
      const Kind op = token_.kind;
      Next();
      int64_t rhs = 0;
      if (!Factor(rhs)) {
        if (token_.kind == Kind::kStar || token_.kind == Kind::kSlash) return false;
        break;
      }
      if (op == Kind::kStar) {
        result = static_cast<int64_t>(static_cast<uint64_t>(result) * static_cast<uint64_t>(rhs));
      } else if (rhs == 0) {
        // Division by zero fails the whole value, wherever it stands.
        hard_failure_ = true;
        return false;
      } else if (rhs == -1) {
        result = static_cast<int64_t>(0 - static_cast<uint64_t>(result));
      } else {
        result /= rhs;
      }
    }
    return true;
  }

  bool Factor(int64_t& result) {
    switch (token_.kind) {
      case Kind::kNumber:
        result = token_.value;
        Next();
        return true;
      case Kind::kOpen: {
        if (++depth_ > kMaxExpressionDepth) {
          hard_failure_ = true;
          return false;
        }
        Next();
        const bool ok = Expression(result) && token_.kind == Kind::kClose;
        --depth_;
        if (!ok) return false;
        Next();
        return true;
      }
      case Kind::kMinus: {
        if (++depth_ > kMaxExpressionDepth) {
          hard_failure_ = true;
          return false;
        }
        Next();
        const bool ok = Factor(result);
        --depth_;
        if (!ok) return false;
        result = static_cast<int64_t>(0 - static_cast<uint64_t>(result));
        return true;
      }
      default:
        return false;
    }
  }

  Interpreter& in_;
  std::string_view text_;
  size_t pos_ = 0;
  Token token_;
  int depth_ = 0;
  bool hard_failure_ = false;
};

}  // namespace

bool TakeVariable(Interpreter& in, std::string& text, int& slot) {
  TrimInPlace(text);
  if (text.empty()) return false;
  const auto c = static_cast<unsigned char>(text[0]);
  if (c == '$') {
    std::string name;
    const size_t taken = ScanName(text, true, name);
    if (taken == 0) return false;
    slot = in.vars.NamedSlot(name);
    if (slot < 0) return false;
    text.erase(0, taken);
  } else if (IsAsciiLetter(c)) {
    if (text.size() > 1) {
      const auto next = static_cast<unsigned char>(text[1]);
      if (IsAsciiLetter(next) || IsDigit(next)) return false;
    }
    slot = UpperAscii(c);
    text.erase(0, 1);
  } else {
    return false;
  }
  TrimInPlace(text);
  return true;
}

bool TakeValue(Interpreter& in, std::string& text, std::string& value) {
  TrimInPlace(text);
  value.clear();
  if (text.empty()) return false;
  const auto c = static_cast<unsigned char>(text[0]);
  size_t taken = 0;
  if (c == '-' || IsDigit(c)) {
    taken = 1;
    while (taken < text.size() && IsDigit(static_cast<unsigned char>(text[taken]))) ++taken;
    value.assign(text, 0, taken);
  } else if (c == '"') {
    size_t i = 1;
    for (;;) {
      const size_t quote = text.find('"', i);
      if (quote == std::string::npos) {
        value.append(text, i, std::string::npos);
        taken = text.size();
        break;
      }
      value.append(text, i, quote - i);
      if (quote + 1 < text.size() && text[quote + 1] == '"') {
        value.push_back('"');
        i = quote + 2;
        continue;
      }
      taken = quote + 1;
      break;
    }
  } else if (c == '$') {
    std::string name;
    taken = ScanName(text, true, name);
    if (taken == 0) return false;
    const int slot = in.vars.NamedSlot(name);
    if (slot < 0) return false;
    value = in.vars.Slot(slot);
  } else if (IsAsciiLetter(c)) {
    value = in.vars.Slot(UpperAscii(c));
    taken = 1;
  } else if (c == '(') {
    const std::string_view inner = std::string_view(text).substr(1);
    ExpressionParser parser(in, inner);
    int64_t result = 0;
    if (!parser.Evaluate(result)) return false;
    size_t rest = 1 + parser.StopPosition();
    while (rest < text.size() && static_cast<unsigned char>(text[rest]) <= 32) ++rest;
    if (rest >= text.size() || text[rest] != ')') return false;
    value = DecimalText(result);
    taken = rest + 1;
  } else {
    return false;
  }
  text.erase(0, taken);
  TrimInPlace(text);
  return true;
}

bool TakeChannel(std::string& text, int& channel) {
  TrimInPlace(text);
  if (text.size() < 2 || text[0] != '#' || !IsDigit(static_cast<unsigned char>(text[1])))
    return false;
  if (text.size() > 2 && text[2] != ' ') return false;
  channel = text[1] - '0';
  text.erase(0, 2);
  TrimInPlace(text);
  return true;
}

bool TakeBracketed(std::string& text, std::string& name) {
  TrimInPlace(text);
  if (text.size() < 2 || text[0] != '[') return false;
  const size_t close = text.find(']', 2);
  if (close == std::string::npos) return false;
  name.assign(text, 1, close - 1);
  text.erase(0, close + 1);
  return true;
}

bool JoinValues(Interpreter& in, std::string& text, std::string& joined) {
  std::string value;
  while (!text.empty()) {
    if (!TakeValue(in, text, value)) return false;
    joined += value;
  }
  return true;
}

bool TakeTrailingAmpersand(std::string& text) {
  TrimInPlace(text);
  if (text.empty() || text.back() != '&') return false;
  text.pop_back();
  TrimInPlace(text);
  return true;
}

}  // namespace navelo
