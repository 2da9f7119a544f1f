// Our stand-in for the MBROLA synthesizer: it takes the same .pho lines and renders them at
// 16000 Hz from a unit set of pitch-marked recordings (one per phoneme, made by the host kit from
// espeak-ng's Brazilian voice), meeting each line's duration and the pitch contour of its points
// by pitch-synchronous overlap-add.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mbrola_backend.h"

namespace navelo {

struct PhoUnit {
  std::string name;               // the phoneme, as .pho lines name it
  bool voiced = true;
  std::vector<int16_t> samples;   // 16000 Hz
  std::vector<uint32_t> marks;    // pitch marks (sample positions), rising
};

// The unit set file: "NVPHOU1\n", rate and count (32-bit little-endian), then each unit: name
// length (1 byte) and name, voiced (1 byte), sample count and samples (16-bit), mark count and
// marks (32-bit).
std::string WritePhoUnitSet(const std::vector<PhoUnit>& units);
// False when the bytes are not a whole unit set at 16000 Hz.
bool ReadPhoUnitSet(std::string_view bytes, std::vector<PhoUnit>& units);

// One line of .pho text: a phoneme, its duration in milliseconds and its pitch points (position
// in percent of the duration, frequency in Hz). False for comments, empty lines and lines that
// are no phoneme.
struct PhoLine {
  std::string phoneme;
  double duration_ms = 0;
  std::vector<std::pair<double, double>> points;
};
bool ParsePhoLine(std::string_view line, PhoLine& out);

// Renders phoneme lines with a unit set; the sample count is the sum of the durations.
std::vector<int16_t> RenderPho(const std::vector<PhoLine>& lines, const std::vector<PhoUnit>& units);

// The stand-in as an MBROLA back end; Init takes the unit set file.
std::unique_ptr<MbrolaBackend> MakePhoSynthesizer(std::string& reason);

// The longest duration a .pho line may have (milliseconds); a longer one is cut to it.
inline constexpr double kPhoMaxLineMs = 60000.0;

// The pitch given to a text without any pitch point.
inline constexpr double kPhoDefaultPitch = 130.0;

}  // namespace navelo
