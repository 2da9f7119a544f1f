// The Windows sound device (waveOut) itself: opening, playing blocks and getting their slots back,
// a reset that drops everything at once, format changes, closing, and a device that is missing or
// cannot be opened. Under Wine without a sound card the Windows stage gives Wine ALSA's null
// device, so blocks really go through winmm; the run with the audio drivers switched off checks
// the fallback. Only in the Windows build.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/win32/wave_out.h"
#include "tradutor/wave_player.h"
#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kNoDevice =
    "Wine sees no sound device here (the Windows stage names ALSA's null device through "
    "ALSA_CONFIG_PATH; the run with the drivers switched off tests the fallback)";

// Whether this run was started with the audio drivers switched off on purpose.
bool DriversOff() {
  const char* value = std::getenv("NAVELO_TEST_NO_SOUND_DEVICE");
  return value != nullptr && std::string(value) == "1";
}

// Takes finished slots until count have come or the time is up.
std::vector<int> WaitFinished(AudioOutput& out, size_t count, milliseconds limit) {
  std::vector<int> slots;
  const auto end = Clock::now() + limit;
  while (slots.size() < count && Clock::now() < end) {
    out.TakeFinished(slots);
    std::this_thread::sleep_for(milliseconds(2));
  }
  return slots;
}

TEST(WaveDeviceTest, AMissingOrUnusableDeviceFailsCleanly) {
  std::string error;
  // A device number beyond the last: the first open fails, the output is not made.
  EXPECT_EQ(MakeWaveOutAudio(WaveOutDeviceCount() + 7, error), nullptr);
  EXPECT_NE(error.find("no usable sound device"), std::string::npos) << error;
  error.clear();
  auto device = MakeDeviceAudio(error);
  if (WaveOutDeviceCount() == 0) {
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(error, "no sound device");
  } else {
    EXPECT_FALSE(DriversOff()) << "the drivers were switched off, yet a device is seen";
    EXPECT_NE(device, nullptr) << error;
  }
  if (DriversOff()) {
    EXPECT_EQ(WaveOutDeviceCount(), 0u);
  }
}

class WaveDeviceOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (WaveOutDeviceCount() == 0) GTEST_SKIP() << kNoDevice;
    std::string error;
    out_ = MakeDeviceAudio(error);
    ASSERT_NE(out_, nullptr) << error;
  }
  std::unique_ptr<AudioOutput> out_;
};

TEST_F(WaveDeviceOutputTest, PlaysBlocksAndHandsTheirSlotsBackInOrder) {
  ASSERT_EQ(out_->Open({11025, 8, 1}), 0);
  std::vector<uint8_t> block(512, 128);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i % 25 < 12 ? 90 : 166);
  ASSERT_TRUE(out_->Write(block.data(), block.size(), 3));
  ASSERT_TRUE(out_->Write(block.data(), 256, 4));
  ASSERT_TRUE(out_->Write(block.data(), 0, 5));  // an empty block is played at once
  EXPECT_EQ(WaitFinished(*out_, 3, milliseconds(3000)), (std::vector<int>{5, 3, 4}));
  std::vector<int> more;
  out_->TakeFinished(more);
  EXPECT_TRUE(more.empty());
}

TEST_F(WaveDeviceOutputTest, AResetStopsEverythingQueuedAndReportsItAtOnce) {
  ASSERT_EQ(out_->Open({11025, 8, 1}), 0);
  // 16 blocks of 8192 bytes: about 12 seconds of sound.
  const std::vector<uint8_t> block(8192, 140);
  for (int slot = 0; slot < 16; ++slot) ASSERT_TRUE(out_->Write(block.data(), block.size(), slot));
  std::vector<int> early;
  out_->TakeFinished(early);
  EXPECT_LT(early.size(), 16u) << "the device cannot have played 12 seconds already";
  const auto start = Clock::now();
  out_->Reset();
  std::vector<int> rest;
  out_->TakeFinished(rest);
  const auto took = Clock::now() - start;
  early.insert(early.end(), rest.begin(), rest.end());
  std::vector<int> all(16);
  for (int i = 0; i < 16; ++i) all[i] = i;
  EXPECT_EQ(early, all);
  EXPECT_LT(took, milliseconds(200)) << "a key must silence the device at once";
  // The device plays on after a reset.
  ASSERT_TRUE(out_->Write(block.data(), 300, 20));
  EXPECT_EQ(WaitFinished(*out_, 1, milliseconds(3000)), std::vector<int>{20});
}

TEST_F(WaveDeviceOutputTest, FormatsCloseAndReopen) {
  EXPECT_EQ(out_->Open({11025, 12, 1}), 32);  // not a format a device takes
  EXPECT_EQ(out_->Open({11025, 8, 0}), 32);
  const std::vector<uint8_t> block(4410, 0);
  for (const PcmFormat format : {PcmFormat{22050, 16, 2}, PcmFormat{16537, 8, 1},
                                 PcmFormat{44100, 16, 1}, PcmFormat{11025, 8, 1}}) {
    ASSERT_EQ(out_->Open(format), 0) << format.rate << " " << format.bits << " " << format.channels;
    ASSERT_TRUE(out_->Write(block.data(), block.size(), format.rate));
    EXPECT_EQ(WaitFinished(*out_, 1, milliseconds(3000)), std::vector<int>{format.rate});
  }
  // Closing with blocks queued hands them back; a closed output takes no block until reopened.
  ASSERT_TRUE(out_->Write(block.data(), block.size(), 7));
  out_->Close();
  EXPECT_EQ(WaitFinished(*out_, 1, milliseconds(1000)), std::vector<int>{7});
  EXPECT_FALSE(out_->Write(block.data(), block.size(), 8));
  ASSERT_EQ(out_->Open({11025, 8, 1}), 0);
  EXPECT_TRUE(out_->Write(block.data(), block.size(), 9));
  EXPECT_EQ(WaitFinished(*out_, 1, milliseconds(3000)), std::vector<int>{9});
}

TEST_F(WaveDeviceOutputTest, TwoOutputsAtOnceForSpeechAndMedia) {
  std::string error;
  auto media = MakeDeviceAudio(error);
  ASSERT_NE(media, nullptr) << error;
  ASSERT_EQ(out_->Open({11025, 8, 1}), 0);
  ASSERT_EQ(media->Open({22050, 16, 1}), 0);
  const std::vector<uint8_t> block(2000, 128);
  ASSERT_TRUE(out_->Write(block.data(), block.size(), 1));
  ASSERT_TRUE(media->Write(block.data(), block.size(), 2));
  EXPECT_EQ(WaitFinished(*out_, 1, milliseconds(3000)), std::vector<int>{1});
  EXPECT_EQ(WaitFinished(*media, 1, milliseconds(3000)), std::vector<int>{2});
}

// The wave player on the device: busy while its blocks play, silent and idle after a stop or a
// key, and a short sound played to its end.
TEST_F(WaveDeviceOutputTest, ThePlayerIsBusyUntilStoppedOrAKeyIsPressed) {
  TempDir dir;
  HostEnvironment host([&](std::string_view, std::string& value) {
    value = dir.path().string();
    return true;
  }, dir.path().string());
  CountingConsole console;
  console.on_delay = [] { std::this_thread::sleep_for(milliseconds(5)); };
  QueueKeyboard keys;
  WavePlayer player(*out_, console, keys, host);
  const std::string long_sound = WavBytes(std::string(11025 * 5, '\x90'));
  ASSERT_EQ(player.PlayWaveImage(reinterpret_cast<const uint8_t*>(long_sound.data()),
                                 long_sound.size()), 0);
  EXPECT_TRUE(player.WaveBusy());
  EXPECT_GT(player.queued(), 0);
  const auto start = Clock::now();
  player.WaveStop();
  EXPECT_FALSE(player.WaveBusy());
  EXPECT_EQ(player.queued(), 0);
  EXPECT_LT(Clock::now() - start, milliseconds(200));

  ASSERT_EQ(player.PlayWaveImage(reinterpret_cast<const uint8_t*>(long_sound.data()),
                                 long_sound.size()), 0);
  keys.Type("x");
  EXPECT_FALSE(player.WaveBusy());
  EXPECT_EQ(player.queued(), 0);
  keys.queue.clear();

  // At 1.5 times the rate a short sound plays to its end and the player becomes idle.
  player.rate_times_15 = true;
  const std::string short_sound = WavBytes(std::string(1500, '\x70'));
  ASSERT_EQ(player.PlayWaveImage(reinterpret_cast<const uint8_t*>(short_sound.data()),
                                 short_sound.size()), 0);
  const auto end = Clock::now() + milliseconds(3000);
  while (player.WaveBusy() && Clock::now() < end) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_FALSE(player.WaveBusy());
}

}  // namespace
}  // namespace navelo::testing
