// BMP decoding with the console's rules: the information header must be 40 bytes, width and height
// are the low 16 bits of theirs, and the pixel data is read from the offset the file header gives.
#include "console/bmp.h"

#include <fstream>
#include <iterator>
#include <string>

namespace navelo {
namespace {

uint32_t U32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint32_t U16(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

// A picture larger than this is refused rather than built, so a small file cannot ask for
// gigabytes.
constexpr uint64_t kMaxPixels = 16u * 1024 * 1024;

}  // namespace

PictureResult DecodeBmp(std::string_view b, PictureImage& picture) {
  if (b.size() < 18 || U32(b, 14) != 40) return PictureResult::kRefused;
  if (b.size() < 14 + 40) return PictureResult::kReadError;
  const uint32_t data_offset = U32(b, 10);
  const uint32_t bits = U16(b, 28);
  uint32_t colours = U32(b, 46);
  const uint32_t compression = U32(b, 30);
  const int32_t raw_height = static_cast<int32_t>(U32(b, 22));
  if (compression != 0 || raw_height < 0) return PictureResult::kRefused;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return PictureResult::kRefused;
  }
  size_t table_entries = 0;
  if (bits <= 8) {
    table_entries = colours == 0 ? (1u << bits) : colours;
    if (table_entries > 256) table_entries = 256;
  }
  if (b.size() < 14 + 40 + table_entries * 4) return PictureResult::kReadError;
  const uint32_t width = U32(b, 18) & 0xFFFF;
  const uint32_t height = static_cast<uint32_t>(raw_height) & 0xFFFF;
  if (static_cast<uint64_t>(width) * height > kMaxPixels) return PictureResult::kRefused;
  const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t data_size = stride * height;
  if (data_offset > b.size() || b.size() - data_offset < data_size) {
    return PictureResult::kReadError;
  }
  if (width == 0 || height == 0) return PictureResult::kRefused;

  PictureImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<size_t>(width) * height);
  const size_t table = 14 + 40;
  for (uint32_t y = 0; y < height; ++y) {
    // Rows are stored bottom first.
    const std::string_view row = b.substr(data_offset + (height - 1 - y) * stride, stride);
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t rgb = 0;
      if (bits <= 8) {
        const uint32_t bit = x * bits;
        const auto byte = static_cast<unsigned char>(row[bit / 8]);
        const uint32_t index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index < table_entries) {
          const size_t at = table + index * 4;  // blue, green, red, reserved
          rgb = U32(b, at) & 0xFFFFFF;
        }
      } else if (bits == 16) {
        const uint32_t v = U16(row, x * 2);  // 5 bits each of red, green and blue
        const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, bl = v & 31;
        rgb = (r * 255 / 31) << 16 | (g * 255 / 31) << 8 | (bl * 255 / 31);
      } else {
        const size_t at = x * (bits / 8);
        rgb = static_cast<uint32_t>(static_cast<unsigned char>(row[at + 2])) << 16 |
              static_cast<uint32_t>(static_cast<unsigned char>(row[at + 1])) << 8 |
              static_cast<unsigned char>(row[at]);
      }
      image.pixels[static_cast<size_t>(y) * width + x] = rgb;
    }
  }
  picture = std::move(image);
  return PictureResult::kLoaded;
}

PictureResult LoadBmpFile(const std::filesystem::path& path, PictureImage& picture) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return PictureResult::kRefused;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return DecodeBmp(bytes, picture);
}

bool WriteBmpFile(const std::filesystem::path& path, int width, int height, bool grey,
                  const std::vector<uint8_t>& pixels) {
  const int channels = grey ? 1 : 3;
  if (width <= 0 || height <= 0 ||
      pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * channels) {
    return false;
  }
  const size_t stride = (static_cast<size_t>(width) * channels + 3) & ~size_t{3};
  const uint32_t palette = grey ? 256 * 4 : 0;
  const uint32_t offset = 14 + 40 + palette;
  const uint64_t file_size = offset + stride * static_cast<uint64_t>(height);
  if (file_size > 0xFFFFFFFFu) return false;
  std::string out;
  out.reserve(static_cast<size_t>(file_size));
  auto put16 = [&out](uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8 & 0xFF));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  out += "BM";
  put32(static_cast<uint32_t>(file_size));
  put32(0);
  put32(offset);
  put32(40);
  put32(static_cast<uint32_t>(width));
  put32(static_cast<uint32_t>(height));
  put16(1);
  put16(grey ? 8 : 24);
  put32(0);
  put32(static_cast<uint32_t>(stride * height));
  put32(2835);
  put32(2835);
  put32(grey ? 256 : 0);
  put32(0);
  for (uint32_t i = 0; grey && i < 256; ++i) put32(i | i << 8 | i << 16);
  for (int row = height - 1; row >= 0; --row) {
    const uint8_t* p = pixels.data() + static_cast<size_t>(row) * width * channels;
    for (int x = 0; x < width; ++x) {
      if (grey) {
        out.push_back(static_cast<char>(p[x]));
      } else {
        // BMP keeps blue, green, red.
        out.push_back(static_cast<char>(p[x * 3 + 2]));
        out.push_back(static_cast<char>(p[x * 3 + 1]));
        out.push_back(static_cast<char>(p[x * 3]));
      }
    }
    out.append(stride - static_cast<size_t>(width) * channels, '\0');
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file);
}

}  // namespace navelo
