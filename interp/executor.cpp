// The run loop, line execution and command dispatch, and the stores of the interpreter.
#include <unordered_map>

#include "interp/interpreter.h"
#include "interp/text.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// The whole command table: every family's entries joined into one exact-match lookup.
class CommandTable {
 public:
  CommandTable() {
    for (auto family : {ValueCommands(), ControlCommands(), StringCommands(), ConsoleCommands(),
                        FileCommands(), ProgramCommands(), SocketCommands(), HttpCommands(),
                        TalkCommands(),
                        ListCommands(),
                        MidiCommands(),
                        AutomationCommands(),
                        PendingCommands()}) {
      for (const CommandEntry& entry : family) handlers_.emplace(entry.word, entry.handler);
    }
  }
  CommandHandler Find(const std::string& word) const {
    const auto it = handlers_.find(word);
    return it == handlers_.end() ? nullptr : it->second;
  }

 private:
  std::unordered_map<std::string, CommandHandler> handlers_;
};

const CommandTable& Commands() {
  static const CommandTable table;
  return table;
}

}  // namespace

void ScriptStore::AddLine(std::string text, int n) {
  if (n < 1) return;
  if (lines_.size() <= static_cast<size_t>(n)) lines_.resize(static_cast<size_t>(n) + 1);
  lines_[static_cast<size_t>(n)] = std::move(text);
  line_count_ = n;
}

void VariableStore::Clear() {
  for (auto& slot : slots_) slot.clear();
  names_.clear();
}

int VariableStore::NamedSlot(std::string_view name) {
  for (size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return kFirstNamedSlot + static_cast<int>(i);
  }
  if (names_.size() >= kMaxNames) return -1;
  names_.emplace_back(name);
  return kFirstNamedSlot + static_cast<int>(names_.size()) - 1;
}

Interpreter::Interpreter(Services services) : svc(services) {
  menu.screen_review = [this] { review.Run(); };
}

void Interpreter::Reset() {
  line_pointer = 1;
  error_flag = false;
  stop_flag = false;
  quiet_end = false;
  command_word.clear();
  call_stack.clear();
  io_status = 0;
  vars.Clear();
  for (auto& list : lists) list = ScriptList{};
  channels.Reset();
  files.Reset();
  svc.console.Delay(1);
  const DateParts date = svc.clock.GetDate();
  const TimeParts time = svc.clock.GetTime();
  start_weekday_ = date.weekday;
  start_hundredths_ =
      ((static_cast<int64_t>(time.hour) * 60 + time.minute) * 60 + time.second) * 100 +
      time.hundredths;
}

int64_t Interpreter::ElapsedHundredths() {
  const DateParts date = svc.clock.GetDate();
  const TimeParts time = svc.clock.GetTime();
  int days = date.weekday - start_weekday_;
  if (days < 0) days += 7;
  const int64_t hour = time.hour + static_cast<int64_t>(days) * 24;
  const int64_t now = ((hour * 60 + time.minute) * 60 + time.second) * 100 + time.hundredths;
  return now - start_hundredths_;
}

RunResult Interpreter::RunScript() {
  line_pointer = 1;
  error_flag = false;
  stop_flag = false;
  command_word.clear();
  call_stack.clear();
  io_status = 0;
  while (line_pointer <= script.LineCount() && !error_flag && !stop_flag) {
    // The line is copied: a command may not change the store, but the copy keeps the handler's
    // argument text independent of it.
    const std::string line = script.Line(line_pointer);
    ExecuteLine(line, false);
    if (!stop_flag && !error_flag) ++line_pointer;
  }
  const RunResult result{error_flag ? 1 : 0, line_pointer};
  script.SetLineCount(0);
  return result;
}

bool Interpreter::ExecuteLine(std::string_view text, bool embedded) {
  const std::string_view line = TrimView(text);
  if (line.empty() || line[0] == '*' || line[0] == '@') return true;
  std::string word;
  size_t i = 0;
  while (i < line.size() && line[i] != ' ') {
    const auto c = static_cast<unsigned char>(line[i]);
    word.push_back(static_cast<char>((c >= 'a' && c <= 'z') ? c - 32 : c));
    ++i;
  }
  std::string args(i < line.size() ? line.substr(i + 1) : std::string_view());
  if (embedded) {
    const std::string folded = FoldUpper(word);
    if (folded == "REPETE" || folded == "ENQUANTO" || folded == "SENAO" ||
        folded == "SEN\xC3O" || folded == "FIM")
      return false;
  }
  const bool ok = Dispatch(word, std::move(args));
  error_flag = !ok;
  return ok;
}

bool Interpreter::Dispatch(std::string_view word, std::string args) {
  TrimInPlace(args);
  if (debug) {
    std::string trace(word);
    trace += ' ';
    trace += args;
    svc.speech.SpeakWriteLine(trace);
  }
  command_word = FoldUpper(word);
  if (const CommandHandler handler = Commands().Find(command_word)) return handler(*this, args);
  svc.speech.SpeakWriteLine(Utf8ToCp1252("Comando inválido: ") + command_word);
  return false;
}

bool Interpreter::FindLabel(std::string_view name) {
  const std::string folded = FoldUpper(name);
  for (int n = 1; n <= script.LineCount(); ++n) {
    const std::string& line = script.Line(n);
    if (line.size() == folded.size() + 1 && line[0] == '@' &&
        FoldUpper(std::string_view(line).substr(1)) == folded) {
      line_pointer = n;
      return true;
    }
  }
  return false;
}

void SayLine(Interpreter& in, std::string_view utf8_message) {
  in.svc.speech.SpeakWriteLine(Utf8ToCp1252(utf8_message));
}

}  // namespace navelo
