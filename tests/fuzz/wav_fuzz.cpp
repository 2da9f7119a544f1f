// WAV files and images: the layout reader, playing on an output that converts every block as the
// capture does, with the faster rate and the cutter as the first byte says, and the media layer
// opening and playing the same bytes as a file.
#include <fstream>

#include "platform/audio.h"
#include "tests/fuzz/fuzz_support.h"
#include "tradutor/media_control.h"
#include "tradutor/wave_player.h"

namespace navelo::fuzz {
namespace {

// Converts each block to 16-bit mono at the capture's rate and keeps nothing; blocks end at once.
class ConvertingAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat& format) override {
    format_ = format;
    phase_ = 0;
    return 0;
  }
  void Close() override {}
  bool Write(const uint8_t* data, size_t length, int slot) override {
    samples_.clear();
    ConvertToMono16(data, length, format_, kCaptureRate, phase_, samples_);
    finished_.push_back(slot);
    return true;
  }
  void Reset() override {}
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }

 private:
  PcmFormat format_;
  double phase_ = 0;
  std::vector<int16_t> samples_;
  std::vector<int> finished_;
};

}  // namespace
}  // namespace navelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  using namespace navelo::fuzz;
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  ++data;
  --size;
  QuietConsole console;
  CyclingKeyboard keys;
  HostEnvironment host(FuzzEnvironment(), FuzzDir().string());
  ConvertingAudio audio;
  WavePlayer player(audio, console, keys, host);
  player.stop_on_key = false;
  player.rate_times_15 = flags & 1;
  player.cut = flags & 2;
  WaveLayout layout;
  ReadWaveLayout(data, size, layout);
  player.PlayWaveImage(data, size);
  {
    std::ofstream out(FuzzDir() / "som.wav", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  player.PlayWaveFile("c:\\som.wav");
  MediaControl media(console, keys, host);
  media.UseOutput(audio, nullptr);
  if (media.Send("open c:\\som.wav alias s").error == kMciOk) {
    media.Send("status s length");
    media.Send("play s from 10 to 900 wait");
    media.Send("seek s to start");
    media.Send("play s wait");
    media.Send("seek s to end");
    media.Send("close s");
  }
  EmptyFuzzDir();
  return 0;
}
