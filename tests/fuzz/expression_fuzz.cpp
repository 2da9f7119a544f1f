// Integer expressions, values and the other token operations of the argument text, and the
// conditions of SE and ENQUANTO, on a fresh interpreter with a few variables set.
#include "config/config.h"
#include "interp/condition.h"
#include "interp/interpreter.h"
#include "interp/tokens.h"
#include "platform/clock.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo::fuzz {
namespace {

class MuteSpeech final : public StubSpeech {
 public:
  using StubSpeech::StubSpeech;
  unsigned char ReadKeySpoken() override { return 13; }
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
