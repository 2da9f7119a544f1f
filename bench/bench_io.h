// Console and keyboard stand-ins for the benchmarks: output goes nowhere and no key is waiting.
#pragma once

#include <chrono>
#include <string_view>
#include <thread>

#include "console/console.h"

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

}  // namespace navelo
