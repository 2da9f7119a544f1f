// The speech engine used until the synthesizer is wired in: every text handed to Speak is
// recorded in the transcript, and speaking takes no time.
#pragma once

#include "platform/transcript.h"
#include "tradutor/speech.h"

namespace navelo {

class TranscriptSpeech final : public Speech {
 public:
  TranscriptSpeech(Console& console, Keyboard& keyboard, Transcript& transcript)
      : Speech(console), keyboard_(keyboard), transcript_(transcript) {}

  void Speak(std::string_view text) override { transcript_.Record("speak", text); }
  bool SpeechBusy() override {
    if (keyboard_.KeyPressed()) SpeechStop();
    return false;
  }
  void SpeechStop() override {}

 private:
  Keyboard& keyboard_;
  Transcript& transcript_;
};

}  // namespace navelo
