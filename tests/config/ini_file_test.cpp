// Tests of the private-profile reader and writer.
#include "config/ini_file.h"

#include <gtest/gtest.h>

#include "temp_host.h"
#include "platform/host_system.h"

namespace navelo {
namespace {

// Why a test cannot hold on Windows.
constexpr const char* kNoSymlinks =
    "making a symbolic link on Windows needs a privilege that tests do not have";

// Why a test cannot hold on Windows.
constexpr const char* kNoModeBits =
    "Windows files have no owner and group permission bits to keep";

namespace fs = std::filesystem;
using testing::Listing;
using testing::Slurp;
using testing::Spit;
using testing::TempDir;

class IniFileTest : public ::testing::Test {
 protected:
  std::string Get(std::string_view section, std::string_view key) {
    return IniRead(file_, section, key, "<none>");
  }
  TempDir dir_;
  fs::path file_ = dir_ / "navelo.ini";
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveTheDefault) {
  EXPECT_EQ(Get("NAVELO", "FALANDO"), "<none>");
  Spit(file_, "[NAVELO]\r\nFALANDO=Sim\r\n");
  EXPECT_EQ(Get("TRADUTOR", "FALANDO"), "<none>");
  EXPECT_EQ(Get("NAVELO", "LEGADO"), "<none>");
  EXPECT_EQ(IniRead(file_, "NAVELO", "LEGADO", ""), "");
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndBlanksAreTrimmed) {
  Spit(file_, "  [ Tradutor ]  \n\t VelocIdade \t=\t 3 a 4 \t\n");
  EXPECT_EQ(Get("TRADUTOR", "VELOCIDADE"), "3 a 4");
  EXPECT_EQ(Get("tradutor", "velocidade"), "3 a 4");
  EXPECT_EQ(Get(" tradutor ", "\tvelocidade"), "3 a 4");
}

TEST_F(IniFileTest, OnlyAMatchingPairOfQuotesIsRemoved) {
  Spit(file_,
       "[S]\na=\"c:\\x y\"\nb='z'\nc=\"open\nd='mixed\"\ne=\"\"\nf=\"\nempty=\ng=\"in\" side\n");
  EXPECT_EQ(Get("S", "a"), "c:\\x y");
  EXPECT_EQ(Get("S", "b"), "z");
  EXPECT_EQ(Get("S", "c"), "\"open");
  EXPECT_EQ(Get("S", "d"), "'mixed\"");
  EXPECT_EQ(Get("S", "e"), "");
  EXPECT_EQ(Get("S", "f"), "\"");
  EXPECT_EQ(Get("S", "empty"), "");
  EXPECT_EQ(Get("S", "g"), "\"in\" side");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyWin) {
  Spit(file_, "[A]\nk=1\nk=2\n[a]\nk=3\nonly=4\n");
  EXPECT_EQ(Get("A", "k"), "1");
  // A key that is only in a later section of the same name is not found.
  EXPECT_EQ(Get("A", "only"), "<none>");
}

TEST_F(IniFileTest, MalformedLinesAreNotKeys) {
  Spit(file_,
       "orphan=1\n"
       "[S]\n"
       "; k=comment\n"
       "no equals sign\n"
       "=no name\n"
       "[broken header\n"
       "after=5\n"
       "[T] trailing text\n"
       "t=6\n"
       "[U]x]\n"
       "u=7\n");
  EXPECT_EQ(Get("S", "orphan"), "<none>");
  EXPECT_EQ(Get("S", "; k"), "<none>");
  EXPECT_EQ(Get("S", "k"), "<none>");
  EXPECT_EQ(Get("S", "no equals sign"), "<none>");
  // The unclosed header is skipped, so its keys stay in the section before it.
  EXPECT_EQ(Get("S", "after"), "5");
  EXPECT_EQ(Get("broken header", "after"), "<none>");
  EXPECT_EQ(Get("T", "t"), "6");
  EXPECT_EQ(Get("U", "u"), "7");  // a header ends at its first "]"
}

TEST_F(IniFileTest, ImpossibleNamesReadAsDefaultAndAreNotWritten) {
  const std::string before = "[S]\r\nk=1\r\n";
  Spit(file_, before);
  for (const char* section : {"", "  ", "a]b", "a\nb"}) {
    EXPECT_EQ(Get(section, "k"), "<none>");
    EXPECT_FALSE(IniWrite(file_, section, "k", "v")) << section;
  }
  for (const char* key : {"", "a=b", "a\r\nb", ";k", "[k"}) {
    EXPECT_EQ(Get("S", key), "<none>");
    EXPECT_FALSE(IniWrite(file_, "S", key, "v")) << key;
  }
  EXPECT_EQ(Slurp(file_), before);
}

TEST_F(IniFileTest, LongValuesAreCutToTheBuffer) {
  Spit(file_, "[S]\nk=" + std::string(60000, 'x') + "\n");
  EXPECT_EQ(Get("S", "k"), std::string(49999, 'x'));
}

TEST_F(IniFileTest, CrLfLfAndBytesAbove127PassThrough) {
  Spit(file_, "[S]\r\na=\xE7\xE3o\r\nb=2\n[T]\rc=3");
  EXPECT_EQ(Get("S", "a"), "\xE7\xE3o");
  EXPECT_EQ(Get("S", "b"), "2");
  EXPECT_EQ(Get("T", "c"), "3");
}

TEST_F(IniFileTest, Utf8FileWithByteOrderMarkIsConverted) {
  Spit(file_, "\xEF\xBB\xBF[S]\r\nnome=Jo\xC3\xA3o\r\n");
  EXPECT_EQ(Get("S", "nome"), "Jo\xE3o");
  ASSERT_TRUE(IniWrite(file_, "S", "cidade", "Bel\xE9m"));
  EXPECT_EQ(Slurp(file_), "\xEF\xBB\xBF[S]\r\nnome=Jo\xC3\xA3o\r\ncidade=Bel\xC3\xA9m\r\n");
}

TEST_F(IniFileTest, ReplacingAKeyKeepsEveryOtherByte) {
  const std::string head = "; navelo\r\n\r\n[NAVELO]\r\n  ; falas\r\n";
  const std::string tail = "\r\nECOAROPCAO = N\r\n\r\n[TRADUTOR]\r\nFALANDO=x\r\n";
  Spit(file_, head + "  Falando  =  Nao  " + tail);
  ASSERT_TRUE(IniWrite(file_, "navelo", "FALANDO", "Sim"));
  EXPECT_EQ(Slurp(file_), head + "Falando=Sim" + tail);
}

TEST_F(IniFileTest, NewKeyGoesAfterTheLastKeyOfTheFirstMatchingSection) {
  Spit(file_, "[A]\na=1\n; note\nb=2\n\n; about B\n[B]\n[a]\nc=3\n");
  ASSERT_TRUE(IniWrite(file_, "a", "new", "x y"));
  EXPECT_EQ(Slurp(file_), "[A]\na=1\n; note\nb=2\nnew=x y\n\n; about B\n[B]\n[a]\nc=3\n");
  ASSERT_TRUE(IniWrite(file_, "B", "first", "1"));
  EXPECT_EQ(Get("B", "first"), "1");
  EXPECT_NE(Slurp(file_).find("[B]\nfirst=1\n[a]"), std::string::npos);
}

TEST_F(IniFileTest, NewSectionIsAppendedWithTheFileLineEnds) {
  Spit(file_, "[A]\r\na=1");  // no line end after the last line
  ASSERT_TRUE(IniWrite(file_, "B", "b", "2"));
  EXPECT_EQ(Slurp(file_), "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n");

  Spit(file_, "[A]\na=1\n");
  ASSERT_TRUE(IniWrite(file_, "B", "b", "2"));
  EXPECT_EQ(Slurp(file_), "[A]\na=1\n\n[B]\nb=2\n");
}

TEST_F(IniFileTest, WriteCreatesAFileWithCrLf) {
  ASSERT_TRUE(IniWrite(file_, "NAVELO", "FALANDO", "Sim"));
  EXPECT_EQ(Slurp(file_), "[NAVELO]\r\nFALANDO=Sim\r\n");
}

TEST_F(IniFileTest, ValueWithALineBreakIsCutThere) {
  ASSERT_TRUE(IniWrite(file_, "S", "k", "one\r\n[EVIL]\nx=1"));
  EXPECT_EQ(Slurp(file_), "[S]\r\nk=one\r\n");
}

TEST_F(IniFileTest, WriteIntoAMissingFolderFailsAndCreatesNothing) {
  EXPECT_FALSE(IniWrite(dir_ / "missing" / "navelo.ini", "S", "k", "v"));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(IniFileTest, ReplacementLeavesNoTemporaryFileAndKeepsPermissions) {
  if (HostPathsAreNative()) GTEST_SKIP() << kNoModeBits;
  Spit(file_, "[S]\nk=1\n");
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(IniWrite(file_, "S", "k", std::to_string(i)));
  EXPECT_EQ(Get("S", "k"), "4");
  EXPECT_EQ(Listing(dir_.path()), "navelo.ini");
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniFileTest, AnUnreadableFileIsNotReplaced) {
  Spit(file_, "[S]\nk=1\n");
  fs::permissions(file_, fs::perms::none);
  if (std::ifstream(file_)) GTEST_SKIP() << "permissions do not stop this user from reading";
  EXPECT_FALSE(IniWrite(file_, "S", "k", "2"));
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Slurp(file_), "[S]\nk=1\n");
}

TEST_F(IniFileTest, WriteThroughASymbolicLinkKeepsTheLink) {
  if (HostPathsAreNative()) GTEST_SKIP() << kNoSymlinks;
  const fs::path real = dir_ / "real.ini";
  Spit(real, "[S]\nk=1\n");
  fs::create_symlink(real, file_);
  ASSERT_TRUE(IniWrite(file_, "S", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(Slurp(real), "[S]\nk=2\n");
}

TEST_F(IniFileTest, AFolderInPlaceOfTheFileIsNeitherReadNorReplaced) {
  fs::create_directory(file_);
  EXPECT_EQ(Get("S", "k"), "<none>");
  EXPECT_FALSE(IniWrite(file_, "S", "k", "v"));
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_EQ(Listing(dir_.path()), "navelo.ini");
}

}  // namespace
}  // namespace navelo
