// The console window and the sound device of Windows are not built yet: the runtime falls back to
// the terminal or headless console and reports the device as missing.
#include "platform/audio.h"
#include "platform/display.h"

namespace navelo {

std::unique_ptr<Display> MakeWindowDisplay() { return nullptr; }

std::unique_ptr<AudioOutput> MakeDeviceAudio(std::string& error) {
  error = "no sound device in the Windows build yet";
  return nullptr;
}

}  // namespace navelo
