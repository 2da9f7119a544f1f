// Speech speed and latency over the synthetic speech host of the tests: seconds of audio made per
// second of CPU for a 1000-word Portuguese text (and espeak-ng on the same text, in the same
// run), the delay from Speak to the first block handed to the audio output, and from a key press
// to the output's reset, for our synthesizer (argument 0) and the espeak-ng speech service (1).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "bench/bench_io.h"
#include "bench/espeak_reference.h"
#include "config/config.h"
#include "config/host_env.h"
#include "platform/speech_engine.h"
#include "platform/text_encoding.h"
#include "platform/transcript.h"
#include "tests/fixtures/speech_host.h"
#include "tradutor/diphone_speech.h"
#include "tests/config/temp_host.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kParagraph =
    "O objeto foi postado na agência dos Correios de São Paulo e seguiu para a unidade de "
    "tratamento, onde foi recebido, conferido e encaminhado ao centro de distribuição da cidade "
    "de destino. Na manhã seguinte, o carteiro saiu para entregar o pacote, mas o destinatário "
    "estava ausente; uma nova tentativa será feita amanhã, entre oito horas e meio dia. Caso não "
    "seja possível entregar, o objeto ficará disponível para retirada na agência mais próxima por "
    "sete dias úteis, e depois voltará ao remetente com a informação do motivo da devolução. ";

// 1000 words: the paragraph (100 words) ten times.
std::string Text() {
  std::string text;
  for (int i = 0; i < 10; ++i) text += kParagraph;
  return text;
}

// Output whose blocks finish at once, or never (so that speech waits as on a real device).
class TimingAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat&) override { return 0; }
  void Close() override {}
  bool Write(const uint8_t*, size_t length, int slot) override {
    if (first_write == Clock::time_point{}) first_write = Clock::now();
    bytes += length;
    (finish ? finished_ : pending_).push_back(slot);
    return true;
  }
  void Reset() override {
    if (reset == Clock::time_point{}) reset = Clock::now();
    finished_.insert(finished_.end(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }
  bool finish = true;
  size_t bytes = 0;
  Clock::time_point first_write{};
  Clock::time_point reset{};

 private:
  std::vector<int> pending_;
  std::vector<int> finished_;
};


// A key that is pressed from a given moment on.
class TimedKeyboard final : public Keyboard {
 public:
  bool KeyPressed() override { return pressed_at != Clock::time_point{} && Clock::now() >= pressed_at; }
  unsigned char ReadKey() override { return 13; }
  KeyModifiers Modifiers() override { return {}; }
  Clock::time_point pressed_at{};
};

struct Host {
  // with_service: the texts go to the espeak-ng speech service instead of our synthesizer.
  explicit Host(bool with_service = false)
      : root(fs::temp_directory_path() / ("navelo_speech_bench_" + std::to_string(std::random_device{}()))),
        host(testing::MapEnv({{"NAVELO_DRIVE_C", (root / "c").string()},
                                  {"HOME", root.string()}}),
            root.string()),
        config(host),
        wave(audio, console, keys, host),
        speech(console, keys, config, host, wave, transcript, [](int) { std::abort(); }) {
    speech_host::WriteSpeechHost(root / "c" / "navelo");
    fs::create_directories(root / "AppData/Roaming/Navelo");
    // No punctuation pauses: the speed figure is the synthesizer's own.
    std::ofstream(root / "AppData/Roaming/Navelo/navelo.ini")
        << "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n"
        << (with_service ? "SAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=5\r\n" : "")
        << "[SINTETIZADOR]\r\nPAUSAPONTO3=0\r\nPAUSAVIRG3=0\r\nPAUSADOISPONTOS3=0\r\n";
    speech.SetEngineFactory(MakeSpeechEngine);
    speech.SpeechInit(3, "");
  }
  ~Host() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  fs::path root;
  HostEnvironment host;
  Config config;
  TimingAudio audio;
  QuietConsole console{true};
  TimedKeyboard keys;
  Transcript transcript;
  WavePlayer wave;
  DiphoneSpeech speech;
};

void BM_SynthesisSpeed(benchmark::State& state) {
  Host h;
  const std::string text = Utf8ToCp1252(Text());
  double audio_seconds = 0;
  for (auto _ : state) {
    h.audio.bytes = 0;
    h.speech.Speak(text);
    audio_seconds += static_cast<double>(h.audio.bytes) / 11025.0;
  }
  state.counters["audio_s_per_cpu_s"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
  state.counters["audio_s_per_text"] =
      audio_seconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SynthesisSpeed)->Unit(benchmark::kMillisecond);

// espeak-ng on the same text, the reference.
void BM_EspeakNgSpeed(benchmark::State& state) { MeasureEspeakNg(state, Text()); }
BENCHMARK(BM_EspeakNgSpeed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// From Speak to the first block handed to the audio output, for one sentence.
void BM_SpeakToFirstBlock(benchmark::State& state) {
  Host h(state.range(0) == 1);
  const std::string failure = "espeak-ng: " + h.speech.service_failure();
  if (state.range(0) == 1 && !h.speech.service_active()) {
    state.SkipWithError(failure.c_str());
    return;
  }
  const std::string sentence =
      Utf8ToCp1252("Última atualização: objeto entregue ao destinatário na cidade de destino.");
  for (auto _ : state) {
    h.audio.first_write = {};
    const auto start = Clock::now();
    h.speech.Speak(sentence);
    state.SetIterationTime(std::chrono::duration<double>(h.audio.first_write - start).count());
  }
}
BENCHMARK(BM_SpeakToFirstBlock)->UseManualTime()->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);

// From a key press in the middle of speech to the reset of the audio output.
void BM_KeyToSilence(benchmark::State& state) {
  Host h(state.range(0) == 1);
  const std::string failure = "espeak-ng: " + h.speech.service_failure();
  if (state.range(0) == 1 && !h.speech.service_active()) {
    state.SkipWithError(failure.c_str());
    return;
  }
  h.audio.finish = false;  // blocks play until stopped, as on a device
  const std::string text = Utf8ToCp1252(Text());
  for (auto _ : state) {
    h.audio.reset = {};
    h.keys.pressed_at = Clock::now() + std::chrono::milliseconds(20);
    h.speech.Speak(text);
    state.SetIterationTime(std::chrono::duration<double>(h.audio.reset - h.keys.pressed_at).count());
    h.keys.pressed_at = {};
  }
}
BENCHMARK(BM_KeyToSilence)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Arg(0)->Arg(1);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
