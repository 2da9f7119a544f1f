// BMP pictures: the information header must be 40 bytes; truncated files fail cleanly.
#include "console/bmp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace navelo {
namespace {

void Put(std::string& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// A bottom-up BMP; pixel data filled by the caller.
std::string MakeBmp(int width, int height, int bits, uint32_t header_size = 40,
                    int colours = 0) {
  const int table = bits <= 8 ? (colours == 0 ? (1 << bits) : colours) * 4 : 0;
  const int stride = (width * bits + 31) / 32 * 4;
  const int offset = 14 + static_cast<int>(header_size) + table;
  std::string b(static_cast<size_t>(offset + stride * height), '\0');
  b[0] = 'B';
  b[1] = 'M';
  Put(b, 2, static_cast<uint32_t>(b.size()), 4);
  Put(b, 10, static_cast<uint32_t>(offset), 4);
  Put(b, 14, header_size, 4);
  Put(b, 18, static_cast<uint32_t>(width), 4);
  Put(b, 22, static_cast<uint32_t>(height), 4);
  Put(b, 26, 1, 2);
  Put(b, 28, static_cast<uint32_t>(bits), 2);
  Put(b, 46, static_cast<uint32_t>(colours), 4);
  return b;
}

TEST(BmpTest, TwentyFourBitRowsAreStoredBottomUp) {
  std::string b = MakeBmp(2, 2, 24);
  const size_t data = 54;
  // Bottom row: blue, green; top row: red, white (bytes are blue, green, red).
  b[data + 0] = '\xFF';
  b[data + 4] = '\xFF';
  b[data + 8 + 2] = '\xFF';
  b[data + 8 + 3] = '\xFF';
  b[data + 8 + 4] = '\xFF';
  b[data + 8 + 5] = '\xFF';
  PictureImage picture;
  ASSERT_EQ(DecodeBmp(b, picture), PictureResult::kLoaded);
  EXPECT_EQ(picture.width, 2);
  EXPECT_EQ(picture.height, 2);
  EXPECT_EQ(picture.pixels[0], 0xFF0000u);
  EXPECT_EQ(picture.pixels[1], 0xFFFFFFu);
  EXPECT_EQ(picture.pixels[2], 0x0000FFu);
  EXPECT_EQ(picture.pixels[3], 0x00FF00u);
}

TEST(BmpTest, PalettedPicturesUseTheirColourTable) {
  std::string b = MakeBmp(3, 1, 4, 40, 2);
  Put(b, 54, 0x00112233, 4);
  Put(b, 58, 0x00AABBCC, 4);
  b[62] = '\x10';  // pixels 1, 0, 0
  PictureImage picture;
  ASSERT_EQ(DecodeBmp(b, picture), PictureResult::kLoaded);
  EXPECT_EQ(picture.pixels[0], 0xAABBCCu);
  EXPECT_EQ(picture.pixels[1], 0x112233u);
}

TEST(BmpTest, OtherInformationHeadersAreRefused) {
  PictureImage picture;
  picture.width = 7;
  EXPECT_EQ(DecodeBmp(MakeBmp(2, 2, 24, 108), picture), PictureResult::kRefused);
  EXPECT_EQ(DecodeBmp(MakeBmp(2, 2, 24, 124), picture), PictureResult::kRefused);
  EXPECT_EQ(DecodeBmp("BM", picture), PictureResult::kRefused);
  EXPECT_EQ(DecodeBmp("", picture), PictureResult::kRefused);
  EXPECT_EQ(picture.width, 7);  // the previous picture stays
}

TEST(BmpTest, TruncatedFilesAreReadErrorsAtEveryLength) {
  const std::string whole = MakeBmp(5, 4, 8);
  PictureImage picture;
  ASSERT_EQ(DecodeBmp(whole, picture), PictureResult::kLoaded);
  for (size_t n = 18; n < whole.size(); ++n) {
    EXPECT_EQ(DecodeBmp(std::string_view(whole).substr(0, n), picture), PictureResult::kReadError)
        << n;
  }
}

TEST(BmpTest, HostileHeadersNeitherCrashNorAllocateWildly) {
  std::string b = MakeBmp(2, 2, 24);
  Put(b, 10, 0xFFFFFFF0u, 4);  // pixel data far past the end
  PictureImage picture;
  EXPECT_EQ(DecodeBmp(b, picture), PictureResult::kReadError);
  b = MakeBmp(2, 2, 24);
  Put(b, 18, 0xFFFF, 4);
  Put(b, 22, 0xFFFF, 4);
  EXPECT_NE(DecodeBmp(b, picture), PictureResult::kLoaded);
  b = MakeBmp(2, 2, 8, 40, 1000);  // a colour count above 256 takes 256 entries
  EXPECT_EQ(DecodeBmp(b, picture), PictureResult::kLoaded);
  b = MakeBmp(2, 2, 24);
  Put(b, 22, static_cast<uint32_t>(-2), 4);  // top-down
  EXPECT_EQ(DecodeBmp(b, picture), PictureResult::kRefused);
  b = MakeBmp(2, 2, 24);
  Put(b, 30, 1, 4);  // compressed
  EXPECT_EQ(DecodeBmp(b, picture), PictureResult::kRefused);
}

TEST(BmpTest, MissingFileIsRefused) {
  PictureImage picture;
  EXPECT_EQ(LoadBmpFile("/nonexistent/picture.bmp", picture), PictureResult::kRefused);
}

}  // namespace
}  // namespace navelo
