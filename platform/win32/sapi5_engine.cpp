// The Speech API 5 voice through its automation interface: a voice of the installed list chosen
// by number, texts spoken asynchronously as plain text, and the speak-complete event as the busy
// test.
#include <windows.h>
// after windows.h, which it needs
#include <sapi.h>

#include <optional>

#include "platform/speech/sapi_rules.h"
#include "platform/win32/sapi_engines.h"

namespace navelo::win32 {
namespace {

// {269316D8-57BD-11D2-9EEE-00C04F797396}: the automation interface of both voice classes.
const IID kIidSpeechVoice = {
    0x269316D8, 0x57BD, 0x11D2, {0x9E, 0xEE, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};

// Every event of the voice, so its speak-complete event is kept up to date.
constexpr SpeechVoiceEvents kAllEvents = static_cast<SpeechVoiceEvents>(33790);
// Asynchronous, and never read as markup.
constexpr SpeechVoiceSpeakFlags kSpeakFlags = static_cast<SpeechVoiceSpeakFlags>(17);
// Whatever is being spoken is dropped before this speak.
constexpr SpeechVoiceSpeakFlags kPurgeFlags = static_cast<SpeechVoiceSpeakFlags>(2);
// How long the busy test waits for the speak-complete event.
constexpr DWORD kBusyWaitMs = 20;
// Closing waits for the voice to finish, this long at most: a voice that never finishes is
// silenced and closed anyway.
constexpr int kCloseWaitMs = 6000;

// A cp1252 text as a string of the automation interface.
BSTR TextString(std::string_view text) {
  const int n = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR string = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (string != nullptr && n > 0) {
    MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), string, n);
  }
  return string;
}

class Sapi5Engine final : public SpeechEngine {
 public:
  Sapi5Engine(const CLSID& voice_class, const char* name) : class_(voice_class), name_(name) {}
  ~Sapi5Engine() override { Close(); }

  bool Start(int voice, int speed, int, std::string& reason) override {
    Close();
    com_.emplace();
    HRESULT hr = CoCreateInstance(class_, nullptr, CLSCTX_INPROC_SERVER, kIidSpeechVoice,
                                  reinterpret_cast<void**>(&voice_));
    if (FAILED(hr) || voice_ == nullptr) {
      return Fail(reason, ComFailure((name_ + " is not installed").c_str(), hr));
    }
    voice_->put_EventInterests(kAllEvents);
    ISpeechObjectTokens* voices = nullptr;
    hr = voice_->GetVoices(nullptr, nullptr, &voices);
    if (FAILED(hr) || voices == nullptr) {
      return Fail(reason, ComFailure((name_ + " lists no voices").c_str(), hr));
    }
    LONG count = 0;
    hr = voices->get_Count(&count);
    if (FAILED(hr) || count <= 0) {
      ReleaseInterface(voices);
      return Fail(reason, name_ + " has no voice installed");
    }
    const Sapi5Choice choice = Sapi5VoiceChoice(voice, speed, static_cast<int>(count));
    ISpeechObjectToken* token = nullptr;
    hr = voices->Item(choice.item, &token);
    ReleaseInterface(voices);
    if (FAILED(hr) || token == nullptr) {
      return Fail(reason, ComFailure((name_ + " cannot take voice " +
                                      std::to_string(choice.item + 1)).c_str(), hr));
    }
    voice_->putref_Voice(token);
    ReleaseInterface(token);
    // A rate the voice refuses leaves its own.
    voice_->put_Rate(choice.rate);
    LONG handle = 0;
    hr = voice_->SpeakCompleteEvent(&handle);
    if (FAILED(hr) || handle == 0) {
      return Fail(reason, ComFailure((name_ + " gives no speak-complete event").c_str(), hr));
    }
    done_ = reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
    return true;
  }

  void Speak(std::string_view text) override {
    if (voice_ == nullptr) return;
    if (!SpeakFlags(Sapi5Text(text), kSpeakFlags)) MessageBeep(MB_OK);
  }

  bool Busy(bool) override {
    return voice_ != nullptr && done_ != nullptr &&
           WaitForSingleObject(done_, kBusyWaitMs) == WAIT_TIMEOUT;
  }

  void Stop() override {
    if (voice_ == nullptr) return;
    SpeakFlags(" ", kPurgeFlags);
    Sleep(50);
  }

  void Close() override {
    if (voice_ != nullptr) {
      for (int waited = 0; Busy(false) && waited < kCloseWaitMs; waited += 300 + kBusyWaitMs) {
        Sleep(300);
      }
      if (Busy(false)) Stop();
    }
    // The event belongs to the voice: it goes with it.
    done_ = nullptr;
    ReleaseInterface(voice_);
    com_.reset();
  }

 private:
  bool Fail(std::string& reason, std::string why) {
    reason = std::move(why);
    Close();
    return false;
  }

  bool SpeakFlags(std::string_view text, SpeechVoiceSpeakFlags flags) {
    BSTR string = TextString(text);
    if (string == nullptr) return false;
    LONG stream = 0;
    const HRESULT hr = voice_->Speak(string, flags, &stream);
    SysFreeString(string);
    return SUCCEEDED(hr);
  }

  CLSID class_;
  std::string name_;
  std::optional<ComScope> com_;
  ISpeechVoice* voice_ = nullptr;
  HANDLE done_ = nullptr;
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeSapi5Engine(const CLSID& voice_class, const char* name) {
  return std::make_unique<Sapi5Engine>(voice_class, name);
}

}  // namespace navelo::win32
