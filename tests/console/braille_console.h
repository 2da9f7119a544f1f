// A console on the headless display with a braille display bound to it, and the cells a row of
// text should arrive as: shared by the tests of the braille bindings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/braille_output.h"
#include "console/console_window.h"
#include "platform/display.h"
#include "platform/transcript.h"

namespace navelo {

struct BrailleConsole {
  // ini_path: a navelo.ini that does not exist, as the platform spells paths.
  BrailleConsole(BrailleDisplay& braille, const char* ini_path)
      : display(MakeHeadlessDisplay(false)),
        console(ConsoleWindow::Wiring{*display, transcript, tones,
                                      [ini_path] { return std::string(ini_path); }, [](int) {}}) {
    console.UseBraille(braille);
  }
  std::unique_ptr<Display> display;
  Transcript transcript;
  SilentToneOutput tones;
  ConsoleWindow console;
};

// The cells of text's characters, padded with blank cells to count.
inline std::vector<uint8_t> CellsOf(std::string_view text, size_t count) {
  std::vector<uint8_t> cells;
  for (const char c : text) cells.push_back(BrailleCell(static_cast<unsigned char>(c)));
  cells.resize(count, 0);
  return cells;
}

}  // namespace navelo
