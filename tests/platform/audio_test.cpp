// The audio outputs that need no device: the silent one and the WAV capture, and the PCM
// conversion they share.
#include "platform/audio.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <thread>

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

// The samples of a capture file as numbers (16-bit mono after the 44-byte header).
std::vector<int16_t> CapturedSamples(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> out;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                       static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  return out;
}

// Amplitude of the frequency f (Hz) in x at rate, by correlation with a sine and a cosine.
double Amplitude(const std::vector<int16_t>& x, size_t from, size_t to, double f, double rate) {
  double re = 0, im = 0;
  for (size_t i = from; i < to; ++i) {
    re += x[i] * std::cos(2 * std::numbers::pi * f * static_cast<double>(i) / rate);
    im += x[i] * std::sin(2 * std::numbers::pi * f * static_cast<double>(i) / rate);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(to - from);
}

class CaptureFile : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove(path_); }
  std::unique_ptr<AudioOutput> Make() {
    std::string error;
    auto capture = MakeWavCaptureAudio(path_.string(), error);
    EXPECT_NE(capture, nullptr) << error;
    return capture;
  }
  fs::path path_ = fs::temp_directory_path() /
                   ("navelo_capture_" + std::to_string(std::random_device{}()) + ".wav");
};

TEST_F(CaptureFile, DoublingTheRateLeavesNoMirrorImage) {
  // A 4 kHz tone at 11025 Hz: doubled by linear interpolation it leaves an image at 7025 Hz
  // about a fifth as strong; band-limited, far below a hundredth.
  std::vector<uint8_t> tone(11025);
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * std::numbers::pi * 4000 * i / 11025.0)));
  }
  auto capture = Make();
  capture->Open({11025, 8, 1});
  // In blocks of unequal sizes, as the players hand them over.
  capture->Write(tone.data(), 3001, 1);
  capture->Write(tone.data() + 3001, tone.size() - 3001, 2);
  capture.reset();
  const std::vector<int16_t> x = CapturedSamples(path_);
  ASSERT_EQ(x.size(), 22050u);
  const double wanted = Amplitude(x, 2000, 20000, 4000, 22050);
  const double image = Amplitude(x, 2000, 20000, 7025, 22050);
  EXPECT_NEAR(wanted, 100 * 256, 0.05 * 100 * 256);
  EXPECT_LT(image, 0.003 * wanted);
}

TEST_F(CaptureFile, IsCompleteAfterEveryBlock) {
  // A constant sound written block by block: the file read in between ends with the sound so far
  // (its last samples fading as if silence followed), and the next block replaces that fade.
  auto capture = Make();
  const std::vector<uint8_t> block(1000, 228);
  capture->Open({11025, 8, 1});
  capture->Write(block.data(), block.size(), 1);
  EXPECT_EQ(CapturedSamples(path_).size(), 2000u);
  capture->Write(block.data(), block.size(), 2);
  const std::vector<int16_t> x = CapturedSamples(path_);
  ASSERT_EQ(x.size(), 4000u);
  for (size_t i = 100; i < 3900; ++i) ASSERT_NEAR(x[i], 25600, 300) << i;
}

TEST_F(CaptureFile, ProgramWaitsBetweenSoundsAreSilence) {
  // Two sounds with a wait of the program's thread between them (ESPERA MS 500, or a comma's
  // pause made of 50 ms waits): the wait is in the file as silence, and nothing else is added.
  auto capture = Make();
  const std::vector<uint8_t> block(1102, 228);  // 0.1 s of a constant level
  capture->Open({11025, 8, 1});
  NoteProgramWait(300);  // before the first sound: no pause between sounds
  capture->Write(block.data(), block.size(), 1);
  NoteProgramWait(500);
  capture->Write(block.data(), block.size(), 2);
  capture->Write(block.data(), block.size(), 3);  // straight on: no silence in between
  for (int i = 0; i < 3; ++i) NoteProgramWait(50);
  capture->Write(block.data(), block.size(), 4);
  const std::vector<int16_t> x = CapturedSamples(path_);
  ASSERT_EQ(x.size(), 4u * 2204 + 11025 + 3307);
  // Sound, half a second of silence, two blocks of sound, 150 ms of silence, sound.
  for (size_t i = 100; i < 2100; ++i) ASSERT_NEAR(x[i], 25600, 300) << i;
  for (size_t i = 2300; i < 2204 + 11025 - 100; ++i) ASSERT_EQ(x[i], 0) << i;
  for (size_t i = 2204 + 11025 + 100; i < 3 * 2204 + 11025 - 100; ++i) {
    ASSERT_NEAR(x[i], 25600, 300) << i;
  }
  for (size_t i = 3 * 2204 + 11025 + 100; i < 3 * 2204 + 11025 + 3307 - 100; ++i) {
    ASSERT_EQ(x[i], 0) << i;
  }
  for (size_t i = x.size() - 2100; i < x.size() - 100; ++i) ASSERT_NEAR(x[i], 25600, 300) << i;
}

TEST_F(CaptureFile, WaitWhileAnotherThreadStreamsAddsNoSilence) {
  // A stream paced to real time from its own thread (as the MIDI synthesizer writes a block
  // every few milliseconds) while the program's thread waits: the stream is what plays, and
  // the capture holds exactly its blocks.
  auto capture = Make();
  capture->Open({11025, 8, 1});
  const std::vector<uint8_t> block(64, 228);
  std::atomic<bool> stop = false;
  std::atomic<int> written = 0;
  std::thread stream([&] {
    while (!stop) {
      capture->Write(block.data(), block.size(), written++);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  while (written == 0) std::this_thread::yield();
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    NoteProgramWait(50);
  }
  stop = true;
  stream.join();
  capture->Write(block.data(), block.size(), written++);
  EXPECT_EQ(CapturedSamples(path_).size(), 2u * 64 * static_cast<size_t>(written.load()));
}

}  // namespace
}  // namespace navelo
