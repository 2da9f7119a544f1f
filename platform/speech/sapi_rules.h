// What the Speech API engines decide without asking the system: which voice and rate a start
// takes, how a text is prepared before it is handed over, and when a Speech API 4 engine counts as
// busy. Kept apart from the COM calls (platform/win32) so both platforms test them.
#pragma once

#include <string>
#include <string_view>

namespace navelo {

// Speech API 5: the installed voice a start selects (0-based item of the voice list) and the rate
// it asks for.
struct Sapi5Choice {
  int item = 0;
  int rate = 0;
};
// voice counts from 1 and 0 is the first voice too; a negative number or one past the installed
// voices (count > 0) takes the first voice at the default rate 0.
Sapi5Choice Sapi5VoiceChoice(int voice, int speed, int count);
// An empty text is spoken as one space, so the engine still ends a speak with its completion.
std::string Sapi5Text(std::string_view text);

// Speech API 4: how many modes the enumerator is asked for to reach voice n (0 counts as 1);
// -1 when n is not a voice (negative).
int Sapi4ModeCount(int voice);
// Trimmed of blanks and control characters at both ends; a text of exactly one digit gets a
// full stop, which the engines need to speak it.
std::string Sapi4Text(std::string_view text);

// Speech API 4 progress as its notifications report it: texts handed over and not finished, and
// whether sound is coming out.
class Sapi4Progress {
 public:
  void TextStarted() { ++pending_; }
  void TextDone() {
    if (pending_ > 0) --pending_;
  }
  void AudioStarted() { speaking_ = true; }
  void AudioStopped() { speaking_ = false; }
  void Clear() {
    pending_ = 0;
    speaking_ = false;
  }
  // strict (the start's wait): texts pending; otherwise also sound still playing.
  bool Busy(bool strict) const { return pending_ > 0 || (!strict && speaking_); }
  int pending() const { return pending_; }
  bool speaking() const { return speaking_; }

 private:
  int pending_ = 0;
  bool speaking_ = false;
};

}  // namespace navelo
