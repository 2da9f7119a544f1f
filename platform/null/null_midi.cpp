// A MIDI output that never opens, with the reason it gives.
#include "platform/midi_output.h"

namespace navelo {
namespace {

class UnavailableMidi final : public MidiOutput {
 public:
  explicit UnavailableMidi(std::string reason) : reason_(std::move(reason)) {}
  int Open(std::string& reason) override {
    reason = reason_;
    return 2;  // no device
  }
  int ShortMessage(uint32_t) override { return 5; }  // invalid handle
  void Close() override {}

 private:
  std::string reason_;
};

}  // namespace

std::unique_ptr<MidiOutput> MakeUnavailableMidi(std::string reason) {
  return std::make_unique<UnavailableMidi>(std::move(reason));
}

}  // namespace navelo
