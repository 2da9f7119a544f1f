// The configuration tool's merge (pelaso): which lines of its input are entries, and how they
// land in the user's navelo.ini.
#include "config/ini_merge.h"

#include <gtest/gtest.h>

#include "temp_host.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using testing::Listing;
using testing::Slurp;
using testing::Spit;
using testing::TempDir;

std::vector<std::string> Flat(const std::vector<IniEntry>& entries) {
  std::vector<std::string> out;
  for (const IniEntry& e : entries) out.push_back(e.section + "|" + e.key + "|" + e.value);
  return out;
}

TEST(IniMergeTest, EntriesAreKeyLinesUnderASection) {
  EXPECT_EQ(Flat(IniEntries("antes=1\r\n[ NAVELO ]\r\n; nota=2\r\n  SSL_ARQUIVO_CA = c:\\ca.pem\r\n"
                            "sem igual\r\n=vazio\r\n[]\r\nperdido=3\r\n[Bexilo]\nURL=a=b\rX=\n"
                            "[ultima]\nfim=sem quebra")),
            (std::vector<std::string>{"NAVELO|SSL_ARQUIVO_CA| c:\\ca.pem", "Bexilo|URL|a=b",
                                      "Bexilo|X|", "ultima|fim|sem quebra"}));
  // A UTF-8 file (with its byte-order mark) is read as cp1252.
  EXPECT_EQ(Flat(IniEntries("\xEF\xBB\xBF[A]\r\nnome=Jos\xC3\xA9\r\n")),
            (std::vector<std::string>{"A|nome|Jos\xE9"}));
  EXPECT_TRUE(IniEntries("").empty());
}

TEST(IniMergeTest, KeysAreSetInPlaceAfterTheirSectionOrInANewOne) {
  TempDir dir;
  const fs::path ini = dir / "Navelo" / "navelo.ini";
  fs::create_directories(ini.parent_path());
  Spit(ini, "; comentario\r\n[NAVELO]\r\nFALANDO=Sim\r\nssl_arquivo_ca=velho\r\n\r\n"
            "[TRADUTOR]\r\nVELOCIDADE=3\r\n");
  std::string error;
  ASSERT_TRUE(IniMerge(ini, IniEntries("[navelo]\r\nSSL_ARQUIVO_CA=c:\\demo\\ca.pem\r\n"
                                       "NOVA=1\r\n[BEXILO]\r\nURL=https://x\r\n"
                                       "[tradutor]\r\nSAPI=N\r\n"),
                       error))
      << error;
  EXPECT_EQ(Slurp(ini),
            "; comentario\r\n[NAVELO]\r\nFALANDO=Sim\r\nssl_arquivo_ca=c:\\demo\\ca.pem\r\nNOVA=1\r\n"
            "\r\n[TRADUTOR]\r\nVELOCIDADE=3\r\nSAPI=N\r\n\r\n[BEXILO]\r\nURL=https://x\r\n");
  // Nothing is left beside it.
  EXPECT_EQ(Listing(ini.parent_path()), "navelo.ini");
}

TEST(IniMergeTest, AMissingFileIsCreatedAndAFailureLeavesTheFileAlone) {
  TempDir dir;
  const fs::path ini = dir / "AppData" / "Navelo" / "navelo.ini";
  std::string error;
  ASSERT_TRUE(IniMerge(ini, IniEntries("[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\\navelo\r\n"), error))
      << error;
  EXPECT_EQ(Slurp(ini), "[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\\navelo\r\n");
  // A target that is a folder cannot be replaced: an error, and nothing changes.
  const fs::path folder = dir / "pasta";
  fs::create_directories(folder / "navelo.ini");
  EXPECT_FALSE(IniMerge(folder / "navelo.ini", IniEntries("[A]\r\nb=c\r\n"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(folder / "navelo.ini"));
  EXPECT_EQ(Listing(folder), "navelo.ini");
}

}  // namespace
}  // namespace navelo
