// One audio output shared by several channels: block numbering, format switching and routing of
// finished blocks.
#include "platform/shared_audio.h"

namespace navelo {

class SharedAudio::Channel final : public AudioOutput {
 public:
  Channel(SharedAudio& shared, int id) : shared_(shared), id_(id) {}
  int Open(const PcmFormat& format) override {
    format_ = format;
    open_ = true;
    return shared_.Select(format);
  }
  void Close() override { open_ = false; }
  bool Write(const uint8_t* data, size_t length, int slot) override {
    if (!open_ || shared_.Select(format_) != 0) return false;
    return shared_.Write(id_, data, length, slot);
  }
  void Reset() override { shared_.output_.Reset(); }
  void TakeFinished(std::vector<int>& slots) override { shared_.TakeFinished(id_, slots); }

 private:
  SharedAudio& shared_;
  int id_;
  PcmFormat format_;
  bool open_ = false;
};

std::unique_ptr<AudioOutput> SharedAudio::NewChannel() {
  return std::make_unique<Channel>(*this, next_channel_++);
}

int SharedAudio::Select(const PcmFormat& format) {
  if (selected_ && format == format_) return 0;
  const int result = output_.Open(format);
  selected_ = result == 0;
  format_ = format;
  return result;
}

bool SharedAudio::Write(int channel, const uint8_t* data, size_t length, int slot) {
  const int block = next_block_;
  next_block_ = next_block_ == INT32_MAX ? 0 : next_block_ + 1;
  queued_[block] = {channel, slot};
  if (output_.Write(data, length, block)) return true;
  queued_.erase(block);
  return false;
}

void SharedAudio::Collect() {
  taken_.clear();
  output_.TakeFinished(taken_);
  for (const int block : taken_) {
    const auto it = queued_.find(block);
    if (it == queued_.end()) continue;
    finished_[it->second.first].push_back(it->second.second);
    queued_.erase(it);
  }
}

void SharedAudio::TakeFinished(int channel, std::vector<int>& slots) {
  Collect();
  std::vector<int>& mine = finished_[channel];
  slots.insert(slots.end(), mine.begin(), mine.end());
  mine.clear();
}

}  // namespace navelo
