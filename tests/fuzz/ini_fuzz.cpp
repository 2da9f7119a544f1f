// navelo.ini: reading keys of a file of any bytes, then writing a key into it and reading it back.
#include <fstream>

#include "config/ini_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The first line names the section and the key ("section=key"); the rest is the file.
  const size_t line_end = text.find('\n');
  const std::string_view head = text.substr(0, std::min(line_end, text.size()));
  const std::string_view file_text = line_end == std::string_view::npos ? "" : text.substr(line_end + 1);
  const size_t equals = head.find('=');
  const std::string section(head.substr(0, std::min(equals, head.size())));
  const std::string key(equals == std::string_view::npos ? "PGMNAVELO" : head.substr(equals + 1));
  const fuzz::fs::path file = fuzz::FuzzDir() / "navelo.ini";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(file_text.data(), static_cast<std::streamsize>(file_text.size()));
  }
  (void)IniRead(file, section, key, "padrao");
  (void)IniRead(file, "NAVELO", "TIMEOUT_REDE", "");
  if (IniWrite(file, section, key, "valor novo")) {
    const std::string back = IniRead(file, section, key, "");
    // A key written is read back, unless its names cannot be told apart from the file's lines.
    (void)back;
  }
  fuzz::EmptyFuzzDir();
  return 0;
}
