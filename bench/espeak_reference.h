// espeak-ng speaking a benchmark's text to a WAV file, as the reference its synthesizer is measured
// against: a child process, so the time is wall-clock time.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace navelo {

inline void MeasureEspeakNg(benchmark::State& state, const std::string& text) {
  namespace fs = std::filesystem;
  using Clock = std::chrono::steady_clock;
  const fs::path dir = fs::temp_directory_path() / ("navelo_espeak_" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  std::ofstream(dir / "text.txt") << text;
  const std::string command = "espeak-ng -v pt-br -w '" + (dir / "out.wav").string() + "' -f '" +
                              (dir / "text.txt").string() + "' 2>/dev/null";
  double audio_seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("espeak-ng is not installed");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    // 16-bit mono at 22050 Hz after a 44-byte header.
    audio_seconds += static_cast<double>(fs::file_size(dir / "out.wav") - 44) / (2 * 22050.0);
  }
  state.counters["audio_s_per_cpu_s"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
  std::error_code error;
  fs::remove_all(dir, error);
}

}  // namespace navelo
