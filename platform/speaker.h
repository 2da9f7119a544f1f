// The platform's speaker tone (Beep on Windows): sounded on a thread of its own, so the program's
// thread can keep its messages moving while it waits for the tone's end.
#pragma once

#include <functional>
#include <memory>

namespace navelo {

class SpeakerTone {
 public:
  virtual ~SpeakerTone() = default;
  // The platform's call has returned (the tone has ended, or could not sound).
  virtual bool Finished() = 0;
};

// Starts a tone of hertz for milliseconds. nullptr when the platform has no speaker tone; the
// caller then sounds it some other way. Dropping the result does not wait for the tone.
std::unique_ptr<SpeakerTone> StartSpeakerTone(int hertz, int milliseconds);

using SpeakerToneStarter = std::function<std::unique_ptr<SpeakerTone>(int, int)>;

}  // namespace navelo
