// The line executor on whole scripts: every command of the language except those that start
// programs, reach the network or sleep, with a quiet console, a keyboard that always has a key,
// sounds played on a silent output, and every path inside a private folder.
#include <unistd.h>

#include <memory>

#include "config/config.h"
#include "interp/interpreter.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "tests/fuzz/fuzz_support.h"
#include "tradutor/wave_player.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo::fuzz {
namespace {

class QuietSpeech final : public StubSpeech {
 public:
  QuietSpeech(Console& console, Keyboard& keys, const HostEnvironment& host)
      : StubSpeech(console), keys_(keys), audio_(MakeNullAudio()), player_(*audio_, console, keys, host) {
    player_.stop_on_key = false;
  }
  int PlayWaveFile(std::string_view name) override { return player_.PlayWaveFile(name); }
  unsigned char ReadKeySpoken() override { return keys_.ReadKey(); }

 private:
  Keyboard& keys_;
  std::unique_ptr<AudioOutput> audio_;
  WavePlayer player_;
};

class FixedClock final : public Clock {
 public:
  DateParts GetDate() override { return {2026, 3, 7, 6}; }
  TimeParts GetTime() override { return {9, 5, 3, 0}; }
};

// Commands left out: programs, the network, waits for time, and the desktop.
constexpr std::string_view kLeftOut[] = {
    "EXECUTA", "EXISTEPROG", "ESPERA",   "CMD",   "ENVIACMD", "ALARME", "INTERNET", "CONECTA",
    "ATIVASSL", "SERVE",     "OBSERVA",  "IP",    "HANDLE",   "TRAZDAREDE", "HTTP", "MIDI",
    "DIGITA",  "ACIONA",     "CLICA",    "CAPTURA", "TRANSFERE", "JANELA", "MSAA", "IMAGEM",
    "SENSOR"};

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0;
}

// False for a script that names a left-out command anywhere, or whose quoted texts could name a
// path outside the private folder ("/" or "..").
bool Acceptable(std::string_view text) {
  std::string word;
  for (size_t i = 0; i <= text.size(); ++i) {
    const auto c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    if (IsLetter(c)) {
      word += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      continue;
    }
    for (std::string_view bad : kLeftOut) {
      if (word == bad) return false;
    }
    word.clear();
  }
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == '\n') quoted = false;
    if (quoted && (text[i] == '/' || text.substr(i, 2) == "..")) return false;
  }
  return true;
}

constexpr int kMaxLinesRun = 3000;
constexpr size_t kMaxVariableBytes = 32 << 20;

}  // namespace
}  // namespace navelo::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  navelo::fuzz::CapWrittenFiles();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  using namespace navelo::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!Acceptable(text)) return -1;
  const fs::path back = fs::current_path();
  fs::current_path(FuzzDir());
  {
    QuietConsole console;
    CyclingKeyboard keys;
    HostEnvironment host(FuzzEnvironment(), FuzzDir().string());
    Config config(host);
    QuietSpeech speech(console, keys, host);
    FixedClock clock;
    Interpreter in(Services{console, keys, speech, config, host, clock});
    in.Reset();
    int n = 0;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string line(text.substr(start, end - start));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      in.AddLine(std::move(line), ++n);
      start = end + 1;
    }
    // The run loop of the interpreter, with a bound on the lines run and on the memory held.
    in.line_pointer = 1;
    for (int run = 0; run < kMaxLinesRun && in.line_pointer <= in.script.LineCount() &&
                      !in.error_flag && !in.stop_flag;
         ++run) {
      const std::string line = in.script.Line(in.line_pointer);
      in.ExecuteLine(line, false);
      if (!in.stop_flag && !in.error_flag) ++in.line_pointer;
      size_t held = 0;
      for (int slot = 65; slot < 192; ++slot) held += in.vars.Slot(slot).size();
      if (held > kMaxVariableBytes) break;
    }
  }
  fs::current_path(back);
  EmptyFuzzDir();
  return 0;
}
