// Tests of the host folders and of Windows-style path resolution.
#include "config/host_env.h"

#include <gtest/gtest.h>

#include "temp_host.h"
#include "platform/host_system.h"

namespace navelo {
namespace {

// Why a test cannot hold on Windows.
constexpr const char* kFoldsItself =
    "the Windows file system ignores letter case itself, so the name asked for is found as written";
constexpr const char* kLinuxMapping =
    "on Windows host paths are the platform's own: this is the Linux drive mapping";

namespace fs = std::filesystem;
using testing::MapEnv;
using testing::Spit;
using testing::TempDir;

TEST(HostFoldersTest, VariablesAndTheirFallbacks) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  HostEnvironment set(MapEnv({{"USERPROFILE", "/u/ana/"},
                              {"HOME", "/home/ana"},
                              {"APPDATA", "/data/roam"},
                              {"WINDIR", "/win"}}),
                      "/opt/navelo/");
  EXPECT_EQ(set.UserProfile(), "/u/ana");
  EXPECT_EQ(set.AppData(), "/data/roam");
  EXPECT_EQ(set.WindowsDir(), "/win");
  EXPECT_EQ(set.ProgramDir(), "/opt/navelo");

  HostEnvironment fallback(MapEnv({{"HOME", "/home/ana"}, {"NAVELO_DRIVE_C", "/drive/c"}}), "/p");
  EXPECT_EQ(fallback.UserProfile(), "/home/ana");
  EXPECT_EQ(fallback.AppData(), "/home/ana/AppData/Roaming");
  EXPECT_EQ(fallback.WindowsDir(), "/drive/c/windows");

  // Nothing set: the root stands in for the profile, never the working folder.
  HostEnvironment bare(MapEnv({}), "/p");
  EXPECT_EQ(bare.UserProfile(), "/");
  EXPECT_EQ(bare.AppData(), "/AppData/Roaming");
}

TEST(HostFoldersTest, WindowsFolderOnDriveCIsFoundWithoutCase) {
  if (HostPathsAreNative()) GTEST_SKIP() << kFoldsItself;
  TempDir c;
  fs::create_directories(c / "WINDOWS");
  HostEnvironment host(MapEnv({{"NAVELO_DRIVE_C", c.path().string()}}), "/p");
  EXPECT_EQ(host.WindowsDir(), (c / "WINDOWS").string());
}

TEST(HostFoldersTest, VariableHoldingADrivePathIsResolved) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  HostEnvironment host(MapEnv({{"USERPROFILE", "C:\\Users\\ana"}, {"NAVELO_DRIVE_C", "/c"}}),
                       "/p");
  EXPECT_EQ(host.UserProfile(), "/c/Users/ana");
  EXPECT_EQ(host.AppData(), "/c/Users/ana/AppData/Roaming");
}

TEST(HostFoldersTest, ProgramDirDefaultsToTheRunningProgramsFolder) {
  HostEnvironment host(MapEnv({}));
  ASSERT_FALSE(host.ProgramDir().empty());
  EXPECT_TRUE(fs::is_directory(host.ProgramDir()));
  EXPECT_NE(host.ProgramDir().back(), '/');
}

TEST(DriveRootTest, VariablesAndDefaults) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  HostEnvironment host(MapEnv({{"NAVELO_DRIVE_D", "/media/cd/"}, {"HOME", "/home/ana"}}), "/p");
  EXPECT_EQ(host.DriveRoot('d'), "/media/cd");
  EXPECT_EQ(host.DriveRoot('D'), "/media/cd");
  EXPECT_EQ(host.DriveRoot('C'), "/home/ana/.local/share/navelo/c");
  EXPECT_EQ(host.DriveRoot('E'), "/mnt/e");
  EXPECT_EQ(host.DriveRoot('1'), "");

  HostEnvironment xdg(MapEnv({{"XDG_DATA_HOME", "/xdg"}, {"HOME", "/home/ana"}}), "/p");
  EXPECT_EQ(xdg.DriveRoot('c'), "/xdg/navelo/c");
  HostEnvironment relative_xdg(MapEnv({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}}), "/p");
  EXPECT_EQ(relative_xdg.DriveRoot('c'), "/h/.local/share/navelo/c");
}

class ResolveTest : public ::testing::Test {
 protected:
  TempDir c_, d_;
  HostEnvironment host_{
      MapEnv({{"NAVELO_DRIVE_C", c_.path().string()}, {"NAVELO_DRIVE_D", d_.path().string()}}),
      "/p"};
  std::string C(const std::string& rest) { return (c_.path() / rest).string(); }
};

TEST_F(ResolveTest, RootsOfThePath) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  EXPECT_EQ(host_.Resolve("c:\\ubrimo\\som").string(), C("ubrimo/som"));
  EXPECT_EQ(host_.Resolve("D:/x").string(), (d_.path() / "x").string());
  EXPECT_EQ(host_.Resolve("\\ubrimo").string(), C("ubrimo"));
  EXPECT_EQ(host_.Resolve("C:ubrimo").string(), C("ubrimo"));
  EXPECT_EQ(host_.Resolve("C:").string(), c_.path().string());
  EXPECT_EQ(host_.Resolve("/usr/share\\doc").string(), "/usr/share/doc");
  EXPECT_EQ(host_.Resolve("sons\\bx_ini.wav").string(), "sons/bx_ini.wav");
  EXPECT_EQ(host_.Resolve("").string(), "");
}

TEST_F(ResolveTest, DotsDoubledAndTrailingSeparators) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  EXPECT_EQ(host_.Resolve("c:\\a\\\\b\\.\\c\\..\\d\\").string(), C("a/b/d"));
  EXPECT_EQ(host_.Resolve("c:\\..\\..\\a").string(), C("a"));  // never above the drive root
  EXPECT_EQ(host_.Resolve("..\\..\\a\\..\\b").string(), "../../b");
  EXPECT_EQ(host_.Resolve("a\\..").string(), ".");
  EXPECT_EQ(host_.Resolve(".\\").string(), ".");
}

TEST_F(ResolveTest, ComponentsAreFoundWithoutRegardToCase) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  fs::create_directories(c_ / "Ubrimo" / "SOM");
  Spit(c_ / "Ubrimo" / "SOM" / "Letras.Txt", "x");
  EXPECT_EQ(host_.Resolve("c:\\UBRIMO\\som\\letras.txt").string(), C("Ubrimo/SOM/Letras.Txt"));
  // Missing parts are kept as written, so a new file can be created there.
  EXPECT_EQ(host_.Resolve("c:\\ubrimo\\Som\\Novo\\x.wav").string(), C("Ubrimo/SOM/Novo/x.wav"));
}

TEST_F(ResolveTest, AccentedLettersFoldAndConvertToUtf8) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  fs::create_directories(c_ / "A\xC3\xA7\xC3\xA3o");  // "Ação" on disk in UTF-8
  // cp1252 "AÇÃO" and "ação" both find it; a new name is written to disk in UTF-8.
  EXPECT_EQ(host_.Resolve("c:\\A\xC7\xC3O").string(), C("A\xC3\xA7\xC3\xA3o"));
  EXPECT_EQ(host_.Resolve("c:\\a\xE7\xE3o\\m\xFAsica").string(),
            C("A\xC3\xA7\xC3\xA3o/m\xC3\xBAsica"));
  // A folded byte must not match another letter.
  EXPECT_EQ(host_.Resolve("c:\\A\xC7\xC1O").string(), C("A\xC3\x87\xC3\x81O"));
}

TEST_F(ResolveTest, ExactNameWinsAndAmbiguityIsSettledByName) {
  if (HostPathsAreNative()) GTEST_SKIP() << kLinuxMapping;
  fs::create_directories(c_ / "sons");
  fs::create_directories(c_ / "Sons");
  fs::create_directories(c_ / "SONS");
  EXPECT_EQ(host_.Resolve("c:\\Sons").string(), C("Sons"));
  EXPECT_EQ(host_.Resolve("c:\\sONS").string(), C("SONS"));
}

TEST_F(ResolveTest, NamesOutsideCp1252DoNotMatchAQuestionMark) {
  fs::create_directories(c_ / "x\xE2\x82\xAD");  // a character cp1252 lacks
  EXPECT_EQ(host_.Resolve("c:\\X?").string(), C("X?"));
}

TEST(FindEntryTest, RelativeFolderStaysRelative) {
  if (HostPathsAreNative()) GTEST_SKIP() << kFoldsItself;
  TempDir dir;
  Spit(dir / "Navelo.INI", "");
  const fs::path saved = fs::current_path();
  fs::current_path(dir.path());
  const fs::path found = FindEntry("", "navelo.ini");
  fs::current_path(saved);
  EXPECT_EQ(found.string(), "Navelo.INI");
}

// On Windows host paths are the platform's own and the user's folders come from the platform.
TEST(NativeHostTest, PathsStayAsWrittenUnlessATestMovesTheirDrive) {
  if (!HostPathsAreNative()) GTEST_SKIP() << "Linux maps host paths (the tests above)";
  HostEnvironment host(MapEnv({}), "C:\\p");
  EXPECT_EQ(host.Resolve("c:\\ubrimo\\som").string(), "c:\\ubrimo\\som");
  EXPECT_EQ(host.Resolve("sons\\x.wav").string(), "sons\\x.wav");
  EXPECT_EQ(host.Resolve("\\\\servidor\\pasta").string(), "\\\\servidor\\pasta");
  EXPECT_EQ(host.DriveRoot('d'), "D:\\");
  HostEnvironment moved(MapEnv({{"NAVELO_DRIVE_C", "C:\\t"}}), "C:\\p");
  EXPECT_EQ(moved.Resolve("c:\\a").string(), "C:\\t\\a");
  EXPECT_EQ(moved.Resolve("d:\\a").string(), "d:\\a");
}

TEST(NativeHostTest, TheUsersFoldersComeFromThePlatformUnlessATestNamesThem) {
  if (!HostPathsAreNative()) GTEST_SKIP() << "on Linux the environment names the folders";
  const auto shell = RegistryReadString(
      RegistryRoot::kCurrentUser,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\AppData");
  ASSERT_TRUE(shell.has_value());
  std::string value;
  ASSERT_TRUE(ReadEnvironment("APPDATA", value));
  EXPECT_EQ(value, *shell);
  WriteEnvironment("NAVELO_TEST_APPDATA", "C:\\teste");
  ASSERT_TRUE(ReadEnvironment("APPDATA", value));
  EXPECT_EQ(value, "C:\\teste");
  WriteEnvironment("NAVELO_TEST_APPDATA", nullptr);
  ASSERT_TRUE(ReadEnvironment("WINDIR", value));
  EXPECT_TRUE(fs::is_directory(value));
  ASSERT_TRUE(ReadEnvironment("USERPROFILE", value));
  EXPECT_TRUE(fs::is_directory(value));
  EXPECT_FALSE(RegistryReadString(RegistryRoot::kCurrentUser, "Software\\NaveloNaoExiste\\x"));
  // A value that is not a plain string does not count.
  EXPECT_FALSE(RegistryReadString(RegistryRoot::kLocalMachine,
                                  "System\\CurrentControlSet\\Control\\Windows\\CSDVersion"));
}

}  // namespace
}  // namespace navelo
