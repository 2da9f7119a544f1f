// The key file of NAVELO_KEYS: a UTF-8 text in which a character types itself and "{Name}" is a
// special key with optional modifiers ("{Shift+Down}", "{Ctrl+a}", "{Alt+Ctrl+F9}"), "{{" is a
// brace, "{wait N}" times the next key and "{close}" closes the window. Line ends are ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"

namespace navelo {

struct ScriptedKey {
  enum class Kind { kKey, kClose };
  Kind kind = Kind::kKey;
  std::string bytes;        // what the key puts in the key stream (one byte, or 0 and a code)
  KeyModifiers modifiers;
  int wait_ms = -1;         // >= 0: typed this long after the previous key was taken
};

struct KeyScriptResult {
  std::vector<ScriptedKey> keys;
  std::string error;  // empty when the whole text was understood
};

KeyScriptResult ParseKeyScript(std::string_view utf8_text);

// The bytes a special key puts in the key stream ("Enter", "F1", "Left"...), given the
// modifiers; empty when the name is unknown.
std::string SpecialKeyBytes(std::string_view name, const KeyModifiers& modifiers);

}  // namespace navelo
