// The wave player: WAV parsing against malformed files, block sizes and padding, the speed
// features and the stop on a waiting key.
#include "tradutor/wave_player.h"

#include "tests/tradutor/speech_fixtures.h"

namespace navelo::testing {
namespace {

class WavePlayerTest : public ::testing::Test {
 protected:
  WavePlayerTest()
      : host_(
            [this](std::string_view name, std::string& value) {
              if (name != "NAVELO_DRIVE_C" && name != "HOME") return false;
              value = dir_.path().string();
              return true;
            },
            dir_.path().string()),
        player_(audio_, console_, keys_, host_) {}

  std::string Put(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.path() / name, bytes);
    return "c:\\" + name;
  }

  TempDir dir_;
  HostEnvironment host_;
  RecordingAudio audio_;
  CountingConsole console_;
  QueueKeyboard keys_;
  WavePlayer player_;
};

TEST_F(WavePlayerTest, MalformedFilesAreRefusedWithoutPlaying) {
  const std::string good = WavBytes(std::string(300, 'x'));
  std::string no_data = good.substr(0, 36);
  std::string huge_chunk = good.substr(0, 36) + "LIST";
  PutLe(huge_chunk, 0xFFFFFFFFu, 4);
  huge_chunk += "abcd";
  std::string huge_fmt = good.substr(0, 16);
  PutLe(huge_fmt, 0xFFFFFFFFu, 4);
  huge_fmt += good.substr(20);
  std::string not_riff = good;
  not_riff[0] = 'X';
  std::string data_first = "RIFF....WAVEdata";
  PutLe(data_first, 4, 4);
  const std::string short_fmt = WavBytes("abc", 11025, 1, 8, "", 14).substr(0, 40);
  const std::string bad_bits = WavBytes(std::string(300, 'x'), 11025, 1, 12);

  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"empty.wav", ""},
           {"riff_only.wav", "RIFF"},
           {"no_data.wav", no_data},
           {"huge_chunk.wav", huge_chunk},
           {"huge_fmt.wav", huge_fmt},
           {"not_riff.wav", not_riff},
           {"data_first.wav", data_first},
           {"short_fmt.wav", short_fmt},
           {"bad_bits.wav", bad_bits}}) {
    EXPECT_EQ(player_.PlayWaveFile(Put(name, bytes)), -1) << name;
  }
  EXPECT_EQ(player_.PlayWaveFile("c:\\missing.wav"), -1);
  EXPECT_TRUE(audio_.blocks.empty());
}

TEST_F(WavePlayerTest, DataLongerThanTheFilePlaysWhatIsThereThenFails) {
  std::string bytes = WavBytes(std::string(500, 'x'));
  bytes.replace(40, 4, std::string("\xFF\xFF\xFF\xFF", 4));  // data length -1
  EXPECT_EQ(player_.PlayWaveFile(Put("long.wav", bytes)), -1);
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 500u);
}

TEST_F(WavePlayerTest, ChunksBetweenFmtAndDataAreSkippedAndCaseIsIgnored) {
  std::string list = "LIST";
  PutLe(list, 6, 4);
  list += "abcdef";
  std::string bytes = WavBytes(std::string(400, 'x'), 22050, 1, 8, list);
  bytes.replace(0, 4, "riff");
  EXPECT_EQ(player_.PlayWaveFile(Put("list.wav", bytes)), 0);
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].format, (PcmFormat{22050, 8, 1}));
}

TEST_F(WavePlayerTest, FileDataIsCutSoThatNoFinalBlockIsTiny) {
  EXPECT_EQ(player_.PlayWaveFile(Put("a.wav", WavBytes(std::string(8300, 'x')))), 0);
  ASSERT_EQ(audio_.blocks.size(), 2u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 7936u);
  EXPECT_EQ(audio_.blocks[1].bytes.size(), 364u);
  EXPECT_EQ(NextFileBlockSize(8192), 8192u);
  EXPECT_EQ(NextFileBlockSize(8193), 7936u);
  EXPECT_EQ(NextFileBlockSize(8447), 7936u);
  EXPECT_EQ(NextFileBlockSize(8448), 8192u);
  EXPECT_EQ(NextFileBlockSize(20), 20u);
}

TEST_F(WavePlayerTest, ShortEightBitMonoBlocksArePaddedWithSilence) {
  EXPECT_EQ(player_.PlayWaveFile(Put("short.wav", WavBytes(std::string(100, 'x')))), 0);
  ASSERT_EQ(audio_.blocks.size(), 1u);
  const std::vector<uint8_t>& block = audio_.blocks[0].bytes;
  ASSERT_EQ(block.size(), 256u);
  EXPECT_EQ(block[98], 'x');
  EXPECT_EQ(block[99], 128);  // the last byte of a block shorter than 8192
  EXPECT_EQ(block[255], 128);

  // A short 16-bit block is lengthened with zero samples, never with stale slot contents.
  audio_.blocks.clear();
  player_.PlayWaveFile(Put("s16.wav", WavBytes(std::string(40, '\x11'), 11025, 1, 16)));
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 256u);
  EXPECT_EQ(audio_.blocks[0].bytes[39], 0x11);
  EXPECT_EQ(audio_.blocks[0].bytes[40], 0);
}

TEST_F(WavePlayerTest, RateTimesOneAndAHalfAndThePeriodCutter) {
  player_.rate_times_15 = true;
  player_.PlayWaveFile(Put("r.wav", WavBytes(std::string(300, 'x'))));
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].format.rate, 16537);

  // A 16-bit mono file with the cut on is played as 8-bit and shortened.
  player_.rate_times_15 = false;
  player_.cut = true;
  audio_.blocks.clear();
  std::string speech;
  for (int i = 0; i < 3000; ++i) {
    const int16_t v = static_cast<int16_t>((i % 80) * 300 - 12000);
    PutLe(speech, static_cast<uint16_t>(v), 2);
  }
  player_.PlayWaveFile(Put("c16.wav", WavBytes(speech, 11025, 1, 16)));
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].format.bits, 8);
  EXPECT_LT(audio_.blocks[0].bytes.size(), 3000u * 3 / 4);

  // A stereo file is never cut.
  audio_.blocks.clear();
  player_.PlayWaveFile(Put("st.wav", WavBytes(std::string(4000, 'x'), 11025, 2, 8)));
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 4000u);
}

// Rates no sound device takes and frames wider than a block are refused as unusable files by
// every way in, whatever the speed features: a huge rate once overflowed the faster rate, a rate
// of a few hertz blew the capture up to hundreds of megabytes.
TEST_F(WavePlayerTest, RatesNoDeviceTakesAndFramesWiderThanABlockAreUnusable) {
  player_.rate_times_15 = true;
  player_.cut = true;
  const std::string data(300, 'x');
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"huge_rate.wav", WavBytes(data, 800000000)},
           {"max_rate.wav", WavBytes(data, 0x7FFFFFFF, 1, 16)},
           {"above.wav", WavBytes(data, kMaxWaveRate + 1)},
           {"one_hertz.wav", WavBytes(data, 1)},
           {"below.wav", WavBytes(data, kMinWaveRate - 1)},
           {"wide_frame.wav", WavBytes(std::string(20000, 'x'), 11025, 4097, 16)},
           {"wide_frame8.wav", WavBytes(std::string(20000, 'x'), 11025, 8193, 8)}}) {
    EXPECT_EQ(player_.PlayWaveFile(Put(name, bytes)), -1) << name;
    const std::string image = bytes;
    EXPECT_EQ(player_.PlayWaveImage(reinterpret_cast<const uint8_t*>(image.data()), image.size()),
              -1)
        << name;
  }
  const auto raw = reinterpret_cast<const uint8_t*>(data.data());
  EXPECT_EQ(player_.PlayPcm(raw, data.size(), {800000000, 8, 1}), -1);
  EXPECT_EQ(player_.PlayPcm(raw, data.size(), {1, 8, 1}), -1);
  EXPECT_EQ(player_.PlayPcm(raw, data.size(), {11025, 16, 4097}), -1);
  EXPECT_TRUE(audio_.blocks.empty());

  // The edges themselves play, the fastest at one and a half times its rate.
  player_.cut = false;
  EXPECT_EQ(player_.PlayWaveFile(Put("low.wav", WavBytes(data, kMinWaveRate))), 0);
  EXPECT_EQ(player_.PlayWaveFile(Put("high.wav", WavBytes(data, kMaxWaveRate))), 0);
  EXPECT_EQ(player_.PlayWaveFile(Put("frame.wav", WavBytes(std::string(16384, 'x'), 11025, 4096, 16))),
            0);
  ASSERT_EQ(audio_.blocks.size(), 4u);
  EXPECT_EQ(audio_.blocks[0].format.rate, 1500);
  EXPECT_EQ(audio_.blocks[1].format.rate, 576000);
  EXPECT_EQ(audio_.blocks[2].format.channels, 4096);
}

TEST_F(WavePlayerTest, TheCutterDropsEveryOtherPeriodAtUnchangedPitch) {
  // A saw tooth of period 100 with its peak at the end of each period.
  std::vector<uint8_t> data(4000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(28 + i % 100);
  std::vector<uint8_t> cut = data;
  const size_t n = CutPeriods(cut.data(), cut.size(), 8, 11025);
  EXPECT_GT(n, 1500u);
  EXPECT_LT(n, 2600u);
  // The first peak is at 299; everything before it is unchanged.
  EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + 299, data.begin()));
  // Each kept piece runs from one peak to the next inclusive (101 bytes): the period after a
  // dropped one, at unchanged pitch.
  for (size_t k = 0; k < 10; ++k) {
    EXPECT_EQ(cut[299 + 101 * k], 127) << k;
    EXPECT_EQ(cut[300 + 101 * k], 28) << k;
    EXPECT_EQ(cut[350 + 101 * k], 78) << k;
  }

  std::vector<uint8_t> tiny(999, 200);
  EXPECT_EQ(CutPeriods(tiny.data(), tiny.size(), 8, 11025), 999u);
  std::vector<uint8_t> wide(1200, 128);
  EXPECT_LE(CutPeriods(wide.data(), wide.size(), 8, 16537), 1200u);
}

TEST_F(WavePlayerTest, AFastRecordingReplacesTheCutter) {
  WriteFile(dir_.path() / "sons" / "rapido" / "ola.wav", WavBytes(std::string(1500, 'f')));
  player_.cut = true;
  EXPECT_EQ(player_.PlayWaveFile(Put("sons/ola.wav", WavBytes(std::string(5000, 's')))), 0);
  ASSERT_EQ(audio_.blocks.size(), 1u);
  EXPECT_EQ(audio_.blocks[0].bytes.size(), 1500u);
  EXPECT_EQ(audio_.blocks[0].bytes[0], 'f');
  EXPECT_TRUE(player_.cut);
}

TEST_F(WavePlayerTest, AWaitingKeyStopsPlaybackAndStaysQueued) {
  keys_.Type("x");
  EXPECT_EQ(player_.PlayWaveFile(Put("k.wav", WavBytes(std::string(300, 'x')))), 0);
  EXPECT_TRUE(audio_.blocks.empty());
  EXPECT_TRUE(keys_.KeyPressed());

  // A key pressed while the queue drains stops it through the device's reset.
  keys_.queue.clear();
  audio_.finish_at_once = false;
  console_.on_delay = [this] { keys_.Type("y"); };
  EXPECT_EQ(player_.PlayWaveFile(Put("long.wav", WavBytes(std::string(30000, 'x')))), 0);
  EXPECT_GE(audio_.resets, 1);
  EXPECT_EQ(player_.queued(), 0);
  EXPECT_FALSE(player_.WaveBusy());
}

TEST_F(WavePlayerTest, AtMostSixteenBlocksAreInFlight) {
  audio_.finish_at_once = false;
  std::vector<uint8_t> image(kWaveHeaderSize + 20 * kBlockSize, 100);
  MakeWaveHeader(image.data(), 20 * kBlockSize, 11025, 1, 8);
  int delays = 0;
  console_.on_delay = [&] {
    // The device finishes what it holds while the player waits for a free slot.
    if (++delays == 3) audio_.FinishAll();
  };
  EXPECT_EQ(player_.PlayWaveImage(image.data(), image.size()), 0);
  EXPECT_EQ(audio_.blocks.size(), 20u);
  EXPECT_EQ(player_.queued(), 4);
  EXPECT_TRUE(player_.WaveBusy());
  player_.WaveStop();
  EXPECT_FALSE(player_.WaveBusy());
}

TEST_F(WavePlayerTest, TheHeaderDescribesEightBitMonoImages) {
  std::vector<uint8_t> image(kWaveHeaderSize + 10, 128);
  MakeWaveHeader(image.data(), 10, 11025, 1, 8);
  const std::string head(image.begin(), image.begin() + 44);
  std::string expected = "RIFF";
  PutLe(expected, 46, 4);
  expected += "WAVEfmt ";
  PutLe(expected, 16, 4);
  PutLe(expected, 1, 2);
  PutLe(expected, 1, 2);
  PutLe(expected, 11025, 4);
  PutLe(expected, 11025, 4);
  PutLe(expected, 1, 2);
  PutLe(expected, 8, 2);
  expected += "data";
  PutLe(expected, 10, 4);
  EXPECT_EQ(head, expected);
  WaveLayout layout;
  ASSERT_TRUE(ReadWaveLayout(image.data(), image.size(), layout));
  EXPECT_EQ(layout.data_offset, 44u);
  EXPECT_EQ(layout.data_length, 10u);
}

TEST_F(WavePlayerTest, AnotherFormatWaitsForTheQueueAndReopens) {
  player_.PlayWaveFile(Put("a.wav", WavBytes(std::string(300, 'x'), 11025)));
  player_.PlayWaveFile(Put("b.wav", WavBytes(std::string(300, 'x'), 11025)));
  EXPECT_EQ(audio_.opens, 1);
  player_.PlayWaveFile(Put("c.wav", WavBytes(std::string(300, 'x'), 22050)));
  EXPECT_EQ(audio_.opens, 2);
  EXPECT_EQ(audio_.closes, 1);
  audio_.open_result = 7;
  EXPECT_EQ(player_.PlayWaveFile(Put("d.wav", WavBytes(std::string(300, 'x'), 8000))), 7);
}

}  // namespace
}  // namespace navelo::testing

namespace navelo::testing {
namespace {

TEST_F(WavePlayerTest, DamagedFilesNeverCrashOrPlayPastTheirData) {
  std::string list = "LIST";
  PutLe(list, 4, 4);
  list += "abcd";
  const std::string good = WavBytes(std::string(3000, 'x'), 11025, 1, 8, list);
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good.substr(0, random() % good.size());
    for (int k = 0; k < 4 && !bytes.empty(); ++k) {
      bytes[random() % std::min<size_t>(bytes.size(), 60)] = static_cast<char>(random());
    }
    const int result = player_.PlayWaveFile(Put("damaged.wav", bytes));
    EXPECT_TRUE(result == 0 || result == -1) << round;
    size_t played = 0;
    for (const WrittenBlock& block : audio_.blocks) played += block.bytes.size();
    EXPECT_LE(played, std::max<size_t>(bytes.size(), 256 * audio_.blocks.size())) << round;
    audio_.blocks.clear();
    WaveLayout layout;
    ReadWaveLayout(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), layout);
  }
}

}  // namespace
}  // namespace navelo::testing
