// An audio output reached through one lock shared with other such wrappers, for when a user on
// another thread (the MIDI synthesizer's renderer) shares an output with the program's thread.
#pragma once

#include <mutex>

#include "platform/audio.h"

namespace navelo {

class LockedAudio final : public AudioOutput {
 public:
  LockedAudio(AudioOutput& output, std::mutex& lock) : output_(output), lock_(lock) {}
  int Open(const PcmFormat& format) override {
    std::lock_guard hold(lock_);
    return output_.Open(format);
  }
  void Close() override {
    std::lock_guard hold(lock_);
    output_.Close();
  }
  bool Write(const uint8_t* data, size_t length, int slot) override {
    std::lock_guard hold(lock_);
    return output_.Write(data, length, slot);
  }
  void Reset() override {
    std::lock_guard hold(lock_);
    output_.Reset();
  }
  void TakeFinished(std::vector<int>& slots) override {
    std::lock_guard hold(lock_);
    output_.TakeFinished(slots);
  }

 private:
  AudioOutput& output_;
  std::mutex& lock_;
};

}  // namespace navelo
