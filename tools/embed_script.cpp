// Build tool: turns a UTF-8 script file of apps/ into a C++ source that holds its lines in cp1252
// as one array, so a program carries its script inside it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "apps/runtime/runtime.h"

namespace {

std::string CppLiteral(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 32 && c < 127 && c != '?') {
      out += static_cast<char>(c);
    } else {
      // Octal escapes have at most three digits, so the next character can never extend them.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", c);
      out += escape;
    }
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: embed_script SCRIPT.tml OUTPUT.cpp SYMBOL\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "embed_script: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The scripts are UTF-8 text in the tree; a byte-order mark makes SplitScriptText convert them.
  if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) text.insert(0, "\xEF\xBB\xBF");
  const auto lines = navelo::SplitScriptText(text);
  const std::string symbol = argv[3];
  std::string out = "// Generated from " + std::string(argv[1]) + " by embed_script; do not edit.\n";
  out += "#include <cstddef>\n\nnamespace navelo {\n\nextern const char* const " + symbol +
         "[];\nextern const std::size_t " + symbol + "Count;\n\nconst char* const " + symbol +
         "[] = {\n";
  for (const auto& line : lines) out += "    " + CppLiteral(line) + ",\n";
  if (lines.empty()) out += "    nullptr,\n";
  out += "};\nconst std::size_t " + symbol + "Count = " + std::to_string(lines.size()) +
         ";\n\n}  // namespace navelo\n";
  const std::string temporary = std::string(argv[2]) + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << out;
    if (!file) return 1;
  }
  return std::rename(temporary.c_str(), argv[2]) == 0 ? 0 : 1;
}
