// Integer expressions, values and the other token operations of the argument text, and the
// conditions of SE and ENQUANTO, on a fresh interpreter with a few variables set.
#include "config/config.h"
#include "interp/condition.h"
#include "interp/interpreter.h"
#include "interp/tokens.h"
#include "platform/clock.h"
#include "tests/fuzz/fuzz_support.h"

namespace navelo::fuzz {
namespace {

class MuteSpeech final : public Speech {
 public:
  using Speech::Speech;
  int SpeechInit(int, std::string_view) override { return 0; }
  void SpeechReconfigure(int, bool, int, int, int, int) override {}
  void SpeechShutdown() override {}
  void Speak(std::string_view) override {}
  bool SpeechBusy() override { return false; }
  void SpeechStop() override {}
  void SpellText(std::string_view) override {}
  void SpeakChar(unsigned char) override {}
  void PlayNamedSound(std::string_view) override {}
  bool SoundExists(std::string_view) override { return false; }
  int PlayWaveFile(std::string_view) override { return 0; }
  void ShortTone() override {}
  void LongTone() override {}
  unsigned char ReadKeySpoken() override { return 13; }
  void SpeakTime(int, int) override {}
  void SpeakDate(int, int, int) override {}
  bool Echo() const override { return true; }
  bool SpeakAll() const override { return true; }
};

class FixedClock final : public Clock {
 public:
  DateParts GetDate() override { return {2026, 3, 7, 6}; }
  TimeParts GetTime() override { return {9, 5, 3, 0}; }
};

struct World {
  QuietConsole console;
  CyclingKeyboard keys;
  HostEnvironment host{FuzzEnvironment(), FuzzDir().string()};
  Config config{host};
  MuteSpeech speech{console};
  FixedClock clock;
  Interpreter in{Services{console, keys, speech, config, host, clock}};
};

}  // namespace
}  // namespace navelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  if (size < 1) return 0;
  static fuzz::World* world = new fuzz::World;
  Interpreter& in = world->in;
  in.Reset();
  in.vars.Slot('A') = "12";
  in.vars.Slot('B') = "-7";
  in.vars.Slot('C') = "abc";
  in.vars.Slot(in.vars.NamedSlot("NOME")) = "2147483647";
  in.lists[0].in_use = true;
  in.lists[0].name = "L";
  in.lists[0].items = {"abc", "12"};
  const int mode = data[0] % 4;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (mode) {
    case 0: {
      // A run of values, as the commands with several arguments read them.
      std::string value;
      for (int i = 0; i < 8 && TakeValue(in, text, value); ++i) {
      }
      break;
    }
    case 1: {
      int slot = 0;
      int channel = 0;
      std::string name;
      TakeTrailingAmpersand(text);
      if (TakeVariable(in, text, slot)) in.vars.Slot(slot) = text;
      TakeChannel(text, channel);
      TakeBracketed(text, name);
      break;
    }
    case 2: {
      const Condition condition = EvaluateCondition(in, text);
      (void)condition;
      break;
    }
    default:
      (void)ComparisonKey(text);
      break;
  }
  return 0;
}
