// Fakes of the services the interpreter reaches, and a fixture that wires a fresh interpreter to
// them with a private temporary drive C.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/config.h"
#include "config/host_env.h"
#include "console/bmp.h"
#include "interp/interpreter.h"
#include "interp/text.h"
#include "tests/fixtures/stub_console.h"
#include "tests/fixtures/stub_speech.h"

namespace navelo::testing {

namespace fs = std::filesystem;

class FakeConsole final : public StubConsole {
 public:
  void Write(std::string_view bytes) override { written += bytes; }
  void ClearScreen() override { ++clears; }
  void SetTitle(std::string_view title) override { this->title = title; }
  void ShowNormal() override { window = "normal"; }
  void Minimize() override { window = "minimized"; }
  void Delay(int milliseconds) override {
    delayed += milliseconds;
    if (on_delay) on_delay();
  }
  void GotoXY(int column, int row) override { cursor = {column, row}; }
  void SetTextColor(int colour) override { text_color = colour; }
  void SetTextBackground(int colour) override { background = colour; }
  bool PointerPosition(int& x, int& y) override {
    x = pointer_x;
    y = pointer_y;
    return has_pointer;
  }
  bool WindowOrigin(int& left, int& top) override {
    left = window_left;
    top = window_top;
    return has_pointer;
  }
  void ClipboardPut(std::string_view text) override { clipboard = text; }
  void ClipboardGet(std::string& buffer, size_t capacity) override {
    if (capacity == 0) return;
    buffer = clipboard.substr(0, capacity - 1);
  }
  // Pictures are decoded as the console does; what was shown is logged as "W x H at X,Y".
  PictureResult PictureLoad(const std::filesystem::path& file) override {
    PictureImage image;
    const PictureResult result = LoadBmpFile(file, image);
    if (result == PictureResult::kLoaded) loaded_picture = image;
    return result;
  }
  void PictureShow(int x, int y) override {
    pictures.push_back(std::to_string(loaded_picture.width) + "x" +
                       std::to_string(loaded_picture.height) + " at " + std::to_string(x) + "," +
                       std::to_string(y));
  }
  void PictureClear() override { ++picture_clears; }
  unsigned long WindowHandle() override { return window_handle; }
  std::string clipboard;
  PictureImage loaded_picture;
  std::vector<std::string> pictures;
  int picture_clears = 0;
  unsigned long window_handle = 0;
  std::string written;
  std::string title;
  int clears = 0;
  std::string window;  // "normal" or "minimized" once shown or hidden
  std::pair<int, int> cursor{1, 1};
  int text_color = -1, background = -1;
  int delayed = 0;
  std::function<void()> on_delay;
  bool has_pointer = false;
  int pointer_x = 0, pointer_y = 0, window_left = 0, window_top = 0;
};

// Keys given by the test; reading past them is a test failure (and gives Esc).
class FakeKeyboard final : public Keyboard {
 public:
  void Type(std::string_view bytes) { queue.insert(queue.end(), bytes.begin(), bytes.end()); }
  bool KeyPressed() override { return !queue.empty(); }
  unsigned char ReadKey() override {
    if (queue.empty()) {
      ADD_FAILURE() << "the program waited for a key that the test did not type";
      return 27;
    }
    const auto c = static_cast<unsigned char>(queue.front());
    queue.pop_front();
    return c;
  }
  KeyModifiers Modifiers() override { return modifiers; }
  // Tones as "start:<hertz>" and "stop", in order.
  void ToneStart(int hertz) override { tones.push_back("start:" + std::to_string(hertz)); }
  void NoteTone(int hertz) override { tones.push_back("noted:" + std::to_string(hertz)); }
  void ToneStop() override { tones.push_back("stop"); }
  std::deque<char> queue;
  KeyModifiers modifiers;
  std::vector<std::string> tones;
};

class RecordingSpeech final : public StubSpeech {
 public:
  using StubSpeech::StubSpeech;
  void Speak(std::string_view text) override { spoken.emplace_back(text); }
  void SpeechStop() override { ++stops; }
  // The other calls are logged as "kind:payload" in sounds, so tests can check them in order.
  // Logged in reconfigured as "speed service type voice servicespeed pitch".
  void SpeechReconfigure(int speed, bool service, int type, int voice, int service_speed,
                         int pitch) override {
    reconfigured.push_back(std::to_string(speed) + " " + (service ? "1" : "0") + " " +
                           std::to_string(type) + " " + std::to_string(voice) + " " +
                           std::to_string(service_speed) + " " + std::to_string(pitch));
  }
  void SpellText(std::string_view text) override { sounds.push_back("spell:" + std::string(text)); }
  void SpeakChar(unsigned char c) override { sounds.push_back("char:" + std::to_string(c)); }
  void PlayNamedSound(std::string_view name) override {
    sounds.push_back("named:" + std::string(name));
  }
  bool SoundExists(std::string_view name) override { return existing_sounds.count(std::string(name)) > 0; }
  int PlayWaveFile(std::string_view name) override {
    sounds.push_back("sound:" + std::string(name));
    return 0;
  }
  void ShortTone() override { sounds.push_back("tone:short"); }
  void LongTone() override { sounds.push_back("tone:long"); }
  // Reads from the fixture's keys and logs the key as spoken.
  unsigned char ReadKeySpoken() override {
    const unsigned char key = keyboard != nullptr ? keyboard->ReadKey() : 27;
    sounds.push_back("char:" + std::to_string(key));
    return key;
  }
  void SpeakTime(int hour, int minute) override {
    sounds.push_back("time:" + std::to_string(hour) + ":" + std::to_string(minute));
  }
  void SpeakDate(int day, int month, int year) override {
    sounds.push_back("date:" + std::to_string(day) + "/" + std::to_string(month) + "/" +
                     std::to_string(year));
  }
  bool Echo() const override { return echo; }
  bool SpeakAll() const override { return speak_all; }
  std::vector<std::string> spoken;
  std::vector<std::string> sounds;
  std::set<std::string> existing_sounds;
  std::vector<std::string> reconfigured;
  int stops = 0;
  bool echo = true;
  bool speak_all = true;
  Keyboard* keyboard = nullptr;
};

class FixedClock final : public Clock {
 public:
  DateParts GetDate() override { return date; }
  TimeParts GetTime() override { return time; }
  DateParts date{2026, 3, 7, 6};
  TimeParts time{9, 5, 3, 0};
};

class InterpreterTest : public ::testing::Test {
 protected:
  InterpreterTest()
      : dir_(MakeTempDir()),
        host_(
            [this](std::string_view name, std::string& value) {
              const auto it = env_.find(std::string(name));
              if (it == env_.end()) return false;
              value = it->second;
              return true;
            },
            dir_.string()),
        config_(host_),
        speech(console),
        in(Services{console, keys, speech, config_, host_, clock}) {
    speech.keyboard = &keys;
    in.Reset();
  }
  ~InterpreterTest() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  // Loads a script (lines separated by "\n") and runs it.
  RunResult Run(std::string_view text) {
    int n = 0;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      in.AddLine(std::string(text.substr(start, end - start)), ++n);
      start = end + 1;
    }
    return in.RunScript();
  }

  std::string& Var(char letter) { return in.vars.Slot(static_cast<unsigned char>(letter) & ~32); }
  std::string& Var(std::string_view name) { return in.vars.Slot(in.vars.NamedSlot(name)); }

  static fs::path MakeTempDir() {
    std::random_device device;
    fs::path dir = fs::temp_directory_path() /
                   ("navelo_interp_test_" + std::to_string(device()) + std::to_string(device()));
    fs::create_directories(dir);
    return dir;
  }

  fs::path dir_;
  std::map<std::string, std::string> env_{{"NAVELO_DRIVE_C", dir_.string()},
                                          {"HOME", dir_.string()}};
  HostEnvironment host_;
  Config config_;

 public:
  FakeConsole console;
  FakeKeyboard keys;
  RecordingSpeech speech;
  FixedClock clock;
  Interpreter in;
};

}  // namespace navelo::testing
