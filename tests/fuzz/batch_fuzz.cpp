// The batch-file runner on whole batch files, with every path inside a private folder and no
// sleeping.

#include <cctype>

#include "sys/batch_runner.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Paths outside the private folder are not offered: ".." anywhere, and "/" except in the
// switches of timeout, exit and set ("/t", "/nobreak") on a line whose redirections discard.
bool Acceptable(std::string_view text) {
  if (text.find("..") != std::string_view::npos) return false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.find('/') == std::string_view::npos) continue;
    // A redirection may only discard (">nul").
    for (size_t i = line.find('>'); i != std::string_view::npos; i = line.find('>', i + 1)) {
      std::string target(line.substr(i + 1, 3));
      for (char& c : target) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (target != "nul" || (i + 4 < line.size() && line[i + 4] != ' ' && line[i + 4] != '\r')) {
        return false;
      }
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '@')) line.remove_prefix(1);
    std::string word(line.substr(0, std::min(line.find(' '), line.size())));
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word != "timeout" && word != "exit" && word != "set") return false;
    for (size_t i = line.find('/'); i != std::string_view::npos; i = line.find('/', i + 1)) {
      if (i == 0 || line[i - 1] != ' ') return false;
      size_t j = i + 1;
      while (j < line.size() && std::isalpha(static_cast<unsigned char>(line[j]))) ++j;
      if (j == i + 1 || (j < line.size() && line[j] != ' ' && line[j] != '\r')) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  navelo::fuzz::CapWrittenFiles();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  using namespace navelo::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!Acceptable(text)) return -1;
  const fs::path back = fs::current_path();
  fs::current_path(FuzzDir());
  {
    HostEnvironment host(FuzzEnvironment(), FuzzDir().string());
    size_t written = 0;
    auto sink = [&written](std::string_view bytes) { written += bytes.size(); };
    BatchRunner runner(host, FuzzEnvironment(), {"c:\\x.bat", "um", "dois"}, sink, sink,
                       [](int) {});
    runner.Run(text);
  }
  fs::current_path(back);
  EmptyFuzzDir();
  return 0;
}
