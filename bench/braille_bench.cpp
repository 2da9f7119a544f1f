// Braille costs: one 80-column console row translated, mapped to cells and handed to the display
// binding, which happens on every cursor move and every write that draws a row.
#include <benchmark/benchmark.h>

#include <string>

#include "console/braille_output.h"
#include "platform/text_encoding.h"

namespace {

// A display that keeps the last cells, so the benchmark measures our side of the binding.
class CountingDisplay final : public navelo::BrailleDisplay {
 public:
  explicit CountingDisplay(int cells) : cells_(cells) {}
  bool Open(std::string&) override { return true; }
  int CellCount() const override { return cells_; }
  void Write(std::span<const uint8_t> cells) override {
    last_ = cells.empty() ? 0 : cells[cells.size() - 1];
    ++writes_;
  }
  bool NextKey(navelo::BrailleKey&) override { return false; }
  int writes_ = 0;
  uint8_t last_ = 0;

 private:
  int cells_;
};

std::string Row(std::string_view utf8) {
  std::string row = navelo::Utf8ToCp1252(utf8);
  row.resize(80, ' ');
  return row;
}

void SendRows(benchmark::State& state, int cells, const std::string& row) {
  CountingDisplay display(cells);
  navelo::BrailleOutput output(display);
  output.Start();
  for (auto _ : state) {
    output.SendRow(row);
    benchmark::DoNotOptimize(display.last_);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("items = rows");
}

void BM_BrailleRowText80(benchmark::State& state) {
  SendRows(state, 80,
           Row("12/03/2024 14:35 Objeto entregue ao destinatário em SÃO PAULO (SP), 1º andar."));
}
BENCHMARK(BM_BrailleRowText80);

void BM_BrailleRowNumbers80(benchmark::State& state) {
  SendRows(state, 80,
           Row("AB123456789BR 1.234,56 € 12,50 50% (12) 10.5 3a 2as. 12.05.2004 `3/4 [7] 99"));
}
BENCHMARK(BM_BrailleRowNumbers80);

void BM_BrailleRowBlank40(benchmark::State& state) { SendRows(state, 40, std::string(80, ' ')); }
BENCHMARK(BM_BrailleRowBlank40);

}  // namespace

BENCHMARK_MAIN();
