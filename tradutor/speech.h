// The write-and-speak layer as the interpreter, the menu and the editor see it: speaking a text,
// writing it to the console first, and the busy and stop operations through which every wait
// lets a key silence speech.
#pragma once

#include <cstdint>
#include <string_view>

#include "console/console.h"

namespace navelo {

class Speech {
 public:
  explicit Speech(Console& console) : console_(console) {}
  virtual ~Speech() = default;
  Speech(const Speech&) = delete;
  Speech& operator=(const Speech&) = delete;

  virtual void Speak(std::string_view text) = 0;
  // False at once when a key is waiting (speech is then stopped, the key stays queued).
  virtual bool SpeechBusy() = 0;
  virtual void SpeechStop() = 0;

  // The text is on screen before speech starts.
  void SpeakWrite(std::string_view text);
  void SpeakWriteLine(std::string_view text);
  void SpeakWriteNumber(int64_t n);

  // Waits while SpeechBusy, keeping the window's messages moving.
  void WaitWhileBusy();

 protected:
  Console& console_;
};

}  // namespace navelo
