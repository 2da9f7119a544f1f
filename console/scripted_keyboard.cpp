// Timing of the keys of a key file.
#include "console/scripted_keyboard.h"

#include <algorithm>

namespace navelo {

int ScriptedKeys::MillisecondsUntilDue(Clock::time_point now) const {
  if (!NextIsTimed()) return 0;
  const auto due = last_taken_ + std::chrono::milliseconds(keys_[next_].wait_ms);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
  return static_cast<int>(std::max<long long>(left, 0));
}

}  // namespace navelo
