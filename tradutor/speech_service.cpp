// The speech service over the engine of the current service type.
#include "tradutor/speech_service.h"

namespace navelo {

SpeechService::SpeechService(Console& console, EngineAudio& audio, SpeechEngineFactory factory)
    : console_(console), audio_(audio), factory_(std::move(factory)) {}

SpeechService::~SpeechService() { ServiceClose(); }

bool SpeechService::ServiceStart(int voice, int speed, int pitch, std::string_view,
                                 int type) {
  ServiceClose();
  type_ = type;
  failure_.clear();
  std::unique_ptr<SpeechEngine> engine = factory_ ? factory_(type, audio_) : nullptr;
  if (engine == nullptr) {
    failure_ = "no speech engine";
    return false;
  }
  if (!engine->Start(voice, speed, pitch, failure_)) {
    if (failure_.empty()) failure_ = "the speech engine did not start";
    return false;
  }
  engine_ = std::move(engine);
  // An engine that never stops being busy must not hold the program at its start.
  for (int waited = 0; ServiceBusy(true) && waited < kStartWaitLimitMs; waited += 50) {
    console_.Delay(50);
  }
  return true;
}

void SpeechService::ServiceSpeak(std::string_view text) {
  if (engine_ != nullptr) engine_->Speak(text);
}

bool SpeechService::ServiceBusy(bool strict) {
  console_.PumpMessages();
  return engine_ != nullptr && engine_->Busy(strict);
}

void SpeechService::ServiceStop() {
  if (engine_ != nullptr) engine_->Stop();
}

void SpeechService::ServiceClose() {
  if (engine_ == nullptr) return;
  engine_->Close();
  engine_.reset();
}

}  // namespace navelo
