// Screen review latency: from a review key (F1, the next word; the blank, the whole line), taken by
// ReadKey, to the first block of its speech handed to the audio output, over the synthetic speech
// host of the tests, on a console holding a screen of the tracker in a headless display. The
// output is the null device or the WAV capture file, behind a wrapper that notes when a block
// arrives.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console_window.h"
#include "platform/display.h"
#include "platform/text_encoding.h"
#include "bench/bench_io.h"
#include "platform/transcript.h"
#include "tests/fixtures/speech_host.h"
#include "tradutor/diphone_speech.h"
#include "tradutor/screen_review.h"
#include "tests/config/temp_host.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One review key, then Esc. No key is ever seen waiting, so speech is not cut short; taking the
// key (the 0 of F1, or the blank) is the moment of the key press, and it arms the output.
class ReviewKeys final : public Keyboard {
 public:
  explicit ReviewKeys(TimedOutput& output) : output_(output) {}
  bool KeyPressed() override { return false; }
  unsigned char ReadKey() override {
    if (queue_.empty()) return 27;
    const unsigned char c = queue_.front();
    queue_.pop_front();
    if (c != 27 && !armed_once_) {
      armed_once_ = true;
      pressed = Clock::now();
      output_.armed = true;
    }
    return c;
  }
  KeyModifiers Modifiers() override { return {}; }
  void Load(bool f1) {
    queue_ = f1 ? std::deque<unsigned char>{0, 59, 27} : std::deque<unsigned char>{' ', 27};
    armed_once_ = false;
  }
  Clock::time_point pressed{};

 private:
  std::deque<unsigned char> queue_;
  TimedOutput& output_;
  bool armed_once_ = false;
};

struct Fixture {
  explicit Fixture(std::unique_ptr<AudioOutput> device)
      : root(fs::temp_directory_path() /
             ("navelo_review_bench_" + std::to_string(std::random_device{}()))),
        host(testing::MapEnv({{"NAVELO_DRIVE_C", (root / "c").string()},
                                  {"HOME", root.string()}}),
            root.string()),
        config(host),
        display(MakeHeadlessDisplay(false)),
        console(ConsoleWindow::Wiring{*display, transcript, tones,
                                      [] { return "/nonexistent/navelo.ini"; }, [](int) {}}),
        output(std::move(device)),
        keys(output),
        wave(output, console, keys, host),
        speech(console, keys, config, host, wave, transcript, [](int) { std::abort(); }),
        review(console, keys, speech) {
    speech_host::WriteSpeechHost(root / "c" / "navelo");
    fs::create_directories(root / "AppData/Roaming/Navelo");
    std::ofstream(root / "AppData/Roaming/Navelo/navelo.ini")
        << "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n"
           "[SINTETIZADOR]\r\nPAUSAPONTO3=0\r\nPAUSAVIRG3=0\r\nPAUSADOISPONTOS3=0\r\n";
    // No punctuation pauses: they are waits after the first block, and would only slow the run.
    speech.SpeechInit(3, "");
    console.ClearScreen();
    for (const char* line : {"Objeto: AB123456789BR", "",
                             "12/03/2026 09:41 Objeto entregue ao destinatario",
                             "Local: Unidade de Distribuicao - Porto Alegre/RS"}) {
      console.Write(line);
      console.Write("\r\n");
    }
  }
  ~Fixture() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  fs::path root;
  HostEnvironment host;
  Config config;
  std::unique_ptr<Display> display;
  Transcript transcript;
  SilentToneOutput tones;
  ConsoleWindow console;
  TimedOutput output;
  ReviewKeys keys;
  WavePlayer wave;
  DiphoneSpeech speech;
  ScreenReview review;
};

void RunReview(benchmark::State& state, Fixture& f) {
  const bool f1 = state.range(0) == 0;
  double total_ms = 0;
  for (auto _ : state) {
    f.keys.Load(f1);
    f.console.GotoXY(18, 3);  // at "Objeto" of the event line
    f.review.Run();
    const double ms =
        std::chrono::duration<double, std::milli>(f.output.first_block - f.keys.pressed).count();
    state.SetIterationTime(ms / 1000.0);
    total_ms += ms;
  }
  state.counters["key_to_first_block_ms"] = total_ms / static_cast<double>(state.iterations());
}

// Arg 0: F1 (the next word); arg 1: the blank (the whole line).
void BM_ReviewKeyToSpeechNull(benchmark::State& state) {
  Fixture f(MakeNullAudio());
  RunReview(state, f);
}
BENCHMARK(BM_ReviewKeyToSpeechNull)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReviewKeyToSpeechCapture(benchmark::State& state) {
  const fs::path file = fs::temp_directory_path() /
                        ("navelo_review_bench_" + std::to_string(std::random_device{}()) + ".wav");
  std::string error;
  auto capture = MakeWavCaptureAudio(file.string(), error);
  if (!capture) {
    state.SkipWithError(error.c_str());
    return;
  }
  {
    Fixture f(std::move(capture));
    RunReview(state, f);
  }
  std::error_code ignored;
  fs::remove(file, ignored);
}
BENCHMARK(BM_ReviewKeyToSpeechCapture)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
