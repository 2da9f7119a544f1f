// The key events of the vendor braille display library (Windows): each window message it posts
// carries an event type and its data, and chords arrive as key bits pressed one after another
// and then released. This turns them into the display keys the console understands.
#pragma once

#include <cstdint>

#include "platform/braille_display.h"

namespace navelo {

class BrailleKeyEvents {
 public:
  // One event; true with a key when it completes one (a movement key, or the release of a
  // chord), false while a chord is still being pressed or for an event that means nothing.
  bool Translate(uint32_t type, uint32_t data, BrailleKey& key);

  // Key bits of the chord being pressed: dots 1-8 in bits 0-7, 256 and 512 the two keys that
  // give Home and End, 32768 the space bar.
  uint32_t pressed() const { return pressed_; }

 private:
  uint32_t pressed_ = 0;
};

}  // namespace navelo
