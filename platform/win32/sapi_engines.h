// The Speech API engines of Windows behind the speech engine interface, and what they share: the
// component library held for the program's thread while an engine lives, and the release of
// interfaces.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/speech_engine.h"

namespace navelo::win32 {

// The voice classes of Speech API 5: the system's voice (service type 5 and every other type
// without an engine of its own) and the second voice class (type 54).
extern const CLSID kClsidSpeechVoice;
extern const CLSID kClsidSecondSpeechVoice;

std::unique_ptr<SpeechEngine> MakeSapi5Engine(const CLSID& voice_class, const char* name);
std::unique_ptr<SpeechEngine> MakeSapi4Engine();

// Initialises the component library on this thread for as long as it is held. Engines are only
// ever made, driven and closed on the program's thread, so this is the program's thread.
class ComScope {
 public:
  ComScope() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: already initialised here, still to be balanced. RPC_E_CHANGED_MODE: initialised
    // otherwise by someone else; usable, not ours to undo.
    owned_ = SUCCEEDED(hr);
  }
  ~ComScope() {
    if (owned_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool owned_ = false;
};

template <typename T>
void ReleaseInterface(T*& pointer) {
  if (pointer != nullptr) pointer->Release();
  pointer = nullptr;
}

// "what: 0x80040154" for a failed call.
std::string ComFailure(const char* what, HRESULT hr);

// Lets the thread's window messages through: the engines' notices come as messages to windows
// of their own on the program's thread.
void PumpThreadMessages();

}  // namespace navelo::win32
