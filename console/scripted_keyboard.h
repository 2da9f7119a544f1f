// The keys of a NAVELO_KEYS file, typed like a patient user: a key is typed only when the program
// waits for one on an empty queue, unless "{wait N}" times it N milliseconds after the previous
// key was taken.
#pragma once

#include <chrono>
#include <vector>

#include "console/key_script.h"

namespace navelo {

class ScriptedKeys {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ScriptedKeys(std::vector<ScriptedKey> keys) : keys_(std::move(keys)) {}

  bool UsedUp() const { return next_ >= keys_.size(); }
  // The next key is timed by "{wait N}".
  bool NextIsTimed() const { return !UsedUp() && keys_[next_].wait_ms >= 0; }
  // Milliseconds until the timed next key is due (0 when due now).
  int MillisecondsUntilDue(Clock::time_point now) const;
  // Takes the next key of the file.
  const ScriptedKey& TakeNext() { return keys_[next_++]; }
  // A byte of the key stream was taken by the program: timed keys count from here.
  void MarkTaken(Clock::time_point now) { last_taken_ = now; }

 private:
  std::vector<ScriptedKey> keys_;
  size_t next_ = 0;
  Clock::time_point last_taken_ = Clock::now();
};

}  // namespace navelo
