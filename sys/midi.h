// MIDI output: the open flag, the last platform result, and the operations of the MIDI command
// (MidiOpen, MidiNoteOn, MidiProgram, MidiClose and the silencing of every note) over a MidiOutput.
#pragma once

#include <memory>
#include <string>

#include "platform/midi_output.h"

namespace navelo {

class Console;

class Midi {
 public:
  explicit Midi(Console& console);
  Midi(const Midi&) = delete;
  Midi& operator=(const Midi&) = delete;

  // The output the commands drive; until this is called none can be opened. It must outlive
  // this object or the next call.
  void UseOutput(MidiOutput& output);

  bool IsOpen() const { return open_; }
  // The platform's result of the last call (0 = success).
  int LastResult() const { return last_result_; }

  // Opens the output and sends the system reset (255) and then the single byte 63. True when
  // open; otherwise reason says why and the output stays closed.
  bool MidiOpen(std::string& reason);
  // Channels here are 0-15; notes, velocities and programs 0-127.
  void MidiNoteOn(int channel, int note, int velocity);
  // A refused program change writes "erro em ProgramChange" in the console, unspoken.
  void MidiProgram(int channel, int program);
  // A note on with velocity 0 for every note of every channel, channel by channel.
  void MidiSilenceAll();
  void MidiClose();

 private:
  Console& console_;
  std::unique_ptr<MidiOutput> none_;
  MidiOutput* output_;
  bool open_ = false;
  int last_result_ = 0;
};

}  // namespace navelo
