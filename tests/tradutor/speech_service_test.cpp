// The speech front end with a speech service: which configuration starts which engine with which
// settings, the strict and plain busy tests, the fall back to the diphone synthesizer, stop and a
// waiting key, sounds waiting for the service's text, and switching at run time. The engine is a
// fake that logs its calls.
#include <gmock/gmock.h>

#include "tradutor/diphone_speech.h"
#include "tradutor/speech_service.h"
#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {
namespace {

using ::testing::ElementsAre;

struct EngineLog {
  std::vector<std::string> calls;
  int strict_busy_polls = 0;  // Busy(true) answers true this many times
  int plain_busy_polls = 0;   // Busy(false) answers true this many times
  bool start_result = true;
  // Pieces of sound (16-bit mono) that Speak hands to the engine audio, one per entry.
  std::vector<std::vector<int16_t>> pieces;
  int pieces_played = 0;
};

class FakeEngine final : public SpeechEngine {
 public:
  FakeEngine(EngineLog& log, EngineAudio& audio, int type) : log_(log), audio_(audio), type_(type) {}
  bool Start(int voice, int speed, int pitch, std::string& reason) override {
    log_.calls.push_back("start " + std::to_string(type_) + " " + std::to_string(voice) + " " +
                         std::to_string(speed) + " " + std::to_string(pitch));
    if (!log_.start_result) reason = "no voice";
    return log_.start_result;
  }
  void Speak(std::string_view text) override {
    log_.calls.push_back("speak " + std::string(text));
    for (const auto& piece : log_.pieces) {
      if (!audio_.Play(piece.data(), piece.size(), 22050)) break;
      ++log_.pieces_played;
    }
  }
  bool Busy(bool strict) override {
    int& polls = strict ? log_.strict_busy_polls : log_.plain_busy_polls;
    if (polls == 0) return false;
    --polls;
    return true;
  }
  void Stop() override { log_.calls.push_back("stop"); }
  void Close() override { log_.calls.push_back("close"); }

 private:
  EngineLog& log_;
  EngineAudio& audio_;
  int type_;
};

// Passes the pieces on, and types a key just before the n-th.
class KeyOnPiece final : public EngineAudio {
 public:
  KeyOnPiece(EngineAudio& inner, int& plays, int n, QueueKeyboard& keys)
      : inner_(inner), plays_(plays), n_(n), keys_(keys) {}
  bool Play(const int16_t* samples, size_t count, int rate) override {
    if (++plays_ == n_) keys_.Type("x");
    return inner_.Play(samples, count, rate);
  }

 private:
  EngineAudio& inner_;
  int& plays_;
  int n_;
  QueueKeyboard& keys_;
};

constexpr const char* kIni = "[TRADUTOR]\r\nDIRDIFONES=c:\\difones\r\nDIRLETRAS=c:\\letras\r\n";

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest()
      : host_(DriveCAndHome(dir_.path()), dir_.path().string()),
        config_(host_) {}

  // ini_extra follows the TRADUTOR section; a leading "[TRADUTOR]" line adds to that section.
  void Start(std::string ini_extra) {
    const std::string tradutor = "[TRADUTOR]\r\n";
    if (ini_extra.rfind(tradutor, 0) == 0) ini_extra.erase(0, tradutor.size());
    WriteFile(UserIniPath(dir_.path()), std::string(kIni) + ini_extra);
    const fs::path c = dir_.path() / "c";
    WriteCasaVoice(c / "difones");
    WriteFile(c / "letras" / "_unknown.wav", WavBytes(std::string(300, 30)));
    WriteFile(c / "letras" / "_65.wav", WavBytes(std::string(300, 31)));
    transcript_ = std::make_unique<Transcript>((dir_.path() / "transcript").string());
    speech_ = std::make_unique<DiphoneSpeech>(console_, keys_, config_, host_, wave_, *transcript_,
                                              [](int) {});
    speech_->SetEngineFactory([this](int type, EngineAudio& audio) {
      return std::make_unique<FakeEngine>(log_, audio, type);
    });
    ASSERT_EQ(speech_->SpeechInit(0, "c:\\sons"), 0);
  }

  TempDir dir_;
  HostEnvironment host_;
  Config config_;
  RecordingAudio audio_;
  CountingConsole console_;
  QueueKeyboard keys_;
  WavePlayer wave_{audio_, console_, keys_, host_};
  std::unique_ptr<Transcript> transcript_;
  // The engine logs into log_ and plays through keyed_audio_ until speech_ is gone.
  EngineLog log_;
  std::unique_ptr<EngineAudio> keyed_audio_;
  std::unique_ptr<DiphoneSpeech> speech_;
};

TEST_F(ServiceTest, WithoutTheSapiKeyOrWithItSetToNoTheDiphoneSynthesizerSpeaks) {
  for (const char* ini : {"", "SAPI=N\r\n", "SAPI=nao\r\n", "SAPI=\r\n"}) {
    log_ = {};
    audio_.blocks.clear();
    Start(std::string("[TRADUTOR]\r\n") + ini + "[SERVFALA]\r\nTIPOSAPI=5\r\n");
    EXPECT_FALSE(speech_->service_active()) << ini;
    speech_->Speak("casa");
    EXPECT_TRUE(log_.calls.empty()) << ini;
    EXPECT_FALSE(audio_.blocks.empty()) << ini;
  }
}

TEST_F(ServiceTest, TheConfiguredServiceReceivesTheWholeTextAndTheSynthesizerIsSilent) {
  Start("[TRADUTOR]\r\nSAPI=Sim\r\n[SERVFALA]\r\nTIPOSAPI=54\r\nVOZ=2\r\nVELOCIDADE=-4\r\nTOM=3\r\n");
  EXPECT_TRUE(speech_->service_active());
  EXPECT_EQ(speech_->service_type(), 54);
  speech_->Speak("007 casa, www.");
  EXPECT_THAT(log_.calls, ElementsAre("start 54 2 -4 3", "speak 007 casa, www."));
  EXPECT_TRUE(audio_.blocks.empty());
}

TEST_F(ServiceTest, AStartSpeedAboveTenIsDroppedExceptForSapiFour) {
  Start("[TRADUTOR]\r\nSAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=5\r\nVELOCIDADE=11\r\n");
  speech_->SpeechShutdown();
  Start("[TRADUTOR]\r\nSAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=4\r\nVELOCIDADE=11\r\n");
  EXPECT_THAT(log_.calls, ElementsAre("start 5 0 0 0", "close", "start 4 0 11 0"));
}

TEST_F(ServiceTest, AFailedStartLeavesTheDiphoneSynthesizerSpeaking) {
  log_.start_result = false;
  Start("[TRADUTOR]\r\nSAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=5\r\n");
  EXPECT_FALSE(speech_->service_active());
  EXPECT_EQ(speech_->service_failure(), "no voice");
  speech_->Speak("casa");
  EXPECT_THAT(log_.calls, ElementsAre("start 5 0 0 0"));
  EXPECT_FALSE(audio_.blocks.empty());
}

TEST_F(ServiceTest, StartWaitsOnTheStrictBusyTestAndNoLongerThanItsLimit) {
  log_.strict_busy_polls = 3;
  log_.plain_busy_polls = 100;  // the plain test is not what the start waits on
  Start("[TRADUTOR]\r\nSAPI=S\r\n");
  EXPECT_EQ(console_.delayed, 150);

  // An engine that stays busy for ever does not hold the program at its start.
  console_.delayed = 0;
  log_.strict_busy_polls = 1000000;
  speech_->SpeechReconfigure(3, true, 5, 1, 0, 0);
  EXPECT_TRUE(speech_->service_active());
  EXPECT_EQ(console_.delayed, SpeechService::kStartWaitLimitMs);
}

TEST_F(ServiceTest, BusyAndStopGoThroughTheServiceAndAWaitingKeySilencesIt) {
  Start("[TRADUTOR]\r\nSAPI=S\r\n");
  log_.calls.clear();
  log_.plain_busy_polls = 2;
  EXPECT_TRUE(speech_->SpeechBusy());
  // Stop reaches the engine only while it is busy.
  speech_->SpeechStop();
  EXPECT_THAT(log_.calls, ElementsAre("stop"));
  speech_->SpeechStop();
  EXPECT_THAT(log_.calls, ElementsAre("stop"));

  // A waiting key: not busy, the engine is stopped, the key stays, and the next text is not
  // handed over.
  log_.plain_busy_polls = 1;
  keys_.Type("x");
  EXPECT_FALSE(speech_->SpeechBusy());
  EXPECT_THAT(log_.calls, ElementsAre("stop", "stop"));
  speech_->Speak("casa");
  EXPECT_THAT(log_.calls, ElementsAre("stop", "stop"));
  EXPECT_TRUE(keys_.KeyPressed());
}

TEST_F(ServiceTest, TheMbrolaTypeIsStoppedEvenWhenNotBusy) {
  Start("[TRADUTOR]\r\nSAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=3\r\n");
  log_.calls.clear();
  speech_->SpeechStop();
  EXPECT_THAT(log_.calls, ElementsAre("stop"));
}

TEST_F(ServiceTest, ASoundAfterAServiceTextWaitsUntilTheTextIsSpoken) {
  Start("[TRADUTOR]\r\nSAPI=S\r\n");
  speech_->Speak("casa");
  log_.plain_busy_polls = 4;
  console_.on_delay = [this] { EXPECT_TRUE(audio_.blocks.empty()); };
  speech_->SpeakChar('A');
  EXPECT_EQ(log_.plain_busy_polls, 0);
  ASSERT_FALSE(audio_.blocks.empty());
  // Once cleared, the next sound does not wait.
  console_.on_delay = nullptr;
  log_.plain_busy_polls = 4;
  speech_->SpeakChar('A');
  EXPECT_EQ(log_.plain_busy_polls, 4);
}

TEST_F(ServiceTest, ReconfigureSwitchesBetweenServiceAndSynthesizerAtRunTime) {
  Start("[SERVFALA]\r\nVOZ=7\r\n");
  EXPECT_FALSE(speech_->service_active());
  // Voice 0 takes the configured voice; a speed above 10 is passed as it is.
  speech_->SpeechReconfigure(2, true, 5, 0, 15, -2);
  EXPECT_TRUE(speech_->service_active());
  speech_->Speak("casa");
  EXPECT_TRUE(audio_.blocks.empty());
  speech_->SpeechReconfigure(3, false, 5, 0, 0, 0);
  EXPECT_FALSE(speech_->service_active());
  speech_->Speak("casa");
  EXPECT_FALSE(audio_.blocks.empty());
  EXPECT_THAT(log_.calls, ElementsAre("start 5 7 15 -2", "speak casa", "close"));
}

TEST_F(ServiceTest, EngineSoundGoesToTheWaveOutputAndAKeyEndsItWithinOnePiece) {
  Start("[TRADUTOR]\r\nSAPI=S\r\n[SINTETIZADOR]\r\nCORTAFALA3=S\r\nRAPIDINHO3=S\r\n");
  for (int i = 0; i < 10; ++i) log_.pieces.emplace_back(441, static_cast<int16_t>(1000 * (i + 1)));
  speech_->Speak("casa");
  EXPECT_EQ(log_.pieces_played, 10);
  ASSERT_EQ(audio_.blocks.size(), 10u);
  // Played as the engine made it: 16-bit at its own rate, not cut nor sped up.
  EXPECT_EQ(audio_.blocks[0].format, (PcmFormat{22050, 16, 1}));
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 882u);
  EXPECT_TRUE(wave_.cut);
  EXPECT_TRUE(wave_.rate_times_15);

  // The key arrives while the third piece is being handed over.
  audio_.blocks.clear();
  log_.pieces_played = 0;
  int plays = 0;
  speech_->SetEngineFactory([this, &plays](int type, EngineAudio& audio) {
    keyed_audio_ = std::make_unique<KeyOnPiece>(audio, plays, 3, keys_);
    return std::make_unique<FakeEngine>(log_, *keyed_audio_, type);
  });
  speech_->SpeechReconfigure(3, true, 5, 1, 0, 0);
  speech_->Speak("casa comprida");
  EXPECT_EQ(plays, 3);
  EXPECT_EQ(log_.pieces_played, 2);
  EXPECT_EQ(audio_.blocks.size(), 2u);
  EXPECT_TRUE(keys_.KeyPressed());
}

TEST_F(ServiceTest, TheEditorsChangeOfSpeedKeepsTheConfiguredService) {
  Start("[TRADUTOR]\r\nSAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=54\r\n[SINTETIZADOR]\r\nPAUSAPONTO2=400\r\n");
  speech_->SpeechRestart(2);
  EXPECT_TRUE(speech_->service_active());
  EXPECT_EQ(speech_->pause_full_stop(), 400);
  EXPECT_THAT(log_.calls, ElementsAre("start 54 0 0 0", "close", "start 54 0 0 0"));
}

TEST_F(ServiceTest, TheSpeechStartHandsTheLowVisionSettingsToTheConsole) {
  Start("");
  Start("[BAIXAVISAO]\r\nAMPLIACAO=4\r\nCORLETRA=15\r\nCORFUNDO=0\r\nCORCURSOR=12\r\n");
  Start("[BAIXAVISAO]\r\nAMPLIACAO=11\r\nCORLETRA=16\r\nCORFUNDO=x\r\nCORCURSOR=-1\r\n");
  EXPECT_THAT(console_.magnifier, ElementsAre("colours 14 6 3", "colours 15 0 12", "start 1 4",
                                              "colours 14 6 3", "start 1 3"));
}

}  // namespace
}  // namespace navelo::testing
