// Desktop automation commands: DIGITA, ACIONA, CLICA, TRANSFERE, JANELA, CAPTURA, MSAA, IMAGEM,
// SENSOR.
#include <filesystem>
#include <system_error>

#include "console/bmp.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// Says why the desktop cannot be worked from here ("DIGITA não disponível: não há display
// gráfico.") and fails the command.
bool Unavailable(Interpreter& in, const std::string& utf8_reason) {
  in.svc.speech.SpeakWriteLine(in.command_word + Utf8ToCp1252(" não disponível: " + utf8_reason +
                                                             "."));
  return false;
}

bool InputReady(Interpreter& in) {
  std::string reason;
  if (in.keys.Ready(reason)) return true;
  return Unavailable(in, reason);
}

bool WindowsReady(Interpreter& in) {
  std::string reason = "não há como ver as janelas neste sistema";
  if (in.windows && in.windows->Ready(reason)) return true;
  return Unavailable(in, reason);
}

bool Digita(Interpreter& in, std::string& args) {
  const bool no_enter = TakeTrailingAmpersand(args);
  std::string text;
  if (!TakeValue(in, args, text) || !args.empty()) return false;
  if (!InputReady(in)) return false;
  in.keys.TypeText(text, 100);
  if (!no_enter) in.keys.PressKey(13, false, false, 100, false);
  return true;
}

struct KeyName {
  std::string_view name;
  int code;
};
constexpr KeyName kKeyNames[] = {
    {"UP", 38},     {"DOWN", 40},    {"LEFT", 37},      {"RIGHT", 39},    {"ESCAPE", 27},
    {"ESC", 27},    {"ENTER", 13},   {"RETURN", 13},    {"BACKSPACE", 8}, {"TAB", 9},
    {"INS", 45},    {"HOME", 36},    {"DEL", 46},       {"DELETE", 46},   {"END", 35},
    {"PAGEUP", 33}, {"PRIOR", 33},   {"PAGEDN", 34},    {"NEXT", 34},     {"SNAPSHOT", 44},
    {"F1", 112},    {"F2", 113},     {"F3", 114},       {"F4", 115},      {"F5", 116},
    {"F6", 117},    {"F7", 118},     {"F8", 119},       {"F9", 120},      {"F10", 121},
    {"F11", 122},   {"F12", 123},
};

bool TakePrefix(std::string& text, std::string_view prefix) {
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  text.erase(0, prefix.size());
  return true;
}

bool Aciona(Interpreter& in, std::string& args) {
  std::string value;
  if (!TakeValue(in, args, value) || value.empty() || !args.empty()) return false;
  if (value.size() == 1) {
    if (!InputReady(in)) return false;
    in.keys.TypeKeyOf(static_cast<unsigned char>(value[0]));
    return true;
  }
  std::string rest = FoldUpper(value);
  const bool ctrl = TakePrefix(rest, "CTRL+");
  const bool shift = TakePrefix(rest, "SHIFT+");
  const bool alt = TakePrefix(rest, "ALT+");
  if (rest.empty()) return false;
  int code = -1;
  for (const KeyName& k : kKeyNames) {
    if (rest == k.name) code = k.code;
  }
  if (code < 0) {
    if (rest[0] == '#') {
      const auto n = ParseInteger(std::string_view(rest).substr(1));
      if (!n) return false;
      code = *n & 0xFF;
    } else {
      if (rest.size() != 1) return false;
      code = FoldUpperByte(static_cast<unsigned char>(rest[0]));
    }
  }
  if (!InputReady(in)) return false;
  in.keys.PressKey(code, ctrl, shift, 100, alt);
  return true;
}

bool TakeInteger(Interpreter& in, std::string& args, int& n) {
  std::string text;
  if (!TakeValue(in, args, text)) return false;
  const auto parsed = ParseInteger(text);
  if (!parsed) return false;
  n = *parsed;
  return true;
}

bool Clica(Interpreter& in, std::string& args) {
  enum class Kind { kSingle, kDouble, kMove } kind = Kind::kSingle;
  TrimInPlace(args);
  if (StartsWithFolded(args, "DUPLO")) {
    args.erase(0, 5);
    kind = Kind::kDouble;
  } else if (StartsWithFolded(args, "NULO")) {
    args.erase(0, 4);
    kind = Kind::kMove;
  }
  TrimInPlace(args);
  bool screen = false;
  if (StartsWithFolded(args, "TELA")) {
    args.erase(0, 4);
    screen = true;
  }
  int x = 0, y = 0;
  if (!TakeInteger(in, args, x)) return false;
  TrimInPlace(args);
  if (!args.empty() && args[0] == ',') args.erase(0, 1);
  if (!TakeInteger(in, args, y)) return false;
  if (!InputReady(in)) return false;
  int origin_x = 0, origin_y = 0;
  if (!screen) {
    if (!WindowsReady(in)) return false;
    DesktopWindow active;
    ScreenRect rect;
    if (in.windows->Foreground(active, 0) && in.windows->WindowRect(active.id, rect)) {
      origin_x = rect.left + in.windows->FrameWidth();
      origin_y = rect.top + 4;
    }
  }
  const int64_t px = static_cast<int64_t>(origin_x) + x;
  const int64_t py = static_cast<int64_t>(origin_y) + y;
  // A point off the screen is refused rather than clicked at the nearest edge, where something
  // else may lie.
  int width = 0, height = 0;
  if (in.keys.ScreenSize(width, height) &&
      (px < 0 || py < 0 || px >= width || py >= height)) {
    return false;
  }
  switch (kind) {
    case Kind::kSingle: in.keys.PointerClick(static_cast<int>(px), static_cast<int>(py)); break;
    case Kind::kDouble: in.keys.PointerDoubleClick(static_cast<int>(px), static_cast<int>(py)); break;
    case Kind::kMove: in.keys.PointerMove(static_cast<int>(px), static_cast<int>(py)); break;
  }
  return args.empty();
}

bool Transfere(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  bool to_clipboard = false;
  if (StartsWithFolded(args, "DE ")) {
    args.erase(0, 3);
    to_clipboard = true;
  } else if (StartsWithFolded(args, "PARA ")) {
    args.erase(0, 5);
  } else {
    return false;
  }
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  TrimInPlace(args);
  if (!args.empty()) return false;
  if (to_clipboard) {
    in.svc.console.ClipboardPut(in.vars.Slot(slot));
  } else {
    in.svc.console.ClipboardGet(in.vars.Slot(slot), 1000000);
  }
  return true;
}

// The first word of the argument text, folded, and the text after it.
std::string TakeWord(std::string& args) {
  const size_t blank = args.find(' ');
  std::string word = FoldUpper(std::string_view(args).substr(0, blank));
  args.erase(0, blank == std::string::npos ? args.size() : blank);
  TrimInPlace(args);
  return word;
}

bool TitleMatches(std::string_view title, std::string_view pattern) {
  bool at_start = false, at_end = false;
  if (!pattern.empty() && pattern.front() == '*') {
    at_start = true;
    pattern.remove_prefix(1);
  }
  if (!pattern.empty() && pattern.back() == '*') {
    at_end = true;
    pattern.remove_suffix(1);
  }
  if (at_start && at_end) return title == pattern;
  if (at_start) return title.starts_with(pattern);
  if (at_end) return title.ends_with(pattern);
  return title.find(pattern) != std::string_view::npos;
}

bool Janela(Interpreter& in, std::string& args) {
  in.io_status = 0;
  if (args.empty()) return false;
  const std::string action = TakeWord(args);
  std::string title;
  if (!TakeValue(in, args, title)) return false;
  const std::string wanted = FoldUpper(title);
  if (!WindowsReady(in)) return false;
  for (const DesktopWindow& window : in.windows->Windows(143)) {
    if (!TitleMatches(FoldUpper(window.title), wanted)) continue;
    if (action == "FECHA") {
      in.windows->Act(window.id, WindowAction::kClose);
    } else if (action == "NORMAL") {
      in.windows->Act(window.id, WindowAction::kNormal);
    } else if (action == "MAXIMIZA") {
      in.windows->Act(window.id, WindowAction::kMaximise);
    } else if (action == "MINIMIZA") {
      in.windows->Act(window.id, WindowAction::kMinimise);
    } else {
      return false;
    }
    return true;
  }
  in.io_status = 1;
  return true;
}

bool Captura(Interpreter& in, std::string& args) {
  if (args.empty()) return false;
  const std::string word = TakeWord(args);
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  std::string text;
  if (word == "T\xCDTULO" || word == "TITULO" || word == "ATIVA" || word == "FOCO") {
    if (!WindowsReady(in)) return false;
    DesktopWindow active;
    if (in.windows->Foreground(active, 254)) {
      // The focus within this program: its own window, when that is the one in front.
      if (word != "FOCO" || (active.id != 0 && active.id == in.svc.console.WindowHandle())) {
        text = active.title;
      }
    }
  } else if (word == "CAMPO") {
    if (!InputReady(in)) return false;
    in.keys.PressKey(36, false, false, 100, false);
    in.keys.PressKey(35, false, true, 100, false);
    in.keys.PressKey(45, true, false, 100, false);
    in.svc.console.ClipboardGet(text, 255);
  }
  in.vars.Slot(slot) = text;
  return true;
}

bool StoreText(Interpreter& in, std::string& args, const std::string& text) {
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = text;
  return true;
}

bool Msaa(Interpreter& in, std::string& args) {
  TrimInPlace(args);
  AccessibilityMonitor& acc = in.accessibility;
  auto sub = [&args](std::string_view word) {
    if (!StartsWithFolded(args, word)) return false;
    args.erase(0, word.size());
    TrimInPlace(args);
    return true;
  };
  const AccProperties& p = acc.Properties();
  if (sub("MONITORA")) {
    acc.AccMonitorStart();
    return true;
  }
  if (sub("FIM")) {
    acc.AccMonitorStop();
    return true;
  }
  if (sub("CHECA")) {
    int slot = 0;
    if (!TakeVariable(in, args, slot)) return false;
    in.vars.Slot(slot) = acc.AccNextEvent() ? "1" : "0";
    return true;
  }
  if (sub("CAPTURA")) {
    int x = 0, y = 0;
    if (!TakeInteger(in, args, x)) return false;
    if (!args.empty() && args[0] == ',') args.erase(0, 1);
    if (!TakeInteger(in, args, y)) return false;
    acc.AccObjectAt(x, y);
    return true;
  }
  if (sub("AREA") || sub("\xC1REA")) {
    for (int n : {p.left, p.top, p.width, p.height}) {
      if (!StoreText(in, args, DecimalText(n))) return false;
    }
    return true;
  }
  if (sub("NOME")) return StoreText(in, args, p.name);
  if (sub("CODIGO") || sub("C\xD3" "DIGO")) return StoreText(in, args, DecimalText(p.role_code));
  if (sub("TIPO")) return StoreText(in, args, p.role_text);
  if (sub("ESTADO")) return StoreText(in, args, p.state_text);
  if (sub("VALOR")) return StoreText(in, args, p.value);
  return false;
}

bool EndsWithFolded(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && FoldUpper(text.substr(text.size() - suffix.size())) == suffix;
}

bool Imagem(Interpreter& in, std::string& args) {
  Console& console = in.svc.console;
  if (args.empty()) {
    console.PictureClear();
    return true;
  }
  const bool quiet = TakeTrailingAmpersand(args);
  std::string file;
  if (!TakeValue(in, args, file)) return false;
  int x = 0, y = 0;
  if (!args.empty()) {
    if (!TakeInteger(in, args, x) || !TakeInteger(in, args, y) || !args.empty()) return false;
  }
  console.PictureClear();
  const std::string name = Trim(file);
  if (name.empty()) return true;
  std::filesystem::path path = in.svc.host.Resolve(name);
  std::error_code error;
  bool temporary = false;
  if ((EndsWithFolded(name, ".JPG") || EndsWithFolded(name, ".JPEG")) &&
      std::filesystem::is_regular_file(path, error)) {
    const std::filesystem::path target = in.svc.host.Resolve("c:\\$$$.bmp");
    std::filesystem::remove(target, error);
    DecodedJpeg picture;
    std::string reason;
    if (DecodeJpegFile(path, picture, reason)) {
      WriteBmpFile(target, picture.width, picture.height, picture.grey, picture.pixels);
    }
    path = target;
    temporary = true;
  }
  if (console.PictureLoad(path) != PictureResult::kLoaded) return quiet;
  console.PictureShow(x, y);
  if (temporary) std::filesystem::remove(path, error);
  return true;
}

bool Sensor(Interpreter& in, std::string& args) {
  std::string reason;
  const bool loaded = in.sensor.Load(reason);
  if (!loaded) in.svc.speech.SpeakWriteLine(Utf8ToCp1252(reason));
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = "0";
  if (loaded) {
    const int first = in.sensor.Scan();
    if (first) in.vars.Slot(slot) = DecimalText(first);
  }
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"DIGITA", Digita},   {"ACIONA", Aciona}, {"CLICA", Clica},
    {"TRANSFERE", Transfere}, {"JANELA", Janela}, {"CAPTURA", Captura},
    {"MSAA", Msaa},       {"IMAGEM", Imagem}, {"SENSOR", Sensor},
};

}  // namespace

std::span<const CommandEntry> AutomationCommands() { return kEntries; }

std::string ForegroundWindowTitle(Interpreter& in, size_t max_title) {
  std::string reason;
  DesktopWindow active;
  if (!in.windows || !in.windows->Ready(reason) || !in.windows->Foreground(active, max_title)) {
    return {};
  }
  return active.title;
}

}  // namespace navelo
