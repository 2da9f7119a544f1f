// The write-and-speak calls shared by every speech engine.
#include "tradutor/speech.h"

#include <string>

namespace navelo {

void Speech::SpeakWrite(std::string_view text) {
  console_.Write(text);
  Speak(text);
}

void Speech::SpeakWriteLine(std::string_view text) {
  SpeakWrite(text);
  console_.Write("\r\n");
}

void Speech::SpeakWriteNumber(int64_t n) { SpeakWrite(std::to_string(n)); }

void Speech::WaitWhileBusy() {
  while (SpeechBusy()) console_.Delay(5);
}

}  // namespace navelo
