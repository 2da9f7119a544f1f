// A speech engine of the platform (espeak-ng, speech-dispatcher, later the Windows voices), as the
// speech service drives it: start with a voice, speed and pitch; speak a cp1252 text; busy, stop,
// close. Each engine is a whole file under platform/speech/ (or platform/win32/), chosen by the
// build; the service above knows only this interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace navelo {

// Where an engine that synthesizes on the program's thread sends its sound: pieces of 16-bit mono
// PCM, in order. Play returns false when speech must end now (a key is waiting or speech was
// stopped); the engine then abandons the rest of the text.
class EngineAudio {
 public:
  virtual ~EngineAudio() = default;
  virtual bool Play(const int16_t* samples, size_t count, int rate) = 0;
};

class SpeechEngine {
 public:
  virtual ~SpeechEngine() = default;
  // voice 0 is the engine's first voice; speed and pitch run from -10 to 10 with 0 the engine's
  // default (a speed above 10 is passed as it came). False, with a reason, when the engine
  // cannot start (library, voice or daemon missing).
  virtual bool Start(int voice, int speed, int pitch, std::string& reason) = 0;
  // Hands over a cp1252 text. An engine that plays through EngineAudio returns when its sound
  // has been handed over or cut off; one with its own audio returns at once.
  virtual void Speak(std::string_view text) = 0;
  // strict: texts handed over and not yet finished; otherwise also sound still playing.
  virtual bool Busy(bool strict) = 0;
  virtual void Stop() = 0;
  virtual void Close() = 0;
};

// The engine of a service type on this platform: 54 speech-dispatcher, 4 and 3 none on Linux,
// any other espeak-ng. Never nullptr: an engine that is not available fails its start with the
// reason.
std::unique_ptr<SpeechEngine> MakeSpeechEngine(int type, EngineAudio& audio);

}  // namespace navelo
