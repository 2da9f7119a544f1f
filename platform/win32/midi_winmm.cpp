// MIDI on Windows: the platform's MIDI mapper, which plays through the system's own synthesizer,
// so the audio output and sound font that the Linux synthesizer needs are not used here.
#include <windows.h>
#include <mmsystem.h>

#include "platform/midi_output.h"

namespace navelo {
namespace {

class MapperMidi final : public MidiOutput {
 public:
  ~MapperMidi() override { Close(); }

  int Open(std::string& reason) override {
    if (handle_ != nullptr) return 0;
    const MMRESULT result = midiOutOpen(&handle_, MIDI_MAPPER, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
      handle_ = nullptr;
      char text[MAXERRORLENGTH] = {};
      if (midiOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR || text[0] == 0) {
        reason = "o mapeador MIDI recusou a abertura";
      } else {
        reason = text;
      }
      return static_cast<int>(result);
    }
    return 0;
  }

  int ShortMessage(uint32_t message) override {
    if (handle_ == nullptr) return static_cast<int>(MMSYSERR_INVALHANDLE);
    return static_cast<int>(midiOutShortMsg(handle_, message));
  }

  void Close() override {
    if (handle_ == nullptr) return;
    midiOutReset(handle_);
    midiOutClose(handle_);
    handle_ = nullptr;
  }

 private:
  HMIDIOUT handle_ = nullptr;
};

}  // namespace

std::unique_ptr<MidiOutput> MakeSynthMidi(AudioOutput&, std::function<std::string()>) {
  return std::make_unique<MapperMidi>();
}

bool SynthMidiRendersIntoAudio() { return false; }

}  // namespace navelo
