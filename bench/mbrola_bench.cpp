// The MBROLA-based engine: text to .pho lines for a 1000-word Portuguese text with the host kit's
// data files; the stand-in synthesizer's speed in seconds of audio per second over that text,
// beside espeak-ng on the same text in the same run; and Speak to the first block handed to the
// output, through the whole engine with the stand-in voice.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

#include "bench/espeak_reference.h"
#include "config/config.h"
#include "config/host_env.h"
#include "platform/text_encoding.h"
#include "tests/config/temp_host.h"
#include "tradutor/mbrola_engine.h"
#include "tradutor/pho_front_end.h"
#include "tradutor/pho_synthesizer.h"

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

std::string Text() {
  std::string text;
  for (int i = 0; i < 10; ++i) text += kParagraph;
  return text;
}

const char* const kPhonemes[] = {"a", "@", "an", "e", "ee", "en", "i", "in", "o", "oo", "on",
                                 "u", "un", "w", "y", "b", "d", "g", "j", "l", "lh", "m",
                                 "n", "nh", "r", "v", "z", "f", "k", "p", "t", "s", "s2",
                                 "x", "rr", "r2", "h"};

// The host kit's data files, from the source tree, as the kit writes them (cp1252).
std::string KitFile(const char* name) {
  const fs::path path = fs::path(NAVELO_SOURCE_DIR) / "tools/hostkit/mbrola" / name;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "mbrola_bench: cannot read %s\n", path.string().c_str());
    std::exit(1);
  }
  return Utf8ToCp1252(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

std::string PairList() {
  std::string dfn;
  std::vector<std::string> names = {"_"};
  for (const char* p : kPhonemes) names.emplace_back(p);
  for (const auto& a : names) {
    for (const auto& b : names) dfn += a + " " + b + "\n";
  }
  return dfn;
}

// Units like the host kit's: 100 Hz pulses for the voiced phonemes, noise for the others.
std::vector<PhoUnit> Units() {
  std::vector<PhoUnit> units;
  std::minstd_rand random(3);
  std::uniform_int_distribution<int> noise(-2500, 2500);
  int n = 0;
  for (const char* name : kPhonemes) {
    PhoUnit u;
    u.name = name;
    const bool voiced = std::string("fkptss2xrrr2h").find(name) == std::string::npos;
    u.voiced = voiced;
    if (voiced) {
      u.samples.assign(3200, 0);
      for (uint32_t m = 80; m + 160 < 3200; m += 160) {
        u.marks.push_back(m);
        for (int k = 0; k < 160; ++k) {
          u.samples[m + k] = static_cast<int16_t>(
              9000 * std::exp(-k / 25.0) * std::sin(2 * std::numbers::pi * (400 + 40 * n) * k / 16000));
        }
      }
    } else {
      for (int i = 0; i < 1600; ++i) u.samples.push_back(static_cast<int16_t>(noise(random)));
      for (uint32_t m = 40; m < 1560; m += 80) u.marks.push_back(m);
    }
    units.push_back(std::move(u));
    ++n;
  }
  return units;
}

PhoFrontEnd KitFrontEnd() {
  PhoFrontEnd front;
  front.SetRulesText(KitFile("portug.nrl"));
  front.SetExceptionsText(KitFile("portug.exc"));
  front.SetAbbreviationsText(KitFile("portug.abr"));
  front.SetProsodyText(KitFile("portug.pro"), [](const std::string&) {});
  front.SetDiphonesText(PairList());
  return front;
}

void BM_TextToPho(benchmark::State& state) {
  const PhoFrontEnd front = KitFrontEnd();
  const std::string text = Utf8ToCp1252(Text());
  size_t lines = 0;
  for (auto _ : state) {
    const std::vector<std::string> pho = front.TextToPho(text);
    lines = pho.size();
    benchmark::DoNotOptimize(pho.data());
  }
  state.counters["words_per_s"] =
      benchmark::Counter(1000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["pho_lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_TextToPho)->Unit(benchmark::kMillisecond);

void BM_StandInSpeed(benchmark::State& state) {
  const PhoFrontEnd front = KitFrontEnd();
  std::vector<PhoLine> lines;
  for (const std::string& line : front.TextToPho(Utf8ToCp1252(Text()))) {
    PhoLine parsed;
    if (ParsePhoLine(line, parsed)) lines.push_back(parsed);
  }
  const std::vector<PhoUnit> units = Units();
  double audio_seconds = 0;
  for (auto _ : state) {
    const std::vector<int16_t> samples = RenderPho(lines, units);
    audio_seconds += static_cast<double>(samples.size()) / 16000.0;
  }
  state.counters["audio_s_per_cpu_s"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
  state.counters["audio_s_per_text"] = audio_seconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StandInSpeed)->Unit(benchmark::kMillisecond);

// espeak-ng on the same text, the reference.
void BM_EspeakNgSpeed(benchmark::State& state) { MeasureEspeakNg(state, Text()); }
BENCHMARK(BM_EspeakNgSpeed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

class FirstBlockAudio final : public EngineAudio {
 public:
  bool Play(const int16_t*, size_t, int) override {
    if (first == Clock::time_point{}) first = Clock::now();
    return true;
  }
  Clock::time_point first{};
};

// From Speak of one sentence to its first block, through the engine with the stand-in voice.
void BM_SpeakToFirstBlock(benchmark::State& state) {
  const fs::path root =
      fs::temp_directory_path() / ("navelo_mbrola_bench_" + std::to_string(std::random_device{}()));
  const fs::path voz = root / "c/voz";
  fs::create_directories(voz);
  fs::create_directories(root / "AppData/Roaming/Navelo");
  std::ofstream(root / "AppData/Roaming/Navelo/navelo.ini")
      << "[SORANATTS]\r\nDIR=c:\\voz\r\nBASE=portug\r\n";
  for (const char* ext : {"nrl", "exc", "abr", "pro"}) {
    std::ofstream(voz / (std::string("portug.") + ext), std::ios::binary)
        << KitFile((std::string("portug.") + ext).c_str());
  }
  std::ofstream(voz / "portug.dfn", std::ios::binary) << PairList();
  std::ofstream(voz / "portug.uni", std::ios::binary) << WritePhoUnitSet(Units());
  HostEnvironment host(testing::MapEnv({{"NAVELO_DRIVE_C", (root / "c").string()},
                                        {"HOME", root.string()}}),
                       root.string());
  Config config(host);
  FirstBlockAudio audio;
  MbrolaEngine engine(MbrolaEngineWiring{config, host, audio, [](const std::string&) {},
                                         "/nonexistent/mbrola"});
  std::string reason;
  if (!engine.Start(0, 0, 0, reason)) {
    state.SkipWithError(reason.c_str());
  } else {
    const std::string sentence =
        Utf8ToCp1252("Última atualização: objeto entregue ao destinatário na cidade de destino.");
    for (auto _ : state) {
      audio.first = {};
      const auto start = Clock::now();
      engine.Speak(sentence);
      state.SetIterationTime(std::chrono::duration<double>(audio.first - start).count());
    }
  }
  engine.Close();
  std::error_code error;
  fs::remove_all(root, error);
}
BENCHMARK(BM_SpeakToFirstBlock)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
