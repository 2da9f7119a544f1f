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

// The comparison key of a text: folded, and zero-filled to 21 characters when it is empty or
// made only of digits, so that such texts compare by numeric value.
std::string ComparisonKey(std::string_view text);

}  // namespace navelo
