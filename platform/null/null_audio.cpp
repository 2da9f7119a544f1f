// The silent audio output: every block finishes as soon as it is queued.
#include "platform/audio.h"

namespace navelo {
namespace {

class NullAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat&) override { return 0; }
  void Close() override {}
  bool Write(const uint8_t*, size_t, int slot) override {
    finished_.push_back(slot);
    return true;
  }
  void Reset() override {}
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }

 private:
  std::vector<int> finished_;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeNullAudio() { return std::make_unique<NullAudio>(); }

}  // namespace navelo
