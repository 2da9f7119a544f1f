// The media control layer: command parsing, WAV devices held in memory, and one play at a time
// queued on the layer's own audio output.
#include "tradutor/media_control.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tradutor/wave_player.h"

namespace navelo {
namespace {

constexpr size_t kMediaBlock = 8192;

std::string Fold(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || b > 223) c = static_cast<char>(b - 32);
  }
  return out;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Splits a command into words at blanks; a double-quoted word keeps its blanks (the quotes go).
std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    std::string word;
    if (text[i] == '"') {
      const size_t close = text.find('"', i + 1);
      const size_t end = close == std::string_view::npos ? text.size() : close;
      word.assign(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      while (i < text.size() && !IsBlank(text[i])) word += text[i++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

// The text after the first n words, trimmed (for a file name with blanks and no quotes).
std::string_view AfterWords(std::string_view text, int n) {
  size_t i = 0;
  for (int w = 0; w < n; ++w) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  size_t end = text.size();
  while (end > i && IsBlank(text[end - 1])) --end;
  return text.substr(i, end - i);
}

bool ParseCount(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 12) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

}  // namespace

MediaControl::MediaControl(Console& console, Keyboard& keyboard, const HostEnvironment& host)
    : console_(console), keyboard_(keyboard), host_(host), silent_(MakeNullAudio()),
      output_(silent_.get()) {}

MediaControl::~MediaControl() { Halt(); }

void MediaControl::UseOutput(AudioOutput& output, Transcript* transcript) {
  Halt();
  output_ = &output;
  transcript_ = transcript;
}

std::string_view MediaControl::ErrorText(int error) {
  switch (error) {
    case kMciOk: return "no error";
    case kMciUnrecognizedCommand: return "unrecognized command";
    case kMciMissingDevice: return "no device name given";
    case kMciUnknownDevice: return "no open device of that name";
    case kMciFileNotFound: return "file not found";
    case kMciUnsupportedFormat: return "not a PCM WAV file of 8 or 16 bits that a device takes";
    case kMciFileTooLong: return "the sound is longer than this layer holds";
    case kMciAliasInUse: return "the alias is already in use";
    case kMciTooManyDevices: return "too many open devices";
    case kMciBadArgument: return "bad argument";
    case kMciOutputError: return "the audio output failed";
    default: return "unknown error";
  }
}

MciReply MediaControl::Send(std::string_view command) {
  Poll();
  Sweep();
  const std::vector<std::string> words = SplitWords(command);
  if (words.empty()) return {kMciUnrecognizedCommand, ""};
  const std::string verb = Fold(words[0]);
  if (verb == "OPEN") return Open(words, false, nullptr);
  if (verb == "PLAY") return Play(words, AfterWords(command, 1));
  if (verb != "STOP" && verb != "CLOSE" && verb != "PAUSE" && verb != "RESUME" &&
      verb != "STATUS" && verb != "SEEK" && verb != "SET") {
    return {kMciUnrecognizedCommand, ""};
  }
  if (words.size() < 2) return {kMciMissingDevice, ""};
  if (Fold(words[1]) == "ALL" && (verb == "STOP" || verb == "CLOSE")) {
    Halt();
    if (verb == "CLOSE") {
      while (!devices_.empty()) Close(devices_.back().get());
    }
    return {};
  }
  Device* device = Find(words[1]);
  if (device == nullptr) return {kMciUnknownDevice, ""};
  if (verb == "STATUS") return Status(*device, words);
  if (verb == "SEEK") return Seek(*device, words);
  if (verb == "SET") {
    // Times are always milliseconds; asking for them is accepted, any other format is not.
    std::string setting;
    for (size_t i = 2; i < words.size(); ++i) setting += (i > 2 ? " " : "") + Fold(words[i]);
    if (setting == "TIME FORMAT MILLISECONDS" || setting == "TIME FORMAT MS") return {};
    return {kMciBadArgument, ""};
  }
  if (verb == "CLOSE") {
    Close(device);
    return {};
  }
  if (verb == "STOP" || verb == "PAUSE") {
    const bool was_playing = playing_ == device;
    if (was_playing) Halt();
    const bool pause = verb == "PAUSE" && was_playing && device->position < device->play_end;
    device->mode = pause ? Mode::kPaused : Mode::kStopped;
    return {};
  }
  // RESUME: a paused device goes on from where it stopped.
  if (device->mode != Mode::kPaused) return {};
  const int started = Start(*device, device->play_end);
  return {started, ""};
}

MciReply MediaControl::Open(const std::vector<std::string>& words, bool auto_open,
                            Device** opened) {
  if (words.size() < 2) return {kMciMissingDevice, ""};
  std::string file = words[1];
  // "waveaudio!file" names the device type before the file (a "!" inside a path is the file's).
  if (const size_t bang = file.find('!');
      bang != std::string::npos && file.find_first_of("\\/.:") > bang) {
    if (Fold(file.substr(0, bang)) != "WAVEAUDIO") return {kMciUnsupportedFormat, ""};
    file.erase(0, bang + 1);
  }
  if (Fold(file) == "NEW") return {kMciUnsupportedFormat, ""};  // recording is not offered
  std::string id = Fold(file);
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string word = Fold(words[i]);
    if (word == "ALIAS" && i + 1 < words.size()) {
      id = Fold(words[++i]);
    } else if (word == "TYPE" && i + 1 < words.size()) {
      if (Fold(words[++i]) != "WAVEAUDIO") return {kMciUnsupportedFormat, ""};
    } else if (word != "WAIT" && word != "SHAREABLE" && word != "NOTIFY") {
      return {kMciBadArgument, ""};
    }
  }
  if (Find(id) != nullptr) return {kMciAliasInUse, ""};
  if (devices_.size() >= kMaxMediaDevices) return {kMciTooManyDevices, ""};
  auto device = std::make_unique<Device>();
  if (const int loaded = Load(file, *device); loaded != kMciOk) return {loaded, ""};
  device->id = id;
  device->file = file;
  device->auto_opened = auto_open;
  device->number = next_number_++;
  const int number = device->number;
  devices_.push_back(std::move(device));
  if (opened != nullptr) *opened = devices_.back().get();
  return {kMciOk, std::to_string(number)};
}

int MediaControl::Load(std::string_view file, Device& device) {
  const std::filesystem::path path = host_.Resolve(file);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return kMciFileNotFound;
  WaveFileReader in(path);
  if (!in.ok()) return kMciFileNotFound;
  const uint64_t size = in.size();
  WaveLayout layout;
  if (!in.ReadLayout(layout)) return kMciUnsupportedFormat;
  device.format = layout.format;
  device.frame_bytes = static_cast<size_t>(layout.format.channels) * (layout.format.bits / 8);
  // A data chunk that claims more than the file holds plays what is there.
  uint64_t length = std::min<uint64_t>(layout.data_length, size - layout.data_offset);
  length -= length % device.frame_bytes;
  const uint64_t per_second = static_cast<uint64_t>(layout.format.rate) * device.frame_bytes;
  if (length > per_second * kMaxMediaSeconds) return kMciFileTooLong;
  device.data.resize(static_cast<size_t>(length));
  if (length > 0 && in.Read(layout.data_offset, device.data.data(), device.data.size()) != length) {
    return kMciUnsupportedFormat;
  }
  device.play_end = device.data.size();
  return kMciOk;
}

MediaControl::Device* MediaControl::Find(std::string_view name) {
  const std::string id = Fold(name);
  for (auto& device : devices_) {
    if (device->id == id) return device.get();
  }
  return nullptr;
}

void MediaControl::Close(Device* device) {
  if (playing_ == device) Halt();
  std::erase_if(devices_, [device](const auto& d) { return d.get() == device; });
}

MciReply MediaControl::Play(const std::vector<std::string>& words, std::string_view rest) {
  if (words.size() < 2) return {kMciMissingDevice, ""};
  Device* device = Find(words[1]);
  size_t flags_from = 2;
  if (device == nullptr) {
    // A file played by its name is opened for the play and closed when it ends.
    MciReply opened = Open({words[0], words[1]}, true, &device);
    if (opened.error == kMciFileNotFound && words.size() > 2 && rest.front() != '"') {
      // A file name with blanks and no quotes: the whole rest names it.
      MciReply whole = Open({words[0], std::string(rest)}, true, &device);
      if (whole.error != kMciOk) return opened;
      flags_from = words.size();
    } else if (opened.error != kMciOk) {
      return opened;
    }
  }
  bool wait = false;
  size_t from = device->position >= device->data.size() ? 0 : device->position;
  size_t to = device->data.size();
  for (size_t i = flags_from; i < words.size(); ++i) {
    const std::string word = Fold(words[i]);
    if (word == "WAIT") {
      wait = true;
    } else if (word == "NOTIFY") {
    } else if ((word == "FROM" || word == "TO") && i + 1 < words.size()) {
      size_t bytes = 0;
      if (!BytesAt(*device, words[++i], bytes)) return {kMciBadArgument, ""};
      (word == "FROM" ? from : to) = bytes;
    } else {
      return {kMciBadArgument, ""};
    }
  }
  if (from > to) return {kMciBadArgument, ""};
  Halt();
  device->position = from;
  if (transcript_ != nullptr) transcript_->Record("sound", device->file);
  const int started = Start(*device, to);
  if (started != kMciOk) return {started, ""};
  // "wait" returns when the sound has ended; a waiting key ends it early and stays queued.
  while (wait && playing_ == device) {
    if (keyboard_.KeyPressed()) {
      Halt();
      break;
    }
    console_.Delay(10);
    Poll();
  }
  return {};
}

int MediaControl::Start(Device& device, size_t end) {
  Halt();
  device.play_end = end;
  if (output_->Open(device.format) != 0) {
    device.mode = Mode::kStopped;
    return kMciOutputError;
  }
  block_ends_.clear();
  finished_blocks_ = 0;
  playing_ = &device;
  device.mode = Mode::kPlaying;
  const size_t block = kMediaBlock - kMediaBlock % device.frame_bytes;
  for (size_t at = device.position; at < end;) {
    const size_t n = std::min(block, end - at);
    if (!output_->Write(device.data.data() + at, n, static_cast<int>(block_ends_.size()))) break;
    at += n;
    block_ends_.push_back(at);
  }
  Poll();
  return kMciOk;
}

void MediaControl::Halt() {
  // The blocks heard so far set the position; those dropped by the reset are reported finished
  // too, so they are taken and discarded.
  Poll();
  if (playing_ == nullptr) return;
  output_->Reset();
  finished_.clear();
  output_->TakeFinished(finished_);
  finished_.clear();
  playing_->mode = Mode::kStopped;
  playing_ = nullptr;
}

void MediaControl::Sweep() {
  std::erase_if(devices_, [this](const auto& d) {
    return d->auto_opened && d.get() != playing_ && d->mode != Mode::kPaused;
  });
}

void MediaControl::Poll() {
  if (playing_ == nullptr) return;
  finished_.clear();
  output_->TakeFinished(finished_);
  finished_blocks_ = std::min(block_ends_.size(), finished_blocks_ + finished_.size());
  Device* device = playing_;
  if (finished_blocks_ > 0) device->position = block_ends_[finished_blocks_ - 1];
  if (finished_blocks_ < block_ends_.size()) return;
  device->mode = Mode::kStopped;
  playing_ = nullptr;
}

size_t MediaControl::Milliseconds(const Device& device, size_t bytes) const {
  const uint64_t per_second = static_cast<uint64_t>(device.format.rate) * device.frame_bytes;
  return static_cast<size_t>(static_cast<uint64_t>(bytes) * 1000 / per_second);
}

bool MediaControl::BytesAt(const Device& device, std::string_view ms_text, size_t& bytes) const {
  uint64_t ms = 0;
  if (!ParseCount(ms_text, ms)) return false;
  const uint64_t frames = ms * static_cast<uint64_t>(device.format.rate) / 1000;
  bytes = static_cast<size_t>(
      std::min<uint64_t>(frames * device.frame_bytes, device.data.size()));
  return true;
}

MciReply MediaControl::Status(Device& device, const std::vector<std::string>& words) {
  std::string item;
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string word = Fold(words[i]);
    if (word != "WAIT" && word != "NOTIFY") item += (item.empty() ? "" : " ") + word;
  }
  if (item == "MODE") {
    switch (device.mode) {
      case Mode::kPlaying: return {kMciOk, "playing"};
      case Mode::kPaused: return {kMciOk, "paused"};
      case Mode::kStopped: return {kMciOk, "stopped"};
    }
  }
  if (item == "LENGTH") return {kMciOk, std::to_string(Milliseconds(device, device.data.size()))};
  if (item == "POSITION") return {kMciOk, std::to_string(Milliseconds(device, device.position))};
  if (item == "READY") return {kMciOk, "true"};
  if (item == "TIME FORMAT") return {kMciOk, "milliseconds"};
  return {kMciBadArgument, ""};
}

MciReply MediaControl::Seek(Device& device, const std::vector<std::string>& words) {
  if (words.size() != 4 || Fold(words[2]) != "TO") return {kMciBadArgument, ""};
  const std::string where = Fold(words[3]);
  size_t bytes = 0;
  if (where == "START") {
    bytes = 0;
  } else if (where == "END") {
    bytes = device.data.size();
  } else if (!BytesAt(device, where, bytes)) {
    return {kMciBadArgument, ""};
  }
  if (playing_ == &device) Halt();
  device.position = bytes;
  device.mode = Mode::kStopped;
  return {};
}

}  // namespace navelo
