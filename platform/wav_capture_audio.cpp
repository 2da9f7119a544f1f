// The capture output of NAVELO_AUDIO=file.wav: everything played goes into one WAV file, and the
// PCM conversion shared with the device backend.
#include <cstdio>
#include <cstring>

#include "platform/audio.h"

namespace navelo {

namespace {

double SampleAt(const uint8_t* data, size_t frame, const PcmFormat& format) {
  // Mixes the channels of one frame down to a value from -1 to 1.
  double sum = 0;
  const size_t bytes = static_cast<size_t>(format.bits / 8);
  for (int c = 0; c < format.channels; ++c) {
    const uint8_t* p = data + (frame * format.channels + c) * bytes;
    if (format.bits == 8) {
      sum += (static_cast<int>(p[0]) - 128) / 128.0;
    } else {
      sum += static_cast<int16_t>(p[0] | (p[1] << 8)) / 32768.0;
    }
  }
  return sum / format.channels;
}

}  // namespace

void ConvertToMono16(const uint8_t* data, size_t length, const PcmFormat& format, int out_rate,
                     double& phase, std::vector<int16_t>& out) {
  if ((format.bits != 8 && format.bits != 16) || format.channels < 1 || format.rate < 1 ||
      out_rate < 1) {
    return;
  }
  const size_t frames = length / (static_cast<size_t>(format.channels) * (format.bits / 8));
  if (frames == 0) return;
  const double step = static_cast<double>(format.rate) / out_rate;
  // phase is the input position of the next output sample, relative to this block's start.
  double pos = phase;
  while (pos < static_cast<double>(frames)) {
    const size_t i = static_cast<size_t>(pos);
    const double frac = pos - static_cast<double>(i);
    const double a = SampleAt(data, i, format);
    const double b = i + 1 < frames ? SampleAt(data, i + 1, format) : a;
    double v = (a + (b - a) * frac) * 32767.0;
    if (v > 32767) v = 32767;
    if (v < -32768) v = -32768;
    out.push_back(static_cast<int16_t>(v));
    pos += step;
  }
  phase = pos - static_cast<double>(frames);
}

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class WavCaptureAudio final : public AudioOutput {
 public:
  explicit WavCaptureAudio(std::FILE* file) : file_(file) { WriteHeader(); }
  ~WavCaptureAudio() override { std::fclose(file_); }

  int Open(const PcmFormat& format) override {
    if (!(format == format_)) phase_ = 0;
    format_ = format;
    return 0;
  }
  void Close() override {}
  bool Write(const uint8_t* data, size_t length, int slot) override {
    samples_.clear();
    ConvertToMono16(data, length, format_, kCaptureRate, phase_, samples_);
    std::vector<uint8_t> bytes(samples_.size() * 2);
    for (size_t i = 0; i < samples_.size(); ++i) {
      bytes[2 * i] = static_cast<uint8_t>(samples_[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>((samples_[i] >> 8) & 0xFF);
    }
    std::fseek(file_, 0, SEEK_END);
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    data_bytes_ += static_cast<uint32_t>(bytes.size());
    WriteHeader();
    finished_.push_back(slot);
    return true;
  }
  void Reset() override {}
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }

 private:
  void WriteHeader() {
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, data_bytes_ + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLe32(h + 16, 16);
    h[20] = 1, h[21] = 0;  // PCM
    h[22] = 1, h[23] = 0;  // mono
    PutLe32(h + 24, kCaptureRate);
    PutLe32(h + 28, kCaptureRate * 2);
    h[32] = 2, h[33] = 0;
    h[34] = 16, h[35] = 0;
    std::memcpy(h + 36, "data", 4);
    PutLe32(h + 40, data_bytes_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file_);
    std::fflush(file_);
  }

  std::FILE* file_;
  PcmFormat format_{11025, 8, 1};
  double phase_ = 0;
  uint32_t data_bytes_ = 0;
  std::vector<int16_t> samples_;
  std::vector<int> finished_;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeWavCaptureAudio(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  if (file == nullptr) {
    error = "cannot create " + path;
    return nullptr;
  }
  return std::make_unique<WavCaptureAudio>(file);
}

}  // namespace navelo
