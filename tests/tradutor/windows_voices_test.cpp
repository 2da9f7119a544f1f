// The Speech API voices of Windows behind the speech service. Wine's Speech API has no voice that
// speaks, so here every service type must fail its start at once and leave our own synthesizer
// speaking into the WAV capture; nothing may wait on a voice that is not there.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "tests/tradutor/captured_voice.h"

namespace navelo::testing {
namespace {

class WindowsVoicesTest : public CapturedVoiceTest<::testing::TestWithParam<int>> {
 protected:
  // Starts the front end with the service of type configured.
  void Start(int type, int voice) {
    ASSERT_TRUE(StartWithService("TIPOSAPI=" + std::to_string(type) + "\r\nVOZ=" +
                                 std::to_string(voice) + "\r\nVELOCIDADE=3\r\n"));
  }
};

TEST_P(WindowsVoicesTest, TheServiceFailsItsStartWithinASecondAndOurVoiceSpeaks) {
  ASSERT_NO_FATAL_FAILURE(Start(GetParam(), 0));
  EXPECT_LT(init_took_.count(), 1000) << "type " << GetParam();
  EXPECT_FALSE(speech_->service_active());
  EXPECT_FALSE(speech_->service_failure().empty());
  std::printf("type %d: %s\n", GetParam(), speech_->service_failure().c_str());
  speech_->Speak("casa");
  const Heard heard = Listen();
  EXPECT_GT(heard.seconds, 0.01);
  EXPECT_GT(heard.rms, 0.001);
}

TEST_P(WindowsVoicesTest, SwitchingToTheServiceAtRunTimeFailsAsFastAndOurVoiceStays) {
  ASSERT_NO_FATAL_FAILURE(Start(GetParam(), 0));
  for (const int voice : {0, 1, 7, -3}) {
    const auto start = std::chrono::steady_clock::now();
    speech_->SpeechReconfigure(3, true, GetParam(), voice, 0, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1)) << "type " << GetParam() << ", voice " << voice;
    EXPECT_FALSE(speech_->service_active());
  }
  speech_->Speak("casa");
  EXPECT_GT(Listen().seconds, 0.01);
}

INSTANTIATE_TEST_SUITE_P(EveryServiceType, WindowsVoicesTest, ::testing::Values(5, 54, 4, 3, 1),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

}  // namespace
}  // namespace navelo::testing
