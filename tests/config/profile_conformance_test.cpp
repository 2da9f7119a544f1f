// Our navelo.ini reader and writer against the system's own (GetPrivateProfileStringA,
// WritePrivateProfileStringA) on the same awkward files: both readers must give the same value for
// every section and key asked (values cut as ours are, at 49 999 bytes), and a file written by ours
// must read, through the system's functions, as the same file written by the system's. Windows
// builds only.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
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

// The file as the system's functions see it: every section name, and in each the keys and their
// values, in the order listed. Two files that give the same view read the same to every program.
std::string SystemView(const std::filesystem::path& file) {
  const std::string name = file.string();
  std::vector<char> buffer(1 << 20, '\0');
  auto list = [&buffer](DWORD n) {
    // Names end at a zero each and the list at an empty one, but the system's list may hold an
    // empty name (a line "=value"), so its length counts, not the first empty name.
    std::vector<std::string> items;
    for (size_t at = 0; at < n;) {
      items.emplace_back(buffer.data() + at);
      at += items.back().size() + 1;
    }
    return items;
  };
  std::string view;
  const std::vector<std::string> sections = list(GetPrivateProfileSectionNamesA(
      buffer.data(), static_cast<DWORD>(buffer.size()), name.c_str()));
  for (const std::string& section : sections) {
    view += "[" + section + "]\n";
    const std::vector<std::string> keys = list(GetPrivateProfileStringA(
        section.c_str(), nullptr, "", buffer.data(), static_cast<DWORD>(buffer.size()),
        name.c_str()));
    for (const std::string& key : keys) {
      std::string value = SystemRead(file, section, key);
      if (value.size() > 60) {
        value = value.substr(0, 20) + "...(" + std::to_string(value.size()) + ")";
      }
      view += "  " + key + "=" + value + "\n";
    }
  }
  return view;
}

std::string Contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

TEST(ProfileConformanceTest, WhatOurWriterWritesReadsAsWhatTheSystemWrites) {
  TempDir dir;
  const std::string long_value(70000, 'v');
  const std::string mark = "\xEF\xBB\xBF";
  // Each file gets, in turn: a new key in a section it has, a change of a key it has (spelt in
  // another case), a new section, an empty value, a quoted value, a value between blanks.
  const std::vector<std::pair<const char*, std::string>> files = {
      {"duplicate sections and keys", "[A]\r\nk=1\r\nk=2\r\n[B]\r\nk=3\r\n[A]\r\nk=4\r\nj=5\r\n"},
      {"blanks around the equals sign and the names",
       "[ A ]\r\n  k  =  valor com espa\xE7os  \r\n\tt\t=\tv\t\r\n"},
      {"a missing ]", "[A\r\nk=1\r\n[B]\r\nk=2\r\n"},
      {"a missing ] after the section", "[A]\r\nk=1\r\n[B\r\nj=2\r\n"},
      {"quotes", "[A]\r\nk=\"entre aspas\"\r\nb='simples'\r\nc=\"meia\r\n"},
      {"empty values and keys", "[A]\r\n=semchave\r\nsemigual\r\nk=\r\n"},
      {"no final line end", "[A]\r\nk=fim"},
      {"a section header as the last line", "[B]\r\nx=1\r\n[A]"},
      {"CR-only lines", "[A]\rk=1\rj=2\r"},
      {"LF-only lines", "[A]\nk=1\nj=2\n"},
      {"a very long line", "[A]\r\nk=" + long_value + "\r\nj=depois\r\n"},
      {"a very long line last, without its end", "[A]\r\nj=antes\r\nk=" + long_value},
      {"a UTF-8 byte-order mark", mark + "[A]\r\nk=a\xC3\xA7\xC3\xA3o\r\nj=2\r\n"},
      {"blank lines between sections", "[A]\r\nk=1\r\n\r\n\r\n[B]\r\nk=2\r\n"},
      {"comments", "; [A]\r\n[A]\r\n;k=1\r\nk=2 ; nao e comentario\r\n"},
      {"keys before any section", "k=0\r\n[A]\r\nk=1\r\n"},
      {"an empty file", ""},
      {"blank lines only", "\r\n\r\n"},
  };
  const std::vector<Write> writes = {
      {"A", "nova", "valor novo"},
      {"a", "K", "mudado"},
      {"C", "primeira", "\xE9 nova"},
      {"A", "vazia", ""},
      {"A", "aspas", "\"com aspas\""},
      {"A", "j", "  entre brancos  "},
  };
  for (const auto& [what, text] : files) {
    const std::filesystem::path ours = dir.path() / "nosso.ini";
    const std::filesystem::path system = dir.path() / "sistema.ini";
    std::ofstream(ours, std::ios::binary | std::ios::trunc) << text;
    std::ofstream(system, std::ios::binary | std::ios::trunc) << text;
    for (const Write& w : writes) {
      const std::string step =
          std::string(what) + ", then [" + w.section + "] " + w.key + "=" + w.value;
      EXPECT_TRUE(IniWrite(ours, w.section, w.key, w.value)) << step;
      EXPECT_TRUE(WritePrivateProfileStringA(w.section, w.key, w.value, system.string().c_str()))
          << step;
      EXPECT_EQ(SystemView(ours), SystemView(system)) << step;
      EXPECT_EQ(IniRead(ours, w.section, w.key, "<none>"), SystemRead(system, w.section, w.key))
          << step;
    }
    // The file as written by ours, for the record when a view differs.
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << what << ": ours wrote\n" << Contents(ours).substr(0, 400)
                    << "\nthe system's wrote\n" << Contents(system).substr(0, 400);
      return;
    }
  }
}

// The writers' one difference in what they read back, kept on purpose: a new key goes after
// the section's last key, so that a comment heading the next section stays with it; the system's
// writer puts it after the section's last line that is not blank, comments included. Both read
// the same.
TEST(ProfileConformanceTest, ANewKeyGoesBeforeTheCommentThatHeadsTheNextSection) {
  TempDir dir;
  const std::string text = "[A]\r\nk=1\r\n; sobre B\r\n[B]\r\nk=2\r\n";
  const std::filesystem::path ours = dir.path() / "nosso.ini";
  const std::filesystem::path system = dir.path() / "sistema.ini";
  std::ofstream(ours, std::ios::binary | std::ios::trunc) << text;
  std::ofstream(system, std::ios::binary | std::ios::trunc) << text;
  ASSERT_TRUE(IniWrite(ours, "A", "nova", "1"));
  ASSERT_TRUE(WritePrivateProfileStringA("A", "nova", "1", system.string().c_str()));
  EXPECT_EQ(Contents(ours), "[A]\r\nk=1\r\nnova=1\r\n; sobre B\r\n[B]\r\nk=2\r\n");
  EXPECT_GT(Contents(system).find("nova=1"), Contents(system).find("; sobre B"));
  EXPECT_EQ(SystemRead(ours, "A", "nova"), SystemRead(system, "A", "nova"));
}

}  // namespace
}  // namespace navelo::testing
