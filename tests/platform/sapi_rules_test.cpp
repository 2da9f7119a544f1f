// The Speech API engines' own choices: the voice and rate a start selects, the texts as handed
// over, and the busy test of Speech API 4 from its notifications.
#include "platform/speech/sapi_rules.h"

#include <gtest/gtest.h>

namespace navelo {
namespace {

TEST(SapiRules, Api5VoiceNumbersCountFromOneAndZeroIsTheFirstVoice) {
  // Three voices installed.
  EXPECT_EQ(Sapi5VoiceChoice(1, 4, 3).item, 0);
  EXPECT_EQ(Sapi5VoiceChoice(1, 4, 3).rate, 4);
  EXPECT_EQ(Sapi5VoiceChoice(3, -2, 3).item, 2);
  EXPECT_EQ(Sapi5VoiceChoice(3, -2, 3).rate, -2);
  // No voice chosen in navelo.ini: the first voice, and the speed still counts.
  EXPECT_EQ(Sapi5VoiceChoice(0, 5, 3).item, 0);
  EXPECT_EQ(Sapi5VoiceChoice(0, 5, 3).rate, 5);
}

TEST(SapiRules, Api5VoiceOutOfRangeIsTheFirstVoiceAtTheDefaultRate) {
  EXPECT_EQ(Sapi5VoiceChoice(4, 7, 3).item, 0);
  EXPECT_EQ(Sapi5VoiceChoice(4, 7, 3).rate, 0);
  EXPECT_EQ(Sapi5VoiceChoice(-1, 7, 3).item, 0);
  EXPECT_EQ(Sapi5VoiceChoice(-1, 7, 3).rate, 0);
  EXPECT_EQ(Sapi5VoiceChoice(2, 7, 1).item, 0);
  EXPECT_EQ(Sapi5VoiceChoice(2, 7, 1).rate, 0);
}

TEST(SapiRules, Api5SpeaksAnEmptyTextAsASpaceAndEverythingElseAsItCame) {
  EXPECT_EQ(Sapi5Text(""), " ");
  EXPECT_EQ(Sapi5Text("7"), "7");
  EXPECT_EQ(Sapi5Text("  casa \x80 "), "  casa \x80 ");
}

TEST(SapiRules, Api4ModeCountTakesZeroAsTheFirstAndRefusesNegatives) {
  EXPECT_EQ(Sapi4ModeCount(0), 1);
  EXPECT_EQ(Sapi4ModeCount(1), 1);
  EXPECT_EQ(Sapi4ModeCount(4), 4);
  EXPECT_EQ(Sapi4ModeCount(-1), -1);
}

TEST(SapiRules, Api4TextIsTrimmedAndALoneDigitGetsAFullStop) {
  EXPECT_EQ(Sapi4Text("7"), "7.");
  EXPECT_EQ(Sapi4Text("  0\r\n"), "0.");
  EXPECT_EQ(Sapi4Text("12"), "12");
  EXPECT_EQ(Sapi4Text("a"), "a");
  EXPECT_EQ(Sapi4Text("\t Bom dia.  "), "Bom dia.");
  EXPECT_EQ(Sapi4Text("   "), "");
  // Letters above 127 are text, not blanks.
  EXPECT_EQ(Sapi4Text("\xe9 "), "\xe9");
}

TEST(SapiRules, Api4BusyFollowsTheNotifications) {
  Sapi4Progress progress;
  EXPECT_FALSE(progress.Busy(false));
  progress.TextStarted();
  progress.TextStarted();
  EXPECT_TRUE(progress.Busy(true));
  progress.AudioStarted();
  progress.TextDone();
  progress.TextDone();
  // Texts done, sound still playing: only the plain test is busy.
  EXPECT_FALSE(progress.Busy(true));
  EXPECT_TRUE(progress.Busy(false));
  progress.AudioStopped();
  EXPECT_FALSE(progress.Busy(false));
  // A done notice without a start never makes the count negative.
  progress.TextDone();
  EXPECT_EQ(progress.pending(), 0);
  progress.TextStarted();
  EXPECT_TRUE(progress.Busy(true));
  progress.AudioStarted();
  progress.Clear();
  EXPECT_FALSE(progress.Busy(false));
}

}  // namespace
}  // namespace navelo
