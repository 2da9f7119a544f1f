// Built when libespeak-ng was not found: the engine fails its start and our own voice speaks.
#include "platform/speech/engines.h"

namespace navelo {

std::unique_ptr<SpeechEngine> MakeEspeakNgEngine(EngineAudio&) {
  return MakeUnavailableEngine("this build has no espeak-ng library");
}

}  // namespace navelo
