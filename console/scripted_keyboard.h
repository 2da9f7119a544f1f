// A keyboard that types the keys of a NAVELO_KEYS file, like a patient user: a key is typed only
// when the program waits for one, unless "{wait N}" times it.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

#include "console/console.h"
#include "console/key_script.h"

namespace navelo {

class ScriptedKeyboard final : public Keyboard {
 public:
  // end_program is called with 3 when the program waits for a key and the file is used up, and
  // close_window when "{close}" is reached; neither is expected to return.
  ScriptedKeyboard(std::vector<ScriptedKey> keys, Console& console,
                   std::function<void(int)> end_program, std::function<void()> close_window);

  bool KeyPressed() override;
  unsigned char ReadKey() override;
  KeyModifiers Modifiers() override { return modifiers_; }

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  bool NextKeyIsDue() const;
  void TypeNextKey();

  std::vector<ScriptedKey> keys_;
  size_t next_ = 0;
  Console& console_;
  std::function<void(int)> end_program_;
  std::function<void()> close_window_;
  std::deque<std::pair<unsigned char, KeyModifiers>> queue_;
  KeyModifiers modifiers_;
  TimePoint last_taken_ = std::chrono::steady_clock::now();
};

}  // namespace navelo
