// The standard input stream's line reader.
#include "console/line_reader.h"

namespace navelo {

std::string ConsoleReadLine(Keyboard& keyboard, Console& console, size_t capacity) {
  std::string line;
  for (;;) {
    const unsigned char c = keyboard.ReadKey();
    if (c == 13) break;
    if (c == 8) {
      if (!line.empty()) {
        line.pop_back();
        console.Write("\b");
      }
    } else if (c >= 32 && line.size() + 2 < capacity) {
      line.push_back(static_cast<char>(c));
      console.Write(std::string_view(line).substr(line.size() - 1));
    }
  }
  console.Write("\r\n");
  return line;
}

}  // namespace navelo
