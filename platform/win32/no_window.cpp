// The sound device of Windows is not built yet: the runtime reports the device as missing.
#include "platform/audio.h"

namespace navelo {

std::unique_ptr<AudioOutput> MakeDeviceAudio(std::string& error) {
  error = "no sound device in the Windows build yet";
  return nullptr;
}

}  // namespace navelo
