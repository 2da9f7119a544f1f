// Tests of navelo.ini's location, the "@" expansions, legacy mode and read-with-default.
#include "config/config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "temp_host.h"
#include "platform/host_system.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// Why a test cannot hold on Windows.
constexpr const char* kFoldsItself =
    "the Windows file system ignores letter case itself, so the name asked for is found as written";

namespace fs = std::filesystem;
using testing::Listing;
using testing::MapEnv;
using testing::Slurp;
using testing::Spit;
using testing::TempDir;

class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest() { fs::create_directories(root_ / "win"); }

  // The host is made on first use, so a test can first choose the program folder.
  Config& config() {
    if (!config_) {
      host_ = std::make_unique<HostEnvironment>(
          MapEnv({{"APPDATA", (root_ / "appdata").string()},
                  {"WINDIR", (root_ / "win").string()},
                  {"NAVELO_DRIVE_C", (root_ / "c").string()}}),
          program_dir_);
      config_ = std::make_unique<Config>(*host_);
    }
    return *config_;
  }
  std::string UserDir() { return (root_ / "appdata" / "Navelo").string(); }
  fs::path UserIni() { return root_ / "appdata" / "Navelo" / "navelo.ini"; }
  fs::path WindowsIni() { return root_ / "win" / "navelo.ini"; }

  TempDir root_;
  std::string program_dir_ = (root_ / "prog").string();
  std::unique_ptr<HostEnvironment> host_;
  std::unique_ptr<Config> config_;
};

TEST_F(ConfigTest, UserConfigDirIsUnderAppDataEvenWhenNothingIsThere) {
  EXPECT_EQ(config().UserConfigDir(), UserDir());
  Spit(UserIni(), "");
  EXPECT_EQ(config().UserConfigDir(), UserDir());
  Spit(WindowsIni(), "");  // the user's file still comes first
  EXPECT_EQ(config().UserConfigDir(), UserDir());
}

TEST_F(ConfigTest, UserFolderAndFileAreFoundWithoutCase) {
  if (HostPathsAreNative()) GTEST_SKIP() << kFoldsItself;
  Spit(root_ / "appdata" / "NAVELO" / "Navelo.INI", "[navelo]\r\npgmnavelo=c:\\x\r\n");
  Spit(WindowsIni(), "[NAVELO]\r\nPGMNAVELO=windows\r\n");
  EXPECT_EQ(config().UserConfigDir(), (root_ / "appdata" / "NAVELO").string());
  EXPECT_EQ(config().Read("NAVELO", "PGMNAVELO"), "c:\\x");
  config().Write("Navelo", "Falando", "Sim");
  EXPECT_EQ(Listing(root_ / "appdata" / "NAVELO"), "Navelo.INI");
  EXPECT_EQ(Slurp(root_ / "appdata" / "NAVELO" / "Navelo.INI"),
            "[navelo]\r\npgmnavelo=c:\\x\r\nFalando=Sim\r\n");
}

TEST_F(ConfigTest, WithoutAUserFileTheWindowsDirectoryIsUsedForEverything) {
  fs::create_directories(UserDir());
  Spit(root_ / "win" / "NAVELO.INI", "[TRADUTOR]\r\nVELOCIDADE=3\r\n");
  EXPECT_EQ(config().UserConfigDir(), (root_ / "win").string());
  EXPECT_EQ(config().Read("tradutor", "velocidade"), "3");
  config().Write("TRADUTOR", "VELOCIDADE", "4");
  EXPECT_EQ(Slurp(root_ / "win" / "NAVELO.INI"), "[TRADUTOR]\r\nVELOCIDADE=4\r\n");
  EXPECT_EQ(Listing(UserDir()), "");
}

TEST_F(ConfigTest, AtExpansions) {
  Spit(UserIni(),
       "[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\r\n"
       "[S]\r\nlone=@\r\npgm=@\\sons\r\nuser=@@\\dados\\x.txt\r\ntwo=@\\a;@\\b\r\n"
       "mail=ana@exemplo.com\r\nmid=a@\\b\r\nat_end=dir@\r\nbare=@@\r\n");
  const std::string prog = program_dir_;
  EXPECT_EQ(config().Read("S", "lone"), prog);
  EXPECT_EQ(config().Read("S", "pgm"), "c:\\ubrimo\\sons");
  EXPECT_EQ(config().Read("S", "user"), UserDir() + "\\dados\\x.txt");
  EXPECT_EQ(config().Read("S", "two"), "c:\\ubrimo\\a;c:\\ubrimo\\b");
  EXPECT_EQ(config().Read("S", "mid"), "ac:\\ubrimo\\b");
  // An "@" that is neither alone nor before a backslash stays.
  EXPECT_EQ(config().Read("S", "mail"), "ana@exemplo.com");
  EXPECT_EQ(config().Read("S", "at_end"), "dir@");
  EXPECT_EQ(config().Read("S", "bare"), "@@");
}

TEST_F(ConfigTest, AtBackslashFallsBackToTheProgramDir) {
  const std::string prog = program_dir_;
  Spit(UserIni(), "[S]\r\nk=@\\sons\r\n");
  EXPECT_EQ(config().Read("S", "k"), prog + "\\sons");  // no PGMNAVELO
  Spit(UserIni(), "[NAVELO]\r\nPGMNAVELO=@outro\r\n[S]\r\nk=@\\sons\r\n");
  EXPECT_EQ(config().Read("S", "k"), prog + "\\sons");  // PGMNAVELO begins with "@"
  Spit(UserIni(), "[NAVELO]\r\nPGMNAVELO=@@\\pgm\r\n[S]\r\nk=@\\sons\r\n");
  EXPECT_EQ(config().Read("S", "k"), UserDir() + "\\pgm\\sons");  // PGMNAVELO is expanded too
}

TEST_F(ConfigTest, SelfReferringPgmNaveloEnds) {
  Spit(UserIni(), "[NAVELO]\r\nPGMNAVELO=@\\x\r\n[S]\r\nk=@\\a\r\n");
  const std::string prog = program_dir_;
  EXPECT_EQ(config().Read("NAVELO", "PGMNAVELO"), prog + "\\x");
  EXPECT_EQ(config().Read("navelo", " pgmnavelo "), prog + "\\x");
  EXPECT_EQ(config().Read("S", "k"), prog + "\\x\\a");
}

TEST_F(ConfigTest, InsertedFolderEndingInAtDoesNotExpandForever) {
  Spit(UserIni(), "[NAVELO]\r\nPGMNAVELO=c:\\x@\r\n[S]\r\nk=@\\a\r\n");
  const std::string value = config().Read("S", "k");
  EXPECT_EQ(value.substr(0, 4), "c:\\x");
  EXPECT_LT(value.size(), 1000u);
}

TEST_F(ConfigTest, ProgramDirIsInsertedAsCp1252) {
  program_dir_ = (root_.path() / PathFromUtf8("S\xC3\xA3o")).string();
  Spit(UserIni(), "[S]\r\nk=@\r\n");
  EXPECT_EQ(config().Read("S", "k"), (root_ / "S").string() + "\xE3o");
}

TEST_F(ConfigTest, LegacyModeReadsFromAndWritesToTheWindowsCopy) {
  Spit(UserIni(), "[NAVELO]\r\nLEGADO=S\r\nFALANDO=Nao\r\n");
  Spit(WindowsIni(), "[NAVELO]\r\nFALANDO=Sim\r\nTIMEOUT_REDE=30\r\n");
  EXPECT_EQ(config().Read("NAVELO", "TIMEOUT_REDE"), "");
  config().SetLegacyMode(true);
  EXPECT_EQ(config().Read("NAVELO", "TIMEOUT_REDE"), "30");
  EXPECT_EQ(config().Read("NAVELO", "FALANDO"), "Nao");  // the user's file comes first

  config().Write("NAVELO", "ECOAROPCAO", "N");
  EXPECT_EQ(Slurp(UserIni()), "[NAVELO]\r\nLEGADO=S\r\nFALANDO=Nao\r\nECOAROPCAO=N\r\n");
  EXPECT_EQ(Slurp(WindowsIni()), "[NAVELO]\r\nFALANDO=Sim\r\nTIMEOUT_REDE=30\r\nECOAROPCAO=N\r\n");

  config().SetLegacyMode(false);
  config().Write("NAVELO", "ECOAROPCAO", "S");
  EXPECT_EQ(Slurp(WindowsIni()), "[NAVELO]\r\nFALANDO=Sim\r\nTIMEOUT_REDE=30\r\nECOAROPCAO=N\r\n");
}

TEST_F(ConfigTest, LegacyWriteCreatesNoWindowsCopy) {
  Spit(UserIni(), "");
  config().SetLegacyMode(true);
  config().Write("NAVELO", "FALANDO", "Sim");
  EXPECT_EQ(Slurp(UserIni()), "[NAVELO]\r\nFALANDO=Sim\r\n");
  EXPECT_EQ(Listing(root_ / "win"), "");
}

TEST_F(ConfigTest, ReadDefaultCreatesTheMissingKey) {
  Spit(UserIni(), "[NAVELO]\r\nLEGADO=N\r\n\r\n[TRADUTOR]\r\nSAPI=0\r\n");
  EXPECT_EQ(config().ReadDefault("NAVELO", "FALANDO", "Sim"), "Sim");
  EXPECT_EQ(Slurp(UserIni()), "[NAVELO]\r\nLEGADO=N\r\nFALANDO=Sim\r\n\r\n[TRADUTOR]\r\nSAPI=0\r\n");
  EXPECT_EQ(config().Read("NAVELO", "FALANDO"), "Sim");
}

TEST_F(ConfigTest, ReadDefaultCreatesTheFileInAnExistingFolderOnly) {
  EXPECT_EQ(config().ReadDefault("NAVELO", "FALANDO", "Sim"), "Sim");
  EXPECT_FALSE(fs::exists(UserDir()));
  fs::create_directories(UserDir());
  EXPECT_EQ(config().ReadDefault("NAVELO", "FALANDO", "Sim"), "Sim");
  EXPECT_EQ(Slurp(UserIni()), "[NAVELO]\r\nFALANDO=Sim\r\n");
}

TEST_F(ConfigTest, ReadDefaultTrimsAndWritesOnlyWhenNothingIsLeft) {
  const std::string text = "[S]\r\nk= \"\x01 Nao \x1F\" \r\nblank=\"\x01\t \x02\"\r\n";
  Spit(UserIni(), text);
  EXPECT_EQ(config().ReadDefault("S", "k", "Sim"), "Nao");
  EXPECT_EQ(Slurp(UserIni()), text);
  EXPECT_EQ(config().Read("S", "blank"), "\x01\t \x02");  // Read itself does not trim
  EXPECT_EQ(config().ReadDefault("S", "blank", "5"), "5");
  EXPECT_EQ(config().Read("S", "blank"), "5");
}

}  // namespace
}  // namespace navelo

namespace navelo {
namespace {

// The profile's folders come from the platform as native strings (UTF-8); a name with accents
// must reach the same folder on disk (Windows took such a string in its ANSI code page).
TEST(ConfigFoldersTest, TheUserFileIsFoundUnderAFolderWithAccents) {
  TempDir root;
  const fs::path appdata = root.path() / PathFromUtf8("Jo\xC3\xA3o") / "AppData";
  fs::create_directories(appdata / "Navelo");
  fs::create_directories(root.path() / "win");
  std::ofstream(appdata / "Navelo" / "navelo.ini", std::ios::binary) << "[S]\r\nk=achou\r\n";
  HostEnvironment host(MapEnv({{"APPDATA", appdata.string()},
                               {"WINDIR", (root.path() / "win").string()},
                               {"NAVELO_DRIVE_C", root.path().string()}}),
                       root.path().string());
  Config config(host);
  EXPECT_EQ(config.Read("S", "k"), "achou");
}

}  // namespace
}  // namespace navelo
