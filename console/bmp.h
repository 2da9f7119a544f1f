// Loading a Windows BMP file into a picture the console can show over its text.
#pragma once

#include <filesystem>
#include <cstdint>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "platform/display.h"

namespace navelo {

// Decodes the bytes of a BMP file: uncompressed, bottom-up, 1, 4, 8, 16, 24 or 32 bits a pixel,
// with the 40-byte information header only.
PictureResult DecodeBmp(std::string_view bytes, PictureImage& picture);
PictureResult LoadBmpFile(const std::filesystem::path& path, PictureImage& picture);

// Writes a bottom-up BMP file with the 40-byte information header: 8 bits a pixel with a grey
// palette when grey (pixels one byte each), else 24 bits (pixels red, green, blue). Rows of pixels
// run top first. False when the file cannot be written.
bool WriteBmpFile(const std::filesystem::path& path, int width, int height, bool grey,
                  const std::vector<uint8_t>& pixels);

}  // namespace navelo
