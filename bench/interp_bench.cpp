// Statements per second of the interpreter on a loop of SEJA, CONCATENA, SOMA, SE and DESVIA.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_io.h"
#include "config/config.h"
#include "config/host_env.h"
#include "interp/interpreter.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo {
namespace {

// Says nothing and answers a key with Enter, without echo, so the loop measures the interpreter.
class QuietSpeech final : public StubSpeech {
 public:
  using StubSpeech::StubSpeech;
  unsigned char ReadKeySpoken() override { return 13; }
  bool Echo() const override { return false; }
  bool SpeakAll() const override { return false; }
};

// Five statements a pass: SEJA, CONCATENA, SOMA, SE and the DESVIA it runs.
constexpr const char* kLoop[] = {
    "* laço de medida",
    "seja i 0",
    "@laco",
    "seja s \"ab\"",
    "concatena s i",
    "soma i 1",
    "se i < $n desvia @laco",
};
constexpr int kStatementsPerPass = 5;

void BM_InterpreterLoop(benchmark::State& state) {
  const auto passes = state.range(0);
  QuietConsole console;
  NoKeys keys;
  QuietSpeech speech(console);
  HostEnvironment host([](std::string_view, std::string&) { return false; }, "/tmp");
  Config config(host);
  Interpreter in(Services{console, keys, speech, config, host, SystemClock()});
  for (auto _ : state) {
    in.Reset();
    in.vars.Slot(in.vars.NamedSlot("N")) = std::to_string(passes);
    int n = 0;
    for (const char* line : kLoop) in.AddLine(line, ++n);
    const RunResult result = in.RunScript();
    if (result.result != 0 || in.vars.Slot('I') != std::to_string(passes)) {
      state.SkipWithError("the loop did not run to its end");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * passes * kStatementsPerPass);
}
BENCHMARK(BM_InterpreterLoop)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
