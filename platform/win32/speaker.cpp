// The speaker tone through Beep, which blocks for the tone's length: it runs on a detached thread
// of its own, and the tone only says when that call has returned.
#include "platform/speaker.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace navelo {
namespace {

class BeepTone final : public SpeakerTone {
 public:
  explicit BeepTone(std::shared_ptr<std::atomic<bool>> done) : done_(std::move(done)) {}
  bool Finished() override { return done_->load(); }

 private:
  std::shared_ptr<std::atomic<bool>> done_;
};

}  // namespace

std::unique_ptr<SpeakerTone> StartSpeakerTone(int hertz, int milliseconds) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  try {
    std::thread([done, hertz, milliseconds] {
      // Beep refuses frequencies below 37 Hz or above 32767 Hz; the tone then simply ends.
      Beep(static_cast<DWORD>(hertz), static_cast<DWORD>(milliseconds));
      done->store(true);
    }).detach();
  } catch (const std::system_error&) {
    return nullptr;  // no thread: the caller sounds the tone its own way
  }
  return std::make_unique<BeepTone>(done);
}

}  // namespace navelo
