// Numbers, hours and dates in Portuguese words, and the names of the recorded word sounds that
// speak them.
#pragma once

#include <string>
#include <string_view>

namespace navelo {

// A non-negative integer in words (cp1252): 21 "vinte e um", 1000 "mil ", 1000000 "um milhão ".
std::string NumberToWords(long long n);

// The word sound file name of one word: "_" + the word without tildes, cut to 8 characters;
// "dezessete" is "_dezeset"; the last word of a feminine text says "_uma" and "_duas".
std::string WordSoundName(std::string_view word, bool feminine_last);

// 0 for Sunday.
int WeekDay(int day, int month, int year);

extern const char* const kWeekdayNames[7];
extern const char* const kMonthNames[12];

}  // namespace navelo
