// The platform's voices behind the speech service, for real: espeak-ng's Brazilian voice into the
// WAV capture (heard, of a plausible length, the euro sign spoken, the speed setting obeyed, a
// key cutting a long text within one piece) and speech-dispatcher on a daemon of the test's own.
// A test whose engine is not on this machine is skipped with the reason.
#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/text_encoding.h"
#include "tests/tradutor/captured_voice.h"

// libspeechd loses one message it formats with vasprintf when it cannot reach a daemon (the
// start that fails below); our code formats nothing with it. Only this test binary says so.
extern "C" const char* __lsan_default_suppressions() { return "leak:__vasprintf_internal\n"; }

namespace navelo::testing {
namespace {

class PlatformVoicesTest : public CapturedVoiceTest<::testing::Test> {
 protected:
  // Starts the front end with the service of type; false (and a skip reason) when the engine
  // does not start on this machine.
  bool Start(int type, int service_speed = 0) {
    if (!StartWithService("TIPOSAPI=" + std::to_string(type) + "\r\nVELOCIDADE=" +
                          std::to_string(service_speed) + "\r\n")) {
      return false;
    }
    if (!speech_->service_active()) skip_reason_ = speech_->service_failure();
    return speech_->service_active();
  }

  std::string skip_reason_;
};

constexpr const char* kLong =
    "O objeto foi postado na agência dos Correios de São Paulo e seguiu para a unidade de "
    "tratamento, onde foi recebido, conferido e encaminhado ao centro de distribuição da cidade "
    "de destino. Na manhã seguinte, o carteiro saiu para entregar o pacote.";

TEST_F(PlatformVoicesTest, EspeakNgSpeaksASentenceIntoTheWaveOutput) {
  if (!Start(5)) GTEST_SKIP() << skip_reason_;
  speech_->Speak(Utf8ToCp1252("Bom dia. O objeto foi entregue ao destinatário."));
  const Heard heard = Listen();
  EXPECT_GT(heard.rms, 0.02);
  EXPECT_GT(heard.seconds, 1.5);
  EXPECT_LT(heard.seconds, 6.0);
}

TEST_F(PlatformVoicesTest, EspeakNgSpeaksTheEuroSign) {
  if (!Start(5)) GTEST_SKIP() << skip_reason_;
  // cp1252 128: lost if the text reached the engine as Latin-1, where 128 is a control code.
  speech_->Speak("\x80");
  const Heard heard = Listen();
  EXPECT_GT(heard.seconds, 0.2);
  EXPECT_GT(heard.rms, 0.02);
}

TEST_F(PlatformVoicesTest, EspeakNgFollowsTheServiceSpeed) {
  if (!Start(5, -10)) GTEST_SKIP() << skip_reason_;
  speech_->Speak(kLong);
  const double slow = Listen().seconds;
  speech_->SpeechReconfigure(3, true, 5, 0, 10, 0);
  ASSERT_TRUE(speech_->service_active());
  const double before = slow;
  speech_->Speak(kLong);
  const double fast = Listen().seconds - before;
  EXPECT_GT(slow, 2.0 * fast) << slow << " s slow, " << fast << " s fast";
}

TEST_F(PlatformVoicesTest, AKeyCutsALongTextWithinOnePiece) {
  if (!Start(5)) GTEST_SKIP() << skip_reason_;
  output_->key_at = 5;
  speech_->Speak(Utf8ToCp1252(kLong));
  // The key came with the fifth piece; nothing after it was handed to the output.
  EXPECT_EQ(output_->writes, 5);
  EXPECT_TRUE(keys_.KeyPressed());
  // Five pieces of about 49 ms (espeak-ng's shortest) of a text that lasts over 8 s.
  const Heard heard = Listen();
  EXPECT_LT(heard.seconds, 0.3);
}

TEST_F(PlatformVoicesTest, ServiceTypeFourDoesNotStartOnThisSystem) {
  EXPECT_FALSE(Start(4));
  EXPECT_FALSE(skip_reason_.empty());
  speech_->Speak("casa");  // our synthesizer speaks
  EXPECT_GT(output_->writes, 0);
}

// A speech-dispatcher daemon of the test's own: its socket, configuration and sound in a temporary
// folder, speaking through ALSA's null device, so no sound card is needed. The library finds it
// through SPEECHD_ADDRESS.
class OwnSpeechDispatcher {
 public:
  // Without sound, the daemon's sound goes to a PulseAudio server that is not there: it takes
  // texts and never speaks them.
  explicit OwnSpeechDispatcher(const fs::path& dir, bool sound = true) : dir_(dir) {
    if (std::system("command -v speech-dispatcher > /dev/null 2>&1") != 0) {
      reason = "speech-dispatcher is not installed (package speech-dispatcher)";
      return;
    }
    fs::create_directories(dir / "home");
    fs::copy("/etc/speech-dispatcher", dir / "conf", fs::copy_options::recursive);
    std::ofstream(dir / "conf" / "speechd.conf", std::ios::app)
        << (sound ? "\nAudioOutputMethod \"alsa\"\n" : "\nAudioOutputMethod \"pulse\"\n")
        << "DefaultModule espeak-ng\n";
    std::ofstream(dir / "home" / ".asoundrc") << "pcm.!default { type null }\n";
    const std::string d = dir.string();
    const std::string command = "HOME='" + d + "/home' XDG_RUNTIME_DIR='" + d +
                                "' PULSE_SERVER='unix:" + d + "/no-pulse" +
                                "' speech-dispatcher -s -t 60 -C '" + d + "/conf' -S '" + d +
                                "/sd.sock' -P '" + d + "/sd.pid' > '" + d + "/sd.log' 2>&1 &";
    if (std::system(command.c_str()) != 0) {
      reason = "speech-dispatcher could not be run";
      return;
    }
    for (int i = 0; i < 100 && !fs::exists(dir / "sd.sock"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!fs::exists(dir / "sd.sock")) {
      reason = "speech-dispatcher did not open its socket";
      return;
    }
    setenv("SPEECHD_ADDRESS", ("unix_socket:" + d + "/sd.sock").c_str(), 1);
  }
  ~OwnSpeechDispatcher() {
    unsetenv("SPEECHD_ADDRESS");
    std::ifstream pid_file(dir_ / "sd.pid");
    int pid = 0;
    if (!(pid_file >> pid) || pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 40 && kill(pid, 0) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (kill(pid, 0) == 0) kill(pid, SIGKILL);
  }
  std::string reason;  // why the daemon is not there; empty when it runs

 private:
  fs::path dir_;
};

TEST_F(PlatformVoicesTest, SpeechDispatcherSpeaksAndAKeyCancelsIt) {
  OwnSpeechDispatcher daemon(dir_.path() / "speechd");
  if (!daemon.reason.empty()) GTEST_SKIP() << daemon.reason;
  if (!Start(54)) GTEST_SKIP() << skip_reason_;
  // A short text: busy while the daemon speaks it, then done (its end notice came).
  speech_->Speak("Bom dia.");
  EXPECT_TRUE(speech_->SpeechBusy());
  const auto start = std::chrono::steady_clock::now();
  while (speech_->SpeechBusy() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(speech_->SpeechBusy());
  // The daemon has its own sound: nothing went to our output.
  EXPECT_EQ(output_->writes, 0);

  // A long text and a key: at once not busy, and still not once the key has been read.
  speech_->Speak(Utf8ToCp1252(kLong));
  EXPECT_TRUE(speech_->SpeechBusy());
  keys_.Type("x");
  EXPECT_FALSE(speech_->SpeechBusy());
  keys_.ReadKey();
  EXPECT_FALSE(speech_->SpeechBusy());
}

TEST_F(PlatformVoicesTest, ATextTheDaemonNeverEndsDoesNotHoldTheProgram) {
  OwnSpeechDispatcher daemon(dir_.path() / "speechd", false);
  if (!daemon.reason.empty()) GTEST_SKIP() << daemon.reason;
  if (!Start(54)) GTEST_SKIP() << skip_reason_;
  // 8 characters: 5 s at most.
  speech_->Speak("Bom dia.");
  const auto start = std::chrono::steady_clock::now();
  speech_->WaitWhileBusy();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5500));
}

TEST_F(PlatformVoicesTest, SpeechDispatcherWithoutADaemonFailsToStartAndOurVoiceSpeaks) {
  // A socket where nothing answers.
  setenv("SPEECHD_ADDRESS", ("unix_socket:" + (dir_.path() / "none.sock").string()).c_str(), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Start(54));
  unsetenv("SPEECHD_ADDRESS");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(skip_reason_.empty());
  speech_->Speak("casa");
  EXPECT_GT(output_->writes, 0);
}

}  // namespace
}  // namespace navelo::testing
