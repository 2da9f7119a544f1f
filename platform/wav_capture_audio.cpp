// The capture output of NAVELO_AUDIO=file.wav: everything played goes into one WAV file, and the
// PCM conversion shared with the device backend.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

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

constexpr double kPi = 3.14159265358979323846;
// Half the length of the interpolation filter, in samples of the slower of the two rates.
constexpr int kHalfTaps = 16;
// A program wait is covered by another thread's stream that wrote within this margin of it (the
// MIDI synthesizer writes a block every 6 ms).
constexpr auto kStreamMargin = std::chrono::milliseconds(20);
// One silence between two sounds is written at most this long, so a program that waits for hours
// between sounds does not fill the disk.
constexpr int64_t kLongestSilenceMs = 60000;

class WavCaptureAudio;
std::mutex g_capture_lock;
WavCaptureAudio* g_capture = nullptr;  // the capture that hears the program's waits

class WavCaptureAudio final : public AudioOutput {
 public:
  using SteadyClock = std::chrono::steady_clock;

  explicit WavCaptureAudio(std::FILE* file) : file_(file) {
    WriteHeader();
    std::lock_guard lock(g_capture_lock);
    g_capture = this;
  }
  ~WavCaptureAudio() override {
    {
      std::lock_guard lock(g_capture_lock);
      if (g_capture == this) g_capture = nullptr;
    }
    std::fclose(file_);
  }

  // The program's thread waited: silence, unless another thread's stream kept playing meanwhile.
  void ProgramWaited(int milliseconds) {
    if (milliseconds <= 0) return;
    const SteadyClock::time_point now = SteadyClock::now();
    const std::thread::id waiter = std::this_thread::get_id();
    std::lock_guard lock(mutex_);
    if (!wrote_) return;  // the silence before the first sound is no pause between sounds
    const SteadyClock::time_point since =
        now - std::chrono::milliseconds(milliseconds) - kStreamMargin;
    for (const auto& [thread, last] : last_write_) {
      if (thread != waiter && last >= since) return;
    }
    pending_ms_ = std::min(pending_ms_ + milliseconds, kLongestSilenceMs);
  }

  int Open(const PcmFormat& format) override {
    if (!(format == format_)) {
      // The sound of the old format ended: what was written for its end stays.
      input_.clear();
      taps_.clear();
      base_ = 0;
      next_ = 0;
      provisional_ = 0;
    }
    format_ = format;
    return 0;
  }
  void Close() override {}
  bool Write(const uint8_t* data, size_t length, int slot) override {
    {
      std::lock_guard lock(mutex_);
      last_write_[std::this_thread::get_id()] = SteadyClock::now();
      wrote_ = true;
      if (pending_ms_ > 0 && format_.rate > 0) {
        // The program's pause since the last sound, at this block's rate.
        silence_ += static_cast<double>(pending_ms_) * format_.rate / 1000.0;
        const auto whole = static_cast<size_t>(silence_);
        silence_ -= static_cast<double>(whole);
        input_.insert(input_.end(), whole, 0.0);
      }
      pending_ms_ = 0;
    }
    samples_.clear();
    ConvertToMono16(data, length, format_, format_.rate, unit_phase_, samples_);
    for (const int16_t v : samples_) input_.push_back(v);
    Resample();
    finished_.push_back(slot);
    return true;
  }
  void Reset() override {}
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }

 private:
  // Windowed-sinc interpolation from the block's rate to the capture's, cut off below the lower
  // of the two Nyquist frequencies, so no mirror images of the sound appear above it. Samples
  // whose filter reaches past the input so far are written as if silence followed (so the file is
  // complete whenever the program ends) and written again when more input comes.
  void Resample() {
    if (format_.rate < 1) return;
    const double step = static_cast<double>(format_.rate) / kCaptureRate;
    const double scale = std::min(1.0, 1.0 / step);  // cut-off relative to the input's Nyquist
    const double reach = kHalfTaps / scale;            // filter half-length in input samples
    const double end = static_cast<double>(base_ + input_.size());
    // Take back the samples written on the assumption of silence after the input.
    data_bytes_ -= static_cast<uint32_t>(provisional_ * 2);
    provisional_ = 0;
    std::vector<uint8_t> bytes;
    double t = next_;
    while (t < end) {
      const auto lo = static_cast<long long>(std::floor(t - reach)) + 1;
      const auto hi = static_cast<long long>(std::floor(t + reach));
      const std::vector<double>& taps = Taps(t, lo, hi, scale);
      double acc = 0;
      for (long long n = std::max<long long>(lo, static_cast<long long>(base_));
           n <= hi && n < static_cast<long long>(end); ++n) {
        acc += input_[static_cast<size_t>(n - static_cast<long long>(base_))] *
               taps[static_cast<size_t>(n - lo)];
      }
      const long v = std::lround(std::clamp(acc, -32768.0, 32767.0));
      bytes.push_back(static_cast<uint8_t>(v & 0xFF));
      bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
      if (static_cast<double>(hi) >= end) {
        if (provisional_ == 0) next_ = t;
        ++provisional_;
      }
      t += step;
    }
    if (provisional_ == 0) next_ = t;
    std::fseek(file_, static_cast<long>(44 + data_bytes_), SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    data_bytes_ += static_cast<uint32_t>(bytes.size());
    WriteHeader();
    // Keep only the input that later samples can still reach.
    const auto keep_from = static_cast<long long>(std::floor(next_ - reach));
    if (keep_from > static_cast<long long>(base_)) {
      const auto drop = std::min<size_t>(input_.size(), static_cast<size_t>(keep_from) - base_);
      input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(drop));
      base_ += drop;
    }
  }

  // The filter's weights for the input samples lo..hi around position t. The common rate
  // ratios repeat a few fractional positions, whose weights are kept.
  const std::vector<double>& Taps(double t, long long lo, long long hi, double scale) {
    const double frac = t - std::floor(t);
    const auto offset = static_cast<long long>(std::floor(t)) - lo;
    const auto key = std::make_pair(frac, offset);
    if (const auto found = taps_.find(key); found != taps_.end()) return found->second;
    std::vector<double> taps;
    for (long long n = lo; n <= hi; ++n) {
      const double x = (t - static_cast<double>(n)) * scale;
      const double sinc = x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
      const double w = 0.42 + 0.5 * std::cos(kPi * x / kHalfTaps) +
                       0.08 * std::cos(2 * kPi * x / kHalfTaps);  // Blackman
      taps.push_back(sinc * w * scale);
    }
    if (taps_.size() >= 64) {
      scratch_ = std::move(taps);
      return scratch_;
    }
    return taps_.emplace(key, std::move(taps)).first->second;
  }

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
  double unit_phase_ = 0;           // mono conversion at the block's own rate
  std::vector<double> input_;       // mono input samples from index base_ on
  std::map<std::pair<double, long long>, std::vector<double>> taps_;
  std::vector<double> scratch_;
  size_t base_ = 0;
  double next_ = 0;                 // input position of the next sample to write for good
  size_t provisional_ = 0;          // samples at the end of the file written as if silence followed
  uint32_t data_bytes_ = 0;
  std::vector<int16_t> samples_;
  std::vector<int> finished_;
  std::mutex mutex_;  // guards what the program's waits and the writes share, below
  std::map<std::thread::id, SteadyClock::time_point> last_write_;  // per writing thread
  bool wrote_ = false;
  int64_t pending_ms_ = 0;  // the program's waits since the last block, to write as silence
  double silence_ = 0;      // the fraction of a sample of silence carried to the next pause
};

}  // namespace

void NoteProgramWait(int milliseconds) {
  std::lock_guard lock(g_capture_lock);
  if (g_capture != nullptr) g_capture->ProgramWaited(milliseconds);
}

std::unique_ptr<AudioOutput> MakeWavCaptureAudio(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  if (file == nullptr) {
    error = "cannot create " + path;
    return nullptr;
  }
  return std::make_unique<WavCaptureAudio>(file);
}

}  // namespace navelo
