// A build without libjpeg: JPEG pictures are reported as unavailable.
#include "platform/desktop.h"

namespace navelo {

bool DecodeJpegFile(const std::filesystem::path&, DecodedJpeg& picture, std::string& reason) {
  picture = DecodedJpeg{};
  reason = "este programa foi compilado sem a biblioteca JPEG";
  return false;
}

}  // namespace navelo
