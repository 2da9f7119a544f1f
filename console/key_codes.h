// The key codes of the key stream: the function, cursor and editing keys (0 and a code), and the
// codes of letters and digits typed with Ctrl and Alt together.
#pragma once

#include <array>
#include <string_view>

#include "platform/display.h"

namespace navelo {

struct ExtendedKey {
  int key;                // VirtualKey
  std::string_view name;  // as a key file names it
  unsigned char plain;
  unsigned char with_ctrl;
};

extern const std::array<ExtendedKey, 22> kExtendedKeys;

// The entry of a virtual key, or nullptr when it is not one of the 22.
const ExtendedKey* FindExtendedKey(int key);
// The code that follows the 0: the Ctrl code with Ctrl, else 254 for Insert with Shift, else the
// plain code.
unsigned char ExtendedCode(const ExtendedKey& key, const InputModifiers& mods);
// The code of a letter (either case) or digit typed with Ctrl and Alt; 0 for any other byte.
unsigned char CtrlAltCode(unsigned char letter_or_digit);

}  // namespace navelo
