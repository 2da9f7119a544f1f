// File commands at scale: a pattern search over a folder of 100 000 files (how long the window
// waits between two message pumps, and the whole search), and reading a large page line by line.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "interp/channels.h"
#include "interp/file_state.h"

namespace {

namespace fs = std::filesystem;

// The folder is made once per run and removed at exit.
const fs::path& BigFolder() {
  static const fs::path dir = [] {
    fs::path path = fs::temp_directory_path() / "navelo_files_bench";
    fs::remove_all(path);
    fs::create_directories(path);
    for (int i = 0; i < 100000; ++i) {
      std::FILE* file = std::fopen((path / ("arquivo" + std::to_string(i) + ".txt")).c_str(), "w");
      if (file != nullptr) std::fclose(file);
    }
    std::atexit([] { fs::remove_all(fs::temp_directory_path() / "navelo_files_bench"); });
    return path;
  }();
  return dir;
}

void BM_SearchFolderOf100000(benchmark::State& state, const char* pattern) {
  const fs::path& dir = BigFolder();
  double longest_gap_ms = 0;
  for (auto _ : state) {
    navelo::FileSearch search;
    auto last = std::chrono::steady_clock::now();
    search.Start(dir, pattern, navelo::FileSearch::Mode::kFiles, [&] {
      const auto now = std::chrono::steady_clock::now();
      longest_gap_ms =
          std::max(longest_gap_ms, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    });
    benchmark::DoNotOptimize(search.Next());
  }
  state.counters["longest_gap_ms"] = longest_gap_ms;
}
BENCHMARK_CAPTURE(BM_SearchFolderOf100000, all, "*.txt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchFolderOf100000, one, "arquivo99999.*")->Unit(benchmark::kMillisecond);

void BM_ReadPageLines(benchmark::State& state) {
  const fs::path path = fs::temp_directory_path() / "navelo_files_bench_page.html";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 20000; ++i) out << "<li class=\"evento\">Objeto em tr\xE2nsito " << i << "</li>\r\n";
  }
  const auto bytes = fs::file_size(path);
  for (auto _ : state) {
    auto channel = navelo::FileChannel::Open(path, navelo::FileChannel::Mode::kRead);
    std::string line;
    while (channel->ReadLine(line) == 0) benchmark::DoNotOptimize(line);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  fs::remove(path);
}
BENCHMARK(BM_ReadPageLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
