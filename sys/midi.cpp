// MIDI output state and operations over the platform's MidiOutput.
#include "sys/midi.h"

#include "console/console.h"

namespace navelo {

namespace {
constexpr int kNoteOn = 144;
constexpr int kProgramChange = 192;
constexpr int kSystemReset = 255;
}  // namespace

Midi::Midi(Console& console)
    : console_(console),
      none_(MakeUnavailableMidi("nenhuma saída MIDI foi ligada")),
      output_(none_.get()) {}

void Midi::UseOutput(MidiOutput& output) { output_ = &output; }

bool Midi::MidiOpen(std::string& reason) {
  last_result_ = output_->Open(reason);
  if (last_result_ != 0) return false;
  open_ = true;
  last_result_ = output_->ShortMessage(PackShortMessage(kSystemReset));
  last_result_ = output_->ShortMessage(PackShortMessage(63));
  return true;
}

void Midi::MidiNoteOn(int channel, int note, int velocity) {
  last_result_ = output_->ShortMessage(PackShortMessage(kNoteOn + channel, note, velocity));
}

void Midi::MidiProgram(int channel, int program) {
  last_result_ = output_->ShortMessage(PackShortMessage(kProgramChange + channel, program));
  if (last_result_ != 0) console_.Write("erro em ProgramChange\r\n");
}

void Midi::MidiSilenceAll() {
  for (int channel = 0; channel < 16; ++channel) {
    for (int note = 0; note < 128; ++note) MidiNoteOn(channel, note, 0);
  }
}

void Midi::MidiClose() {
  output_->Close();
  last_result_ = 0;
  open_ = false;
}

}  // namespace navelo
