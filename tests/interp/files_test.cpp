// File and directory commands: reading and writing channels, the failure messages, BUSCA, the
// byte buffer, and names that are folders, empty or not what a command expects.
#include <fstream>
#include <iterator>

#include "fake_services.h"
#include "platform/host_system.h"
#include "platform/text_encoding.h"

namespace navelo::testing {
namespace {

// A device of the platform in the place of a Linux one: Windows has its NUL device (reads give
// nothing, writes vanish) and no other that a test can open safely.
// True when the folder lists an entry of exactly this name, case included.
bool Listed(const std::filesystem::path& folder, const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string() == name) return true;
  }
  return false;
}

std::string DeviceName(const std::string& linux_name) {
  return HostPathsAreNative() ? "NUL" : linux_name;
}

class FilesTest : public InterpreterTest {
 protected:
  void WriteBytes(const std::string& name, std::string_view bytes) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << bytes;
  }
  std::string ReadBytes(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // Reads every line of c:\<name> with the scripts' loop and returns them joined by "|", with
  // the value and status of the last read after "=".
  std::string ReadAll(const std::string& name) {
    const RunResult result = Run("abre #1 \"c:\\" + name + "\"\n" +
                                 "seja $t \"\"\n"
                                 "@laco\n"
                                 "le #1 l\n"
                                 "checa c\n"
                                 "se c = 0 concatena $t l\n"
                                 "se c = 0 concatena $t \"|\"\n"
                                 "se c = 0 desvia @laco\n"
                                 "fecha #1\n");
    EXPECT_EQ(result.result, 0);
    return Var("T") + "=" + Var('L') + "/" + Var('C');
  }
  std::string LastSpoken() { return speech.spoken.empty() ? "" : speech.spoken.back(); }
};

TEST_F(FilesTest, ReadsLfCrLfMixedAndStopsAtByte26) {
  WriteBytes("lf.txt", "um\ndois\ntres\n");
  EXPECT_EQ(ReadAll("lf.txt"), "um|dois|tres|=/1");
  WriteBytes("crlf.txt", "um\r\ndois\r\n\r\ntres");
  EXPECT_EQ(ReadAll("crlf.txt"), "um|dois||tres|=/1");
  // A CR not followed by LF is dropped from the line, not taken as a line end.
  WriteBytes("mixed.txt", "a\rb\r\nc\nd\r");
  EXPECT_EQ(ReadAll("mixed.txt"), "ab|c|d|=/1");
  WriteBytes("eof.txt", std::string("um\r\ndo\x1Ais\r\ntres\r\n"));
  EXPECT_EQ(ReadAll("eof.txt"), "um|do|=/1");
  WriteBytes("empty.txt", "");
  EXPECT_EQ(ReadAll("empty.txt"), "=/1");
}

TEST_F(FilesTest, LongLinesComeInPiecesOfOneMebibyte) {
  constexpr size_t kPiece = size_t{1} << 20;
  // A line of two pieces and five bytes; a line of exactly one piece, whose line end must not
  // make an empty line of its own; a last line without a line end.
  WriteBytes("longa.txt", std::string(2 * kPiece + 5, 'x') + "\r\nfim\n" +
                              std::string(kPiece, 'y') + "\r\nz");
  ASSERT_EQ(Run("abre #1 \"c:\\longa.txt\"").result, 0);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {std::string(kPiece, 'x'), "0"}, {std::string(kPiece, 'x'), "0"}, {"xxxxx", "0"},
      {"fim", "0"}, {std::string(kPiece, 'y'), "0"}, {"z", "0"}, {"", "1"}};
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(Run("le #1 l\ncheca c").result, 0);
    EXPECT_EQ(Var('L').size(), expected[i].first.size()) << "read " << i;
    EXPECT_EQ(Var('L') == expected[i].first, true) << "read " << i;
    EXPECT_EQ(Var('C'), expected[i].second) << "read " << i;
  }
}

TEST_F(FilesTest, ReadingAfterTheEndSeesLinesAppendedLater) {
  ASSERT_EQ(Run("abre #1 \"c:\\diario.txt\" &\n"
                "escreve #1 \"um\"\n"
                "abre #2 \"c:\\diario.txt\"\n"
                "le #2 a\n"
                "le #2 b\n"
                "checa c\n"
                "escreve #1 \"dois\"\n"
                "le #2 d\n"
                "checa e\n")
                .result,
            0);
  EXPECT_EQ(Var('A'), "um");
  EXPECT_EQ(Var('B'), "");
  EXPECT_EQ(Var('C'), "1");
  EXPECT_EQ(Var('D'), "dois");
  EXPECT_EQ(Var('E'), "0");
  // Another program appends too.
  {
    std::ofstream out(dir_ / "diario.txt", std::ios::binary | std::ios::app);
    out << "tres\r\n\x1A" << "quatro\r\n";
  }
  ASSERT_EQ(Run("le #2 f\nle #2 g\ncheca h").result, 0);
  EXPECT_EQ(Var('F'), "tres");
  EXPECT_EQ(Var('G'), "");
  EXPECT_EQ(Var('H'), "1");
  // After the byte 26 nothing more is read, even what comes later.
  {
    std::ofstream out(dir_ / "diario.txt", std::ios::binary | std::ios::app);
    out << "cinco\r\n";
  }
  ASSERT_EQ(Run("le #2 g\ncheca h").result, 0);
  EXPECT_EQ(Var('G'), "");
  EXPECT_EQ(Var('H'), "1");
}

TEST_F(FilesTest, WritesCrLfLinesAndAppends) {
  ASSERT_EQ(Run("abre #1 \"c:\\novo.txt\" &\n"
                "escreve #1 \"linha \" 1\n"
                "escreve #1 \"a\" \"b\" &\n"
                "escreve #1\n"
                "escreve #1\"x\"\n"
                "checa c\n"
                "fecha #1\n")
                .result,
            0);
  EXPECT_EQ(ReadBytes("novo.txt"), "linha 1\r\nab\r\nx\r\n");
  EXPECT_EQ(Var('C'), "0");
  ASSERT_EQ(Run("abre #3 \"c:\\novo.txt\" &\nescreve #3 \"fim\"\nfecha #3\n").result, 0);
  EXPECT_EQ(ReadBytes("novo.txt"), "linha 1\r\nab\r\nx\r\nfim\r\n");
}

TEST_F(FilesTest, ReopeningAnOpenChannelBindsTheNewFile) {
  WriteBytes("a.txt", "de a\n");
  WriteBytes("b.txt", "de b\n");
  ASSERT_EQ(Run("abre #1 \"c:\\a.txt\"\nabre #1 \"c:\\b.txt\"\nle #1 l\n").result, 0);
  EXPECT_EQ(Var('L'), "de b");
}

TEST_F(FilesTest, ChannelMisuseGivesStatusOrMessage) {
  WriteBytes("a.txt", "x\n");
  // Writing to a channel opened for reading: the command goes on, the status tells.
  ASSERT_EQ(Run("abre #1 \"c:\\a.txt\"\nescreve #1 \"y\"\ncheca c\n").result, 0);
  EXPECT_NE(Var('C'), "0");
  EXPECT_EQ(ReadBytes("a.txt"), "x\n");

  const std::string message = "Erro no processamento de arquivo";
  EXPECT_EQ(Run("escreve #5 \"y\"").result, 1);
  EXPECT_EQ(LastSpoken(), message);
  speech.spoken.clear();
  EXPECT_EQ(Run("escreve #x \"y\"").result, 1);
  EXPECT_EQ(LastSpoken(), message);
  speech.spoken.clear();
  EXPECT_EQ(Run("le #1").result, 1);
  EXPECT_EQ(LastSpoken(), message);
  speech.spoken.clear();
  EXPECT_EQ(Run("le #6 l").result, 1);
  EXPECT_EQ(LastSpoken(), message);
}

TEST_F(FilesTest, OpenAndCloseFailures) {
  const std::string open_error = Utf8ToCp1252("Erro na abertura do arquivo ");
  EXPECT_EQ(Run("abre #1 \"c:\\falta.txt\"").result, 1);
  EXPECT_EQ(LastSpoken(), open_error + "c:\\falta.txt");
  fs::create_directory(dir_ / "pasta");
  EXPECT_EQ(Run("abre #1 \"c:\\pasta\"").result, 1);
  EXPECT_EQ(LastSpoken(), open_error + "c:\\pasta");
  EXPECT_EQ(Run("abre #1 \"c:\\pasta\" &").result, 1);
  EXPECT_EQ(Run("abre #1 \"\"").result, 1);
  EXPECT_EQ(LastSpoken(), open_error);
  EXPECT_EQ(Run("abre #1 \"c:\\sem\\pasta\\x.txt\" &").result, 1);
  // A device is not a file: it is refused, for reading and for appending alike.
  speech.spoken.clear();
  const std::string zero = DeviceName("/dev/zero");
  const std::string null = DeviceName("/dev/null");
  EXPECT_EQ(Run("abre #1 \"" + zero + "\"").result, 1);
  EXPECT_EQ(LastSpoken(), open_error + zero);
  EXPECT_EQ(Run("abre #1 \"" + null + "\" &").result, 1);
  EXPECT_EQ(LastSpoken(), open_error + null);

  EXPECT_EQ(Run("fecha #4").result, 0);
  speech.spoken.clear();
  EXPECT_EQ(Run("fecha").result, 1);
  EXPECT_EQ(LastSpoken(), "Erro no fechamento do arquivo");
}

TEST_F(FilesTest, RemoveRenameAndCopy) {
  const std::string remove_error = Utf8ToCp1252("Erro no apagamento do arquivo ");
  EXPECT_EQ(Run("remove \"c:\\falta.txt\" &").result, 0);
  EXPECT_TRUE(speech.spoken.empty());
  EXPECT_EQ(Run("remove \"c:\\falta.txt\"").result, 1);
  EXPECT_EQ(LastSpoken(), remove_error + "c:\\falta.txt");
  fs::create_directory(dir_ / "vazia");
  EXPECT_EQ(Run("remove \"c:\\vazia\"").result, 1);
  EXPECT_TRUE(fs::exists(dir_ / "vazia"));
  EXPECT_EQ(Run("remove \"\"").result, 1);

  WriteBytes("origem.txt", "conteudo");
  EXPECT_EQ(Run("replica \"c:\\ORIGEM.TXT\" \"c:\\copia.txt\"").result, 0);
  EXPECT_EQ(ReadBytes("copia.txt"), "conteudo");
  // Copying a file onto itself must not empty it.
  EXPECT_EQ(Run("replica \"c:\\origem.txt\" \"c:\\Origem.txt\"").result, 0);
  EXPECT_EQ(ReadBytes("origem.txt"), "conteudo");
  EXPECT_EQ(Run("replica \"c:\\falta.txt\" \"c:\\copia.txt\"").result, 1);
  EXPECT_EQ(ReadBytes("copia.txt"), "conteudo");
  EXPECT_EQ(Run("replica \"c:\\falta.txt\" \"c:\\copia.txt\" &").result, 0);
  EXPECT_EQ(Run("replica \"c:\\origem.txt\" \"c:\\vazia\"").result, 1);
  EXPECT_EQ(Run("replica \"c:\\origem.txt\" \"c:\\copia.txt\" x").result, 1);
  // A large file crosses several blocks whole.
  std::string big;
  for (int i = 0; i < 100000; ++i) big += static_cast<char>(i * 7);
  WriteBytes("grande.bin", big);
  EXPECT_EQ(Run("replica \"c:\\grande.bin\" \"c:\\grande2.bin\"").result, 0);
  EXPECT_EQ(ReadBytes("grande2.bin"), big);

  // Only regular files are copied: a device fails like a missing source, and the target stays.
  const std::string null = DeviceName("/dev/null");
  EXPECT_EQ(Run("replica \"" + null + "\" \"c:\\copia.txt\"").result, 1);
  EXPECT_EQ(ReadBytes("copia.txt"), "conteudo");
  EXPECT_EQ(Run("replica \"" + null + "\" \"c:\\nula.txt\"").result, 1);
  EXPECT_FALSE(fs::exists(dir_ / "nula.txt"));
  EXPECT_EQ(Run("replica \"" + null + "\" \"c:\\nula.txt\" &").result, 0);
  EXPECT_FALSE(fs::exists(dir_ / "nula.txt"));

  EXPECT_EQ(Run("renomeia \"c:\\copia.txt\" \"c:\\nova.txt\"").result, 0);
  EXPECT_EQ(ReadBytes("nova.txt"), "conteudo");
  EXPECT_EQ(Run("renomeia \"c:\\falta.txt\" \"c:\\x.txt\"").result, 1);
  EXPECT_EQ(Run("renomeia \"c:\\falta.txt\" \"c:\\x.txt\" &").result, 0);
  // The new name may not take the place of another file.
  EXPECT_EQ(Run("renomeia \"c:\\nova.txt\" \"c:\\origem.txt\"").result, 1);
  EXPECT_EQ(ReadBytes("nova.txt"), "conteudo");
  EXPECT_EQ(Run("renomeia \"c:\\nova.txt\" \"c:\\NOVA.txt\"").result, 0);
  // The listing shows the new case (where the file system ignores case, both names reach the
  // file, so only the listing tells).
  EXPECT_TRUE(Listed(dir_, "NOVA.txt"));
  EXPECT_FALSE(Listed(dir_, "nova.txt"));
}

TEST_F(FilesTest, DirectoryCommands) {
  const std::string dir_error = Utf8ToCp1252("Erro no processamento do diretório ");
  EXPECT_EQ(Run("dir cria \"c:\\nova\"").result, 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "nova"));
  EXPECT_EQ(Run("dir cria \"c:\\nova\"").result, 1);
  EXPECT_EQ(LastSpoken(), dir_error + "c:\\nova");
  EXPECT_EQ(Run("dir cria \"c:\\nova\" &").result, 0);
  WriteBytes("nova/f.txt", "x");
  EXPECT_EQ(Run("dir remove \"c:\\NOVA\"").result, 1);
  fs::remove(dir_ / "nova/f.txt");
  EXPECT_EQ(Run("dir remove \"c:\\NOVA\"").result, 0);
  EXPECT_FALSE(fs::exists(dir_ / "nova"));
  WriteBytes("arquivo.txt", "x");
  EXPECT_EQ(Run("dir remove \"c:\\arquivo.txt\"").result, 1);
  EXPECT_TRUE(fs::exists(dir_ / "arquivo.txt"));
  EXPECT_EQ(Run("dir apaga \"c:\\x\"").result, 1);
  EXPECT_EQ(Run("dir cria \"\"").result, 1);

  const fs::path before = fs::current_path();
  fs::create_directories(dir_ / "Sub" / "Interna");
  EXPECT_EQ(Run("dir troca \"c:\\sub\\INTERNA\"\nbusca d dir\ndir troca \"..\"\nbusca e dir").result,
            0);
  fs::current_path(before);
  EXPECT_EQ(Var('D'), Utf8ToCp1252((dir_ / "Sub" / "Interna").string()));
  EXPECT_EQ(Var('E'), Utf8ToCp1252((dir_ / "Sub").string()));
  EXPECT_EQ(Run("dir troca \"c:\\arquivo.txt\"").result, 1);
  EXPECT_EQ(fs::current_path(), before);
}

TEST_F(FilesTest, BuscaAsExistenceTestAndOverPatterns) {
  fs::create_directories(dir_ / "Dados" / "sub");
  WriteBytes("Dados/Beta.TXT", "");
  WriteBytes("Dados/alfa.txt", "");
  WriteBytes("Dados/gama.log", "");
  WriteBytes("Dados/.oculto.txt", "");
  WriteBytes("Dados/sem_ponto", "");
  ASSERT_EQ(Run("busca b \"c:\\dados\\beta.txt\"\n"
                "busca f \"c:/DADOS/falta.txt\"\n"
                "busca s \"c:\\dados\\sub\"\n"
                "busca t dir \"c:\\dados\\sub\"\n")
                .result,
            0);
  EXPECT_EQ(Var('B'), "Beta.TXT");
  EXPECT_EQ(Var('F'), "");
  EXPECT_EQ(Var('S'), "");  // a folder is not a file
  EXPECT_EQ(Var('T'), "sub");

  ASSERT_EQ(Run("busca a \"c:\\dados\\*.txt\"\n"
                "busca b proximo\n"
                "busca c pr\xD3XIMO\n"
                "busca d proximo\n")
                .result,
            0);
  EXPECT_EQ(Var('A'), "alfa.txt");
  EXPECT_EQ(Var('B'), "Beta.TXT");
  EXPECT_EQ(Var('C'), "");
  EXPECT_EQ(Var('D'), "");

  ASSERT_EQ(Run("busca a \"c:\\dados\\*.*\"\nbusca b proximo\nbusca c proximo\n"
                "busca d proximo\nbusca e proximo\n")
                .result,
            0);
  EXPECT_EQ(Var('A') + "," + Var('B') + "," + Var('C') + "," + Var('D') + "," + Var('E'),
            "alfa.txt,Beta.TXT,gama.log,sem_ponto,");

  ASSERT_EQ(Run("busca a \"c:\\dados\\?ama.*\"\nbusca x fim\nbusca b proximo\n"
                "busca c dir \"c:\\dados\\*\"\n")
                .result,
            0);
  EXPECT_EQ(Var('A'), "gama.log");
  EXPECT_EQ(Var('B'), "");
  EXPECT_EQ(Var('C'), "sub");
  EXPECT_EQ(Run("busca a").result, 1);
  EXPECT_EQ(Run("busca a \"*\" x").result, 1);
  EXPECT_EQ(Run("busca a proximo x").result, 1);
}

TEST_F(FilesTest, ByteBufferCommands) {
  EXPECT_EQ(in.files.bytes.Count(), 0u);
  WriteBytes("fonte.bin", "0123456789ABCDEF");
  ASSERT_EQ(Run("criabin \"c:\\saida.bin\"\n"
                "escrevebyte \"<\"\n"
                "lebyte \"c:\\fonte.bin\" 5 5\n"
                "lebyte \"c:\\fonte.bin\" 0 10\n"
                "lebyte \"c:\\fonte.bin\" 12 100\n"
                "gravabytes\n"
                "escrevebyte \">\"\n"
                "gravabytes\n"
                "fechabin\n")
                .result,
            0);
  EXPECT_EQ(ReadBytes("saida.bin"), "<50123456789CDEF>");
  EXPECT_EQ(in.files.bytes.Count(), 0u);

  EXPECT_EQ(Run("criabin \"c:\\saida.bin\"").result, 1);  // exists
  EXPECT_EQ(Run("gravabytes").result, 1);                 // no output file
  EXPECT_EQ(Run("fechabin").result, 1);
  EXPECT_EQ(Run("lebyte \"c:\\fonte.bin\" 6 5").result, 1);
  EXPECT_EQ(Run("lebyte \"c:\\fonte.bin\" 16 20").result, 1);
  EXPECT_EQ(Run("lebyte \"c:\\fonte.bin\" a 5").result, 1);
  EXPECT_EQ(Run("lebyte \"c:\\falta.bin\" 0 5").result, 1);
  EXPECT_EQ(Run("lebyte \"c:\\fonte.bin\" 0").result, 1);
  EXPECT_EQ(in.files.bytes.Count(), 0u);

  // A second CRIABIN while one is open fails and leaves the open one as it was.
  ASSERT_EQ(Run("criabin \"c:\\um.bin\"").result, 0);
  EXPECT_EQ(Run("criabin \"c:\\dois.bin\"").result, 1);
  EXPECT_FALSE(fs::exists(dir_ / "dois.bin"));
  ASSERT_EQ(Run("escrevebyte \"xy\"\nlimpabytes\nescrevebyte \"z\"\ngravabytes\nfechabin").result,
            0);
  EXPECT_EQ(ReadBytes("um.bin"), "z");
}

TEST_F(FilesTest, DotDotAndFolderNamesFailCleanly) {
  fs::create_directories(dir_ / "a" / "b");
  const fs::path before = fs::current_path();
  fs::current_path(dir_ / "a" / "b");
  const std::string open_error = Utf8ToCp1252("Erro na abertura do arquivo ");
  EXPECT_EQ(Run("abre #1 \"..\"").result, 1);
  EXPECT_EQ(LastSpoken(), open_error + "..");
  EXPECT_EQ(Run("abre #1 \"..\" &").result, 1);
  EXPECT_EQ(Run("remove \"..\"").result, 1);
  EXPECT_EQ(Run("renomeia \"..\" \"x\"").result, 1);
  EXPECT_EQ(Run("replica \"..\" \"x\"").result, 1);
  EXPECT_EQ(Run("criabin \"..\"").result, 1);
  EXPECT_EQ(Run("lebyte \"..\" 0 1").result, 1);
  EXPECT_EQ(Run("dir cria \"..\"").result, 1);
  EXPECT_EQ(Run("busca x \"..\"\nbusca y \".\"").result, 0);
  EXPECT_EQ(Var('X') + Var('Y'), "");
  // Going up with DIR TROCA is what ".." is for.
  EXPECT_EQ(Run("dir troca \"..\"\nbusca d dir").result, 0);
  fs::current_path(before);
  EXPECT_EQ(Var('D'), Utf8ToCp1252((dir_ / "a").string()));
  EXPECT_TRUE(fs::is_directory(dir_ / "a" / "b"));
  EXPECT_FALSE(fs::exists(dir_ / "a" / "b" / "x"));
}

TEST_F(FilesTest, SearchOfALargeFolderKeepsPumpingMessages) {
  fs::create_directories(dir_ / "muitos");
  for (int i = 0; i < 5000; ++i) WriteBytes("muitos/f" + std::to_string(i) + ".dat", "");
  FileSearch search;
  int pumps = 0;
  search.Start(dir_ / "muitos", "F4999.*", FileSearch::Mode::kFiles, [&] { ++pumps; });
  EXPECT_GE(pumps, 5000 / 512);
  EXPECT_EQ(search.Next(), "f4999.dat");
  EXPECT_EQ(search.Next(), "");
  EXPECT_FALSE(search.Active());
}

TEST(ByteBufferTest, TakesMemoryOnlyAsBytesArriveAndRefusesOverflow) {
  ByteBuffer buffer;
  EXPECT_LT(buffer.Bytes().size() + sizeof(ByteBuffer), 1024u);
  ASSERT_TRUE(buffer.Append("abc"));
  EXPECT_EQ(buffer.Count(), 3u);
  EXPECT_EQ(buffer.Room(), ByteBuffer::kCapacity - 3);
  char* place = buffer.Extend(10);
  place[0] = 'd';
  buffer.Commit(10, 1);
  EXPECT_EQ(buffer.Bytes(), "abcd");
  const std::string too_much(ByteBuffer::kCapacity - 3, 'x');
  EXPECT_FALSE(buffer.Append(too_much));
  EXPECT_EQ(buffer.Count(), 4u);
}

TEST(WildcardTest, MatchesAsTheHostDoes) {
  EXPECT_TRUE(WildcardMatch("*.txt", "A.TXT"));
  EXPECT_TRUE(WildcardMatch("a?c", "ABC"));
  EXPECT_FALSE(WildcardMatch("a?c", "ac"));
  EXPECT_TRUE(WildcardMatch("*.*", "semponto"));
  EXPECT_TRUE(WildcardMatch("x*y*z", "x123y456z"));
  EXPECT_FALSE(WildcardMatch("x*y*z", "x123y456"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_TRUE(WildcardMatch("\xC9*", "\xE9tudo"));  // accented letters fold too
  EXPECT_FALSE(WildcardMatch(std::string(200, '*') + "b", std::string(5000, 'a')));
}

}  // namespace
}  // namespace navelo::testing
