// Assignment and the interpreter's own switches: SEJA with its words and functions, RANDOMIZA
// and DEBUG.
#include <chrono>

#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

std::string TwoDigits(int n) {
  std::string text = std::to_string(n);
  return n < 10 ? "0" + text : text;
}

// The inverse of the key texts that LE stores: "#65" and "100#65" give "A".
std::string KeyTextToByte(const std::string& v) {
  std::string_view rest = v;
  if (v.size() > 4 && v[3] == '#') {
    for (int i = 0; i < 3; ++i) {
      if (v[i] != '0' && v[i] != '1') return {};
    }
    rest.remove_prefix(3);
  } else if (v.empty() || v[0] != '#') {
    return {};
  }
  rest.remove_prefix(1);
  if (rest.empty() || rest[0] == '0') return {};
  const auto code = ParseInteger(rest);
  if (!code) return {};
  return std::string(1, static_cast<char>(static_cast<uint32_t>(*code) & 0xFF));
}

bool AssignWord(Interpreter& in, const std::string& folded, std::string& target) {
  if (folded == "PARAMS") {
    std::string value = std::to_string(in.params.size());
    for (const auto& param : in.params) {
      value += ' ';
      for (char c : param) {
        if (c == ' ') {
          value += "%20";
        } else {
          value += c;
        }
      }
    }
    target = value;
  } else if (folded == "DATA") {
    const DateParts d = in.svc.clock.GetDate();
    target = TwoDigits(d.day) + "/" + TwoDigits(d.month) + "/" + std::to_string(d.year);
  } else if (folded == "CRLF") {
    target = "\r\n";
  } else if (folded == "HORA") {
    const TimeParts t = in.svc.clock.GetTime();
    target = TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
  } else if (folded == "DIA") {
    static const char* const kDays[] = {"Domingo", "Segunda", "Terça", "Quarta",
                                        "Quinta",  "Sexta",   "Sábado"};
    const int weekday = in.svc.clock.GetDate().weekday;
    target = Utf8ToCp1252(kDays[(weekday % 7 + 7) % 7]);
  } else if (folded == "TEMPO") {
    target = std::to_string(in.ElapsedHundredths());
  } else {
    return false;
  }
  return true;
}

// The function words of SEJA, tried in this order.
enum class Function { kTamanho, kMaiusc, kTrim, kPos, kRand, kPalavra, kChr, kAsc };
struct FunctionWord {
  std::string_view word;
  Function function;
};
constexpr FunctionWord kFunctions[] = {
    {"TAMANHO ", Function::kTamanho}, {"MAIUSC ", Function::kMaiusc}, {"TRIM ", Function::kTrim},
    {"POS ", Function::kPos},         {"RAND ", Function::kRand},
    {"PALAVRA ", Function::kPalavra}, {"CHR ", Function::kChr},       {"ASC ", Function::kAsc},
};

// Applies a function word; returns false when the command fails.
bool ApplyFunction(Interpreter& in, Function function, std::string& rest, std::string& target) {
  std::string a;
  std::string b;
  if (!TakeValue(in, rest, a)) return false;
  const bool two = function == Function::kPos || function == Function::kPalavra;
  if (two && !TakeValue(in, rest, b)) return false;
  if (!rest.empty()) return false;
  switch (function) {
    case Function::kTamanho: target = std::to_string(a.size()); return true;
    case Function::kMaiusc: target = FoldUpper(a); return true;
    case Function::kTrim: target = Trim(a); return true;
    case Function::kPos: target = std::to_string(PositionOf(a, b)); return true;
    case Function::kRand: {
      const auto bound = ParseInteger(a);
      if (!bound) return false;
      // A negative bound mirrors the positive one: a number from bound + 1 up to 0.
      const int64_t magnitude = *bound < 0 ? -static_cast<int64_t>(*bound) : *bound;
      int64_t n = 0;
      if (magnitude > 0) {
        n = static_cast<int64_t>(in.random() % static_cast<uint64_t>(magnitude));
      }
      target = std::to_string(*bound < 0 ? -n : n);
      return true;
    }
    case Function::kPalavra: {
      const auto n = ParseInteger(a);
      if (!n || *n < 1) return false;
      std::string v = b;
      for (int32_t i = 1; i < *n && !v.empty(); ++i) {
        const size_t blank = v.find(' ');
        if (blank == std::string::npos) {
          v.clear();
        } else {
          v.erase(0, blank + 1);
          TrimInPlace(v);
        }
      }
      const size_t blank = v.find(' ');
      if (blank != std::string::npos) v.erase(blank);
      target = v;
      return true;
    }
    case Function::kChr: target = KeyTextToByte(a); return true;
    case Function::kAsc:
      target = a.size() == 1 ? "#" + std::to_string(static_cast<unsigned char>(a[0])) : "";
      return true;
  }
  return false;
}

bool Seja(Interpreter& in, std::string& args) {
  int slot = 0;
  if (!TakeVariable(in, args, slot) || args.empty()) return false;
  if (args[0] == '=') {
    args.erase(0, 1);
    TrimInPlace(args);
    if (args.empty()) return false;
  }
  std::string& target = in.vars.Slot(slot);
  if (AssignWord(in, FoldUpper(args), target)) return true;
  for (const auto& f : kFunctions) {
    if (StartsWithFolded(args, f.word)) {
      std::string rest = args.substr(f.word.size());
      TrimInPlace(rest);
      std::string result;
      if (!ApplyFunction(in, f.function, rest, result)) return false;
      in.vars.Slot(slot) = std::move(result);
      return true;
    }
  }
  std::string value;
  if (!TakeValue(in, args, value)) return false;
  in.vars.Slot(slot) = std::move(value);
  return args.empty();
}

bool Randomiza(Interpreter& in, std::string& args) {
  if (!args.empty()) return false;
  in.random.seed(static_cast<uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  return true;
}

bool Debug(Interpreter& in, std::string& args) {
  if (args == "-" || (!args.empty() && args[0] == 'N')) {
    in.debug = false;
    SayLine(in, "Debug desligado");
  } else {
    in.debug = true;
    SayLine(in, "Debug ligado");
  }
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"SEJA", Seja},
    {"RANDOMIZA", Randomiza},
    {"DEBUG", Debug},
};

}  // namespace

std::span<const CommandEntry> ValueCommands() { return kEntries; }

}  // namespace navelo
