// Splitting a script file into its lines.
#include "apps/runtime/runtime.h"
#include "platform/text_encoding.h"

namespace navelo {

std::vector<std::string> SplitScriptText(std::string_view bytes) {
  std::string text;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = Utf8ToCp1252(bytes.substr(3));
  } else {
    text = std::string(bytes);
  }
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace navelo
