// The media layer of TOCA and MCI: from "play FILE" to the first block on the audio output for a
// three-second prompt read from disk, and the cost of the "status ... mode" poll of TOCA's loop.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_io.h"
#include "config/host_env.h"
#include "tradutor/media_control.h"
#include "tradutor/wave_player.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Blocks stay queued until the play is reset, as on a device that is still playing.
class HoldingAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat&) override { return 0; }
  void Close() override {}
  bool Write(const uint8_t*, size_t, int slot) override {
    if (first_write == Clock::time_point{}) first_write = Clock::now();
    pending_.push_back(slot);
    return true;
  }
  void Reset() override {
    finished_.insert(finished_.end(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }
  Clock::time_point first_write{};

 private:
  std::vector<int> pending_;
  std::vector<int> finished_;
};



struct Setup {
  Setup()
      : dir(fs::temp_directory_path() / ("navelo_media_bench_" + std::to_string(std::random_device{}()))),
        host([this](std::string_view name, std::string& value) {
          if (name != "NAVELO_DRIVE_C") return false;
          value = dir.string();
          return true;
        }),
        media(console, keys, host) {
    fs::create_directories(dir);
    // A prompt as the host kit records them: 8-bit mono at 11025 Hz, three seconds.
    const size_t n = 3 * 11025;
    std::string bytes(kWaveHeaderSize + n, '\x60');
    MakeWaveHeader(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(n), 11025, 1, 8);
    std::ofstream(dir / "aviso.wav", std::ios::binary) << bytes;
    media.UseOutput(audio, nullptr);
  }
  ~Setup() {
    std::error_code error;
    fs::remove_all(dir, error);
  }
  fs::path dir;
  HostEnvironment host;
  QuietConsole console;
  NoKeys keys;
  HoldingAudio audio;
  MediaControl media;
};

void BM_PlayToFirstBlock(benchmark::State& state) {
  Setup setup;
  for (auto _ : state) {
    setup.audio.first_write = {};
    const auto start = Clock::now();
    setup.media.Send("open \"c:\\aviso.wav\" alias myfile");
    setup.media.Send("play myfile");
    const auto first = setup.audio.first_write;
    setup.media.Send("close myfile");
    state.SetIterationTime(std::chrono::duration<double>(first - start).count());
  }
}
BENCHMARK(BM_PlayToFirstBlock)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_StatusPoll(benchmark::State& state) {
  Setup setup;
  setup.media.Send("open \"c:\\aviso.wav\" alias myfile");
  setup.media.Send("play myfile");
  for (auto _ : state) {
    benchmark::DoNotOptimize(setup.media.Send("status myfile mode"));
  }
}
BENCHMARK(BM_StatusPoll)->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
