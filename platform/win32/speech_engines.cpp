// The system's voices on Windows. The Speech API voices are not wired yet, so every service type
// fails its start with the reason, and our own synthesizer speaks.
#include "platform/speech_engine.h"

namespace navelo {
namespace {

class UnavailableEngine final : public SpeechEngine {
 public:
  bool Start(int, int, int, std::string& reason) override {
    reason = "as vozes do sistema ainda não estão disponíveis no Windows";
    return false;
  }
  void Speak(std::string_view) override {}
  bool Busy(bool) override { return false; }
  void Stop() override {}
  void Close() override {}
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeSpeechEngine(int, EngineAudio&) {
  return std::make_unique<UnavailableEngine>();
}

}  // namespace navelo
