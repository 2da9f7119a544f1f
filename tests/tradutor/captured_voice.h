// The speech front end over the smallest host data, with a speech service configured and the
// platform's engines behind it, speaking into the WAV capture; what the capture holds is measured.
// Base of the tests of the platforms' voices (TestBase: ::testing::Test or TestWithParam).
#pragma once

#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "platform/speech_engine.h"
#include "tradutor/diphone_speech.h"
#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {

// The capture output, and a key typed once a given number of blocks has been written.
class KeyAfterBlocks final : public AudioOutput {
 public:
  KeyAfterBlocks(AudioOutput& inner, QueueKeyboard& keys) : inner_(inner), keys_(keys) {}
  int Open(const PcmFormat& format) override { return inner_.Open(format); }
  void Close() override { inner_.Close(); }
  bool Write(const uint8_t* data, size_t length, int slot) override {
    ++writes;
    if (writes == key_at) keys_.Type("x");
    return inner_.Write(data, length, slot);
  }
  void Reset() override { inner_.Reset(); }
  void TakeFinished(std::vector<int>& slots) override { inner_.TakeFinished(slots); }
  int writes = 0;
  int key_at = 0;

 private:
  AudioOutput& inner_;
  QueueKeyboard& keys_;
};

struct Heard {
  double seconds = 0;
  double rms = 0;  // of the whole capture, full scale 1
};

template <class TestBase>
class CapturedVoiceTest : public TestBase {
 protected:
  CapturedVoiceTest() : host_(DriveCAndHome(dir_.path()), dir_.path().string()), config_(host_) {}

  // Writes navelo.ini with service_lines in its [SERVFALA] section and the smallest voice data,
  // then starts the front end (SpeechInit must return 0; init_took_ says how long it took).
  // False when the capture could not be made.
  bool StartWithService(const std::string& service_lines) {
    const fs::path c = dir_.path() / "c";
    WriteFile(UserIniPath(dir_.path()),
              "[TRADUTOR]\r\nDIRDIFONES=c:\\difones\r\nDIRLETRAS=c:\\letras\r\nSAPI=S\r\n"
              "[SERVFALA]\r\n" + service_lines);
    WriteCasaVoice(c / "difones");
    WriteFile(c / "letras" / "_unknown.wav", WavBytes(std::string(300, 30)));
    std::string error;
    capture_ = MakeWavCaptureAudio((dir_.path() / "heard.wav").string(), error);
    if (capture_ == nullptr) {
      ADD_FAILURE() << error;
      return false;
    }
    output_ = std::make_unique<KeyAfterBlocks>(*capture_, keys_);
    wave_ = std::make_unique<WavePlayer>(*output_, console_, keys_, host_);
    transcript_ = std::make_unique<Transcript>((dir_.path() / "transcript").string());
    speech_ = std::make_unique<DiphoneSpeech>(console_, keys_, config_, host_, *wave_,
                                              *transcript_, [](int) {});
    speech_->SetEngineFactory(MakeSpeechEngine);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(speech_->SpeechInit(0, "c:\\sons"), 0);
    init_took_ = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return true;
  }

  // What the capture holds (16-bit mono at kCaptureRate after a 44-byte header), once the
  // front end is done speaking.
  Heard Listen() {
    speech_->WaitWhileBusy();
    const std::string bytes = ReadWhole(dir_.path() / "heard.wav");
    Heard heard;
    if (bytes.size() <= 44) return heard;
    const size_t n = (bytes.size() - 44) / 2;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const auto lo = static_cast<uint8_t>(bytes[44 + 2 * i]);
      const auto hi = static_cast<uint8_t>(bytes[45 + 2 * i]);
      const double v = static_cast<int16_t>(lo | (hi << 8)) / 32768.0;
      sum += v * v;
    }
    heard.seconds = static_cast<double>(n) / kCaptureRate;
    heard.rms = std::sqrt(sum / static_cast<double>(n));
    return heard;
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
  std::unique_ptr<KeyAfterBlocks> output_;
  std::unique_ptr<WavePlayer> wave_;
  std::unique_ptr<Transcript> transcript_;
  std::unique_ptr<DiphoneSpeech> speech_;
  std::chrono::milliseconds init_took_{0};
};

}  // namespace navelo::testing
