// The MIDI output seen by the MIDI commands: open the default synthesizer, hand it short messages
// one at a time, close it. A backend fills this; tests put a recording fake in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/audio.h"

namespace navelo {

// Packs a short message the way the platform takes it: the status byte in the low byte, the
// first data byte in the next and the second data byte in the third.
constexpr uint32_t PackShortMessage(int status, int data1 = 0, int data2 = 0) {
  return static_cast<uint32_t>(status & 0xFF) | static_cast<uint32_t>(data1 & 0xFF) << 8 |
         static_cast<uint32_t>(data2 & 0xFF) << 16;
}

class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  // Opens the default output. 0 on success; otherwise a non-zero code, and reason says in a few
  // words why (no synthesizer, no sound font...).
  virtual int Open(std::string& reason) = 0;
  // Sends one packed short message at once; 0 or the platform's error code. A single-byte
  // message (system reset 255, or a lone data byte) has only its status byte set.
  virtual int ShortMessage(uint32_t message) = 0;
  // Closes the output; closing what is not open does nothing.
  virtual void Close() = 0;
};

// An output that cannot be opened, for builds and platforms without a synthesizer.
std::unique_ptr<MidiOutput> MakeUnavailableMidi(std::string reason);

// The software synthesizer: renders into audio (16-bit stereo at kMidiSynthRate) in small blocks as
// time passes, so the notes are heard wherever that output goes (the device, a capture file).
// audio is written from a rendering thread of the synthesizer's own while it is open, so it must
// either belong to the synthesizer alone or be locked against its other users. soundfont is asked
// at each open: "" for the small General MIDI sound font, "GRANDE" for the bigger one where it is
// installed (else the small one), anything else is the path of a .sf2 file. Without the synthesizer
// library in the build, the output cannot be opened.
inline constexpr int kMidiSynthRate = 44100;
std::unique_ptr<MidiOutput> MakeSynthMidi(AudioOutput& audio,
                                          std::function<std::string()> soundfont);

// True where MakeSynthMidi renders into the audio output it is given (and so into a capture
// file); false where the notes go to the platform's own MIDI device, which plays them itself,
// with its own sounds, and never reaches our audio outputs.
bool SynthMidiRendersIntoAudio();

}  // namespace navelo
