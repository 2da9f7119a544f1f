// What the fuzz targets share: a console that shows nothing, a keyboard that always has a key,
// and a private temporary folder that every drive, the profile and AppData map to.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "config/host_env.h"
#include "console/console.h"
#include "tests/fixtures/stub_console.h"

namespace navelo::fuzz {

namespace fs = std::filesystem;

class QuietConsole final : public StubConsole {
 public:
  void Delay(int milliseconds) override { delayed += milliseconds; }
  long long delayed = 0;
};

// Types a few ordinary keys, Enter and Esc in turn, so that every wait for a key ends.
class CyclingKeyboard final : public Keyboard {
 public:
  bool KeyPressed() override { return true; }
  unsigned char ReadKey() override {
    static constexpr std::string_view kKeys = "a1\r\x1bs\r";
    return static_cast<unsigned char>(kKeys[next_++ % kKeys.size()]);
  }
  KeyModifiers Modifiers() override { return {}; }

 private:
  size_t next_ = 0;
};

// A folder of its own for the whole run, emptied between inputs.
inline const fs::path& FuzzDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("navelo_fuzz_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

inline void EmptyFuzzDir() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(FuzzDir(), error)) {
    fs::remove_all(entry.path(), error);
  }
}

// The environment of a host whose drives, profile, AppData and Windows folder all lie in
// FuzzDir(), so that nothing a fuzzed input names reaches the machine's own files.
inline EnvLookup FuzzEnvironment() {
  return [](std::string_view name, std::string& value) {
    if (name.starts_with("NAVELO_DRIVE_") || name == "HOME" || name == "USERPROFILE" ||
        name == "APPDATA" || name == "WINDIR" || name == "XDG_DATA_HOME") {
      value = FuzzDir().string();
      return true;
    }
    return false;
  };
}

// A file written by a fuzzed input cannot grow past 64 MiB: the write fails instead of the disk
// filling up or the process being killed by the size signal.
inline void CapWrittenFiles() {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{64 << 20, 64 << 20};
  setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace navelo::fuzz
