// The console settings of navelo.ini and the run time's number rule.
#include "console/console_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace navelo {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    std::random_device device;
    dir_ = fs::temp_directory_path() / ("navelo_console_test_" + std::to_string(device()));
    fs::create_directories(dir_);
  }
  ~SettingsTest() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }
  ConsoleSettings Read(const std::string& ini) {
    std::ofstream(dir_ / "navelo.ini", std::ios::binary) << ini;
    return ReadConsoleSettings(dir_ / "navelo.ini", 2048, 1468);
  }
  fs::path dir_;
};

TEST(LeadingIntegerTest, TheRunTimeRule) {
  bool complete = false;
  EXPECT_EQ(LeadingInteger("  42", &complete), 42);
  EXPECT_TRUE(complete);
  EXPECT_EQ(LeadingInteger("-7"), -7);
  EXPECT_EQ(LeadingInteger("$1F"), 31);
  EXPECT_EQ(LeadingInteger("0x10"), 16);
  EXPECT_EQ(LeadingInteger("12ab", &complete), 12);
  EXPECT_FALSE(complete);
  EXPECT_EQ(LeadingInteger("abc", &complete), 0);
  EXPECT_FALSE(complete);
  EXPECT_EQ(LeadingInteger("99999999999999999999"), 2147483647);
}

TEST(ColourMapTest, EntriesFillFromTheStartAndABadOneEndsTheList) {
  EXPECT_EQ(ParseColourMap("4,1"),
            (std::array<int, 16>{4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(ParseColourMap(" 9 , 8x, 7"),
            (std::array<int, 16>{9, 8, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(ParseColourMap("20")[0], 20);
}

TEST_F(SettingsTest, MissingFileGivesTheDefaults) {
  const ConsoleSettings s = ReadConsoleSettings(dir_ / "none.ini", 1024, 734);
  EXPECT_EQ(s.Attribute(), 0x0F);
  EXPECT_FALSE(s.colours_fixed);
  EXPECT_FALSE(s.slow_scroll);
  EXPECT_EQ(s.font_face, "Lucida Console");
  EXPECT_EQ(s.char_width, 13);
  EXPECT_EQ(s.char_height, 28);
  EXPECT_EQ(s.weight, 700);
  EXPECT_TRUE(s.maximised);
  EXPECT_EQ(s.braille_mode, 0);
}

TEST_F(SettingsTest, ValuesOfTheFile) {
  const ConsoleSettings s = Read(
      "[video]\nTABCORES=4,1\nCORESFIXAS=sim\nLENTO=S\nCORFUNDO=1\nCORLETRA=14\n"
      "FONTE=DejaVu Sans Mono\nLARGURALETRA=10\nALTURALETRA=20x\nPESOLETRA=400\n"
      "CANTOTELA=NAO\n[BRAILLE]\nMODO=2\n");
  EXPECT_EQ(s.colour_map[0], 4);
  EXPECT_TRUE(s.colours_fixed);
  EXPECT_TRUE(s.slow_scroll);
  EXPECT_EQ(s.Attribute(), 0x1E);
  EXPECT_EQ(s.font_face, "DejaVu Sans Mono");
  EXPECT_EQ(s.char_width, 10);
  EXPECT_EQ(s.char_height, 20);
  EXPECT_EQ(s.weight, 400);
  EXPECT_FALSE(s.maximised);
  EXPECT_EQ(s.braille_mode, 2);
}

TEST_F(SettingsTest, EmptyKeysAndTheWorkArea) {
  const ConsoleSettings s = Read("[VIDEO]\nCORFUNDO=\nCORLETRA=\nLARGURALETRA=\nTABCORES=\n");
  EXPECT_EQ(s.Attribute(), 0x07);
  EXPECT_EQ(s.char_width, 26);   // 2048 / 1024 * 13
  EXPECT_EQ(s.char_height, 56);  // 1468 / 734 * 28
  EXPECT_EQ(s.colour_map[0], 0);
}

}  // namespace
}  // namespace navelo
