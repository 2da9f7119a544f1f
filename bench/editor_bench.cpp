// Latency of the spoken line editor: from the moment a key is handed to the editor to the first
// block of its spoken answer handed to the audio output, through the real console (with a display
// that draws nothing), the diphone speech over the synthetic speech host of the tests, and the
// wave player.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console_window.h"
#include "platform/display.h"
#include "platform/transcript.h"
#include "tests/fixtures/speech_host.h"
#include "tradutor/diphone_speech.h"
#include "tradutor/spoken_editor.h"
#include "tests/config/temp_host.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Blocks finish at once; the first one written after a key is timed.
class TimingAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat&) override { return 0; }
  void Close() override {}
  bool Write(const uint8_t*, size_t, int slot) override {
    const bool armed = armed_after != nullptr && *armed_after != Clock::time_point{};
    if (armed && first_write == Clock::time_point{}) first_write = Clock::now();
    finished_.push_back(slot);
    return true;
  }
  void Reset() override {}
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }
  Clock::time_point first_write{};
  const Clock::time_point* armed_after = nullptr;

 private:
  std::vector<int> finished_;
};

// Keys typed one at a time as the editor asks for them; the moment the timed byte is handed over
// is kept.
class BenchKeys final : public Keyboard {
 public:
  bool KeyPressed() override { return !queue.empty() && queue.front().second; }
  unsigned char ReadKey() override {
    if (queue.empty()) return 13;
    const auto [byte, waiting] = queue.front();
    queue.pop_front();
    if (handed++ == timed) pressed = Clock::now();
    return byte;
  }
  KeyModifiers Modifiers() override { return {}; }

  // Keys (a special key's code follows its 0 at once), then Enter to end the edit; the byte at
  // timed_byte is timed.
  void Press(const std::string& bytes, size_t timed_byte) {
    queue.clear();
    for (size_t i = 0; i < bytes.size(); ++i) {
      queue.emplace_back(static_cast<unsigned char>(bytes[i]), i > 0 && bytes[i - 1] == '\0');
    }
    queue.emplace_back(13, false);
    handed = 0;
    timed = timed_byte;
    pressed = {};
  }
  std::deque<std::pair<unsigned char, bool>> queue;
  size_t handed = 0;
  size_t timed = 0;
  Clock::time_point pressed{};
};

struct Fixture {
  Fixture()
      : root(fs::temp_directory_path() /
             ("navelo_editor_bench_" + std::to_string(std::random_device{}()))),
        host(testing::MapEnv({{"NAVELO_DRIVE_C", (root / "c").string()},
                                  {"HOME", root.string()}}),
            root.string()),
        config(host),
        display(MakeHeadlessDisplay(false)),
        console(ConsoleWindow::Wiring{*display, transcript, tones,
                                      [] { return "/nonexistent/navelo.ini"; }, [](int) {}}),
        wave(audio, console, keys, host),
        speech(console, keys, config, host, wave, transcript, [](int) { std::abort(); }),
        editor(EditorServices{console, keys, speech, config, host, SystemClock()}) {
    speech_host::WriteSpeechHost(root / "c" / "navelo");
    fs::create_directories(root / "AppData/Roaming/Navelo");
    std::ofstream(root / "AppData/Roaming/Navelo/navelo.ini")
        << "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n";
    speech.SpeechInit(3, "");
    console.ClearScreen();
  }
  ~Fixture() {
    std::error_code error;
    fs::remove_all(root, error);
  }

  // Edits text with the key and returns the seconds from the key to the first block.
  double Time(const std::string& text, const std::string& keys_typed, size_t timed_byte) {
    std::string field = text;
    keys.Press(keys_typed, timed_byte);
    audio.first_write = {};
    // Only the first block after the timed key counts (the keys before it say nothing).
    audio.armed_after = &keys.pressed;
    editor.EditLineSpoken(field, 1, 10, 255);
    return std::chrono::duration<double>(audio.first_write - keys.pressed).count();
  }

  fs::path root;
  HostEnvironment host;
  Config config;
  TimingAudio audio;
  Transcript transcript;
  SilentToneOutput tones;
  std::unique_ptr<Display> display;
  ConsoleWindow console;
  BenchKeys keys;
  WavePlayer wave;
  DiphoneSpeech speech;
  SpokenEditor editor;
};

void Run(benchmark::State& state, const std::string& text, const std::string& keys,
         size_t timed_byte = 0) {
  Fixture f;
  for (auto _ : state) {
    const double seconds = f.Time(text, keys, timed_byte);
    if (seconds <= 0) {
      state.SkipWithError("the key gave no sound");
      break;
    }
    state.SetIterationTime(seconds);
  }
}

// A letter typed: its letter sound (the echo).
void BM_TypedLetterToSound(benchmark::State& state) { Run(state, "", "a"); }
BENCHMARK(BM_TypedLetterToSound)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Right arrow: the letter under the cursor.
void BM_ArrowToLetter(benchmark::State& state) { Run(state, "casa", std::string("\0M", 2)); }
BENCHMARK(BM_ArrowToLetter)->UseManualTime()->Unit(benchmark::kMicrosecond);

// F1: the word at the cursor, spoken by the synthesizer.
void BM_F1ToWord(benchmark::State& state) {
  Run(state, "objeto entregue", std::string("\0;", 2));
}
BENCHMARK(BM_F1ToWord)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Ctrl+Right: the click of a word jump.
void BM_WordJumpToClick(benchmark::State& state) {
  Run(state, "objeto entregue", std::string("\0t", 2));
}
BENCHMARK(BM_WordJumpToClick)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Backspace in a long field scrolled to its end (End first, untimed): the deleted letter.
void BM_BackspaceInLongField(benchmark::State& state) {
  Run(state, std::string(250, 'x'), std::string("\0O\b", 3), 2);
}
BENCHMARK(BM_BackspaceInLongField)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
