// Numbers in words and the names of their word sounds.
#include "tradutor/spoken_numbers.h"

#include <gtest/gtest.h>

#include "platform/text_encoding.h"

namespace navelo {
namespace {

TEST(NumberToWordsTest, Examples) {
  const std::vector<std::pair<long long, std::string>> cases = {
      {0, "zero"},
      {1, "um"},
      {10, "dez"},
      {16, "dezesseis"},
      {21, "vinte e um"},
      {100, "cem"},
      {101, "cento e um"},
      {110, "cento e dez"},
      {999, "novecentos e noventa e nove"},
      {1000, "mil "},
      {1001, "mil e um"},
      {2340, "dois mil e trezentos e quarenta"},
      {100000, "cem mil "},
      {999999, "novecentos e noventa e nove mil e novecentos e noventa e nove"},
      {1000000, "um milhão "},
      {2000001, "dois milhões e um"},
      {1001000, "um milhão e um mil "},  // "um mil" loses its "um" only at the start,
      {2147483647,
       "dois bilhões cento e quarenta e sete milhões quatrocentos e oitenta e tres mil e "
       "seiscentos e quarenta e sete"},
  };
  for (const auto& [n, words] : cases) EXPECT_EQ(NumberToWords(n), Utf8ToCp1252(words)) << n;
}

TEST(WordSoundNameTest, FileNameRules) {
  EXPECT_EQ(WordSoundName("cento", false), "_cento");
  EXPECT_EQ(WordSoundName("quatrocentos", false), "_quatroc");
  EXPECT_EQ(WordSoundName("dezesseis", false), "_dezesse");
  EXPECT_EQ(WordSoundName("dezessete", false), "_dezeset");
  EXPECT_EQ(WordSoundName(Utf8ToCp1252("milhões"), false), "_milhoes");
  EXPECT_EQ(WordSoundName(Utf8ToCp1252("milhão"), false), "_milhao");
  EXPECT_EQ(WordSoundName("um", true), "_uma");
  EXPECT_EQ(WordSoundName("dois", true), "_duas");
  EXPECT_EQ(WordSoundName("um", false), "_um");
  EXPECT_EQ(WordSoundName("tres", true), "_tres");
}

TEST(WeekDayTest, KnownDates) {
  EXPECT_EQ(WeekDay(1, 3, 2024), 5);   // a Friday
  EXPECT_EQ(WeekDay(29, 2, 2024), 4);  // Thursday
  EXPECT_EQ(WeekDay(1, 1, 2000), 6);   // Saturday
  EXPECT_EQ(WeekDay(9, 12, 2026), 3);  // Wednesday
}

}  // namespace
}  // namespace navelo
