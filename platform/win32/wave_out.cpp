// Sound through waveOut. Blocks are copied into headers of our own and queued on the device in
// the format they are played in; the device's completion callback only notes the finished header
// in a list under a critical section (the callback may call little else), and the program's
// thread takes that list in TakeFinished, unprepares the headers and hands the slot numbers on,
// the way window messages would come to it. So completion needs neither a window nor a message
// pump, and works the same with the console window, in the terminal or headless.
#include "platform/win32/wave_out.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <vector>

namespace navelo {
namespace {

// WAVERR_BADFORMAT: the format is not one a device takes.
constexpr int kBadFormat = 32;
// How long a reset may take to hand every block back, and closing to wait for that.
constexpr DWORD kResetWaitMs = 500;

std::string DeviceError(MMRESULT code) {
  char text[MAXERRORLENGTH] = {};
  if (waveOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR || text[0] == 0) {
    return "waveOut error " + std::to_string(code);
  }
  return std::string(text) + " (waveOut error " + std::to_string(code) + ")";
}

class WaveOutAudio final : public AudioOutput {
 public:
  explicit WaveOutAudio(UINT device) : device_(device) {
    InitializeCriticalSection(&lock_);
    returned_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  ~WaveOutAudio() override {
    CloseDevice();
    // Blocks the device never gave back (a close that failed) stay allocated: it may still write
    // to their headers.
    if (handle_ == nullptr) {
      for (Block* block : in_flight_) delete block;
    }
    for (Block* block : spare_) delete block;
    if (returned_ != nullptr) CloseHandle(returned_);
    DeleteCriticalSection(&lock_);
  }
  WaveOutAudio(const WaveOutAudio&) = delete;
  WaveOutAudio& operator=(const WaveOutAudio&) = delete;

  // Opens the device for the format (closing it first when it is open for another); 0 or the
  // device's error code.
  int Open(const PcmFormat& format) override {
    if ((format.bits != 8 && format.bits != 16) || format.channels < 1 || format.channels > 8 ||
        format.rate < 1) {
      return kBadFormat;
    }
    if (handle_ != nullptr && format == format_) return 0;
    CloseDevice();
    if (handle_ != nullptr) return MMSYSERR_ALLOCATED;  // the old one could not be closed
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(format.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(format.rate);
    wave.wBitsPerSample = static_cast<WORD>(format.bits);
    wave.nBlockAlign = static_cast<WORD>(format.channels * (format.bits / 8));
    wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
    HWAVEOUT handle = nullptr;
    const MMRESULT result = waveOutOpen(&handle, device_, &wave,
                                        reinterpret_cast<DWORD_PTR>(&WaveOutAudio::Callback),
                                        reinterpret_cast<DWORD_PTR>(this),
                                        CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
    if (result != MMSYSERR_NOERROR) return static_cast<int>(result);
    handle_ = handle;
    format_ = format;
    return 0;
  }

  void Close() override { CloseDevice(); }

  bool Write(const uint8_t* data, size_t length, int slot) override {
    if (handle_ == nullptr) return false;
    if (length == 0) {
      // The device takes no empty block; it has played at once.
      ready_.push_back(slot);
      return true;
    }
    if (length > 0x7FFFFFFF) return false;
    Block* block = TakeSpare();
    block->bytes.assign(data, data + length);
    block->slot = slot;
    block->header = WAVEHDR{};
    block->header.lpData = reinterpret_cast<LPSTR>(block->bytes.data());
    block->header.dwBufferLength = static_cast<DWORD>(length);
    if (waveOutPrepareHeader(handle_, &block->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
      spare_.push_back(block);
      return false;
    }
    // Room for every header in flight, so the callback never allocates.
    EnterCriticalSection(&lock_);
    done_.reserve(in_flight_.size() + 1);
    LeaveCriticalSection(&lock_);
    in_flight_.push_back(block);
    if (waveOutWrite(handle_, &block->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
      in_flight_.pop_back();
      waveOutUnprepareHeader(handle_, &block->header, sizeof(WAVEHDR));
      spare_.push_back(block);
      return false;
    }
    return true;
  }

  // Stops the sound at once; the device hands every block back, which is waited for briefly so
  // the next TakeFinished reports them all.
  void Reset() override {
    if (handle_ == nullptr || in_flight_.empty()) return;
    waveOutReset(handle_);
    WaitForAllReturned();
  }

  void TakeFinished(std::vector<int>& slots) override {
    Collect();
    slots.insert(slots.end(), ready_.begin(), ready_.end());
    ready_.clear();
  }

 private:
  struct Block {
    WAVEHDR header{};
    std::vector<uint8_t> bytes;
    int slot = 0;
  };

  // Runs on the device's thread: only notes the header and wakes a waiting reset.
  static void CALLBACK Callback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                DWORD_PTR) {
    if (message != WOM_DONE) return;
    auto* self = reinterpret_cast<WaveOutAudio*>(instance);
    EnterCriticalSection(&self->lock_);
    if (self->done_.size() < self->done_.capacity()) {
      self->done_.push_back(reinterpret_cast<WAVEHDR*>(param1));
    }
    LeaveCriticalSection(&self->lock_);
    if (self->returned_ != nullptr) SetEvent(self->returned_);
  }

  Block* TakeSpare() {
    if (spare_.empty()) return new Block;
    Block* block = spare_.back();
    spare_.pop_back();
    return block;
  }

  // Moves the headers the device has handed back from the callback's list to ready_, in the
  // order they finished.
  void Collect() {
    EnterCriticalSection(&lock_);
    taken_.swap(done_);
    done_.reserve(taken_.capacity());
    LeaveCriticalSection(&lock_);
    for (WAVEHDR* header : taken_) {
      const auto it = std::find_if(in_flight_.begin(), in_flight_.end(),
                                   [header](const Block* b) { return &b->header == header; });
      if (it == in_flight_.end()) continue;
      Block* block = *it;
      in_flight_.erase(it);
      waveOutUnprepareHeader(handle_, &block->header, sizeof(WAVEHDR));
      ready_.push_back(block->slot);
      spare_.push_back(block);
    }
    taken_.clear();
  }

  void WaitForAllReturned() {
    const ULONGLONG end = GetTickCount64() + kResetWaitMs;
    for (;;) {
      Collect();
      if (in_flight_.empty()) return;
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return;
      WaitForSingleObject(returned_, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)));
    }
  }

  void CloseDevice() {
    if (handle_ == nullptr) return;
    if (!in_flight_.empty()) {
      waveOutReset(handle_);
      WaitForAllReturned();
    }
    if (!in_flight_.empty()) return;  // the device still holds blocks: it stays open
    if (waveOutClose(handle_) == MMSYSERR_NOERROR) handle_ = nullptr;
  }

  UINT device_;
  HWAVEOUT handle_ = nullptr;
  PcmFormat format_;
  CRITICAL_SECTION lock_;
  HANDLE returned_ = nullptr;
  std::vector<WAVEHDR*> done_;   // guarded by lock_: headers the device has handed back
  std::vector<WAVEHDR*> taken_;  // the program thread's copy of done_
  std::vector<Block*> in_flight_;
  std::vector<Block*> spare_;
  std::vector<int> ready_;  // finished slots not yet taken
};

}  // namespace

unsigned WaveOutDeviceCount() { return waveOutGetNumDevs(); }

std::unique_ptr<AudioOutput> MakeWaveOutAudio(unsigned device, std::string& error) {
  auto audio = std::make_unique<WaveOutAudio>(device);
  const int result = audio->Open({11025, 8, 1});
  if (result != 0) {
    error = "no usable sound device: " + DeviceError(static_cast<MMRESULT>(result));
    return nullptr;
  }
  audio->Close();
  return audio;
}

std::unique_ptr<AudioOutput> MakeDeviceAudio(std::string& error) {
  if (WaveOutDeviceCount() == 0) {
    error = "no sound device";
    return nullptr;
  }
  return MakeWaveOutAudio(kWaveMapper, error);
}

}  // namespace navelo
