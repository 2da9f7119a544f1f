// Conditions and every command that changes which line runs next. Blocks are found by scanning
// the script text from the current line each time a block command runs.
#include "interp/condition.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"

namespace navelo {
namespace {

// Trimmed, folded, and every run of blanks reduced to one blank.
std::string NormalizedLine(std::string_view line) {
  const std::string folded = FoldUpper(TrimView(line));
  std::string out;
  out.reserve(folded.size());
  for (char c : folded) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  return out;
}

void SkipToBlockEnd(Interpreter& in, std::string_view name) {
  const std::string end = "FIM " + std::string(name);
  for (int n = in.line_pointer + 1; n <= in.script.LineCount(); ++n) {
    if (NormalizedLine(in.script.Line(n)) == end) {
      in.line_pointer = n;
      return;
    }
  }
  in.line_pointer = in.script.LineCount() + 1;
}

void SkipFalseBranch(Interpreter& in) {
  int depth = 1;
  for (int n = in.line_pointer + 1; n <= in.script.LineCount(); ++n) {
    const std::string line = NormalizedLine(in.script.Line(n));
    if (line.compare(0, 3, "SE ") == 0) {
      // Only a one-line SE (a command after its condition) opens no block. The condition is read
      // by its form, not evaluated: one that cannot be evaluated now (a list not yet made, an
      // expression over an empty variable) still opens a block whose FIM SE must not end this
      // one, and the scan changes no variable.
      std::string rest;
      if (!SkimCondition(line.substr(3), rest) || rest.empty()) ++depth;
    } else if (line == "FIM SE") {
      if (--depth == 0) {
        in.line_pointer = n;
        return;
      }
    } else if ((line == "SENAO" || line == "SEN\xC3O") && depth == 1) {
      in.line_pointer = n;
      return;
    }
  }
  in.line_pointer = in.script.LineCount() + 1;
}

// The nearest line above the current one whose first word is the given one.
int FindLoopLineAbove(Interpreter& in, std::string_view word) {
  const std::string prefix = std::string(word) + " ";
  for (int n = in.line_pointer - 1; n >= 1; --n) {
    const std::string folded = FoldUpper(TrimView(in.script.Line(n)));
    if (folded.compare(0, prefix.size(), prefix) == 0) return n;
  }
  return 0;
}

bool Se(Interpreter& in, std::string& args) {
  const Condition condition = EvaluateCondition(in, args);
  if (!condition.parsed) return false;
  if (!condition.rest.empty()) {
    return condition.truth ? in.ExecuteLine(condition.rest, true) : true;
  }
  if (!condition.truth) SkipFalseBranch(in);
  return true;
}

bool Senao(Interpreter& in, std::string& args) {
  if (!args.empty()) return false;
  SkipToBlockEnd(in, "SE");
  return true;
}

bool Enquanto(Interpreter& in, std::string& args) {
  const Condition condition = EvaluateCondition(in, args);
  if (!condition.parsed) return false;
  if (!condition.truth) SkipToBlockEnd(in, "ENQUANTO");
  return true;
}

// One pass of REPETE: the first from the script, the others from FIM REPETE.
bool RepetePass(Interpreter& in, std::string args, bool continuation) {
  int slot = 0;
  if (!TakeVariable(in, args, slot) || args.empty()) return false;
  int64_t current = 0;
  if (continuation) {
    const auto value = ParseInteger(in.vars.Slot(slot));
    if (!value) return false;
    current = *value;
  }
  std::string count_text;
  if (!TakeValue(in, args, count_text)) return false;
  const auto count = ParseInteger(count_text);
  if (!count) return false;
  in.vars.Slot(slot) = DecimalText(current + 1);
  if (*count < current + 1) SkipToBlockEnd(in, "REPETE");
  return true;
}

bool Repete(Interpreter& in, std::string& args) { return RepetePass(in, args, false); }

bool Fim(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  const std::string word = FoldUpper(args);
  if (word == "ENQUANTO") {
    const int line = FindLoopLineAbove(in, "ENQUANTO");
    if (line == 0) return false;
    in.line_pointer = line - 1;
    return true;
  }
  if (word == "REPETE") {
    const int line = FindLoopLineAbove(in, "REPETE");
    if (line == 0) return false;
    in.line_pointer = line;
    const std::string folded = FoldUpper(TrimView(in.script.Line(line)));
    return RepetePass(in, Trim(std::string_view(folded).substr(7)), true);
  }
  return true;  // FIM SE and any other word do nothing
}

// The label of DESVIA and CHAMA: "@name", or a value holding the name.
bool TakeLabel(Interpreter& in, std::string& args, std::string& label) {
  if (args.empty()) return false;
  if (args[0] == '@') {
    label = args.substr(1);
    return label.find(' ') == std::string::npos;
  }
  return TakeValue(in, args, label) && args.empty();
}

bool Desvia(Interpreter& in, std::string& args) {
  std::string label;
  return TakeLabel(in, args, label) && in.FindLabel(label);
}

bool Chama(Interpreter& in, std::string& args) {
  std::string label;
  if (!TakeLabel(in, args, label)) return false;
  if (static_cast<int>(in.call_stack.size()) >= Interpreter::kMaxCallDepth) {
    SayLine(in, "Muitas chamadas sem retorno");
    return false;
  }
  in.call_stack.push_back(in.line_pointer);
  return in.FindLabel(label);
}

bool Retorna(Interpreter& in, std::string& args) {
  if (!args.empty()) return false;
  if (in.call_stack.empty()) {
    SayLine(in, "Retorno sem chamada");
    return false;
  }
  in.line_pointer = in.call_stack.back();
  in.call_stack.pop_back();
  return true;
}

bool Termina(Interpreter& in, std::string& args) {
  in.stop_flag = true;
  in.quiet_end = FoldUpper(args) == "MUDO";
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"SE", Se},           {"SENAO", Senao},     {"SEN\xC3O", Senao},    {"ENQUANTO", Enquanto},
    {"REPETE", Repete},   {"FIM", Fim},         {"DESVIA", Desvia},     {"CHAMA", Chama},
    {"RETORNA", Retorna}, {"TERMINA", Termina},
};

}  // namespace

std::span<const CommandEntry> ControlCommands() { return kEntries; }

}  // namespace navelo
