// Loading a Windows BMP file into a picture the console can show over its text.
#pragma once

#include <filesystem>
#include <string_view>

#include "console/console.h"
#include "platform/display.h"

namespace navelo {

// Decodes the bytes of a BMP file: uncompressed, bottom-up, 1, 4, 8, 16, 24 or 32 bits a pixel,
// with the 40-byte information header only.
PictureResult DecodeBmp(std::string_view bytes, PictureImage& picture);
PictureResult LoadBmpFile(const std::filesystem::path& path, PictureImage& picture);

}  // namespace navelo
