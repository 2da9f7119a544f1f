// The Speech API 4 engine: a mode of the installed engines chosen by number and selected with the
// multimedia audio destination, texts handed over with a sink of ours that counts them, and the
// engine's audio notices telling whether sound is coming out.
#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/speech/sapi_rules.h"
#include "platform/win32/sapi4_interfaces.h"
#include "platform/win32/sapi4_sinks.h"
#include "platform/win32/sapi_engines.h"

namespace navelo::win32 {

namespace {

// The notices of the engine, on whatever thread it calls from, into one progress record.
template <typename Interface>
class Sink : public Interface {
 public:
  Sink(const IID& iid, std::shared_ptr<Sapi4Notices> notices)
      : iid_(iid), notices_(std::move(notices)) {}
  virtual ~Sink() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *object = this;
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  template <typename Change>
  HRESULT Note(Change change) {
    std::lock_guard<std::mutex> lock(notices_->lock);
    change(notices_->progress);
    return S_OK;
  }

 private:
  IID iid_;
  std::shared_ptr<Sapi4Notices> notices_;
  std::atomic<ULONG> references_{1};
};

class NotifySinkObject final : public Sink<sapi4::NotifySink> {
 public:
  explicit NotifySinkObject(std::shared_ptr<Sapi4Notices> notices)
      : Sink(sapi4::kIidNotifySink, std::move(notices)) {}
  HRESULT STDMETHODCALLTYPE AttribChanged(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AudioStart(sapi4::QWord) override {
    return Note([](Sapi4Progress& p) { p.AudioStarted(); });
  }
  HRESULT STDMETHODCALLTYPE AudioStop(sapi4::QWord) override {
    return Note([](Sapi4Progress& p) { p.AudioStopped(); });
  }
  HRESULT STDMETHODCALLTYPE Visual(sapi4::QWord, char, char, DWORD, void*) override { return S_OK; }
};

class BufferNotifySinkObject final : public Sink<sapi4::BufferNotifySink> {
 public:
  explicit BufferNotifySinkObject(std::shared_ptr<Sapi4Notices> notices)
      : Sink(sapi4::kIidBufferNotifySink, std::move(notices)) {}
  HRESULT STDMETHODCALLTYPE TextDataDone(sapi4::QWord, DWORD) override {
    return Note([](Sapi4Progress& p) { p.TextDone(); });
  }
  HRESULT STDMETHODCALLTYPE TextDataStarted(sapi4::QWord) override {
    return Note([](Sapi4Progress& p) { p.TextStarted(); });
  }
  HRESULT STDMETHODCALLTYPE BookMark(sapi4::QWord, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE WordPosition(sapi4::QWord, DWORD) override { return S_OK; }
};

// The engine may change the current directory while it loads; the program's is put back.
class KeepCurrentDirectory {
 public:
  KeepCurrentDirectory() {
    const DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n > 0) {
      saved_.resize(n);
      if (GetCurrentDirectoryA(n, saved_.data()) == 0) saved_.clear();
    }
  }
  ~KeepCurrentDirectory() {
    if (!saved_.empty()) SetCurrentDirectoryA(saved_.data());
  }

 private:
  std::vector<char> saved_;
};

class Sapi4Engine final : public SpeechEngine {
 public:
  ~Sapi4Engine() override { Close(); }

  bool Start(int voice, int speed, int pitch, std::string& reason) override {
    Close();
    KeepCurrentDirectory keep;
    const int modes = Sapi4ModeCount(voice);
    if (modes < 0) return Fail(reason, "voice " + std::to_string(voice) + " is not a voice");
    com_.emplace();
    HRESULT hr = CoCreateInstance(sapi4::kClsidMultimediaAudioDestination, nullptr, CLSCTX_INPROC_SERVER,
                                  sapi4::kIidAudioMultimediaDevice,
                                  reinterpret_cast<void**>(&audio_));
    if (FAILED(hr) || audio_ == nullptr) {
      return Fail(reason, ComFailure("the Speech API 4 audio destination is not installed", hr));
    }
    // Our wave output always plays on the default device, so the destination keeps its own.
    hr = CoCreateInstance(sapi4::kClsidEngineEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                          sapi4::kIidEngineEnumerator, reinterpret_cast<void**>(&enumerator_));
    if (FAILED(hr) || enumerator_ == nullptr) {
      return Fail(reason, ComFailure("the Speech API 4 engine list is not installed", hr));
    }
    enumerator_->Reset();
    // Room beyond the record as declared, for an engine whose record is longer.
    std::vector<unsigned char> room(sizeof(sapi4::ModeInfo) + 4096);
    auto* mode = reinterpret_cast<sapi4::ModeInfo*>(room.data());
    for (int i = 0; i < modes; ++i) {
      ULONG fetched = 0;
      hr = enumerator_->Next(1, mode, &fetched);
      if (hr != S_OK || fetched != 1) {
        return Fail(reason, "the Speech API 4 voice " + std::to_string(modes) + " is not installed");
      }
    }
    hr = enumerator_->Select(mode->mode_id, &central_, audio_);
    // The engine took the audio destination over (it releases it itself); ours is no longer
    // ours to release, whether the selection worked or not is told by the engine object.
    if (SUCCEEDED(hr)) audio_ = nullptr;
    if (FAILED(hr) || central_ == nullptr) {
      return Fail(reason, ComFailure("the Speech API 4 voice does not start", hr));
    }
    notices_ = std::make_shared<Sapi4Notices>();
    notify_ = new NotifySinkObject(notices_);
    buffer_ = new BufferNotifySinkObject(notices_);
    hr = central_->Register(static_cast<sapi4::NotifySink*>(notify_), sapi4::kIidNotifySink,
                            &key_);
    registered_ = SUCCEEDED(hr);
    sapi4::Attributes* attributes = nullptr;
    if (SUCCEEDED(central_->QueryInterface(sapi4::kIidAttributes,
                                           reinterpret_cast<void**>(&attributes))) &&
        attributes != nullptr) {
      if (speed != 0) attributes->SpeedSet(static_cast<DWORD>(speed));
      if (pitch != 0) attributes->PitchSet(static_cast<WORD>(pitch));
      attributes->Release();
    }
    return true;
  }

  void Speak(std::string_view text) override {
    if (central_ == nullptr) return;
    std::string prepared = Sapi4Text(text);
    if (Progress().pending() > 0) Sleep(20);
    // The engine reads the text with its terminating zero.
    sapi4::Data data{prepared.data(), static_cast<DWORD>(prepared.size() + 1)};
    const HRESULT hr = central_->TextData(sapi4::kCharsetText, 0, data,
                                          static_cast<sapi4::BufferNotifySink*>(buffer_),
                                          sapi4::kIidBufferNotifySink);
    if (FAILED(hr)) Stop();
  }

  bool Busy(bool strict) override {
    if (central_ == nullptr) return false;
    // The engine's notices arrive as window messages of the program's thread.
    PumpThreadMessages();
    return Progress().Busy(strict);
  }

  void Stop() override {
    if (central_ == nullptr) return;
    if (Progress().speaking()) {
      Sleep(50);
      central_->AudioReset();
      Sleep(150);
    }
    std::lock_guard<std::mutex> lock(notices_->lock);
    notices_->progress.Clear();
  }

  void Close() override {
    if (central_ != nullptr && registered_) central_->UnRegister(key_);
    registered_ = false;
    ReleaseInterface(central_);
    ReleaseInterface(enumerator_);
    ReleaseInterface(audio_);
    ReleaseInterface(notify_);
    ReleaseInterface(buffer_);
    notices_.reset();
    com_.reset();
  }

 private:
  bool Fail(std::string& reason, std::string why) {
    reason = std::move(why);
    Close();
    return false;
  }

  Sapi4Progress Progress() {
    std::lock_guard<std::mutex> lock(notices_->lock);
    return notices_->progress;
  }

  std::optional<ComScope> com_;
  sapi4::AudioMultimediaDevice* audio_ = nullptr;
  sapi4::EngineEnumerator* enumerator_ = nullptr;
  sapi4::Central* central_ = nullptr;
  NotifySinkObject* notify_ = nullptr;
  BufferNotifySinkObject* buffer_ = nullptr;
  std::shared_ptr<Sapi4Notices> notices_;
  DWORD key_ = 0;
  bool registered_ = false;
};

}  // namespace

Sapi4Sinks MakeSapi4Sinks() {
  Sapi4Sinks sinks;
  sinks.notices = std::make_shared<Sapi4Notices>();
  sinks.notify = new NotifySinkObject(sinks.notices);
  sinks.buffer = new BufferNotifySinkObject(sinks.notices);
  return sinks;
}

std::unique_ptr<SpeechEngine> MakeSapi4Engine() { return std::make_unique<Sapi4Engine>(); }

}  // namespace navelo::win32
