// Console and speech commands: ESCREVE on the console and the keyboard and mouse forms of LE.
#include "console/line_reader.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "tradutor/spoken_editor.h"

namespace navelo {
namespace {

bool Escreve(Interpreter& in, std::string& args) {
  in.io_status = 0;
  if (!args.empty() && args[0] == '#') return WriteChannel(in, args);
  const bool no_line_end = TakeTrailingAmpersand(args);
  bool mute = false;
  if (StartsWithFolded(args, "MUDO")) {
    args.erase(0, 4);
    mute = true;
  }
  TrimInPlace(args);
  Speech& speech = in.svc.speech;
  bool ok = true;
  if (args.empty()) {
    in.svc.console.Write("\r\n");
    if (!mute) speech.Speak("");
  } else {
    std::string joined;
    ok = JoinValues(in, args, joined);
    if (no_line_end) {
      in.svc.console.Write(joined);
    } else {
      in.svc.console.Write(joined + "\r\n");
    }
    if (!mute) speech.Speak(joined);
  }
  if (!ok) return false;
  speech.WaitWhileBusy();
  return true;
}

// The text LE stores for a key: the character, "#" and a control code, or "#0#" and the code of a
// special key; with modifiers, three digits for Shift, Ctrl and Alt first.
// Unless quiet, the key is named aloud as it is read.
std::string KeyText(Interpreter& in, bool with_modifiers, bool quiet) {
  Keyboard& keys = in.svc.keyboard;
  const unsigned char first = quiet ? keys.ReadKey() : in.svc.speech.ReadKeySpoken();
  std::string text;
  const KeyModifiers mods = keys.Modifiers();
  if (first == 0) {
    text = "#0#" + std::to_string(keys.ReadKey());
  } else if (with_modifiers && mods.ctrl && mods.letter && first >= 1 && first <= 26) {
    // A letter typed with Ctrl arrives as its control character; with the modifiers shown the
    // script is told the letter itself (Ctrl+a gives 010#97). Enter and Tab with Ctrl keep their
    // codes (010#10, 010#9).
    text = "#" + std::to_string(first + 96);
  } else if (first < 32 || with_modifiers) {
    text = "#" + std::to_string(first);
  } else {
    text = std::string(1, static_cast<char>(first));
  }
  if (with_modifiers) {
    text.insert(0, std::string{mods.shift ? '1' : '0', mods.ctrl ? '1' : '0', mods.alt ? '1' : '0'});
  }
  return text;
}

// A password line: the typed characters are not shown. The console's echo is dropped (the
// window's colour attribute 0 hides it the same way on screen).
std::string ReadHiddenLine(Interpreter& in) {
  class HiddenEcho final : public Console {
   public:
    explicit HiddenEcho(Console& real) : real_(real) {}
    void Write(std::string_view bytes) override {
      if (bytes == "\r\n") real_.Write(bytes);
    }
    void ClearScreen() override { real_.ClearScreen(); }
    void SetTitle(std::string_view title) override { real_.SetTitle(title); }
    void ShowNormal() override { real_.ShowNormal(); }
    void Minimize() override { real_.Minimize(); }
    void Delay(int ms) override { real_.Delay(ms); }
    void PumpMessages() override { real_.PumpMessages(); }

   private:
    Console& real_;
  };
  HiddenEcho echo(in.svc.console);
  return ConsoleReadLine(in.svc.keyboard, echo);
}

// LE MOUSE: the pointer's position on the screen with TELA, else from the corner of the window's
// text area (the window whose focus the language means can only be ours here: another
// program's window cannot be asked where it is). Without a pointer (the terminal, headless)
// both are 0.
bool ReadMouse(Interpreter& in, std::string& args) {
  Console& console = in.svc.console;
  int x = 0;
  int y = 0;
  const bool pointer = console.PointerPosition(x, y);
  int left = 0;
  int top = 0;
  if (StartsWithFolded(args, "TELA")) {
    args.erase(0, 4);
    TrimInPlace(args);
  } else if (pointer && !console.WindowOrigin(left, top)) {
    left = top = 0;
  }
  if (!pointer) x = y = left = top = 0;
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = std::to_string(x - left);
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = std::to_string(y - top);
  return args.empty();
}

// The spoken line editor over the interpreter's services.
SpokenEditor MakeSpokenEditor(Interpreter& in) {
  Services& svc = in.svc;
  SpokenEditor editor(
      EditorServices{svc.console, svc.keyboard, svc.speech, svc.config, svc.host, svc.clock});
  editor.screen_review = [&in] { in.review.Run(); };
  return editor;
}

bool Le(Interpreter& in, std::string& args) {
  in.io_status = 0;
  if (args.empty()) {
    ConsoleReadLine(in.svc.keyboard, in.svc.console);
    return true;
  }
  if (StartsWithFolded(args, "MOUSE ") || StartsWithFolded(args, "RATO ")) {
    args.erase(0, 5);
    TrimInPlace(args);
    return ReadMouse(in, args);
  }
  bool with_modifiers = false;
  const size_t tecla = FoldUpper(args).find("TECLA ");
  if (tecla != std::string::npos) {
    args.erase(tecla, 6);
    TrimInPlace(args);
    if (args.empty() || args.back() != '&') args += '&';
    with_modifiers = true;
  }
  const bool single_key = TakeTrailingAmpersand(args);
  if (args.empty()) {
    in.svc.keyboard.ReadKey();
    return true;
  }
  if (args[0] == '#') return ReadChannel(in, args);
  bool quiet = false;
  bool hidden = false;
  bool edit = false;
  if (StartsWithFolded(args, "EDITA")) {
    args.erase(0, 5);
    edit = true;
  } else if (StartsWithFolded(args, "CONSOLE ")) {
    // What the piped child of EXECUTA with three "&" has written since the last read.
    args.erase(0, 8);
    int console_slot = 0;
    if (!TakeVariable(in, args, console_slot)) return false;
    in.vars.Slot(console_slot) = in.programs.PipeRead();
    return true;
  } else if (StartsWithFolded(args, "MUDO")) {
    args.erase(0, 4);
    quiet = true;
  } else if (StartsWithFolded(args, "SENHA")) {
    args.erase(0, 5);
    quiet = true;
    hidden = true;
  }
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  std::string value;
  if (single_key) {
    value = KeyText(in, with_modifiers, quiet);
  } else if (quiet) {
    value = hidden ? ReadHiddenLine(in) : ConsoleReadLine(in.svc.keyboard, in.svc.console);
  } else {
    SpokenEditor editor = MakeSpokenEditor(in);
    if (edit) {
      value = in.vars.Slot(slot);
      Console& console = in.svc.console;
      if (editor.EditLineSpoken(value, console.WhereX(), console.WhereY(), 1024) == 27) {
        value.clear();
      }
    } else {
      editor.ReadLineSpoken(value);
    }
  }
  in.vars.Slot(slot) = std::move(value);
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"ESCREVE", Escreve},
    {"LE", Le},
    {"L\xCA", Le},
};

}  // namespace

std::span<const CommandEntry> ConsoleCommands() { return kEntries; }

}  // namespace navelo
