// The key files of NAVELO_KEYS, and the special key names with every modifier.
#include "console/key_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)ParseKeyScript(text);
  KeyModifiers modifiers;
  if (size > 0) {
    modifiers.shift = data[0] & 1;
    modifiers.ctrl = data[0] & 2;
    modifiers.alt = data[0] & 4;
    (void)SpecialKeyBytes(text.substr(1), modifiers);
  }
  return 0;
}
