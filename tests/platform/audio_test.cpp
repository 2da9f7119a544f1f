// The audio outputs that need no device: the silent one and the WAV capture, and the PCM
// conversion they share.
#include "platform/audio.h"

#include <filesystem>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

namespace navelo {
namespace {

namespace fs = std::filesystem;

TEST(ConvertToMono16Test, FormatsAndRates) {
  std::vector<int16_t> out;
  double phase = 0;
  const uint8_t eight[4] = {128, 255, 0, 128};
  ConvertToMono16(eight, 4, {11025, 8, 1}, 22050, phase, out);
  ASSERT_EQ(out.size(), 8u);  // twice the rate
  EXPECT_EQ(out[0], 0);
  EXPECT_GT(out[2], 32000);
  EXPECT_LT(out[4], -32000);

  // Stereo 16-bit is mixed down.
  out.clear();
  phase = 0;
  const uint8_t stereo[8] = {0x00, 0x40, 0x00, 0xC0, 0x00, 0x40, 0x00, 0x40};
  ConvertToMono16(stereo, 8, {22050, 16, 2}, 22050, phase, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], 0);
  EXPECT_NEAR(out[1], 16384, 1);

  // Unplayable formats and partial frames give nothing rather than reading past the data.
  out.clear();
  ConvertToMono16(stereo, 3, {22050, 16, 2}, 22050, phase, out);
  ConvertToMono16(stereo, 8, {22050, 12, 1}, 22050, phase, out);
  ConvertToMono16(stereo, 8, {0, 8, 1}, 22050, phase, out);
  EXPECT_TRUE(out.empty());
}

TEST(AudioOutputTest, NullAndCaptureFinishEveryBlockAtOnce) {
  const fs::path path =
      fs::temp_directory_path() / ("navelo_capture_" + std::to_string(std::random_device{}()) + ".wav");
  std::string error;
  auto capture = MakeWavCaptureAudio(path.string(), error);
  ASSERT_NE(capture, nullptr) << error;
  auto null = MakeNullAudio();
  const std::vector<uint8_t> block(1000, 200);
  for (AudioOutput* out : {capture.get(), null.get()}) {
    ASSERT_EQ(out->Open({11025, 8, 1}), 0);
    ASSERT_TRUE(out->Write(block.data(), block.size(), 3));
    ASSERT_TRUE(out->Write(block.data(), block.size(), 4));
    std::vector<int> finished;
    out->TakeFinished(finished);
    EXPECT_EQ(finished, (std::vector<int>{3, 4}));
  }
  // Another format joins the same file at the capture's rate.
  capture->Open({22050, 16, 1});
  const std::vector<uint8_t> block16(400, 0);
  capture->Write(block16.data(), block16.size(), 5);

  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(36, 4), "data");
  auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                 static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
  };
  EXPECT_EQ(le32(24), static_cast<uint32_t>(kCaptureRate));
  // 2000 samples at 11025 Hz are 4000 at 22050 Hz, then 200 samples of 16-bit: 4200 x 2 bytes.
  EXPECT_EQ(le32(40), 8400u);
  EXPECT_EQ(bytes.size(), 44u + 8400);
  EXPECT_EQ(le32(4), 8400u + 36);
  in.close();
  capture.reset();
  fs::remove(path);

  EXPECT_EQ(MakeWavCaptureAudio("/nonexistent/dir/x.wav", error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace navelo
