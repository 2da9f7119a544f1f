// Menu latency: from a key press in the selection menu (Down, taken by ReadKey) to the first
// block of the newly selected item's speech handed to the audio output, over the synthetic speech
// host of the tests, with the console drawing into a headless display. The output is the null
// device or the WAV capture file, each behind a wrapper that notes when a block arrives.
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
#include "tradutor/selection_menu.h"
#include "tests/config/temp_host.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Down, then Esc. No key is ever seen waiting, so speech is not cut short; taking the 0 of Down
// is the moment of the key press, and it arms the output.
class MenuKeys final : public Keyboard {
 public:
  explicit MenuKeys(TimedOutput& output) : output_(output) {}
  bool KeyPressed() override { return false; }
  unsigned char ReadKey() override {
    if (queue_.empty()) return 27;
    const unsigned char c = queue_.front();
    queue_.pop_front();
    if (c == 0 && queue_.size() == 2) {
      pressed = Clock::now();
      output_.armed = true;
    }
    return c;
  }
  KeyModifiers Modifiers() override { return {}; }
  void Load() { queue_ = {0, 80, 27}; }
  Clock::time_point pressed{};

 private:
  std::deque<unsigned char> queue_;
  TimedOutput& output_;
};

struct Fixture {
  explicit Fixture(std::unique_ptr<AudioOutput> device)
      : root(fs::temp_directory_path() /
             ("navelo_menu_bench_" + std::to_string(std::random_device{}()))),
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
        menu(console, keys, speech) {
    speech_host::WriteSpeechHost(root / "c" / "navelo");
    fs::create_directories(root / "AppData/Roaming/Navelo");
    std::ofstream(root / "AppData/Roaming/Navelo/navelo.ini")
        << "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n"
           "[SINTETIZADOR]\r\nPAUSAPONTO3=0\r\nPAUSAVIRG3=0\r\nPAUSADOISPONTOS3=0\r\n";
    // No punctuation pauses: they are waits after the first block, and would only slow the run.
    speech.SpeechInit(3, "");
    console.ClearScreen();
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
  MenuKeys keys;
  WavePlayer wave;
  DiphoneSpeech speech;
  SelectionMenu menu;
};

// The tracker's screens: its main menu (4 items on 3 rows) and its list of events (200 lines on
// a rectangle of 30 rows, as the tracker makes it).
void RunMenu(benchmark::State& state, Fixture& f) {
  if (state.range(0) == 0) {
    f.menu.MenuCreate(1, 1, 30, 3);
    for (const char* item : {"Ver detalhes do objeto", "Monitorar", "Nova consulta", "sair"}) {
      f.menu.MenuAdd(item);
    }
  } else {
    f.menu.MenuCreate(1, 1, 80, 30);
    for (int i = 0; i < 200; ++i) {
      f.menu.MenuAdd(Utf8ToCp1252("12/03/2026 09:41 Objeto em trânsito - por favor aguarde, linha ") +
                     std::to_string(i));
    }
  }
  double total_ms = 0;
  for (auto _ : state) {
    f.keys.Load();
    f.menu.MenuRun(1);
    const double ms =
        std::chrono::duration<double, std::milli>(f.output.first_block - f.keys.pressed).count();
    state.SetIterationTime(ms / 1000.0);
    total_ms += ms;
  }
  state.counters["key_to_first_block_ms"] = total_ms / static_cast<double>(state.iterations());
}

void BM_MenuKeyToSpeechNull(benchmark::State& state) {
  Fixture f(MakeNullAudio());
  RunMenu(state, f);
}
BENCHMARK(BM_MenuKeyToSpeechNull)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MenuKeyToSpeechCapture(benchmark::State& state) {
  const fs::path file =
      fs::temp_directory_path() / ("navelo_menu_bench_" + std::to_string(std::random_device{}()) + ".wav");
  std::string error;
  auto capture = MakeWavCaptureAudio(file.string(), error);
  if (!capture) {
    state.SkipWithError(error.c_str());
    return;
  }
  {
    Fixture f(std::move(capture));
    RunMenu(state, f);
  }
  std::error_code ignored;
  fs::remove(file, ignored);
}
BENCHMARK(BM_MenuKeyToSpeechCapture)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
