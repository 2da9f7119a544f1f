// Which engine serves which service type on Linux.
#include <cmath>

#include "platform/speech/engines.h"

namespace navelo {
namespace {

class UnavailableEngine final : public SpeechEngine {
 public:
  explicit UnavailableEngine(std::string reason) : reason_(std::move(reason)) {}
  bool Start(int, int, int, std::string& reason) override {
    reason = reason_;
    return false;
  }
  void Speak(std::string_view) override {}
  bool Busy(bool) override { return false; }
  void Stop() override {}
  void Close() override {}

 private:
  std::string reason_;
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeUnavailableEngine(std::string reason) {
  return std::make_unique<UnavailableEngine>(std::move(reason));
}

int EspeakRate(int speed) {
  if (speed < -10) speed = -10;
  if (speed > 10) speed = 10;
  const int rate = static_cast<int>(std::lround(175.0 * std::pow(3.0, speed / 10.0)));
  return rate < 80 ? 80 : rate > 450 ? 450 : rate;
}

int EspeakPitch(int pitch) {
  if (pitch < -10) pitch = -10;
  if (pitch > 10) pitch = 10;
  return 50 + 5 * pitch;
}

std::unique_ptr<SpeechEngine> MakeSpeechEngine(int type, EngineAudio& audio) {
  switch (type) {
    case 54:
      return MakeSpeechDispatcherEngine();
    case 4:
      return MakeUnavailableEngine("a Speech API 4 voice does not exist on this system");
    case 3:
      return MakeUnavailableEngine("the MBROLA engine is not built");
    default:
      return MakeEspeakNgEngine(audio);
  }
}

}  // namespace navelo
