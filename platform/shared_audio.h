// One audio output shared by several users, for when the device cannot open a second stream: the
// speech layer and the media layer each get a channel of their own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/audio.h"

namespace navelo {

// Blocks of all channels are queued on the output in the order they come (one after another, not
// mixed). Each channel keeps its own format and its own block numbers; a reset by any channel
// drops what every channel has queued, as a key press silences everything anyway.
class SharedAudio {
 public:
  explicit SharedAudio(AudioOutput& output) : output_(output) {}
  SharedAudio(const SharedAudio&) = delete;
  SharedAudio& operator=(const SharedAudio&) = delete;

  // A new channel; it must not outlive this object.
  std::unique_ptr<AudioOutput> NewChannel();

 private:
  class Channel;

  // Opens the output for format unless it already is; 0 or the output's error.
  int Select(const PcmFormat& format);
  bool Write(int channel, const uint8_t* data, size_t length, int slot);
  // Takes the output's finished blocks and hands each to its channel.
  void Collect();
  void TakeFinished(int channel, std::vector<int>& slots);

  AudioOutput& output_;
  bool selected_ = false;
  PcmFormat format_;
  int next_channel_ = 0;
  int next_block_ = 0;
  std::map<int, std::pair<int, int>> queued_;  // output block -> (channel, its slot)
  std::map<int, std::vector<int>> finished_;   // channel -> its finished slots
  std::vector<int> taken_;
};

}  // namespace navelo
