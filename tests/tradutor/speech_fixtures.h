// Fakes and tiny synthetic host data for the speech tests: an audio output that records blocks,
// a console that counts delays, scripted keys, WAV files and diphone index records.
#pragma once

#include <cstdint>
#include <algorithm>
#include <deque>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console.h"
#include "tests/fixtures/stub_console.h"
#include "platform/audio.h"
#include "tests/fixtures/queue_keyboard.h"

namespace navelo::testing {

namespace fs = std::filesystem;

struct WrittenBlock {
  PcmFormat format;
  std::vector<uint8_t> bytes;
};

// Records every block; blocks finish when the test says so (or at once with finish_at_once).
class RecordingAudio final : public AudioOutput {
 public:
  int Open(const PcmFormat& format) override {
    ++opens;
    format_ = format;
    return open_result;
  }
  void Close() override { ++closes; }
  bool Write(const uint8_t* data, size_t length, int slot) override {
    blocks.push_back({format_, std::vector<uint8_t>(data, data + length)});
    (finish_at_once ? finished_ : pending_).push_back(slot);
    return true;
  }
  void Reset() override {
    ++resets;
    finished_.insert(finished_.end(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  void TakeFinished(std::vector<int>& slots) override {
    slots.insert(slots.end(), finished_.begin(), finished_.end());
    finished_.clear();
  }
  void FinishAll() { Reset(), --resets; }
  // Finishes the n oldest pending blocks, in order.
  void Finish(size_t n) {
    n = std::min(n, pending_.size());
    finished_.insert(finished_.end(), pending_.begin(), pending_.begin() + static_cast<long>(n));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
  }
  size_t Pending() const { return pending_.size(); }

  std::vector<WrittenBlock> blocks;
  bool finish_at_once = true;
  int open_result = 0;
  int opens = 0, closes = 0, resets = 0;

 private:
  PcmFormat format_;
  std::vector<int> pending_;
  std::vector<int> finished_;
};

class CountingConsole final : public StubConsole {
 public:
  void Write(std::string_view bytes) override { written += bytes; }
  void Delay(int milliseconds) override {
    delayed += milliseconds;
    if (on_delay) on_delay();
  }
  void MagnifierSetColours(int letter, int background, int cursor) override {
    magnifier.push_back("colours " + std::to_string(letter) + " " + std::to_string(background) +
                        " " + std::to_string(cursor));
  }
  void MagnifierStart(int row, int factor) override {
    magnifier.push_back("start " + std::to_string(row) + " " + std::to_string(factor));
  }
  std::string written;
  std::vector<std::string> magnifier;
  int delayed = 0;
  std::function<void()> on_delay;
};

// The environment of a host kept under root: drive C is root/c and the home folder root/home.
inline EnvLookup DriveCAndHome(const fs::path& root) {
  return [root](std::string_view name, std::string& value) {
    if (name == "NAVELO_DRIVE_C") value = (root / "c").string();
    else if (name == "HOME") value = (root / "home").string();
    else return false;
    return true;
  };
}

// Where the user's navelo.ini of such a host lives.
inline fs::path UserIniPath(const fs::path& root) {
  return root / "home/AppData/Roaming/Navelo/navelo.ini";
}

inline void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A WAV file: RIFF, fmt of fmt_length bytes, the extra chunks as given, then data.
inline std::string WavBytes(const std::string& data, int rate = 11025, int channels = 1,
                            int bits = 8, const std::string& extra_chunks = "",
                            uint32_t fmt_length = 16) {
  std::string out = "RIFF";
  PutLe(out, static_cast<uint32_t>(36 + extra_chunks.size() + data.size()), 4);
  out += "WAVEfmt ";
  PutLe(out, fmt_length, 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(channels), 2);
  PutLe(out, static_cast<uint32_t>(rate), 4);
  PutLe(out, static_cast<uint32_t>(static_cast<int64_t>(rate) * channels * bits / 8), 4);
  PutLe(out, static_cast<uint32_t>(channels * bits / 8), 2);
  PutLe(out, static_cast<uint32_t>(bits), 2);
  if (fmt_length > 16) out += std::string(fmt_length - 16, '\0');
  out += extra_chunks;
  out += "data";
  PutLe(out, static_cast<uint32_t>(data.size()), 4);
  return out + data;
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Index and data of a diphone database whose units are runs of one byte value each.
struct UnitSpec {
  std::string name;
  uint8_t value;
  uint16_t length;
};

inline void WriteDatabase(const fs::path& dir, std::vector<UnitSpec> units) {
  std::sort(units.begin(), units.end(),
            [](const UnitSpec& a, const UnitSpec& b) { return a.name < b.name; });
  std::string index;
  std::string data;
  for (const UnitSpec& unit : units) {
    index += static_cast<char>(unit.name.size());
    index += (unit.name + std::string(8, '\0')).substr(0, 8);
    PutLe(index, unit.length, 2);
    PutLe(index, static_cast<uint32_t>(data.size()), 4);
    data += std::string(unit.length, static_cast<char>(unit.value));
  }
  WriteFile(dir / "DIFONES2.IND", index);
  WriteFile(dir / "DIFONES2.DIF", data);
}

// The diphone voice of the speech tests in folder (their c:\difones): the units of "casa", the
// rules that reach them and an empty exceptions list (the rules files only with_rules).
inline void WriteCasaVoice(const fs::path& folder, bool with_rules = true) {
  WriteDatabase(folder, {{"$KAS", 1, 300}, {"$SA", 2, 300}, {"$A", 3, 200}});
  if (!with_rules) return;
  WriteFile(folder / "regras.rgr", "(C)=k\n(A)=a\n(S)=s\n");
  WriteFile(folder / "portug.exc", "");
}

// A private temporary folder, removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::random_device device;
    path_ = fs::temp_directory_path() /
            ("navelo_speech_test_" + std::to_string(device()) + std::to_string(device()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Runs of equal bytes, as (value, count): how the tests read synthesized sound.
inline std::vector<std::pair<int, int>> Runs(const std::vector<uint8_t>& bytes) {
  std::vector<std::pair<int, int>> runs;
  for (const uint8_t b : bytes) {
    if (!runs.empty() && runs.back().first == b) ++runs.back().second;
    else runs.emplace_back(b, 1);
  }
  return runs;
}

}  // namespace navelo::testing
