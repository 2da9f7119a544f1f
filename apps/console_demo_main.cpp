// console_demo: opens the console with the backend NAVELO_CONSOLE names (the window by default)
// and shows every colour, a scrolled text and the magnified line, then waits for a key and tells
// which bytes it gave. A tool for looking at the console with one's own eyes.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "console/console_window.h"
#include "platform/display.h"
#include "platform/terminal.h"
#include "platform/text_encoding.h"
#include "platform/transcript.h"

namespace {

std::unique_ptr<navelo::Display> MakeDisplay() {
  const char* mode = std::getenv("NAVELO_CONSOLE");
  const std::string m = mode != nullptr ? mode : "";
  if (m == "terminal") return navelo::MakeTerminalDisplay();
  if (m == "headless") return navelo::MakeHeadlessDisplay(true);
  if (navelo::DisplayAvailable()) {
    if (auto window = navelo::MakeWindowDisplay()) return window;
  }
  return navelo::StdoutIsTerminal() ? navelo::MakeTerminalDisplay()
                                    : navelo::MakeHeadlessDisplay(true);
}

}  // namespace

int main(int argc, char** argv) {
  using navelo::Utf8ToCp1252;
  // console_demo [navelo.ini]: the settings file to read, none by default.
  const std::filesystem::path ini = argc > 1 ? argv[1] : "/nonexistent/navelo.ini";
  auto display = MakeDisplay();
  navelo::Transcript transcript;
  navelo::SilentToneOutput tones;
  navelo::ConsoleWindow console(navelo::ConsoleWindow::Wiring{
      *display, transcript, tones, [&] { return ini; },
      [](int code) {
        navelo::TerminalRestore();
        std::exit(code);
      }});
  console.SetTitle("console_demo");
  console.ClearScreen();
  for (int line = 1; line <= 30; ++line) {
    console.Write("linha " + std::to_string(line) + " rolada para cima\r\n");
  }
  console.ClearScreen();
  console.SetTextColor(14);
  console.SetTextBackground(1);
  console.Write(Utf8ToCp1252("  Console de 80 colunas e 25 linhas: acentuação, cedilha ç, ÁÉÍÓÚ ãõ  "));
  console.SetTextBackground(0);
  console.Write("\r\n\r\n");
  for (int background = 0; background < 16; background += 4) {
    for (int foreground = 0; foreground < 16; ++foreground) {
      console.SetTextBackground(background + foreground / 4);
      console.SetTextColor(foreground);
      console.Write(" cor " + std::string(foreground < 10 ? " " : "") + std::to_string(foreground));
    }
    console.SetTextBackground(0);
    console.Write("\r\n");
  }
  console.SetTextColor(15);
  console.Write("\r\n");
  console.SetTextColor(10);
  console.Write(Utf8ToCp1252("Linha ampliada abaixo (fator 2), com o caractere antes do cursor marcado."));
  console.SetTextColor(7);
  console.GotoXY(1, 24);
  console.Write("Tecle algo (Esc termina): ");
  console.MagnifierSetColours(14, 6, 3);
  console.MagnifierStart(19, 2);
  console.MagnifiedLineShow(Utf8ToCp1252("Endereço: Rua das Flores, 123"), 12);
  for (;;) {
    const unsigned char key = console.ReadKey();
    console.GotoXY(27, 24);
    console.ClearToLineEnd();
    std::string shown = std::to_string(key);
    if (key == 0) shown += " " + std::to_string(console.ReadKey());
    const auto mods = console.Modifiers();
    shown += std::string(" [") + (mods.shift ? "S" : "-") + (mods.ctrl ? "C" : "-") +
             (mods.alt ? "A" : "-") + "]";
    console.Write(shown);
    if (key == 27) break;
  }
  console.ProgramFinished();
  console.Delay(300);
  navelo::TerminalRestore();
  return 0;
}
