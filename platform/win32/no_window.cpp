// The console window of Windows is not built yet: the runtime falls back to the terminal or
// headless console.
#include "platform/display.h"

namespace navelo {

std::unique_ptr<Display> MakeWindowDisplay() { return nullptr; }

}  // namespace navelo
