// Wave output: WAV parsing, block queueing, the period cutter and the stop on a waiting key.
#include "tradutor/wave_player.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace navelo {
namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

bool SameId(const uint8_t* p, const char* id) {
  for (int i = 0; i < 4; ++i) {
    if (std::tolower(p[i]) != std::tolower(static_cast<unsigned char>(id[i]))) return false;
  }
  return true;
}

// Position of the largest byte in [from, to] (the first of equals), to clamped to n - 1.
size_t Peak(const uint8_t* data, size_t n, size_t from, size_t to) {
  to = std::min(to, n - 1);
  size_t best = from;
  for (size_t i = from; i <= to; ++i) {
    if (data[i] > data[best]) best = i;
  }
  return best;
}

}  // namespace

WaveFileReader::WaveFileReader(const std::filesystem::path& path)
    : file_(path, std::ios::binary) {
  if (!file_) return;
  file_.seekg(0, std::ios::end);
  const auto end = file_.tellg();
  if (end < 0) return;
  size_ = static_cast<uint64_t>(end);
  ok_ = true;
}

size_t WaveFileReader::Read(uint64_t offset, uint8_t* buffer, size_t n) {
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(n));
  return static_cast<size_t>(file_.gcount());
}

bool WaveFileReader::ReadLayout(WaveLayout& layout) {
  return ok_ && ReadWaveLayout([this](uint64_t offset, uint8_t* buffer,
                                      size_t n) { return Read(offset, buffer, n); },
                               size_, layout);
}

bool PlayableFormat(const PcmFormat& format) {
  if (format.bits != 8 && format.bits != 16) return false;
  if (format.rate < kMinWaveRate || format.rate > kMaxWaveRate) return false;
  return format.channels >= 1 &&
         static_cast<size_t>(format.channels) * static_cast<size_t>(format.bits / 8) <= kBlockSize;
}

bool ReadWaveLayout(const std::function<size_t(uint64_t, uint8_t*, size_t)>& read, uint64_t size,
                    WaveLayout& layout) {
  uint8_t head[12];
  if (read(0, head, 12) < 12 || !SameId(head, "RIFF")) return false;
  uint8_t chunk[8];
  if (read(12, chunk, 8) < 8 || !SameId(chunk, "fmt ")) return false;
  const uint32_t fmt_length = Le32(chunk + 4);
  // The fields used lie in the first 16 bytes; a shorter fmt chunk has no bits per sample.
  if (fmt_length < 16 || fmt_length > size - 20) return false;
  uint8_t fmt[16];
  if (read(20, fmt, 16) < 16) return false;
  layout.format.channels = Le16(fmt + 2);
  const uint32_t rate = Le32(fmt + 4);
  if (rate < static_cast<uint32_t>(kMinWaveRate) || rate > static_cast<uint32_t>(kMaxWaveRate)) {
    return false;
  }
  layout.format.rate = static_cast<int>(rate);
  layout.format.bits = Le16(fmt + 14);
  if (!PlayableFormat(layout.format)) return false;
  uint64_t pos = 20 + static_cast<uint64_t>(fmt_length);
  for (;;) {
    if (read(pos, chunk, 8) < 8) return false;
    pos += 8;
    const uint32_t length = Le32(chunk + 4);
    if (SameId(chunk, "data")) {
      layout.data_offset = pos;
      layout.data_length = length;
      return true;
    }
    if (length > size - pos) return false;  // a chunk that runs past the end
    pos += length;
  }
}

bool ReadWaveLayout(const uint8_t* image, size_t size, WaveLayout& layout) {
  return ReadWaveLayout(
      [image, size](uint64_t offset, uint8_t* buffer, size_t n) -> size_t {
        if (offset >= size) return 0;
        const size_t got = std::min<uint64_t>(n, size - offset);
        std::memcpy(buffer, image + offset, got);
        return got;
      },
      size, layout);
}

void MakeWaveHeader(uint8_t* image, uint32_t data_length, int rate, int channels, int bits) {
  std::memcpy(image, "RIFF", 4);
  PutLe32(image + 4, data_length + 36);
  std::memcpy(image + 8, "WAVEfmt ", 8);
  PutLe32(image + 16, 16);
  PutLe16(image + 20, 1);
  PutLe16(image + 22, static_cast<uint16_t>(channels));
  PutLe32(image + 24, static_cast<uint32_t>(rate));
  PutLe32(image + 28, static_cast<uint32_t>(rate * channels * (bits / 8)));
  PutLe16(image + 32, 1);
  PutLe16(image + 34, static_cast<uint16_t>(bits));
  std::memcpy(image + 36, "data", 4);
  PutLe32(image + 40, data_length);
}

size_t NextFileBlockSize(uint64_t remaining) {
  if (remaining >= 8193 && remaining <= 8447) return 7936;
  return static_cast<size_t>(std::min<uint64_t>(remaining, kBlockSize));
}

size_t CutPeriods(uint8_t* data, size_t n, int bits, int rate) {
  if (bits == 16) {
    n /= 2;
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(data[2 * i + 1] ^ 0x80);
  }
  if (n < 1000) return n;
  const bool low_rate = rate == 11025;
  const size_t start = low_rate ? 200 : 800;
  const size_t period = low_rate ? 80 : 320;
  const size_t window = low_rate ? 50 : 200;
  if (start >= n) return n;
  size_t p = Peak(data, n, start, start + period + window);
  size_t out = p;
  while (p + 2 * (period + window) < n) {
    const size_t q = Peak(data, n, p + period, p + period + window);
    const size_t s = Peak(data, n, q + period, q + period + window);
    std::memmove(data + out, data + q, s - q + 1);
    out += s - q + 1;
    p = s;
  }
  while (out < n && p < n && std::abs(static_cast<int>(data[out]) - 128) > 20) {
    data[out++] = data[p++];
  }
  return out;
}

WavePlayer::WavePlayer(AudioOutput& output, Console& console, Keyboard& keyboard,
                       const HostEnvironment& host)
    : output_(output),
      console_(console),
      keyboard_(keyboard),
      host_(host),
      slots_(kBlockSize * kBlockSlots),
      work_(kBlockSize),
      file_block_(kBlockSize) {}

WavePlayer::~WavePlayer() {
  if (open_) output_.Close();
}

void WavePlayer::LetMessagesThrough() {
  console_.PumpMessages();
  finished_.clear();
  output_.TakeFinished(finished_);
  queued_ = std::max(0, queued_ - static_cast<int>(finished_.size()));
}

bool WavePlayer::WaveBusy() {
  LetMessagesThrough();
  if (KeyStops() || queued_ == 0) WaveStop();
  return queued_ > 0;
}

void WavePlayer::WaveStop() {
  if (open_ && queued_ > 0) output_.Reset();
  LetMessagesThrough();
}

int WavePlayer::OpenFor(const PcmFormat& format) {
  if (open_ && !(format == open_format_)) {
    while (WaveBusy()) console_.Delay(5);
    output_.Close();
    open_ = false;
  }
  open_format_ = format;
  if (open_) return 0;
  const int result = output_.Open(format);
  open_ = result == 0;
  return result;
}

bool WavePlayer::QueueBlock(const uint8_t* data, size_t n, const PcmFormat& format) {
  for (int i = 0; i < 40 && queued_ >= kBlockSlots; ++i) {
    LetMessagesThrough();
    if (queued_ < kBlockSlots) break;
    console_.Delay(50);
  }
  LetMessagesThrough();
  if (queued_ >= kBlockSlots) return false;
  ++queued_;
  const int slot = next_slot_;
  next_slot_ = (next_slot_ + 1) % kBlockSlots;
  uint8_t* block = slots_.data() + static_cast<size_t>(slot) * kBlockSize;
  std::memcpy(block, data, n);
  // A short block is lengthened to 256 bytes with silence rather than with what the slot held
  // before.
  const uint8_t silence = format.bits == 8 ? 128 : 0;
  if (n < 256) std::memset(block + n, silence, 256 - n);
  if (format.bits == 8 && format.channels == 1 && n != kBlockSize && n > 0) block[n - 1] = 128;
  if (!output_.Write(block, std::max<size_t>(n, 256), slot)) {
    --queued_;
    return false;
  }
  return true;
}

int WavePlayer::PlayPcm(const uint8_t* data, size_t length, PcmFormat format) {
  if (!PlayableFormat(format)) return -1;
  if (rate_times_15) format.rate = static_cast<int>(static_cast<int64_t>(format.rate) * 3 / 2);
  const bool mono = format.channels == 1;
  PcmFormat device = format;
  if (cut && mono && format.bits == 16) device.bits = 8;
  const int opened = OpenFor(device);
  if (opened != 0) return opened;
  while (length > 0) {
    while (queued_ >= kBlockSlots) {
      if (KeyStops()) {
        WaveStop();
        return 0;
      }
      console_.Delay(10);
      LetMessagesThrough();
    }
    if (KeyStops()) {
      WaveStop();
      break;
    }
    const size_t n = std::min(length, kBlockSize);
    const uint8_t* block = data;
    size_t m = n;
    if (cut && mono) {
      std::memcpy(work_.data(), data, n);
      m = CutPeriods(work_.data(), n, format.bits, format.rate);
      block = work_.data();
    }
    QueueBlock(block, m, device);
    length -= n;
    data += n;
  }
  return 0;
}

int WavePlayer::PlayWaveImage(const uint8_t* image, size_t size) {
  WaveLayout layout;
  if (!ReadWaveLayout(image, size, layout)) return -1;
  const size_t available = size - static_cast<size_t>(layout.data_offset);
  return PlayPcm(image + layout.data_offset, std::min<size_t>(layout.data_length, available),
                 layout.format);
}

int WavePlayer::PlayWaveFile(std::string_view name) {
  if (KeyStops()) {
    WaveStop();
    return 0;
  }
  const std::filesystem::path path = host_.Resolve(name);
  if (cut) {
    // A recorded fast version of a prompt replaces the cutter.
    std::string alt(name);
    const size_t slash = alt.find_last_of("\\/");
    alt.insert(slash == std::string::npos ? 0 : slash + 1, "rapido\\");
    std::error_code error;
    if (std::filesystem::is_regular_file(host_.Resolve(alt), error)) {
      cut = false;
      const int result = PlayWaveFile(alt);
      cut = true;
      return result;
    }
  }
  WaveFileReader file(path);
  WaveLayout layout;
  if (!file.ReadLayout(layout)) return -1;
  int result = 0;
  uint64_t remaining = layout.data_length;
  uint64_t offset = layout.data_offset;
  while (remaining > 0) {
    const size_t want = NextFileBlockSize(remaining);
    const size_t got = file.Read(offset, file_block_.data(), want);
    if (got == 0) {
      result = -1;
      break;
    }
    result = PlayPcm(file_block_.data(), got, layout.format);
    if (result != 0) break;
    if (KeyStops()) break;
    remaining -= got;
    offset += got;
  }
  if (!no_wait) {
    while (WaveBusy()) console_.Delay(5);
  }
  return result;
}

}  // namespace navelo
