// Test helpers: a private temporary folder, an environment made from a map, whole-file access.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

#include "config/host_env.h"

namespace navelo::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    std::random_device device;
    path_ = fs::temp_directory_path() /
            ("navelo_config_test_" + std::to_string(device()) + std::to_string(device()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline EnvLookup MapEnv(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](std::string_view name, std::string& value) {
    const auto found = vars.find(std::string(name));
    if (found == vars.end()) return false;
    value = found->second;
    return true;
  };
}

inline std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Spit(const fs::path& file, const std::string& data) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << data;
}

// The names in a folder, sorted, to see that nothing stray was left behind.
inline std::string Listing(const fs::path& dir) {
  std::map<std::string, int> names;
  for (const auto& entry : fs::directory_iterator(dir)) names[entry.path().filename().string()];
  std::string out;
  for (const auto& [name, unused] : names) out += (out.empty() ? "" : " ") + name;
  return out;
}

}  // namespace navelo::testing
