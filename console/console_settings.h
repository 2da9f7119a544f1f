// The console's settings, read straight from navelo.ini (sections VIDEO and BRAILLE) without the
// "@" expansions, with the defaults of a fresh host.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace navelo {

struct ConsoleSettings {
  std::array<int, 16> colour_map{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  bool colours_fixed = false;
  bool slow_scroll = false;
  int background = 0;
  int foreground = 15;
  int braille_mode = 0;
  std::string font_face = "Lucida Console";  // cp1252
  int char_width = 0;
  int char_height = 0;
  int weight = 700;
  bool maximised = true;

  unsigned char Attribute() const {
    return static_cast<unsigned char>((background * 16) | foreground);
  }
};

// The run time's whole-number rule: leading blanks skipped, an optional sign, decimal digits or
// hexadecimal ones after "$" or "0x"; the digits read before the first that does not fit make the
// value. complete (when given) tells whether the whole text was a number.
int LeadingInteger(std::string_view text, bool* complete = nullptr);

// TABCORES: up to 16 comma-separated numbers from entry 0 on; the first entry that is not a whole
// number still stores its leading digits and ends the list.
std::array<int, 16> ParseColourMap(std::string_view text);

// The settings of the file (missing file or keys: the defaults). work_width and work_height, the
// usable screen area in pixels, give the character size when the file names none.
ConsoleSettings ReadConsoleSettings(const std::filesystem::path& ini_file, int work_width,
                                    int work_height);

}  // namespace navelo
