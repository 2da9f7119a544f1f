// speech-dispatcher: texts go to the daemon, which speaks them with its own audio. Its end and
// cancel notices arrive on the library's reader thread; they only raise the number of the last
// finished message, which the program's thread reads in Busy.
#include <speech-dispatcher/libspeechd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "platform/speech/engines.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// The notices carry no user data, so they go to the one engine that is connected: the highest
// message id that ended or was cancelled.
std::atomic<size_t> g_done{0};

void Raise(std::atomic<size_t>& mark, size_t msg_id) {
  size_t seen = mark.load();
  while (msg_id > seen && !mark.compare_exchange_weak(seen, msg_id)) {
  }
}

void Noticed(size_t msg_id, size_t, SPDNotificationType) { Raise(g_done, msg_id); }

// A daemon whose sound output is broken takes texts and never ends them. A text counts as
// finished after 3 s plus 250 ms a character (the slowest speed says about 5 characters a
// second), so that no wait for the end of speech lasts for ever.
std::chrono::milliseconds SpeakingLimit(size_t characters) {
  return std::chrono::milliseconds(3000 + 250 * static_cast<long long>(characters));
}

class SpeechDispatcherEngine final : public SpeechEngine {
 public:
  ~SpeechDispatcherEngine() override { Close(); }

  bool Start(int voice, int speed, int pitch, std::string& reason) override {
    (void)voice;  // the daemon's voice for Brazilian Portuguese
    char* error = nullptr;
    connection_ = spd_open2("navelo", "main", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    if (connection_ == nullptr) {
      reason = std::string("speech-dispatcher does not answer") + (error ? ": " : "") +
               (error ? error : "");
      std::free(error);
      return false;
    }
    // Message ids start again with each daemon.
    g_done = 0;
    connection_->callback_end = &Noticed;
    connection_->callback_cancel = &Noticed;
    spd_set_notification_on(connection_, SPD_END);
    spd_set_notification_on(connection_, SPD_CANCEL);
    spd_set_language(connection_, "pt-BR");
    spd_set_voice_rate(connection_, std::clamp(speed, -10, 10) * 10);
    spd_set_voice_pitch(connection_, std::clamp(pitch, -10, 10) * 10);
    last_ = 0;
    return true;
  }

  void Speak(std::string_view text) override {
    if (connection_ == nullptr) return;
    std::string utf8 = Cp1252ToUtf8(text);
    if (utf8.find_first_not_of(" \t\r\n") == std::string::npos) return;
    const int id = spd_say(connection_, SPD_TEXT, utf8.c_str());
    if (id > 0) {
      last_ = std::max(last_, static_cast<size_t>(id));
      deadline_ = std::chrono::steady_clock::now() + SpeakingLimit(text.size());
    }
  }

  bool Busy(bool) override {
    if (connection_ == nullptr || g_done.load() >= last_) return false;
    if (std::chrono::steady_clock::now() > deadline_) {
      Raise(g_done, last_);
      return false;
    }
    return true;
  }

  void Stop() override {
    if (connection_ == nullptr) return;
    spd_cancel(connection_);
    Noticed(last_, 0, SPD_EVENT_CANCEL);
  }

  void Close() override {
    if (connection_ == nullptr) return;
    spd_cancel(connection_);
    spd_close(connection_);
    connection_ = nullptr;
  }

 private:
  SPDConnection* connection_ = nullptr;
  size_t last_ = 0;  // id of the last message handed over
  std::chrono::steady_clock::time_point deadline_{};  // the last text counts as spoken after it
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeSpeechDispatcherEngine() {
  return std::make_unique<SpeechDispatcherEngine>();
}

}  // namespace navelo
