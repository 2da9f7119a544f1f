// The software MIDI synthesizer: from a note on to the first block carrying its sound handed to
// the audio output, plus one device buffer (512 frames at 44.1 kHz, as the device output asks
// for), which is the soonest it can be heard.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/audio.h"
#include "platform/midi_output.h"

namespace navelo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kDeviceBufferSeconds = 512.0 / 44100.0;

// Notes when the first block louder than the synthesizer's dither arrives after it is armed.
// Written from the synthesizer's rendering thread.
class ListeningAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat&) override { return 0; }
  void Close() override {}
  bool Write(const uint8_t* data, size_t length, int) override {
    if (!armed.load()) return true;
    for (size_t i = 0; i + 1 < length; i += 2) {
      const int sample = static_cast<int16_t>(data[i] | data[i + 1] << 8);
      if (std::abs(sample) > 100) {
        heard_ns.store(Clock::now().time_since_epoch().count());
        armed.store(false);
        break;
      }
    }
    return true;
  }
  void Reset() override {}
  void TakeFinished(std::vector<int>&) override {}
  std::atomic<bool> armed{false};
  std::atomic<int64_t> heard_ns{0};
};

void BM_NoteOnToFirstBlock(benchmark::State& state) {
  ListeningAudio audio;
  auto midi = MakeSynthMidi(audio, {});
  std::string reason;
  if (midi->Open(reason) != 0) {
    state.SkipWithError(("no synthesizer: " + reason).c_str());
    return;
  }
  midi->ShortMessage(PackShortMessage(255));
  double worst = 0;
  for (auto _ : state) {
    midi->ShortMessage(PackShortMessage(0xB0, 120, 0));  // all sound off: start from silence
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    audio.heard_ns.store(0);
    audio.armed.store(true);
    const Clock::time_point start = Clock::now();
    midi->ShortMessage(PackShortMessage(144, 60, 100));
    while (audio.heard_ns.load() == 0 && Clock::now() - start < std::chrono::seconds(1)) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (audio.heard_ns.load() == 0) {
      state.SkipWithError("the note was not heard within a second");
      break;
    }
    const Clock::time_point heard{Clock::duration(audio.heard_ns.load())};
    const double seconds =
        std::chrono::duration<double>(heard - start).count() + kDeviceBufferSeconds;
    worst = std::max(worst, seconds);
    state.SetIterationTime(seconds);
    midi->ShortMessage(PackShortMessage(144, 60, 0));
  }
  state.counters["worst_ms"] = worst * 1000;
  midi->Close();
}
BENCHMARK(BM_NoteOnToFirstBlock)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
