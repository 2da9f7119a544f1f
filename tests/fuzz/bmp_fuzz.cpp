// BMP pictures of any bytes.
#include "console/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  navelo::PictureImage picture;
  navelo::DecodeBmp(std::string_view(reinterpret_cast<const char*>(data), size), picture);
  return 0;
}
