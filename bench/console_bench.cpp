// Console costs: writing lines (a full screen, and 1000 lines that scroll) through the console
// with a display that draws nothing, and KeyPressed, which runs between every spoken word.
#include <benchmark/benchmark.h>

#include <string>

#include "console/console_window.h"
#include "platform/display.h"
#include "platform/transcript.h"

namespace {

struct Fixture {
  Fixture()
      : display(navelo::MakeHeadlessDisplay(false)),
        console(navelo::ConsoleWindow::Wiring{*display, transcript, tones,
                                              [] { return "/nonexistent/navelo.ini"; },
                                              [](int) {}}) {
    console.ClearScreen();
  }
  std::unique_ptr<navelo::Display> display;
  navelo::Transcript transcript;
  navelo::SilentToneOutput tones;
  navelo::ConsoleWindow console;
};

const std::string kLine =
    "Objeto postado: encaminhado para a unidade de tratamento em Curitiba / PR\r\n";

void BM_WriteFullScreen(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    f.console.GotoXY(1, 1);
    for (int i = 0; i < 24; ++i) f.console.Write(kLine);
  }
  state.SetItemsProcessed(state.iterations() * 24);
  state.SetLabel("items = lines");
}
BENCHMARK(BM_WriteFullScreen);

void BM_Scroll1000Lines(benchmark::State& state) {
  Fixture f;
  f.console.GotoXY(1, 25);
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) f.console.Write(kLine);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  state.SetLabel("items = lines, each scrolls");
}
BENCHMARK(BM_Scroll1000Lines);

void BM_KeyPressed(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.console.KeyPressed());
}
BENCHMARK(BM_KeyPressed);

}  // namespace

BENCHMARK_MAIN();
