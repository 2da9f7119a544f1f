// The software MIDI synthesizer through FluidSynth. It does not use a FluidSynth audio driver:
// a rendering thread of its own turns the synthesizer's state into small blocks of PCM and queues
// them on one of our audio outputs, paced by the clock, so the notes reach the same places as all
// other sound (the device, the capture file) and a reset of that output drops them too.
#include "platform/midi_output.h"

#if defined(NAVELO_HAVE_FLUIDSYNTH)
#include <fluidsynth.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace navelo {
namespace {

// Where Debian installs its General MIDI sound fonts (timgm6mb-soundfont, fluid-soundfont-gm).
constexpr const char* kSmallSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr const char* kBigSoundfont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

// Blocks of 256 frames (5.8 ms). Two blocks are kept queued ahead of the clock so the device never
// runs dry between wake-ups; a message may render one more at once, so a note on reaches the
// output within one block's rendering time instead of waiting for the next tick.
constexpr int kBlockFrames = 256;
constexpr int kLeadBlocks = 2;
constexpr int kMessageLeadBlocks = kLeadBlocks + 1;
constexpr double kGain = 0.8;

// Platform-style result codes, as the MIDI commands expect them.
constexpr int kNoDevice = 2;        // nothing to open
constexpr int kAllocated = 4;       // already open
constexpr int kInvalidHandle = 5;   // not open
constexpr int kNoMemory = 7;
constexpr int kInvalidParam = 11;   // the synthesizer refused the message

// FluidSynth reports errors through a process-wide log function; the last error is kept here so
// a failed open can say why, and nothing is printed over the console.
std::mutex g_log_mutex;
std::string g_last_error;

void KeepError(int, const char* message, void*) {
  std::lock_guard lock(g_log_mutex);
  g_last_error = message != nullptr ? message : "";
}

void Discard(int, const char*, void*) {}

std::string TakeLastError() {
  std::lock_guard lock(g_log_mutex);
  std::string error;
  error.swap(g_last_error);
  return error;
}

bool IsBig(const std::string& setting) {
  if (setting.size() != 6) return false;
  for (size_t i = 0; i < 6; ++i) {
    if ((setting[i] & ~32) != "GRANDE"[i]) return false;
  }
  return true;
}

std::string ChooseSoundfont(const std::string& setting) {
  std::error_code error;
  if (setting.empty()) return kSmallSoundfont;
  if (IsBig(setting)) {
    return std::filesystem::is_regular_file(kBigSoundfont, error) ? kBigSoundfont
                                                                  : kSmallSoundfont;
  }
  return setting;
}

// A SoundFont 2 file is a RIFF form of type "sfbk". Anything else is refused here, before the
// library's loaders try it and complain on the standard error stream.
bool LooksLikeSoundfont(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[12] = {};
  in.read(head, sizeof head);
  return in.gcount() == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
         std::memcmp(head + 8, "sfbk", 4) == 0;
}

class FluidSynthMidi final : public MidiOutput {
 public:
  FluidSynthMidi(AudioOutput& audio, std::function<std::string()> soundfont)
      : audio_(audio), soundfont_(std::move(soundfont)) {
    fluid_set_log_function(FLUID_PANIC, KeepError, nullptr);
    fluid_set_log_function(FLUID_ERR, KeepError, nullptr);
    fluid_set_log_function(FLUID_WARN, Discard, nullptr);
    fluid_set_log_function(FLUID_INFO, Discard, nullptr);
    fluid_set_log_function(FLUID_DBG, Discard, nullptr);
  }
  ~FluidSynthMidi() override { Close(); }
  FluidSynthMidi(const FluidSynthMidi&) = delete;
  FluidSynthMidi& operator=(const FluidSynthMidi&) = delete;

  int Open(std::string& reason) override {
    if (synth_ != nullptr) {
      reason = "a saída MIDI já está aberta";
      return kAllocated;
    }
    const std::string path = ChooseSoundfont(soundfont_ ? soundfont_() : std::string());
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
      reason = "fonte de sons não encontrada: " + path;
      return kNoDevice;
    }
    if (!LooksLikeSoundfont(path)) {
      reason = "fonte de sons inválida: " + path;
      return kNoDevice;
    }
    TakeLastError();
    settings_ = new_fluid_settings();
    if (settings_ != nullptr) {
      fluid_settings_setnum(settings_, "synth.sample-rate", kMidiSynthRate);
      // The default gain (0.2) leaves a single note near -30 dBFS, far below speech.
      fluid_settings_setnum(settings_, "synth.gain", kGain);
      synth_ = new_fluid_synth(settings_);
    }
    if (synth_ == nullptr) {
      reason = "sintetizador MIDI indisponível: " + TakeLastError();
      Release();
      return kNoMemory;
    }
    if (fluid_synth_sfload(synth_, path.c_str(), 1) == FLUID_FAILED) {
      reason = "fonte de sons inválida: " + path;
      Release();
      return kNoDevice;
    }
    if (audio_.Open(PcmFormat{kMidiSynthRate, 16, 2}) != 0) {
      reason = "a saída de som recusou o formato do sintetizador";
      Release();
      return kNoDevice;
    }
    stop_ = false;
    poked_ = false;
    renderer_ = std::thread([this] { Render(); });
    return 0;
  }

  int ShortMessage(uint32_t message) override {
    if (synth_ == nullptr) return kInvalidHandle;
    const int status = static_cast<int>(message & 0xFF);
    const int data1 = static_cast<int>(message >> 8 & 0x7F);
    const int data2 = static_cast<int>(message >> 16 & 0x7F);
    const int channel = status & 0x0F;
    int result = FLUID_OK;
    if (status == 0xFF) {
      result = fluid_synth_system_reset(synth_);
    } else if (status >= 0x80) {
      switch (status & 0xF0) {
        case 0x80:
          fluid_synth_noteoff(synth_, channel, data1);  // a note not sounding is no error
          break;
        case 0x90:
          if (data2 == 0) {
            fluid_synth_noteoff(synth_, channel, data1);
          } else {
            result = fluid_synth_noteon(synth_, channel, data1, data2);
          }
          break;
        case 0xA0: result = fluid_synth_key_pressure(synth_, channel, data1, data2); break;
        case 0xB0: result = fluid_synth_cc(synth_, channel, data1, data2); break;
        case 0xC0: result = fluid_synth_program_change(synth_, channel, data1); break;
        case 0xD0: result = fluid_synth_channel_pressure(synth_, channel, data1); break;
        case 0xE0: result = fluid_synth_pitch_bend(synth_, channel, data1 | data2 << 7); break;
        default: break;  // other system messages mean nothing to this synthesizer
      }
    }
    // A lone data byte (below 128) carries no status of its own and is ignored.
    {
      std::lock_guard lock(mutex_);
      poked_ = true;
    }
    wake_.notify_one();
    return result == FLUID_FAILED ? kInvalidParam : 0;
  }

  void Close() override {
    if (synth_ == nullptr) return;
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (renderer_.joinable()) renderer_.join();
    audio_.Close();
    Release();
  }

 private:
  void Release() {
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
    synth_ = nullptr;
    settings_ = nullptr;
  }

  // The rendering thread: keeps kLeadBlocks blocks ahead of the clock, and one more right after
  // a message. Blocks are 16-bit little-endian stereo, the byte order of every host we build for.
  void Render() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::vector<int16_t> block(kBlockFrames * 2);
    std::vector<int> finished;
    int64_t rendered = 0;
    int slot = 0;
    std::unique_lock lock(mutex_);
    while (!stop_) {
      const int64_t elapsed_us =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
      const int64_t due = elapsed_us * kMidiSynthRate / 1000000;
      const int64_t limit = due + (poked_ ? kMessageLeadBlocks : kLeadBlocks) * kBlockFrames;
      poked_ = false;
      lock.unlock();
      while (rendered + kBlockFrames <= limit) {
        fluid_synth_write_s16(synth_, kBlockFrames, block.data(), 0, 2, block.data(), 1, 2);
        audio_.Write(reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2, slot);
        slot = slot == 1 << 30 ? 0 : slot + 1;
        rendered += kBlockFrames;
      }
      finished.clear();
      audio_.TakeFinished(finished);
      lock.lock();
      // The next block is due when the clock reaches the frame that leaves fewer than
      // kLeadBlocks blocks queued.
      const int64_t next_frame = rendered - (kLeadBlocks - 1) * kBlockFrames;
      const Clock::time_point next =
          start + std::chrono::microseconds(next_frame * 1000000 / kMidiSynthRate);
      wake_.wait_until(lock, next, [this] { return stop_ || poked_; });
    }
  }

  AudioOutput& audio_;
  std::function<std::string()> soundfont_;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::thread renderer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;   // guarded by mutex_
  bool poked_ = false;  // guarded by mutex_: a message arrived since the last rendering
};

}  // namespace

std::unique_ptr<MidiOutput> MakeSynthMidi(AudioOutput& audio,
                                          std::function<std::string()> soundfont) {
  return std::make_unique<FluidSynthMidi>(audio, std::move(soundfont));
}

bool SynthMidiRendersIntoAudio() { return true; }

}  // namespace navelo

#else

namespace navelo {

std::unique_ptr<MidiOutput> MakeSynthMidi(AudioOutput&, std::function<std::string()>) {
  return MakeUnavailableMidi("este programa foi compilado sem o sintetizador MIDI");
}

bool SynthMidiRendersIntoAudio() { return true; }

}  // namespace navelo

#endif
