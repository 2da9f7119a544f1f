// The MIDI command: INICIA, TERMINA, PANE, and the note on (NL), note off (ND) and instrument
// (TT) forms, over the MIDI output of sys/midi.h.
#include <optional>

#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"

namespace navelo {
namespace {

// Takes count integer values from text; false when one is missing or not an integer, or when
// anything follows the last one.
bool TakeIntegers(Interpreter& in, std::string& text, int count, int* values) {
  std::string value;
  for (int i = 0; i < count; ++i) {
    if (text.empty() || !TakeValue(in, text, value)) return false;
    const std::optional<int32_t> number = ParseInteger(value);
    if (!number) return false;
    values[i] = *number;
  }
  return text.empty();
}

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

bool MidiCommand(Interpreter& in, std::string& args) {
  TrimInPlace(args);
  if (args.empty()) return false;
  const std::string form = FoldUpper(args);
  Midi& midi = in.midi;
  if (form == "INICIA") {
    if (midi.IsOpen()) return false;
    std::string reason;
    if (midi.MidiOpen(reason)) return true;
    // A synthesizer that cannot be opened is said, not left silent: the notes would go nowhere.
    SayLine(in, "Saída MIDI indisponível: " + reason);
    return false;
  }
  if (form == "TERMINA") {
    if (!midi.IsOpen()) return false;
    midi.MidiClose();
    return true;
  }
  if (form == "PANE") {
    if (!midi.IsOpen()) return false;
    midi.MidiSilenceAll();
    return true;
  }
  const std::string keyword = form.substr(0, 2);
  const int count = keyword == "NL" ? 3 : keyword == "ND" || keyword == "TT" ? 2 : 0;
  if (count == 0 || !midi.IsOpen()) return false;
  std::string rest = Trim(std::string_view(args).substr(2));
  int values[3] = {0, 0, 0};
  if (!TakeIntegers(in, rest, count, values)) return false;
  if (!InRange(values[0], 1, 16)) return false;
  for (int i = 1; i < count; ++i) {
    if (!InRange(values[i], 0, 127)) return false;
  }
  const int channel = values[0] - 1;
  if (keyword == "NL") {
    midi.MidiNoteOn(channel, values[1], values[2]);
  } else if (keyword == "ND") {
    midi.MidiNoteOn(channel, values[1], 0);
  } else {
    midi.MidiProgram(channel, values[1]);
  }
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"MIDI", MidiCommand},
};

}  // namespace

std::span<const CommandEntry> MidiCommands() { return kEntries; }

}  // namespace navelo
