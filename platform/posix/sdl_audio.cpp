// The sound device through SDL2 audio: blocks are converted to the device's own format here, the
// audio callback thread plays them and hands the numbers of finished blocks back to the program's
// thread through a locked list, the way window messages would.
#include "platform/audio.h"

#if __has_include(<SDL2/SDL.h>)
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace navelo {
namespace {

// Keeps the sound libraries' complaints about missing cards off the standard error stream while
// the device is looked for: in the terminal console they would be written over the screen. The
// failure itself is still reported through SDL_GetError.
class QuietStderr {
 public:
  QuietStderr() : saved_(dup(STDERR_FILENO)) {
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
  }
  ~QuietStderr() {
    if (saved_ < 0) return;
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_;
};

// Device buffer in sample frames: about 11 ms at 44.1 or 48 kHz, so a stop is heard at once.
constexpr int kDeviceFrames = 512;

class SdlAudio final : public AudioOutput {
 public:
  SdlAudio() = default;
  ~SdlAudio() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    if (stream_ != nullptr) SDL_FreeAudioStream(stream_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool Start(std::string& error) {
    QuietStderr quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      error = SDL_GetError();
      return false;
    }
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = &SdlAudio::Callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have_, SDL_AUDIO_ALLOW_ANY_CHANGE);
    if (device_ == 0) {
      error = SDL_GetError();
      return false;
    }
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  int Open(const PcmFormat& format) override {
    if (format.bits != 8 && format.bits != 16) return 32;  // unsupported format
    if (stream_ != nullptr && format == format_) return 0;
    if (stream_ != nullptr) SDL_FreeAudioStream(stream_);
    stream_ = SDL_NewAudioStream(format.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB,
                                 static_cast<Uint8>(format.channels), format.rate, have_.format,
                                 have_.channels, have_.freq);
    if (stream_ == nullptr) return 32;
    format_ = format;
    return 0;
  }

  void Close() override {}

  bool Write(const uint8_t* data, size_t length, int slot) override {
    if (stream_ == nullptr) return false;
    Block block;
    block.slot = slot;
    if (length > 0) {
      SDL_AudioStreamClear(stream_);
      if (SDL_AudioStreamPut(stream_, data, static_cast<int>(length)) != 0) return false;
      SDL_AudioStreamFlush(stream_);
      block.bytes.resize(static_cast<size_t>(SDL_AudioStreamAvailable(stream_)));
      const int got = SDL_AudioStreamGet(stream_, block.bytes.data(),
                                         static_cast<int>(block.bytes.size()));
      block.bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(block));
    return true;
  }

  void Reset() override {
    std::lock_guard lock(mutex_);
    for (const Block& block : queue_) finished_.push_back(block.slot);
    queue_.clear();
  }

  void TakeFinished(std::vector<int>& slots) override {
    std::lock_guard lock(mutex_);
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }

 private:
  struct Block {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    int slot = 0;
  };

  static void Callback(void* userdata, Uint8* out, int length) {
    static_cast<SdlAudio*>(userdata)->Fill(out, static_cast<size_t>(length));
  }

  // Runs on SDL's audio thread: copies queued sound, reports blocks that are done, and fills
  // the rest with silence.
  void Fill(Uint8* out, size_t length) {
    std::lock_guard lock(mutex_);
    size_t done = 0;
    while (done < length && !queue_.empty()) {
      Block& block = queue_.front();
      const size_t n = std::min(length - done, block.bytes.size() - block.pos);
      std::memcpy(out + done, block.bytes.data() + block.pos, n);
      block.pos += n;
      done += n;
      if (block.pos >= block.bytes.size()) {
        finished_.push_back(block.slot);
        queue_.pop_front();
      }
    }
    if (done < length) std::memset(out + done, have_.silence, length - done);
  }

  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec have_{};
  SDL_AudioStream* stream_ = nullptr;
  PcmFormat format_;
  std::mutex mutex_;
  std::deque<Block> queue_;  // guarded by mutex_
  std::vector<int> finished_;  // guarded by mutex_
};

}  // namespace

std::unique_ptr<AudioOutput> MakeDeviceAudio(std::string& error) {
  auto audio = std::make_unique<SdlAudio>();
  if (!audio->Start(error)) return nullptr;
  return audio;
}

}  // namespace navelo

#else

namespace navelo {

std::unique_ptr<AudioOutput> MakeDeviceAudio(std::string& error) {
  error = "built without SDL2";
  return nullptr;
}

}  // namespace navelo

#endif
