// Linux has no speaker tone we may sound: the tone goes through the wave output instead.
#include "platform/speaker.h"

namespace navelo {

std::unique_ptr<SpeakerTone> StartSpeakerTone(int, int) { return nullptr; }

}  // namespace navelo
