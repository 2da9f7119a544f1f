// The console's braille display: the row under the cursor shown in Portuguese braille, and the
// display's keys turned into key-queue bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/braille_translator.h"
#include "platform/braille_display.h"

namespace navelo {

class BrailleOutput {
 public:
  explicit BrailleOutput(BrailleDisplay& display) : display_(display) {}

  // Connects once; without a display the output stays inactive for good.
  void Start();
  bool Active() const { return display_.CellCount() > 0; }
  // Translates one 80-character console row and shows it.
  void SendRow(std::string_view row);
  // Takes one display key as key-queue bytes (one byte, or 0 and an extended code); false when no
  // key is waiting.
  bool NextKeyBytes(std::string& bytes);

  // The key-queue bytes of one display key.
  static std::string KeyBytes(const BrailleKey& key);

 private:
  BrailleDisplay& display_;
  BrailleTranslator translator_;
  bool started_ = false;
  std::string text_;
  std::vector<uint8_t> cells_;
};

}  // namespace navelo
