// The square-wave tone image.
#include "console/tone.h"

#include <algorithm>
#include <iterator>

namespace navelo {
namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> BuildToneWave(int hertz) {
  constexpr int kRate = 11025;
  constexpr int kHeader = 44;
  if (hertz < 1 || hertz > kRate) return {};
  const int period = kRate / hertz;
  std::vector<uint8_t> samples;
  samples.reserve(kRate);
  // Each period starts at k * rate / f so the frequency stays right on average; periods are
  // written while they still fit in the second (less the header), and the last sample is the
  // middle level.
  for (int k = 0;; ++k) {
    const int start = static_cast<int>(static_cast<int64_t>(k) * kRate / hertz);
    if (start > kRate - kHeader - period) break;
    const int next = static_cast<int>(static_cast<int64_t>(k + 1) * kRate / hertz);
    for (int i = start; i < next; ++i) samples.push_back(i - start < period / 2 ? 96 : 160);
  }
  if (samples.empty()) return {};
  samples.back() = 128;
  std::vector<uint8_t> wav(kHeader + samples.size());
  const uint8_t header[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 8, 0,
                            'd', 'a', 't', 'a'};
  std::copy(std::begin(header), std::end(header), wav.begin());
  Put32(wav, 4, static_cast<uint32_t>(wav.size() - 8));
  Put32(wav, 24, kRate);
  Put32(wav, 28, kRate);
  Put32(wav, 40, static_cast<uint32_t>(samples.size()));
  std::copy(samples.begin(), samples.end(), wav.begin() + kHeader);
  return wav;
}

}  // namespace navelo
