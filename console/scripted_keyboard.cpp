// Keys typed from a key file.
#include "console/scripted_keyboard.h"

#include <utility>

namespace navelo {

ScriptedKeyboard::ScriptedKeyboard(std::vector<ScriptedKey> keys, Console& console,
                                   std::function<void(int)> end_program,
                                   std::function<void()> close_window)
    : keys_(std::move(keys)),
      console_(console),
      end_program_(std::move(end_program)),
      close_window_(std::move(close_window)) {}

bool ScriptedKeyboard::NextKeyIsDue() const {
  if (next_ >= keys_.size() || keys_[next_].wait_ms < 0) return false;
  return std::chrono::steady_clock::now() >=
         last_taken_ + std::chrono::milliseconds(keys_[next_].wait_ms);
}

void ScriptedKeyboard::TypeNextKey() {
  const ScriptedKey& key = keys_[next_++];
  if (key.kind == ScriptedKey::Kind::kClose) {
    close_window_();
    return;
  }
  for (unsigned char b : key.bytes) queue_.emplace_back(b, key.modifiers);
}

bool ScriptedKeyboard::KeyPressed() {
  console_.PumpMessages();
  if (queue_.empty() && NextKeyIsDue()) TypeNextKey();
  return !queue_.empty();
}

unsigned char ScriptedKeyboard::ReadKey() {
  while (queue_.empty()) {
    if (next_ >= keys_.size()) {
      end_program_(3);
      return 27;  // only reached when the callback returns (tests)
    }
    if (keys_[next_].wait_ms >= 0 && !NextKeyIsDue()) {
      console_.Delay(5);
      continue;
    }
    TypeNextKey();
  }
  const auto [byte, mods] = queue_.front();
  queue_.pop_front();
  modifiers_ = mods;
  last_taken_ = std::chrono::steady_clock::now();
  return byte;
}

}  // namespace navelo
