// Desktop automation over the platform's desktop backends: key and pointer synthesis (KeyCombo,
// PressKey, TypeChar, TypeText, TypeKeyOf, the pointer), the accessibility event ring with the
// current object's properties, and the 32-switch matrix on the parallel port.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/desktop.h"

namespace navelo {

// A plain pause of the thread, with no message handling.
void PlainPause(int milliseconds);

// Virtual-key codes used by name.
inline constexpr int kVkShift = 16;
inline constexpr int kVkControl = 17;
inline constexpr int kVkAlt = 18;
inline constexpr int kVkAltGr = 165;
inline constexpr int kVkNumLock = 144;

// The accent (a dead key's character, or '_' for none) and the base character of a cp1252 byte
// of 128 and above: "À" is ('`', 'A'), "ç" is ('_', 'ç').
std::pair<unsigned char, unsigned char> DeadKeyPair(unsigned char byte);

// True for the keys sent with the extended-key flag: 33-40, 45, 46.
bool IsExtendedKey(int key);

class KeySynthesis {
 public:
  // pump: the program's own pending messages, handled after every key event. pause: a plain
  // pause of the thread, in milliseconds.
  KeySynthesis(std::function<void()> pump, std::function<void(int)> pause);

  // The input the operations drive; none until this is called (everything then does nothing).
  void UseInput(InputSynthesizer& input) { input_ = &input; }
  void SetPause(std::function<void(int)> pause) { pause_ = std::move(pause); }
  // False, with the reason, when no input can be synthesised on this desktop.
  bool Ready(std::string& reason);

  void SendKeyEvent(int key, bool down, bool extended);
  void KeyStroke(int key, int count, bool release);
  void KeyRelease(int key);
  // Modifiers down in the order Shift, Ctrl, Alt (AltGr last), the key, and the modifiers up in
  // the same order; the modifiers are released whatever happened to the key.
  void KeyCombo(KeyWithModifiers key, int count, bool release);
  void PressKey(int key, bool ctrl, bool shift, int pause_ms, bool alt);
  void TypeChar(unsigned char byte, int pause_ms);
  void TypeText(std::string_view text, int pause_ms);
  void TypeKeyOf(unsigned char byte);

  bool ScreenSize(int& width, int& height);
  void PointerMove(int x, int y);
  void PointerClick(int x, int y);
  void PointerDoubleClick(int x, int y);

 private:
  void Pause(int ms) {
    if (ms > 0) pause_(ms);
  }

  InputSynthesizer* input_ = nullptr;
  std::function<void()> pump_;
  std::function<void(int)> pause_;
};

// The properties of the last object read.
struct AccProperties {
  std::string name;
  int role_code = 0;
  std::string role_text;
  std::string state_text;
  std::string value;
  int left = 0, top = 0, width = 0, height = 0;
};

class AccessibilityMonitor {
 public:
  static constexpr int kRingSize = 100;

  explicit AccessibilityMonitor(std::function<void()> pump);
  void UseBackend(AccessibilityBackend& backend) { backend_ = &backend; }

  bool AccMonitorStart();
  void AccMonitorStop();
  bool AccNextEvent();
  bool AccObjectAt(int x, int y);
  const AccProperties& Properties() const { return properties_; }

  // An event into the ring. When the ring is full the oldest unread event gives way, so the
  // newest 99 are kept and none is lost to an apparently empty ring.
  void Record(AccessibleEvent event);
  bool Monitoring() const { return monitoring_; }

 private:
  bool ReadProperties(AccessibleTarget* target);
  void Drain();

  AccessibilityBackend* backend_ = nullptr;
  std::function<void()> pump_;
  bool monitoring_ = false;
  std::array<AccessibleEvent, kRingSize> ring_{};
  int write_ = 0;
  int read_ = 0;
  std::shared_ptr<AccessibleTarget> current_;
  AccProperties properties_;
};

// The 32 switches wired to the parallel port as a matrix of 8 rows of 4.
class SwitchMatrix {
 public:
  // pause: a plain pause in milliseconds between port writes and reads.
  explicit SwitchMatrix(std::function<void(int)> pause) : pause_(std::move(pause)) {}
  void UsePort(ParallelPort& port) { port_ = &port; }
  void SetPause(std::function<void(int)> pause) { pause_ = std::move(pause); }

  // Opens the port on first use (and takes the idle reading); false, with the sentence to say,
  // while it cannot be had.
  bool Load(std::string& reason);
  // Scans the matrix; the number of the first switch that is on (1-32), or 0.
  int Scan();
  bool Switch(int n) const { return states_[static_cast<size_t>(n - 1)]; }

 private:
  ParallelPort* port_ = nullptr;
  std::function<void(int)> pause_;
  bool loaded_ = false;
  uint8_t idle_ = 0;
  std::array<bool, 32> states_{};
};

}  // namespace navelo
