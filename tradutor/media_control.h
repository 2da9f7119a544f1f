// The media control layer: the command strings through which scripts play sound files ("open ...
// alias x", "play", "status ... mode", "stop", "close", "play FILE"), playing PCM WAV files on an
// audio output of its own, so that a sound plays on while the program goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/host_env.h"
#include "console/console.h"
#include "platform/audio.h"
#include "platform/transcript.h"

namespace navelo {

// The result codes of a command. The answer is empty whenever the code is not kMciOk.
enum MciError : int {
  kMciOk = 0,
  kMciUnrecognizedCommand = 1,  // the first word is not a command of this layer
  kMciMissingDevice,            // no device name after the command word
  kMciUnknownDevice,            // no open device has that alias or file name
  kMciFileNotFound,
  kMciUnsupportedFormat,        // not a PCM WAV file of 8 or 16 bits that a device takes (MP3...)
  kMciFileTooLong,              // more than kMaxMediaSeconds of sound
  kMciAliasInUse,
  kMciTooManyDevices,
  kMciBadArgument,              // an unknown keyword or a number that is not one
  kMciOutputError,              // the audio output refused the format or a block
};

struct MciReply {
  int error = kMciOk;
  std::string answer;
};

// Longest sound a device holds; its samples are read whole when it is opened.
inline constexpr int kMaxMediaSeconds = 600;
inline constexpr size_t kMaxMediaDevices = 64;

class MediaControl {
 public:
  MediaControl(Console& console, Keyboard& keyboard, const HostEnvironment& host);
  ~MediaControl();
  MediaControl(const MediaControl&) = delete;
  MediaControl& operator=(const MediaControl&) = delete;

  // Where the sound goes and where each play is noted as a "sound" event. Until this is called
  // the layer plays on a silent output whose blocks end at once.
  void UseOutput(AudioOutput& output, Transcript* transcript);

  // Runs one command string. Words are separated by blanks; a name with blanks is written in
  // double quotes. Times are in milliseconds.
  MciReply Send(std::string_view command);

  // A short English description of a result code.
  static std::string_view ErrorText(int error);

 private:
  enum class Mode { kStopped, kPlaying, kPaused };
  struct Device {
    std::string id;    // folded alias, or the folded file name when opened without one
    std::string file;  // as the script gave it
    bool auto_opened = false;  // by "play FILE"; closed once its play has ended
    int number = 0;
    PcmFormat format;
    size_t frame_bytes = 1;
    std::vector<uint8_t> data;
    size_t position = 0;  // where the next play starts, in bytes
    size_t play_end = 0;  // where the current play ends, in bytes
    Mode mode = Mode::kStopped;
  };

  MciReply Open(const std::vector<std::string>& words, bool auto_open, Device** opened);
  MciReply Play(const std::vector<std::string>& words, std::string_view rest);
  MciReply Status(Device& device, const std::vector<std::string>& words);
  MciReply Seek(Device& device, const std::vector<std::string>& words);
  // Loads a WAV file into a new device; kMciOk or the reason it cannot be opened.
  int Load(std::string_view file, Device& device);
  Device* Find(std::string_view name);
  void Close(Device* device);
  // Queues data from the device's position to end on the output.
  int Start(Device& device, size_t end);
  // Drops what is still queued and keeps the position reached.
  void Halt();
  // Takes the blocks that have finished and ends the play when all have.
  void Poll();
  // Closes the devices that a play by file name opened, once they are neither playing nor paused.
  void Sweep();
  size_t Milliseconds(const Device& device, size_t bytes) const;
  bool BytesAt(const Device& device, std::string_view ms_text, size_t& bytes) const;

  Console& console_;
  Keyboard& keyboard_;
  const HostEnvironment& host_;
  std::unique_ptr<AudioOutput> silent_;
  AudioOutput* output_;
  Transcript* transcript_ = nullptr;
  std::vector<std::unique_ptr<Device>> devices_;
  int next_number_ = 1;

  // The one play under way: its device, and the byte offset at which each queued block ends.
  Device* playing_ = nullptr;
  std::vector<size_t> block_ends_;
  size_t finished_blocks_ = 0;
  std::vector<int> finished_;
};

}  // namespace navelo
