// Console, keyboard and audio stand-ins for the benchmarks: output goes nowhere, no key is waiting,
// and a timed output notes when the first block is handed on.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "console/console.h"
#include "platform/audio.h"

namespace navelo {

class QuietConsole final : public Console {
 public:
  // With real_delays, Delay sleeps (for code that waits on other threads or the network).
  explicit QuietConsole(bool real_delays = false) : real_delays_(real_delays) {}
  void Write(std::string_view) override {}
  void ClearScreen() override {}
  void SetTitle(std::string_view) override {}
  void ShowNormal() override {}
  void Minimize() override {}
  void Delay(int milliseconds) override {
    if (real_delays_) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  void PumpMessages() override {}

 private:
  bool real_delays_;
};

// ReadKey gives the one key it was made with, should anything wait for a key.
class NoKeys final : public Keyboard {
 public:
  explicit NoKeys(unsigned char key = 13) : key_(key) {}
  bool KeyPressed() override { return false; }
  unsigned char ReadKey() override { return key_; }
  KeyModifiers Modifiers() override { return {}; }

 private:
  unsigned char key_;
};

// Hands every block on to a real output and notes the first one after being armed.
class TimedOutput final : public AudioOutput {
 public:
  explicit TimedOutput(std::unique_ptr<AudioOutput> inner) : inner_(std::move(inner)) {}
  int Open(const PcmFormat& format) override { return inner_->Open(format); }
  void Close() override { inner_->Close(); }
  bool Write(const uint8_t* data, size_t length, int slot) override {
    if (armed) {
      armed = false;
      first_block = std::chrono::steady_clock::now();
    }
    return inner_->Write(data, length, slot);
  }
  void Reset() override { inner_->Reset(); }
  void TakeFinished(std::vector<int>& slots) override { inner_->TakeFinished(slots); }
  bool armed = false;
  std::chrono::steady_clock::time_point first_block{};

 private:
  std::unique_ptr<AudioOutput> inner_;
};

}  // namespace navelo
