// The braille-mode tones: a square wave built as a WAV image in memory, and the small interface
// through which it is played in a loop until stopped.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace navelo {

// One second of an 11025 Hz, 8-bit, mono square wave of the given frequency (1..11025), with the
// 44-byte RIFF header. Empty for a frequency out of that range.
std::vector<uint8_t> BuildToneWave(int hertz);

// Where the tones sound: the wave output plays a WAV image asynchronously, looping, until it is
// stopped. Failures are not reported.
class ToneOutput {
 public:
  virtual ~ToneOutput() = default;
  virtual void PlayLooping(std::span<const uint8_t> wav) = 0;
  virtual void StopLooping() = 0;
};

// No sound at all, until a wave output is wired in.
class SilentToneOutput final : public ToneOutput {
 public:
  void PlayLooping(std::span<const uint8_t>) override {}
  void StopLooping() override {}
};

}  // namespace navelo
