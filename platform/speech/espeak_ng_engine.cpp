// espeak-ng synthesizing on the program's thread: the text goes in as UTF-8 (its 8-bit mode is
// Latin-1, which has no euro sign), and each short piece of sound comes back through the library's
// callback and is handed to EngineAudio at once, so a waiting key ends the text within one piece.
#include <espeak-ng/speak_lib.h>

#include <string>

#include "platform/speech/engines.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// Milliseconds of sound per piece handed to the callback. espeak-ng makes pieces of at least
// about 49 ms (1081 samples at 22050 Hz) whatever is asked; asking for less gets that.
constexpr int kPieceMs = 20;

// espeak-ng keeps one synthesizer per process; it is initialised once and kept, and the engine
// that speaks receives the pieces through the text's user data.
int g_rate = 0;  // sample rate, 0 before the first successful initialisation

class EspeakNgEngine final : public SpeechEngine {
 public:
  explicit EspeakNgEngine(EngineAudio& audio) : audio_(audio) {}
  ~EspeakNgEngine() override { Close(); }

  bool Start(int voice, int speed, int pitch, std::string& reason) override {
    (void)voice;  // one Brazilian voice: every voice number selects it
    if (g_rate == 0) {
      const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kPieceMs, nullptr, 0);
      if (rate <= 0) {
        reason = "espeak-ng could not start (its data files are missing)";
        return false;
      }
      g_rate = rate;
      espeak_SetSynthCallback(&EspeakNgEngine::Callback);
    }
    espeak_VOICE wanted{};
    wanted.languages = "pt-br";
    if (espeak_SetVoiceByProperties(&wanted) != EE_OK) {
      reason = "espeak-ng has no Brazilian Portuguese voice";
      return false;
    }
    espeak_SetParameter(espeakRATE, EspeakRate(speed), 0);
    espeak_SetParameter(espeakPITCH, EspeakPitch(pitch), 0);
    started_ = true;
    return true;
  }

  void Speak(std::string_view text) override {
    if (!started_) return;
    stopped_ = false;
    const std::string utf8 = Cp1252ToUtf8(text);
    speaking_ = true;
    espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                 this);
    speaking_ = false;
  }

  // The sound is handed over by the time Speak returns; what is still playing is the wave
  // output's to report.
  bool Busy(bool) override { return speaking_; }
  void Stop() override { stopped_ = true; }
  void Close() override { started_ = false; }

 private:
  static int Callback(short* wav, int count, espeak_EVENT* events) {
    if (events == nullptr || events->user_data == nullptr) return 0;
    auto* self = static_cast<EspeakNgEngine*>(events->user_data);
    if (self->stopped_) return 1;
    if (wav == nullptr || count <= 0) return 0;
    if (!self->audio_.Play(wav, static_cast<size_t>(count), g_rate)) {
      self->stopped_ = true;
      return 1;
    }
    return 0;
  }

  EngineAudio& audio_;
  bool started_ = false;
  bool speaking_ = false;
  bool stopped_ = false;
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeEspeakNgEngine(EngineAudio& audio) {
  return std::make_unique<EspeakNgEngine>(audio);
}

}  // namespace navelo
