// The PCM output seen by the wave player: open for a format, queue numbered blocks, and collect on
// the program's thread the numbers of the blocks that have finished playing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace navelo {

struct PcmFormat {
  int rate = 0;      // samples per second
  int bits = 0;      // 8 (unsigned) or 16 (signed, little-endian)
  int channels = 0;  // interleaved
  bool operator==(const PcmFormat&) const = default;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // 0 when the output is open for the format, otherwise a device error code. Reopening for
  // another format while nothing is queued is allowed.
  virtual int Open(const PcmFormat& format) = 0;
  virtual void Close() = 0;
  // Queues one block (copied). Its slot number comes back from TakeFinished once it has been
  // played or dropped. False when the output refused the block.
  virtual bool Write(const uint8_t* data, size_t length, int slot) = 0;
  // Drops every queued block at once; each is still reported finished.
  virtual void Reset() = 0;
  // Appends the slots finished since the last call. Only the program's thread calls this; a
  // device thread merely hands the numbers over, as window messages would be.
  virtual void TakeFinished(std::vector<int>& slots) = 0;
};

// Plays nothing; every block finishes as soon as it is queued.
std::unique_ptr<AudioOutput> MakeNullAudio();

// Appends everything played, in order, to one WAV file (16-bit mono at kCaptureRate, whatever the
// formats played, resampled band-limited), and every block finishes at once. The header is kept
// valid after each block, so the file is complete however the program ends. Returns nullptr and
// sets error when the file cannot be created.
// The program's own waits (see NoteProgramWait) are written as silence between the sounds.
inline constexpr int kCaptureRate = 22050;
std::unique_ptr<AudioOutput> MakeWavCaptureAudio(const std::string& path, std::string& error);

// Tells the capture file, when one is open, that the program's thread has just waited this many
// milliseconds (the console's Delay: ESPERA, the speech layer's pauses). The capture finishes every
// block at once, so the program never waits for its sound; a wait is what a listener would hear as
// silence after it, and the capture writes it before the next block. A wait during which another
// thread kept writing (a stream paced to real time, such as the MIDI synthesizer) is covered by
// that stream and adds nothing.
void NoteProgramWait(int milliseconds);

// The machine's default sound device. Returns nullptr and sets error when there is none.
std::unique_ptr<AudioOutput> MakeDeviceAudio(std::string& error);

// Converts interleaved PCM of any supported format to mono 16-bit samples at out_rate by linear
// interpolation. phase carries the position between calls, so consecutive blocks join smoothly.
void ConvertToMono16(const uint8_t* data, size_t length, const PcmFormat& format, int out_rate,
                     double& phase, std::vector<int16_t>& out);

}  // namespace navelo
