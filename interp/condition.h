// Conditions of SE and ENQUANTO: a negation, two values and a comparison, or a value and a list.
#pragma once

#include <string>
#include <string_view>

namespace navelo {

class Interpreter;

struct Condition {
  bool parsed = false;
  bool truth = false;
  std::string rest;  // the text after the condition, trimmed
};

Condition EvaluateCondition(Interpreter& in, std::string_view text);

// Reads a condition from the front of the text by its form alone, without looking at values or
// lists: an optional negation, a value, an operator, and a value or a bracketed list name. True
// when that form stands there; rest is what follows it, trimmed. The block scan of a false SE
// uses it, so that a condition that cannot be evaluated at that moment (an unknown list, an
// expression over an empty variable) still shows whether a command follows it.
bool SkimCondition(std::string_view text, std::string& rest);

// The comparison key of a text: folded, and zero-filled to 21 characters when it is empty or
// made only of digits, so that such texts compare by numeric value.
std::string ComparisonKey(std::string_view text);

}  // namespace navelo
