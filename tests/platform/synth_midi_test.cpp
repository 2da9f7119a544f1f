// The software MIDI synthesizer rendering into the WAV capture: when a note is heard, when it has
// died away, and what opening, closing and sending do in the wrong state.
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "platform/audio.h"
#include "platform/midi_output.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::vector<int16_t> ReadCapture(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                           static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  return samples;
}

// Root mean square of the samples from from_ms to to_ms of the capture.
double Rms(const std::vector<int16_t>& samples, double from_ms, double to_ms) {
  const size_t from = static_cast<size_t>(std::max(0.0, from_ms) * kCaptureRate / 1000);
  const size_t to = std::min(samples.size(), static_cast<size_t>(to_ms * kCaptureRate / 1000));
  if (to <= from) return 0;
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class SynthMidiTest : public ::testing::Test {
 protected:
  SynthMidiTest()
      : path_(fs::temp_directory_path() /
              ("navelo_midi_" + std::to_string(std::random_device{}()) + ".wav")) {
    std::string error;
    capture_ = MakeWavCaptureAudio(path_.string(), error);
    midi_ = MakeSynthMidi(*capture_, [this] { return soundfont_; });
  }
  ~SynthMidiTest() override {
    midi_.reset();
    capture_.reset();
    std::error_code error;
    fs::remove(path_, error);
  }
  void SetUp() override {
    if (!SynthMidiRendersIntoAudio()) {
      GTEST_SKIP() << "the MIDI notes go to the platform's own MIDI device (on Windows the MIDI "
                      "mapper), which plays them itself and never into the WAV capture these "
                      "tests listen to, and takes no sound font";
    }
    std::string reason;
    const int result = midi_->Open(reason);
    if (result != 0 && !fs::exists(kSoundfont)) GTEST_SKIP() << "no sound font: " << reason;
    if (result != 0 && reason.find("compilado sem") != std::string::npos) GTEST_SKIP() << reason;
    ASSERT_EQ(result, 0) << reason;
    midi_->Close();
  }

  fs::path path_;
  std::string soundfont_;
  std::unique_ptr<AudioOutput> capture_;
  std::unique_ptr<MidiOutput> midi_;
};

TEST_F(SynthMidiTest, ANoteIsHeardAtOnceAndHasDiedAwayASecondAfterItsNoteOff) {
  std::string reason;
  // The capture's clock starts once the open has loaded the sound font.
  ASSERT_EQ(midi_->Open(reason), 0) << reason;
  const Clock::time_point opened = Clock::now();
  std::this_thread::sleep_for(milliseconds(300));
  const double on_ms = Ms(Clock::now() - opened);
  ASSERT_EQ(midi_->ShortMessage(PackShortMessage(144, 60, 100)), 0);
  std::this_thread::sleep_for(milliseconds(500));
  const double off_ms = Ms(Clock::now() - opened);
  ASSERT_EQ(midi_->ShortMessage(PackShortMessage(144, 60, 0)), 0);
  std::this_thread::sleep_for(milliseconds(1500));
  const double end_ms = Ms(Clock::now() - opened);
  midi_->Close();

  const std::vector<int16_t> samples = ReadCapture(path_);
  // The capture runs with the clock from the open on: no more and not much less than the time.
  EXPECT_GT(static_cast<double>(samples.size()), (end_ms - 100) * kCaptureRate / 1000);
  EXPECT_LT(static_cast<double>(samples.size()), (end_ms + 100) * kCaptureRate / 1000);
  // Before the note only the synthesizer's dither: not zero, but far below any note.
  const double floor = Rms(samples, 0, on_ms - 60);
  EXPECT_LT(floor, 30.0);
  // The first 20 ms window above the floor starts within 100 ms of the note on.
  double onset_ms = -1;
  for (double t = on_ms - 60; t < off_ms; t += 5) {
    if (Rms(samples, t, t + 20) > 1000) {
      onset_ms = t;
      break;
    }
  }
  ASSERT_GE(onset_ms, 0) << "the note was never heard; floor " << floor;
  EXPECT_LT(onset_ms - on_ms, 100.0);
  EXPECT_GT(Rms(samples, onset_ms, onset_ms + 100), std::max(30 * floor, 1000.0));
  // A second after the note off it is silent again.
  EXPECT_LT(Rms(samples, off_ms + 1000, end_ms - 50), std::max(3 * floor, 30.0));
}

TEST_F(SynthMidiTest, ProgramWaitsWhileNotesPlayAddNoSilence) {
  // The program waits (as ESPERA and the speech pauses do, in the console's steps) while the
  // synthesizer's own thread streams its blocks: the stream covers those waits, so the capture
  // stays as long as the time that passed, with the note heard throughout.
  std::string reason;
  ASSERT_EQ(midi_->Open(reason), 0) << reason;
  const Clock::time_point opened = Clock::now();
  ASSERT_EQ(midi_->ShortMessage(PackShortMessage(192, 19)), 0);  // an organ: it does not fade
  ASSERT_EQ(midi_->ShortMessage(PackShortMessage(144, 60, 100)), 0);
  for (int i = 0; i < 16; ++i) {
    std::this_thread::sleep_for(milliseconds(50));
    NoteProgramWait(50);
  }
  for (int i = 0; i < 80; ++i) {
    std::this_thread::sleep_for(milliseconds(5));
    NoteProgramWait(5);
  }
  const double end_ms = Ms(Clock::now() - opened);
  midi_->Close();
  const std::vector<int16_t> samples = ReadCapture(path_);
  EXPECT_GT(static_cast<double>(samples.size()), (end_ms - 100) * kCaptureRate / 1000);
  EXPECT_LT(static_cast<double>(samples.size()), (end_ms + 100) * kCaptureRate / 1000);
  for (double t = 100; t < end_ms - 100; t += 20) {
    ASSERT_GT(Rms(samples, t, t + 20), 300.0) << "a gap in the note at " << t << " ms";
  }
}

TEST_F(SynthMidiTest, OpenTwiceCloseTwiceAndNotesAfterTheClose) {
  std::string reason;
  ASSERT_EQ(midi_->Open(reason), 0) << reason;
  reason.clear();
  EXPECT_NE(midi_->Open(reason), 0);
  EXPECT_FALSE(reason.empty());
  // The first open still plays.
  EXPECT_EQ(midi_->ShortMessage(PackShortMessage(255)), 0);
  EXPECT_EQ(midi_->ShortMessage(PackShortMessage(63)), 0);
  EXPECT_EQ(midi_->ShortMessage(PackShortMessage(192, 40)), 0);
  EXPECT_EQ(midi_->ShortMessage(PackShortMessage(144, 72, 127)), 0);
  std::this_thread::sleep_for(milliseconds(200));
  midi_->Close();
  midi_->Close();
  const uintmax_t size = fs::file_size(path_);
  const std::vector<int16_t> samples = ReadCapture(path_);
  EXPECT_GT(Rms(samples, 0, 1000), 300.0);
  EXPECT_NE(midi_->ShortMessage(PackShortMessage(144, 60, 100)), 0);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(fs::file_size(path_), size);
  // And it opens again.
  ASSERT_EQ(midi_->Open(reason), 0) << reason;
  midi_->Close();
}

TEST_F(SynthMidiTest, AMissingSoundFontFailsTheOpenAndSaysWhich) {
  soundfont_ = (fs::temp_directory_path() / "navelo_no_such_font.sf2").string();
  std::string reason;
  EXPECT_NE(midi_->Open(reason), 0);
  EXPECT_NE(reason.find("navelo_no_such_font.sf2"), std::string::npos) << reason;
  EXPECT_NE(midi_->ShortMessage(PackShortMessage(144, 60, 100)), 0);
  // A file that is not a sound font is refused too.
  std::ofstream(soundfont_) << "not a sound font";
  reason.clear();
  EXPECT_NE(midi_->Open(reason), 0);
  EXPECT_FALSE(reason.empty());
  fs::remove(soundfont_);
  // The bigger font where it is installed, else the small one.
  soundfont_ = "grande";
  EXPECT_EQ(midi_->Open(reason), 0) << reason;
  midi_->Close();
}

}  // namespace
}  // namespace navelo
