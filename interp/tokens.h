// The token operations with which every command reads its arguments. Each takes the argument
// text, consumes what it reads from its front and trims what remains; on failure the text may be
// partly consumed and the calling command fails.
#pragma once

#include <string>
#include <string_view>

namespace navelo {

class Interpreter;

// A letter variable (not followed by a letter or digit) or "$" and a name; gives its slot.
bool TakeVariable(Interpreter& in, std::string& text, int& slot);
// A number, a quoted text, a variable's value, or a parenthesised integer expression.
bool TakeValue(Interpreter& in, std::string& text, std::string& value);
// "#" and one digit, followed by the end or a blank.
bool TakeChannel(std::string& text, int& channel);
// "[" name "]"; the text after "]" is left untrimmed.
bool TakeBracketed(std::string& text, std::string& name);
// Values one after another to the end of the text, appended to joined with nothing between
// them; false when text that is not a value was left.
bool JoinValues(Interpreter& in, std::string& text, std::string& joined);

// Removes a trailing "&" (and the blanks before it); true when there was one.
bool TakeTrailingAmpersand(std::string& text);

// Parenthesised expressions nest at most this deep; deeper ones fail the value instead of
// exhausting the stack.
constexpr int kMaxExpressionDepth = 1000;

}  // namespace navelo
