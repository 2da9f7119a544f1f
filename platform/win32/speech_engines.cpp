// Which engine serves which service type on Windows: 4 the Speech API 4 engine, 54 the second
// Speech API 5 voice class, 3 the MBROLA engine (not built), every other type the Speech API 5
// voice.
#include <cstdio>

#include "platform/win32/sapi_engines.h"

namespace navelo {
namespace win32 {

// {96749377-3391-11D2-9EE3-00C04F797396}
const CLSID kClsidSpeechVoice = {
    0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
// {D941651C-44E6-4C17-BADF-C36826FC3424}
const CLSID kClsidSecondSpeechVoice = {
    0xD941651C, 0x44E6, 0x4C17, {0xBA, 0xDF, 0xC3, 0x68, 0x26, 0xFC, 0x34, 0x24}};

std::string ComFailure(const char* what, HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  return std::string(what) + ": " + code;
}

void PumpThreadMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: the program's own loop must still see it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

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
}  // namespace win32

std::unique_ptr<SpeechEngine> MakeSpeechEngine(int type, EngineAudio&) {
  switch (type) {
    case 4:
      return win32::MakeSapi4Engine();
    case 3:
      return std::make_unique<win32::UnavailableEngine>("the MBROLA engine is not built");
    case 54:
      return win32::MakeSapi5Engine(win32::kClsidSecondSpeechVoice, "the second voice class");
    default:
      return win32::MakeSapi5Engine(win32::kClsidSpeechVoice, "the Speech API 5 voice");
  }
}

}  // namespace navelo
