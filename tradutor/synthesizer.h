// The diphone synthesizer: a phoneme string cut into chunks and units, each unit looked up in the
// database (with fallbacks to smaller units, letter recordings and a noise burst), the samples
// collected into one 64000-byte WAV buffer that is played whenever it fills and at the end.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tradutor/diphone_database.h"

namespace navelo {

inline constexpr size_t kSynthBufferSize = 64000;
inline constexpr int kSynthRate = 11025;

// What the synthesizer needs of the speech layer.
class SynthesizerSink {
 public:
  virtual ~SynthesizerSink() = default;
  // Plays a WAV image (8-bit mono 11025 Hz) and returns once it has been played or stopped.
  virtual void PlayBuffer(const uint8_t* image, size_t size) = 0;
  // Appends the samples of the letter recording named key ("_65"); false when it is missing.
  virtual bool AppendLetterUnit(std::string_view key, std::vector<uint8_t>& samples) = 0;
};

struct SynthesizerParams {
  int cortefon = 400;  // bytes cut from the end of each unstressed unit
  int sobrafon = 0;    // the least a cut unit keeps
  int interpal = 100;  // samples of silence after each word
};

class DiphoneSynthesizer {
 public:
  DiphoneSynthesizer(DiphoneDatabase& database, SynthesizerSink& sink, uint32_t seed = 1);

  // Speaks the phoneme string; returns when its sound has been played or cut off by a key.
  void SpeakPhonemes(std::string_view phonemes, bool pauses_off);

  SynthesizerParams params;

 private:
  std::string ReadChunk(bool pauses_off);
  void SpeakChunk(const std::string& chunk, double factor);
  void SpeakUnit(const std::string& unit, double factor);
  void SpeakKey(const std::string& key, int mode, double factor);
  bool AppendDatabaseUnit(const std::string& key, int mode, double factor);
  void AppendNoise();
  void AppendSilence(int samples);
  void Append(const uint8_t* bytes, size_t count);
  void Flush();

  DiphoneDatabase& database_;
  SynthesizerSink& sink_;
  std::minstd_rand random_;
  std::vector<uint8_t> buffer_;
  size_t fill_ = 44;
  std::string_view text_;
  size_t read_ = 0;  // 0-based position in text_
  int stress_mode_ = 1;
  std::vector<uint8_t> scratch_;
};

}  // namespace navelo
