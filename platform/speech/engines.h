// The speech engines of this folder, each in a file of its own; a library that was not found at
// build time is replaced by a file whose engine fails its start with the reason.
#pragma once

#include <memory>
#include <string>

#include "platform/speech_engine.h"

namespace navelo {

std::unique_ptr<SpeechEngine> MakeEspeakNgEngine(EngineAudio& audio);
std::unique_ptr<SpeechEngine> MakeSpeechDispatcherEngine();
std::unique_ptr<SpeechEngine> MakeUnavailableEngine(std::string reason);

// espeak-ng's words per minute for a speed from -10 to 10: 175 at 0, three times faster at 10
// and three times slower at -10, held to what espeak-ng accepts (80 to 450). Pitch 0 to 100
// from -10 to 10, 50 at 0.
int EspeakRate(int speed);
int EspeakPitch(int pitch);

}  // namespace navelo
