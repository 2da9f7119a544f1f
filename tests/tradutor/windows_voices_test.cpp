// The Speech API voices of Windows behind the speech service. Wine's Speech API has no voice that
// speaks, so here every service type must fail its start at once and leave our own synthesizer
// speaking into the WAV capture; nothing may wait on a voice that is not there.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/speech_engine.h"
#include "tradutor/diphone_speech.h"
#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {
namespace {

class WindowsVoicesTest : public ::testing::TestWithParam<int> {
 protected:
  WindowsVoicesTest()
      : host_(
            [this](std::string_view name, std::string& value) {
              if (name == "NAVELO_DRIVE_C") value = (dir_.path() / "c").string();
              else if (name == "HOME") value = (dir_.path() / "home").string();
              else return false;
              return true;
            },
            dir_.path().string()),
        config_(host_) {}

  // Starts the front end with the service of type configured; returns how long SpeechInit took.
  std::chrono::milliseconds Start(int type, int voice) {
    const fs::path c = dir_.path() / "c";
    WriteFile(dir_.path() / "home/AppData/Roaming/Navelo/navelo.ini",
              "[TRADUTOR]\r\nDIRDIFONES=c:\\difones\r\nDIRLETRAS=c:\\letras\r\nSAPI=S\r\n"
              "[SERVFALA]\r\nTIPOSAPI=" + std::to_string(type) + "\r\nVOZ=" +
                  std::to_string(voice) + "\r\nVELOCIDADE=3\r\n");
    WriteDatabase(c / "difones", {{"$KAS", 1, 300}});
    WriteFile(c / "difones" / "regras.rgr", "(C)=k\n");
    WriteFile(c / "difones" / "portug.exc", "");
    WriteFile(c / "letras" / "_unknown.wav", WavBytes(std::string(300, 30)));
    std::string error;
    capture_ = MakeWavCaptureAudio((dir_.path() / "heard.wav").string(), error);
    EXPECT_NE(capture_, nullptr) << error;
    wave_ = std::make_unique<WavePlayer>(*capture_, console_, keys_, host_);
    transcript_ = std::make_unique<Transcript>((dir_.path() / "transcript").string());
    speech_ = std::make_unique<DiphoneSpeech>(console_, keys_, config_, host_, *wave_,
                                              *transcript_, [](int) {});
    speech_->SetEngineFactory(MakeSpeechEngine);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(speech_->SpeechInit(0, "c:\\sons"), 0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
  }

  // Seconds of sound and their loudness (full scale 1) in the capture.
  std::pair<double, double> Heard() {
    speech_->WaitWhileBusy();
    const std::string bytes = ReadWhole(dir_.path() / "heard.wav");
    if (bytes.size() <= 44) return {0, 0};
    const size_t n = (bytes.size() - 44) / 2;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const auto lo = static_cast<uint8_t>(bytes[44 + 2 * i]);
      const auto hi = static_cast<uint8_t>(bytes[45 + 2 * i]);
      const double v = static_cast<int16_t>(lo | (hi << 8)) / 32768.0;
      sum += v * v;
    }
    return {static_cast<double>(n) / kCaptureRate, std::sqrt(sum / static_cast<double>(n))};
  }

  void TearDown() override {
    if (speech_) speech_->SpeechShutdown();
  }

  TempDir dir_;
  HostEnvironment host_;
  Config config_;
  CountingConsole console_;
  QueueKeyboard keys_;
  std::unique_ptr<AudioOutput> capture_;
  std::unique_ptr<WavePlayer> wave_;
  std::unique_ptr<Transcript> transcript_;
  std::unique_ptr<DiphoneSpeech> speech_;
};

TEST_P(WindowsVoicesTest, TheServiceFailsItsStartWithinASecondAndOurVoiceSpeaks) {
  const auto took = Start(GetParam(), 0);
  EXPECT_LT(took.count(), 1000) << "type " << GetParam();
  EXPECT_FALSE(speech_->service_active());
  EXPECT_FALSE(speech_->service_failure().empty());
  std::printf("type %d: %s\n", GetParam(), speech_->service_failure().c_str());
  speech_->Speak("casa");
  const auto [seconds, rms] = Heard();
  EXPECT_GT(seconds, 0.01);
  EXPECT_GT(rms, 0.001);
}

TEST_P(WindowsVoicesTest, SwitchingToTheServiceAtRunTimeFailsAsFastAndOurVoiceStays) {
  Start(GetParam(), 0);
  for (const int voice : {0, 1, 7, -3}) {
    const auto start = std::chrono::steady_clock::now();
    speech_->SpeechReconfigure(3, true, GetParam(), voice, 0, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1)) << "type " << GetParam() << ", voice " << voice;
    EXPECT_FALSE(speech_->service_active());
  }
  speech_->Speak("casa");
  EXPECT_GT(Heard().first, 0.01);
}

INSTANTIATE_TEST_SUITE_P(EveryServiceType, WindowsVoicesTest, ::testing::Values(5, 54, 4, 3, 1),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

}  // namespace
}  // namespace navelo::testing
