// Built when libspeechd was not found: the engine fails its start and our own voice speaks.
#include "platform/speech/engines.h"

namespace navelo {

std::unique_ptr<SpeechEngine> MakeSpeechDispatcherEngine() {
  return MakeUnavailableEngine("this build has no speech-dispatcher library");
}

}  // namespace navelo
