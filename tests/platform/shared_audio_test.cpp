// One output shared by the speech and media channels: formats, block numbers and resets.
#include "platform/shared_audio.h"

#include <gtest/gtest.h>

#include <string>

namespace navelo {
namespace {

// Logs what reaches the device; blocks finish when the test says so.
class LogAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat& format) override {
    log.push_back("open " + std::to_string(format.rate));
    return format.rate == 1 ? 32 : 0;
  }
  void Close() override { log.push_back("close"); }
  bool Write(const uint8_t*, size_t length, int slot) override {
    log.push_back("write " + std::to_string(length));
    pending.push_back(slot);
    return true;
  }
  void Reset() override {
    log.push_back("reset");
    finished.insert(finished.end(), pending.begin(), pending.end());
    pending.clear();
  }
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished.begin(), finished.end());
    finished.clear();
  }
  void FinishFirst() {
    finished.push_back(pending.front());
    pending.erase(pending.begin());
  }
  std::vector<std::string> log;
  std::vector<int> pending, finished;
};

TEST(SharedAudioTest, EachChannelKeepsItsFormatAndGetsBackItsOwnBlockNumbers) {
  LogAudio device;
  SharedAudio shared(device);
  auto speech = shared.NewChannel();
  auto media = shared.NewChannel();
  const uint8_t data[4] = {};
  ASSERT_EQ(speech->Open({11025, 8, 1}), 0);
  ASSERT_EQ(media->Open({22050, 16, 2}), 0);
  EXPECT_TRUE(speech->Write(data, 1, 7));  // the device is switched back for speech
  EXPECT_TRUE(speech->Write(data, 2, 8));  // and stays so
  EXPECT_TRUE(media->Write(data, 4, 7));
  EXPECT_EQ(device.log, (std::vector<std::string>{"open 11025", "open 22050", "open 11025",
                                                   "write 1", "write 2", "open 22050",
                                                   "write 4"}));
  device.FinishFirst();
  device.FinishFirst();
  std::vector<int> slots;
  media->TakeFinished(slots);
  EXPECT_TRUE(slots.empty());
  speech->TakeFinished(slots);
  EXPECT_EQ(slots, (std::vector<int>{7, 8}));
  slots.clear();
  device.FinishFirst();
  media->TakeFinished(slots);
  EXPECT_EQ(slots, (std::vector<int>{7}));
}

TEST(SharedAudioTest, AResetDropsEveryChannelsBlocksAndEachHearsOfItsOwn) {
  LogAudio device;
  SharedAudio shared(device);
  auto speech = shared.NewChannel();
  auto media = shared.NewChannel();
  const uint8_t data[4] = {};
  speech->Open({11025, 8, 1});
  media->Open({11025, 8, 1});
  speech->Write(data, 4, 0);
  media->Write(data, 4, 3);
  media->Reset();
  std::vector<int> speech_slots, media_slots;
  speech->TakeFinished(speech_slots);
  media->TakeFinished(media_slots);
  EXPECT_EQ(speech_slots, (std::vector<int>{0}));
  EXPECT_EQ(media_slots, (std::vector<int>{3}));
}

}  // namespace
}  // namespace navelo
