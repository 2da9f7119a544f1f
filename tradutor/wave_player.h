// Wave output: reading RIFF/WAVE files and images, cutting their PCM data into blocks of at most
// 8192 bytes, queueing up to 16 of them on the audio output, the rate-times-1.5 and period-dropping
// speed features, and a waiting key stopping playback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>
#include <vector>

#include "config/host_env.h"
#include "console/console.h"
#include "platform/audio.h"

namespace navelo {

inline constexpr size_t kWaveHeaderSize = 44;
inline constexpr size_t kBlockSize = 8192;
inline constexpr int kBlockSlots = 16;
// The sample rates a sound device takes; a file outside them is not a usable sound (a rate of a
// few hertz would be stretched by any conversion into hundreds of megabytes, and a huge one
// overflows the faster playback's rate).
inline constexpr int kMinWaveRate = 1000;
inline constexpr int kMaxWaveRate = 384000;

// Where the PCM data of a WAV file or image lies.
struct WaveLayout {
  PcmFormat format;
  uint64_t data_offset = 0;  // from the start of the file
  uint32_t data_length = 0;  // as the data chunk's header says (may exceed what the file holds)
};

// Walks "RIFF", the "fmt " chunk (which must come first) and the chunks after it to the "data"
// chunk. read(offset, buffer, n) returns how many bytes it could read at offset; size is the
// whole length of the source. False for anything that is not a usable PCM file: a missing or
// short header or fmt chunk, a chunk running past the end, no data chunk, or a format the output
// cannot play (not 8 or 16 bits, no channels, a rate outside kMinWaveRate to kMaxWaveRate, or a
// frame of all channels wider than a block).
bool ReadWaveLayout(const std::function<size_t(uint64_t, uint8_t*, size_t)>& read, uint64_t size,
                    WaveLayout& layout);
bool ReadWaveLayout(const uint8_t* image, size_t size, WaveLayout& layout);

// A WAV file opened for reading its layout and then its data from wherever the layout says.
class WaveFileReader {
 public:
  explicit WaveFileReader(const std::filesystem::path& path);
  // False when the file could not be opened or its size is not known.
  bool ok() const { return ok_; }
  uint64_t size() const { return size_; }
  // Reads up to n bytes at offset; how many it could.
  size_t Read(uint64_t offset, uint8_t* buffer, size_t n);
  // The file's layout (see ReadWaveLayout); false when the file is no usable PCM file.
  bool ReadLayout(WaveLayout& layout);

 private:
  std::ifstream file_;
  uint64_t size_ = 0;
  bool ok_ = false;
};

// Whether the player takes the format: 8 or 16 bits, a rate from kMinWaveRate to kMaxWaveRate,
// and at least one channel with a frame no wider than a block.
bool PlayableFormat(const PcmFormat& format);

// Writes the 44-byte header of a WAV image of data_length bytes at image.
void MakeWaveHeader(uint8_t* image, uint32_t data_length, int rate, int channels, int bits);

// The size of the next block read from a file's data when remaining bytes are left: 7936 for
// 8193 to 8447, so that no final block is shorter than 257 bytes, else up to 8192.
size_t NextFileBlockSize(uint64_t remaining);

// Shortens mono speech by dropping every other pitch period, in place; 16-bit data is first made
// 8-bit. Returns the new byte count.
size_t CutPeriods(uint8_t* data, size_t n, int bits, int rate);

class WavePlayer {
 public:
  WavePlayer(AudioOutput& output, Console& console, Keyboard& keyboard,
             const HostEnvironment& host);
  ~WavePlayer();
  WavePlayer(const WavePlayer&) = delete;
  WavePlayer& operator=(const WavePlayer&) = delete;

  // name is a host path (cp1252). 0 played, or skipped because a key was waiting; -1 the file
  // cannot be opened or is not a usable WAV file; otherwise the output's error code.
  int PlayWaveFile(std::string_view name);
  // Plays a WAV image; returns once its data is queued (callers wait with WaveBusy). -1 when the
  // image is not a usable WAV image.
  int PlayWaveImage(const uint8_t* image, size_t size);
  // -1 when the format is not one the player takes (see ReadWaveLayout).
  int PlayPcm(const uint8_t* data, size_t length, PcmFormat format);

  bool WaveBusy();
  void WaveStop();

  bool no_wait = false;       // PlayWaveFile returns without waiting for the end
  bool rate_times_15 = false; // play at 1.5 times the recorded rate
  bool cut = false;           // period dropping of mono speech
  bool stop_on_key = true;

  int queued() const { return queued_; }

 private:
  int OpenFor(const PcmFormat& format);
  bool QueueBlock(const uint8_t* data, size_t n, const PcmFormat& format);
  // Lets the console's messages through and takes the finished blocks from the output.
  void LetMessagesThrough();
  bool KeyStops() { return stop_on_key && keyboard_.KeyPressed(); }

  AudioOutput& output_;
  Console& console_;
  Keyboard& keyboard_;
  const HostEnvironment& host_;
  bool open_ = false;
  PcmFormat open_format_;
  int queued_ = 0;
  int next_slot_ = 0;
  std::vector<uint8_t> slots_;      // 16 blocks of 8192 bytes, allocated once
  std::vector<uint8_t> work_;       // a block being cut
  std::vector<uint8_t> file_block_; // reading buffer of PlayWaveFile
  std::vector<int> finished_;
};

}  // namespace navelo
