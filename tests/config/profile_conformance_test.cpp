// Our navelo.ini reader against the system's own (GetPrivateProfileStringA) on the same awkward
// files: both must give the same value for every section and key asked (values cut as ours are,
// at 49 999 bytes). Windows builds only.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "temp_host.h"

namespace navelo::testing {
namespace {

struct Case {
  const char* what;
  std::string text;
  std::vector<std::pair<std::string, std::string>> asked;  // section, key
};

std::string SystemRead(const std::filesystem::path& file, const std::string& section,
                       const std::string& key) {
  std::vector<char> buffer(50000, '\0');
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", buffer.data(),
                                           static_cast<DWORD>(buffer.size()),
                                           file.string().c_str());
  return std::string(buffer.data(), n);
}

TEST(ProfileConformanceTest, OurReaderGivesWhatTheSystemGives) {
  TempDir dir;
  const std::string long_value(70000, 'v');
  const std::vector<Case> cases = {
      {"duplicate sections and keys",
       "[A]\r\nk=1\r\nk=2\r\n[B]\r\nk=3\r\n[A]\r\nk=4\r\nj=5\r\n",
       {{"A", "k"}, {"B", "k"}, {"A", "j"}, {"a", "K"}}},
      {"blanks around the equals sign and the names",
       "[ S ]\r\n  chave  =  valor com espaços  \r\n\tt\t=\tv\t\r\n",
       {{"S", "chave"}, {"S", "t"}, {" S ", "chave"}}},
      {"a missing ]", "[S\r\nk=1\r\n[T]\r\nk=2\r\n", {{"S", "k"}, {"T", "k"}}},
      {"quotes", "[S]\r\na=\"entre aspas\"\r\nb='simples'\r\nc=\"meia\r\nd=\"\"\r\n",
       {{"S", "a"}, {"S", "b"}, {"S", "c"}, {"S", "d"}}},
      {"empty values and keys", "[S]\r\nvazio=\r\n=semchave\r\nsemigual\r\n",
       {{"S", "vazio"}, {"S", "semigual"}, {"S", "outra"}}},
      {"no final line end", "[S]\r\nk=fim", {{"S", "k"}}},
      {"CR-only lines", "[S]\rk=1\rj=2\r", {{"S", "k"}, {"S", "j"}}},
      {"LF-only lines", "[S]\nk=1\nj=2\n", {{"S", "k"}, {"S", "j"}}},
      {"a very long line", "[S]\r\nk=" + long_value + "\r\nj=depois\r\n", {{"S", "k"}, {"S", "j"}}},
      {"comments", "; [S]\r\n[S]\r\n;k=1\r\nk=2 ; nao e comentario\r\n",
       {{"S", "k"}, {"S", "; [S]"}}},
      {"a key before any section", "k=0\r\n[S]\r\nk=1\r\n", {{"S", "k"}}},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = dir.path() / "caso.ini";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
    for (const auto& [section, key] : c.asked) {
      EXPECT_EQ(IniRead(file, section, key, "<none>"), SystemRead(file, section, key))
          << c.what << ": [" << section << "] " << key;
    }
  }

  // The one difference, kept on purpose: a line that starts with ";" is a comment to our reader
  // (hand-edited navelo.ini files use it so, and our writer never writes such a key), while the
  // system's reads it as a key named with the ";".
  const std::filesystem::path file = dir.path() / "comentario.ini";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "[S]\r\n;k=1\r\n";
  EXPECT_EQ(IniRead(file, "S", ";k", "<none>"), "<none>");
  EXPECT_EQ(SystemRead(file, "S", ";k"), "1");
}

}  // namespace
}  // namespace navelo::testing
