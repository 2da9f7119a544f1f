// The sound device's own latencies, on the machine's real output (waveOut on Windows, SDL on
// Linux): from Speak to the first block handed to the device and to the device having taken it,
// and from a key press during speech to the device's reset having returned every block. A plain
// program, not a benchmark-library one, so the Windows build has it too and it runs under Wine.
// Usage: sound_latency [ROUNDS]   (prints the median and the largest of each figure)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_io.h"
#include "config/config.h"
#include "config/host_env.h"
#include "platform/text_encoding.h"
#include "platform/transcript.h"
#include "tests/config/temp_host.h"
#include "tests/fixtures/speech_host.h"
#include "tradutor/diphone_speech.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The device, with the moments its first block came and was taken, and its last reset.
class Probe final : public AudioOutput {
 public:
  explicit Probe(AudioOutput& inner) : inner_(inner) {}
  int Open(const PcmFormat& format) override { return inner_.Open(format); }
  void Close() override { inner_.Close(); }
  bool Write(const uint8_t* data, size_t length, int slot) override {
    const bool first = armed;
    if (first) handed = Clock::now();
    const bool ok = inner_.Write(data, length, slot);
    if (first) {
      taken = Clock::now();
      armed = false;
    }
    return ok;
  }
  void Reset() override {
    inner_.Reset();
    reset_done = Clock::now();
  }
  void TakeFinished(std::vector<int>& slots) override { inner_.TakeFinished(slots); }
  bool armed = false;
  Clock::time_point handed{}, taken{}, reset_done{};

 private:
  AudioOutput& inner_;
};

class KeyAt final : public Keyboard {
 public:
  bool KeyPressed() override { return at != Clock::time_point{} && Clock::now() >= at; }
  unsigned char ReadKey() override { return 13; }
  KeyModifiers Modifiers() override { return {}; }
  Clock::time_point at{};
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %7.2f ms   largest %7.2f ms   (%zu rounds)\n", what,
              ms[ms.size() / 2], ms.back(), ms.size());
}

int Run(int rounds) {
  std::string error;
  std::unique_ptr<AudioOutput> device = MakeDeviceAudio(error);
  if (!device) {
    std::printf("sound_latency: no sound device (%s)\n", error.c_str());
    return 0;
  }
  const fs::path root =
      fs::temp_directory_path() / ("navelo_sound_latency_" + std::to_string(std::random_device{}()));
  speech_host::WriteSpeechHost(root / "c" / "navelo");
  fs::create_directories(root / "AppData/Roaming/Navelo");
  std::ofstream(root / "AppData/Roaming/Navelo/navelo.ini")
      << "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n";
  {
    HostEnvironment host(testing::MapEnv({{"NAVELO_DRIVE_C", (root / "c").string()},
                                          {"HOME", root.string()},
                                          {"USERPROFILE", root.string()},
                                          {"APPDATA", (root / "AppData/Roaming").string()}}),
                         root.string());
    Config config(host);
    QuietConsole console(true);
    KeyAt keys;
    Transcript transcript;
    Probe probe(*device);
    WavePlayer wave(probe, console, keys, host);
    DiphoneSpeech speech(console, keys, config, host, wave, transcript, [](int) { std::abort(); });
    speech.SpeechInit(3, "");
    const std::string sentence =
        Utf8ToCp1252("Última atualização: objeto entregue ao destinatário na cidade de destino.");
    std::string text;
    for (int i = 0; i < 20; ++i) text += sentence + " ";

    std::vector<double> handed, taken, silence;
    for (int i = 0; i < rounds; ++i) {
      // Speak to the first block: the previous speech is stopped first, as a new prompt does.
      wave.WaveStop();
      probe.armed = true;
      const auto start = Clock::now();
      speech.Speak(sentence);
      if (probe.armed) continue;  // nothing reached the device
      handed.push_back(Ms(probe.handed - start));
      taken.push_back(Ms(probe.taken - start));
      // A key 30 ms into a long speech: the time until the device has given every block back.
      wave.WaveStop();
      probe.reset_done = {};
      keys.at = Clock::now() + std::chrono::milliseconds(30);
      speech.Speak(text);
      if (probe.reset_done != Clock::time_point{}) silence.push_back(Ms(probe.reset_done - keys.at));
      keys.at = {};
    }
    if (handed.empty()) {
      std::printf("sound_latency: speech reached no device\n");
    } else {
      Report("Speak to the first block handed on", handed);
      Report("Speak to the first block taken by the device", taken);
    }
    if (!silence.empty()) Report("key during speech to the device's reset done", silence);
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}

}  // namespace
}  // namespace navelo

int main(int argc, char** argv) { return navelo::Run(argc > 1 ? std::max(1, std::atoi(argv[1])) : 20); }
