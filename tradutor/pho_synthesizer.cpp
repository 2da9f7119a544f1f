// The stand-in synthesizer: .pho lines rendered by pitch-synchronous overlap-add.
#include "tradutor/pho_synthesizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <sstream>

namespace navelo {
namespace {

constexpr int kRate = 16000;
constexpr char kMagic[] = "NVPHOU1\n";

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool Get32(std::string_view bytes, size_t& p, uint32_t& v) {
  if (p + 4 > bytes.size()) return false;
  v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[p + i])) << (8 * i);
  p += 4;
  return true;
}

// The pitch contour of an utterance: points (sample, Hz), held before the first and after the
// last, straight lines between.
class Contour {
 public:
  void Add(double at, double hz) {
    if (hz > 0) points_.emplace_back(at, hz);
  }
  void Finish() {
    std::stable_sort(points_.begin(), points_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  double At(double t) const {
    if (points_.empty()) return kPhoDefaultPitch;
    if (t <= points_.front().first) return points_.front().second;
    if (t >= points_.back().first) return points_.back().second;
    const auto next = std::upper_bound(points_.begin(), points_.end(), t,
                                       [](double v, const auto& p) { return v < p.first; });
    const auto& b = *next;
    const auto& a = *(next - 1);
    if (b.first <= a.first) return b.second;
    return a.second + (b.second - a.second) * (t - a.first) / (b.first - a.first);
  }

 private:
  std::vector<std::pair<double, double>> points_;
};

class PhoSynthesizer final : public MbrolaBackend {
 public:
  int Init(const std::string& database) override {
    std::ifstream in(database, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    units_.clear();
    if (!in.good() && !in.eof()) bytes.clear();
    if (!ReadPhoUnitSet(bytes, units_)) {
      error_ = "the unit set " + database + " is missing or damaged";
      return -1;
    }
    error_.clear();
    return 0;
  }
  int Write(std::string_view pho) override {
    text_.append(pho);
    return 0;
  }
  int Flush() override {
    std::vector<PhoLine> lines;
    size_t start = 0;
    while (start < text_.size()) {
      size_t end = text_.find('\n', start);
      if (end == std::string::npos) end = text_.size();
      PhoLine line;
      if (ParsePhoLine(std::string_view(text_).substr(start, end - start), line)) {
        lines.push_back(std::move(line));
      }
      start = end + 1;
    }
    text_.clear();
    std::vector<int16_t> rendered = RenderPho(lines, units_);
    output_.insert(output_.end(), rendered.begin(), rendered.end());
    return 0;
  }
  int Read(int16_t* samples, int max) override {
    const size_t n = std::min(output_.size() - read_, static_cast<size_t>(std::max(max, 0)));
    std::copy(output_.begin() + static_cast<long>(read_),
              output_.begin() + static_cast<long>(read_ + n), samples);
    read_ += n;
    if (read_ == output_.size()) {
      output_.clear();
      read_ = 0;
    }
    return static_cast<int>(n);
  }
  void Reset() override {
    text_.clear();
    output_.clear();
    read_ = 0;
  }
  void Close() override {
    Reset();
    units_.clear();
  }
  void SetNoError(int) override {}
  std::string LastError() override { return error_; }
  const char* Kind() const override { return "stand-in"; }

 private:
  std::vector<PhoUnit> units_;
  std::string text_;
  std::vector<int16_t> output_;
  size_t read_ = 0;
  std::string error_;
};

}  // namespace

std::string WritePhoUnitSet(const std::vector<PhoUnit>& units) {
  std::string out(kMagic, 8);
  Put32(out, kRate);
  Put32(out, static_cast<uint32_t>(units.size()));
  for (const PhoUnit& u : units) {
    out += static_cast<char>(u.name.size());
    out += u.name;
    out += static_cast<char>(u.voiced ? 1 : 0);
    Put32(out, static_cast<uint32_t>(u.samples.size()));
    for (const int16_t s : u.samples) {
      out += static_cast<char>(static_cast<uint16_t>(s) & 0xFF);
      out += static_cast<char>(static_cast<uint16_t>(s) >> 8);
    }
    Put32(out, static_cast<uint32_t>(u.marks.size()));
    for (const uint32_t m : u.marks) Put32(out, m);
  }
  return out;
}

bool ReadPhoUnitSet(std::string_view bytes, std::vector<PhoUnit>& units) {
  units.clear();
  if (bytes.size() < 16 || bytes.substr(0, 8) != std::string_view(kMagic, 8)) return false;
  size_t p = 8;
  uint32_t rate = 0, count = 0;
  if (!Get32(bytes, p, rate) || !Get32(bytes, p, count) || rate != kRate) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (p + 1 > bytes.size()) return false;
    const size_t length = static_cast<unsigned char>(bytes[p++]);
    if (p + length + 1 > bytes.size()) return false;
    PhoUnit u;
    u.name = std::string(bytes.substr(p, length));
    p += length;
    u.voiced = bytes[p++] != 0;
    uint32_t n = 0;
    if (!Get32(bytes, p, n) || n > (bytes.size() - p) / 2) return false;
    u.samples.resize(n);
    for (uint32_t k = 0; k < n; ++k, p += 2) {
      u.samples[k] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned char>(bytes[p])) |
                                          (static_cast<uint16_t>(static_cast<unsigned char>(bytes[p + 1])) << 8));
    }
    uint32_t marks = 0;
    if (!Get32(bytes, p, marks) || marks > (bytes.size() - p) / 4) return false;
    u.marks.resize(marks);
    for (uint32_t& m : u.marks) {
      Get32(bytes, p, m);
      if (m >= n) return false;
    }
    if (!std::is_sorted(u.marks.begin(), u.marks.end())) return false;
    units.push_back(std::move(u));
  }
  return p == bytes.size();
}

bool ParsePhoLine(std::string_view line, PhoLine& out) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  if (line.empty() || line[0] == ';' || line[0] == '#') return false;
  std::istringstream in{std::string(line)};
  PhoLine parsed;
  if (!(in >> parsed.phoneme >> parsed.duration_ms) || !(parsed.duration_ms >= 0)) return false;
  // A phoneme longer than a minute is a mistake of the text, not speech.
  parsed.duration_ms = std::min(parsed.duration_ms, kPhoMaxLineMs);
  double position = 0, hz = 0;
  while (in >> position >> hz) {
    if (std::isfinite(position) && std::isfinite(hz)) parsed.points.emplace_back(position, hz);
  }
  out = std::move(parsed);
  return true;
}

std::vector<int16_t> RenderPho(const std::vector<PhoLine>& lines, const std::vector<PhoUnit>& units) {
  std::map<std::string, const PhoUnit*> by_name;
  for (const PhoUnit& u : units) by_name.emplace(u.name, &u);
  // Where each phoneme starts, from the running sum of durations, so no rounding accumulates.
  std::vector<size_t> starts(lines.size() + 1, 0);
  double elapsed_ms = 0;
  Contour contour;
  for (size_t i = 0; i < lines.size(); ++i) {
    starts[i] = static_cast<size_t>(std::llround(elapsed_ms * kRate / 1000.0));
    for (const auto& [position, hz] : lines[i].points) {
      contour.Add((elapsed_ms + lines[i].duration_ms * position / 100.0) * kRate / 1000.0, hz);
    }
    elapsed_ms += lines[i].duration_ms;
  }
  starts[lines.size()] = static_cast<size_t>(std::llround(elapsed_ms * kRate / 1000.0));
  contour.Finish();
  const size_t total = starts[lines.size()];
  std::vector<float> out(total, 0.0f);
  // The unit of a phoneme line; none for a pause, an unknown phoneme or a unit without marks.
  auto unit_of = [&](size_t p) -> const PhoUnit* {
    if (lines[p].phoneme == "_") return nullptr;
    const auto found = by_name.find(lines[p].phoneme);
    if (found == by_name.end() || found->second->marks.size() < 2) return nullptr;
    return found->second;
  };
  // Adds, centred on output sample t, the grain of unit at the mark nearest to progress (0 to 1
  // over its stretch from the first mark to the last), weighted.
  auto add_grain = [&](const PhoUnit& unit, double progress, double t, double period,
                       double weight, long earliest) {
    const auto& marks = unit.marks;
    const double source = marks.front() + progress * (marks.back() - marks.front());
    size_t k = static_cast<size_t>(
        std::lower_bound(marks.begin(), marks.end(), static_cast<uint32_t>(source)) - marks.begin());
    if (k >= marks.size()) k = marks.size() - 1;
    if (k > 0 && source - marks[k - 1] < marks[k] - source) --k;
    const double source_period =
        k + 1 < marks.size() ? marks[k + 1] - marks[k] : marks[k] - marks[k - 1];
    // A grain of two periods at most, never wider than the output's own period on each side,
    // so a lowered pitch does not carry the next source pulse with it.
    const int half = std::max(8, static_cast<int>(std::min(source_period, period)));
    const long centre = static_cast<long>(marks[k]);
    const long target = std::lround(t);
    for (int d = -half; d <= half; ++d) {
      const long s = centre + d;
      const long o = target + d;
      if (s < 0 || s >= static_cast<long>(unit.samples.size())) continue;
      if (o < earliest - half || o >= static_cast<long>(total) || o < 0) continue;
      const double w = weight * (0.5 + 0.5 * std::cos(std::numbers::pi * d / (half + 1)));
      out[static_cast<size_t>(o)] += static_cast<float>(w * unit.samples[static_cast<size_t>(s)]);
    }
  };
  // Near the boundary of two sounding phonemes the grains of both are mixed, half and half at
  // the boundary itself, so one sound glides into the next.
  constexpr double kBlend = 0.3;
  size_t phone = 0;
  double t = 0;
  while (t < static_cast<double>(total)) {
    const double period = kRate / std::clamp(contour.At(t), 40.0, 800.0);
    const size_t at = static_cast<size_t>(t);
    while (phone + 1 < lines.size() && at >= starts[phone + 1]) ++phone;
    if (const PhoUnit* unit = unit_of(phone)) {
      const double length = static_cast<double>(starts[phone + 1] - starts[phone]);
      const double progress = length > 0 ? (t - static_cast<double>(starts[phone])) / length : 0;
      const PhoUnit* other = nullptr;
      double other_weight = 0, other_progress = 0;
      if (progress < kBlend && phone > 0 && (other = unit_of(phone - 1)) != nullptr) {
        other_weight = 0.5 * (1 - progress / kBlend);
        other_progress = 1;
      } else if (progress > 1 - kBlend && phone + 1 < lines.size() &&
                 (other = unit_of(phone + 1)) != nullptr) {
        other_weight = 0.5 * (progress - (1 - kBlend)) / kBlend;
      }
      const long earliest = static_cast<long>(starts[phone]);
      add_grain(*unit, progress, t, period, 1 - other_weight, earliest);
      if (other != nullptr && other_weight > 0) {
        add_grain(*other, other_progress, t, period, other_weight, earliest);
      }
    }
    t += period;
  }
  std::vector<int16_t> samples(total);
  for (size_t i = 0; i < total; ++i) {
    samples[i] = static_cast<int16_t>(std::clamp(std::lround(out[i]), -32768L, 32767L));
  }
  return samples;
}

std::unique_ptr<MbrolaBackend> MakePhoSynthesizer(std::string&) {
  return std::make_unique<PhoSynthesizer>();
}

}  // namespace navelo
