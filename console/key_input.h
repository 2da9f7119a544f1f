// The key queue and what the user's actions put in it: keys, characters, mouse buttons and the
// wheel, and the six-key braille typing mode with its chords and text rules.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/display.h"

namespace navelo {

class KeyInput {
 public:
  static constexpr int kCapacity = 64;

  // What the key handling needs from the console around it.
  class Host {
   public:
    virtual ~Host() = default;
    // Ctrl+Break: closes the console and ends the program.
    virtual void CloseConsole() = 0;
    // The mode tones: ToneStart, Delay(200), ToneStop.
    virtual void PlayModeTone(int hertz) = 0;
  };

  explicit KeyInput(Host& host) : host_(host) {}

  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // KeyEnqueue: appends the byte unless 64 are waiting. mods: the modifiers it was typed with.
  void Enqueue(unsigned char byte, const InputModifiers& mods = {});
  // The first byte (the queue must not be empty); mods receives the modifiers it was typed with.
  unsigned char Take(InputModifiers* mods = nullptr);
  void DiscardAll() { count_ = 0; head_ = 0; }

  // Turns one event of the display into key bytes.
  void Handle(const DisplayEvent& event);

  // 0 off, 1 direct, 2 with the text rules; above 2 means 1. Announced with tones.
  void SetBrailleMode(int mode);
  int BrailleMode() const { return braille_mode_; }

  // Ctrl+Break ends the program while this is on; mouse buttons and the wheel type keys while
  // mouse keys are on.
  bool ctrl_break_check = true;
  bool mouse_keys = true;

 private:
  int Free() const { return kCapacity - count_; }
  void KeyDown(const DisplayEvent& event);
  void SystemKeyDown(const DisplayEvent& event);
  void KeyUp(const DisplayEvent& event);
  void Character(const DisplayEvent& event);
  void Mouse(const DisplayEvent& event);
  void ClearTextRuleState();
  // Applies the text rules of mode 2 to a cell character; false when nothing is typed.
  bool ApplyTextRules(unsigned char& c);
  static int DotBit(int key);

  Host& host_;
  std::array<unsigned char, kCapacity> bytes_{};
  std::array<InputModifiers, kCapacity> mods_{};
  int head_ = 0;
  int count_ = 0;

  bool click_suppressed_ = false;
  int braille_mode_ = 0;
  int chord_ = 0;
  int held_ = 0;
  bool capital_next_ = false;
  bool caps_lock_ = false;
  bool number_mode_ = false;
};

// The characters of the 64 braille cells, indexed by their dots (dot 1 = 1 ... dot 6 = 32), as
// cp1252 bytes.
extern const std::array<unsigned char, 64> kBrailleCells;

}  // namespace navelo
