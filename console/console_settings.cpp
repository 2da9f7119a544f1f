// Reading the console settings.
#include "console/console_settings.h"

#include <climits>

#include "config/ini_file.h"

namespace navelo {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A key's value as the host's profile reader gives it with a value buffer of 80 bytes; found is
// false when the key (or the file) is missing.
std::string ReadKey(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, bool& found) {
  static constexpr std::string_view kMissing = "\x01\x02missing";
  std::string value = IniRead(file, section, key, kMissing);
  found = value != kMissing;
  if (!found) return {};
  if (value.size() > 79) value.resize(79);
  return value;
}

bool StartsWithS(std::string_view value) {
  return !value.empty() && (value[0] == 'S' || value[0] == 's');
}

}  // namespace

int LeadingInteger(std::string_view text, bool* complete) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  long long value = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i, ++digits) {
    const int d = base == 16 ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (d < 0) break;
    if (value < INT_MAX) value = value * base + d;
  }
  if (value > INT_MAX) value = INT_MAX;
  if (complete != nullptr) *complete = digits > 0 && i == text.size();
  return static_cast<int>(negative ? -value : value);
}

std::array<int, 16> ParseColourMap(std::string_view text) {
  ConsoleSettings defaults;
  std::array<int, 16> map = defaults.colour_map;
  size_t start = 0;
  for (int entry = 0; entry < 16 && start <= text.size(); ++entry) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    std::string_view item = text.substr(start, comma - start);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    bool complete = false;
    map[entry] = LeadingInteger(item, &complete);
    if (!complete) break;
    start = comma + 1;
  }
  return map;
}

ConsoleSettings ReadConsoleSettings(const std::filesystem::path& file, int work_width,
                                    int work_height) {
  ConsoleSettings s;
  bool found = false;
  std::string value = ReadKey(file, "VIDEO", "TABCORES", found);
  if (found && !value.empty()) s.colour_map = ParseColourMap(value);
  s.colours_fixed = StartsWithS(ReadKey(file, "VIDEO", "CORESFIXAS", found));
  s.slow_scroll = StartsWithS(ReadKey(file, "VIDEO", "LENTO", found));
  // A key present but empty leaves the colour the run time starts with: black on light grey.
  value = ReadKey(file, "VIDEO", "CORFUNDO", found);
  s.background = !found ? 0 : value.empty() ? 0 : LeadingInteger(value);
  value = ReadKey(file, "VIDEO", "CORLETRA", found);
  s.foreground = !found ? 15 : value.empty() ? 7 : LeadingInteger(value);
  value = ReadKey(file, "BRAILLE", "MODO", found);
  const unsigned char mode_char = !found ? '0' : value.empty() ? 0 : value[0];
  s.braille_mode = mode_char & 3;
  value = ReadKey(file, "VIDEO", "FONTE", found);
  if (found && !value.empty()) s.font_face = value;
  value = ReadKey(file, "VIDEO", "LARGURALETRA", found);
  s.char_width = found && !value.empty() ? LeadingInteger(value)
                                         : static_cast<int>(work_width / 1024.0 * 13);
  value = ReadKey(file, "VIDEO", "ALTURALETRA", found);
  s.char_height = found && !value.empty() ? LeadingInteger(value)
                                          : static_cast<int>(work_height / 734.0 * 28);
  value = ReadKey(file, "VIDEO", "PESOLETRA", found);
  s.weight = found && !value.empty() ? LeadingInteger(value) : 700;
  // Any value that begins with "N" (NAO, NÃO, N) opens the window in its normal size.
  value = ReadKey(file, "VIDEO", "CANTOTELA", found);
  s.maximised = !(found && !value.empty() && (value[0] == 'N' || value[0] == 'n'));
  return s;
}

}  // namespace navelo
