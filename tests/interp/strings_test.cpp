// Tests of the string, number, encoding and file-size commands, run through the line executor.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fake_services.h"

namespace navelo::testing {
namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Drive C of the scripts is a fresh temporary folder for every test; commands run one line at a
// time.
class StringsTest : public InterpreterTest {
 protected:
  bool Run(std::string_view line) { return in.ExecuteLine(line, false); }
  fs::path File(const std::string& name) const { return dir_ / name; }
};

TEST_F(StringsTest, SomaStepsTheNumberAtTheEnd) {
  const struct {
    std::string before;
    std::string line;
    std::string after;
  } cases[] = {
      {"p4", "soma a 1", "p5"},        {"abc", "soma a 2", "abc2"},
      {"arq9", "soma a 1", "arq10"},   {"", "soma a 5", "5"},
      {"x-3", "soma a 1", "x-2"},      {"12", "soma a -20", "-8"},
      {"x--3", "soma a 5", "x-2"},     {"x-", "soma a 1", "x1"},
      {"a007", "soma a 1", "a8"},      {"2147483647", "soma a 1", "-2147483648"},
      {"n99999999999", "soma a 1", "n1"},  // a number part beyond 32 bits counts as 0
      {"7", "soma a h resto", "23"},  // hex value, trailing text ignored
  };
  Var('H') = "$10";
  for (const auto& c : cases) {
    Var('A') = c.before;
    EXPECT_TRUE(Run(c.line)) << c.before << " / " << c.line;
    EXPECT_EQ(Var('A'), c.after) << c.before << " / " << c.line;
  }
  Var('A') = "p4";
  Var('B') = "abc";
  EXPECT_FALSE(Run("soma a b"));
  EXPECT_FALSE(Run("soma a"));
  EXPECT_FALSE(Run("soma 1 1"));
  EXPECT_EQ(Var('A'), "p4");
}

TEST_F(StringsTest, SubtractMultiplyDivide) {
  const struct {
    std::string before;
    std::string line;
    std::string after;
  } cases[] = {
      {"10", "subtrai a 3", "7"},         {"7", "divide a 2", "3"},
      {"-7", "divide a 2", "-3"},         {"6", "multiplica a -7", "-42"},
      {"65536", "multiplica a 65536", "0"},  // wraps to 32 bits
      {"-2147483648", "subtrai a 1", "2147483647"},
      {"-2147483648", "divide a -1", "-2147483648"},
      {" 12", "subtrai a 12", "0"},
  };
  for (const auto& c : cases) {
    Var('A') = c.before;
    EXPECT_TRUE(Run(c.line)) << c.before << " / " << c.line;
    EXPECT_EQ(Var('A'), c.after) << c.before << " / " << c.line;
  }
}

TEST_F(StringsTest, ArithmeticFailures) {
  Var('A') = "abc";
  EXPECT_FALSE(Run("subtrai a 1"));
  EXPECT_EQ(Var('A'), "abc");

  Var('A') = "5";
  EXPECT_FALSE(Run("subtrai a"));
  EXPECT_FALSE(Run("multiplica a \"x\""));
  EXPECT_EQ(Var('A'), "5");

  // Text after the value fails the command, but the result is already stored.
  EXPECT_FALSE(Run("subtrai a 1 sobra"));
  EXPECT_EQ(Var('A'), "4");

  EXPECT_TRUE(speech.spoken.empty());
  EXPECT_FALSE(Run("divide a 0"));
  EXPECT_EQ(Var('A'), "4");
  ASSERT_EQ(speech.spoken.size(), 1u);
  EXPECT_EQ(speech.spoken[0], "Divis\xE3o por zero");
  EXPECT_NE(console.written.find("Divis\xE3o por zero"), std::string::npos);
}

TEST_F(StringsTest, ConcatenaCopiaDeleta) {
  Var('A') = "ab";
  Var('B') = "cd";
  EXPECT_TRUE(Run("concatena a b"));
  EXPECT_TRUE(Run("concatena a \"\""));
  EXPECT_EQ(Var('A'), "abcd");
  EXPECT_FALSE(Run("concatena a b c"));
  EXPECT_EQ(Var('A'), "abcd");

  Var('S') = "abcdef";
  EXPECT_TRUE(Run("copia t s 3 2"));
  EXPECT_EQ(Var('T'), "");
  EXPECT_TRUE(Run("copia t s 0 2"));
  EXPECT_EQ(Var('T'), "abc");
  EXPECT_TRUE(Run("copia t s -5 1"));  // the count stays 7 although the start moves to 1
  EXPECT_EQ(Var('T'), "abcdef");
  EXPECT_TRUE(Run("copia t s 5 2147483647 resto"));
  EXPECT_EQ(Var('T'), "ef");
  Var('N') = " 2 ";  // values are trimmed before they are taken as integers
  EXPECT_TRUE(Run("copia s s n 4"));
  EXPECT_EQ(Var('S'), "bcd");
  EXPECT_FALSE(Run("copia t s 1 x"));
  EXPECT_FALSE(Run("copia t 1 2"));

  Var('A') = "abcdef";
  EXPECT_TRUE(Run("deleta a 0 3"));
  EXPECT_EQ(Var('A'), "abcdef");
  EXPECT_TRUE(Run("deleta a 2 2"));
  EXPECT_EQ(Var('A'), "adef");
  EXPECT_TRUE(Run("deleta a 3 100"));
  EXPECT_EQ(Var('A'), "ad");
  EXPECT_FALSE(Run("deleta a 1"));
  EXPECT_EQ(Var('A'), "ad");
}

TEST_F(StringsTest, SubstituiScansFromTheRight) {
  const struct {
    std::string before;
    std::string line;
    std::string after;
  } cases[] = {
      {"aab", R"(substitui a "ab" "b")", "b"},
      {"ab", R"(substitui a "" "x")", "xaxbx"},
      {"", R"(substitui a "" "x")", "x"},
      {"1.234.567", R"(substitui a "." "")", "1234567"},
      {"a b c", R"(substitui a " " "<br>")", "a<br>b<br>c"},
      {"aaa", R"(substitui a "aa" "b")", "ab"},  // the rightmost occurrence goes first
      {"ab", R"(substitui a "abc" "x")", "ab"},
      {"xaab", R"(substitui a "ab" "")", "xa"},
  };
  for (const auto& c : cases) {
    Var('A') = c.before;
    EXPECT_TRUE(Run(c.line)) << c.before << " / " << c.line;
    EXPECT_EQ(Var('A'), c.after) << c.before << " / " << c.line;
  }
  EXPECT_FALSE(Run(R"(substitui a "x")"));
}

TEST_F(StringsTest, SubstituiStaysFastAndBoundedOnLargeTexts) {
  const auto start = std::chrono::steady_clock::now();
  Var('A') = std::string(100000, 'a');
  EXPECT_TRUE(Run(R"(substitui a "" "-")"));
  ASSERT_EQ(Var('A').size(), 200001u);
  EXPECT_EQ(Var('A').substr(0, 5), "-a-a-");

  Var('A') = std::string(100000, 'a');
  EXPECT_TRUE(Run(R"(substitui a "a" "bb")"));
  EXPECT_EQ(Var('A'), std::string(200000, 'b'));

  // Each replacement joins with the byte to its left, so the text collapses step by step.
  Var('A') = std::string(100000, 'a') + "b";
  EXPECT_TRUE(Run(R"(substitui a "ab" "b")"));
  EXPECT_EQ(Var('A'), "b");

  // Results of gigabytes are refused instead of exhausting memory.
  Var('A') = std::string(100000, 'a');
  Var('N') = std::string(100000, 'n');
  EXPECT_FALSE(Run(R"(substitui a "" n)"));
  EXPECT_EQ(Var('A').size(), 100000u);
  Var('N') = std::string(1000, 'n');
  EXPECT_FALSE(Run(R"(substitui a "a" n)"));
  EXPECT_EQ(Var('A'), std::string(100000, 'a'));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(StringsTest, Utf8AndAnsiConversions) {
  const struct {
    std::string line;
    std::string before;
    std::string after;
  } cases[] = {
      {"utf8paraansi a", "\xC3\xA7\xC3\xA3o", "\xE7\xE3o"},
      // Characters beyond Latin-1 become their cp1252 byte, or "?" when cp1252 has none.
      {"utf8paraansi a", "\xE2\x82\xAC \xE2\x80\x93 \xC5\x93", "\x80 \x96 \x9C"},
      {"utf8paraansi a", "\xE2\x86\x92\xF0\x9F\x93\xA6", "??"},
      {"utf8paraansi a", "\xC2\x96", "\x96"},  // U+0096 keeps its low byte
      // Malformed sequences are not characters: each of their bytes stands for itself.
      {"utf8paraansi a", "A\xC0\x8A" "B", "A\xC0\x8A" "B"},  // overlong line end
      {"utf8paraansi a", "\xE0\x80\xAF\xED\xA0\x80", "\xE0\x80\xAF\xED\xA0\x80"},
      {"utf8paraansi a", "x\xC3", "x\xC3"},                  // cut at the end
      {"utf8paraansi a", "AG\xCANCIA S\xC3O JO\xC3O", "AG\xCANCIA S\xC3O JO\xC3O"},  // Latin-1
      {"utf8paraansi a", "av\xF3\x80", "av\xF3\x80"},
      {"ansiparautf8 a", "\xE7\x80", "\xC3\xA7\xE2\x82\xAC"},
  };
  for (const auto& c : cases) {
    Var('A') = c.before;
    EXPECT_TRUE(Run(c.line)) << c.line;
    EXPECT_EQ(Var('A'), c.after) << c.line;
  }
}

TEST_F(StringsTest, InPlaceCommandsNeedAVariable) {
  EXPECT_FALSE(Run("codbase64 \"Man\""));
  EXPECT_FALSE(Run("codbase64 ab"));
  EXPECT_FALSE(Run("utf8paraansi 12"));
  EXPECT_FALSE(Run("adquoted"));
  Var('A') = "Man";
  EXPECT_TRUE(Run("codbase64 a ignorado"));
  EXPECT_EQ(Var('A'), "TWFu");
  std::string& named = in.vars.Slot(in.vars.NamedSlot("TEXTO"));
  named = "M";
  EXPECT_TRUE(Run("codbase64 $Texto"));
  EXPECT_EQ(named, "TQ==");
}

TEST_F(StringsTest, Base64OfTexts) {
  const struct {
    std::string line;
    std::string before;
    std::string after;
  } cases[] = {
      {"codbase64 a", "Man", "TWFu"},       {"codbase64 a", "Ma", "TWE="},
      {"codbase64 a", "M", "TQ=="},         {"codbase64 a", "", ""},
      {"decodbase64 a", "TW E=\r\n", "Ma"}, {"decodbase64 a", "TWFu=TWFu", "Man"},
      {"decodbase64 a", "T!W@F#u", "Man"},  {"decodbase64 a", "TWFuT", "Man"},
      {"decodbase64 a", "", ""},
  };
  for (const auto& c : cases) {
    Var('A') = c.before;
    EXPECT_TRUE(Run(c.line)) << c.line << " " << c.before;
    EXPECT_EQ(Var('A'), c.after) << c.line << " " << c.before;
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  Var('A') = all;
  EXPECT_TRUE(Run("codbase64 a"));
  EXPECT_EQ(Var('A').find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_TRUE(Run("decodbase64 a"));
  EXPECT_EQ(Var('A'), all);
}

TEST_F(StringsTest, QuotedPrintable) {
  const struct {
    std::string line;
    std::string before;
    std::string after;
  } cases[] = {
      {"adquoted a", "a\xE7\xE3o=1", "a=E7=E3o=3D1"},
      {"adquoted a", "\t~\x7F\n ", "=09~=7F=0A "},
      {"removequoted a", "a=3Db=", "a=b"},
      {"removequoted a", "=4", "=4"},
      {"removequoted a", "=e7=E3=zz=", "\xE7\xE3=zz"},
      {"removequoted a", "==3D", "=="},
  };
  for (const auto& c : cases) {
    Var('A') = c.before;
    EXPECT_TRUE(Run(c.line)) << c.line << " " << c.before;
    EXPECT_EQ(Var('A'), c.after) << c.line << " " << c.before;
  }
}

TEST_F(StringsTest, Base64FilesRoundTripInLinesOf64) {
  std::string data;
  for (int i = 0; i < 2600; ++i) data += static_cast<char>((i * 7) % 256);  // every byte value
  WriteFile(File("dados.bin"), data);
  ASSERT_TRUE(Run(R"(codarqbase64 "c:\dados.bin" "c:\dados.b64")"));

  Var('A') = data;
  ASSERT_TRUE(Run("codbase64 a"));
  std::string expected;
  for (size_t at = 0; at < Var('A').size(); at += 64) expected += Var('A').substr(at, 64) + "\r\n";
  EXPECT_EQ(ReadFile(File("dados.b64")), expected);

  ASSERT_TRUE(Run(R"(decodarqbase64 "c:\dados.b64" "c:\copia.bin")"));
  EXPECT_EQ(ReadFile(File("copia.bin")), data);

  // 48 bytes fill exactly one line; no empty line follows it.
  WriteFile(File("linha.bin"), std::string(48, '\xFF'));
  ASSERT_TRUE(Run(R"(codarqbase64 "c:\linha.bin" "c:\linha.b64")"));
  EXPECT_EQ(ReadFile(File("linha.b64")), std::string(64, '/') + "\r\n");
}

TEST_F(StringsTest, Base64FileEdges) {
  WriteFile(File("vazio.bin"), "");
  WriteFile(File("velho.b64"), "conteudo antigo");
  ASSERT_TRUE(Run(R"(codarqbase64 "c:\vazio.bin" "c:\velho.b64")"));
  EXPECT_TRUE(fs::exists(File("velho.b64")));
  EXPECT_EQ(ReadFile(File("velho.b64")), "");
  ASSERT_TRUE(Run(R"(decodarqbase64 "c:\velho.b64" "c:\vazio2.bin")"));
  EXPECT_TRUE(fs::exists(File("vazio2.bin")));
  EXPECT_EQ(ReadFile(File("vazio2.bin")), "");

  WriteFile(File("sujo.b64"), "TW\r\nF u\r\n*TQ==TWFu\r\n");
  ASSERT_TRUE(Run(R"(decodarqbase64 "c:\sujo.b64" "c:\sujo.bin")"));
  EXPECT_EQ(ReadFile(File("sujo.bin")), "ManM");

  EXPECT_FALSE(Run(R"(codarqbase64 "c:\falta.bin" "c:\x.b64")"));
  EXPECT_FALSE(Run(R"(decodarqbase64 "c:\falta.b64" "c:\x.bin")"));
  EXPECT_FALSE(fs::exists(File("x.b64")));
  EXPECT_FALSE(fs::exists(File("x.bin")));
  fs::create_directory(File("pasta"));
  EXPECT_FALSE(Run(R"(codarqbase64 "c:\pasta" "c:\x.b64")"));
  EXPECT_FALSE(Run(R"(codarqbase64 "c:\vazio.bin" "c:\nao\existe\x.b64")"));
  EXPECT_FALSE(Run(R"(codarqbase64 "c:\vazio.bin")"));
}

TEST_F(StringsTest, FileSizes) {
  WriteFile(File("quinhentos.txt"), std::string(500, 'x'));
  WriteFile(File("meio.txt"), std::string(1536, 'x'));
  WriteFile(File("zero.txt"), "");
  ASSERT_TRUE(Run(R"(tamarq "c:\meio.txt" a resto)"));
  EXPECT_EQ(Var('A'), "1536");
  ASSERT_TRUE(Run(R"(htamarq "c:\quinhentos.txt" a)"));
  EXPECT_EQ(Var('A'), "500,00 B");
  ASSERT_TRUE(Run(R"(htamarq "c:\MEIO.TXT" a)"));
  EXPECT_EQ(Var('A'), "1,50KB");
  ASSERT_TRUE(Run(R"(htamarq "c:\zero.txt" a)"));
  EXPECT_EQ(Var('A'), "0,00 B");

  Var('A') = "antes";
  EXPECT_FALSE(Run(R"(tamarq "c:\falta.txt" a)"));
  EXPECT_FALSE(Run(R"(htamarq "c:\falta.txt" a)"));
  fs::create_directory(File("pasta"));
  EXPECT_FALSE(Run(R"(tamarq "c:\pasta" a)"));
  EXPECT_FALSE(Run(R"(tamarq "c:\meio.txt")"));
  EXPECT_EQ(Var('A'), "antes");

  // Sparse files give the larger units without writing their bytes.
  const struct {
    uintmax_t size;
    std::string readable;
  } large[] = {
      {uintmax_t{3} << 20, "3,00 MB"},
      {(uintmax_t{3} << 29), "1,50GB"},
      {(uintmax_t{5} << 39), "2,50 TB"},
  };
  for (const auto& c : large) {
    std::error_code error;
    WriteFile(File("grande.bin"), "");
    fs::resize_file(File("grande.bin"), c.size, error);
    if (error) continue;  // the file system cannot hold a file this large, even sparse
    ASSERT_TRUE(Run(R"(htamarq "c:\grande.bin" a)"));
    EXPECT_EQ(Var('A'), c.readable);
    ASSERT_TRUE(Run(R"(tamarq "c:\grande.bin" a)"));
    EXPECT_EQ(Var('A'), std::to_string(c.size));
  }
}

}  // namespace
}  // namespace navelo::testing
