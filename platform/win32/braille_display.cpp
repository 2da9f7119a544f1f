// Braille displays on Windows: the vendor's library is not bound yet, so the display binding is
// never active there and the console works without it.
#include "platform/braille_display.h"

namespace navelo {

std::unique_ptr<BrailleDisplay> MakeBrailleDisplay() {
  return MakeNoBrailleDisplay("a linha braille ainda não está disponível no Windows");
}

}  // namespace navelo
