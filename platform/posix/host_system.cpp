// The host system on Linux: the environment as it is, paths mapped by the configuration layer,
// the running program from /proc and no registry.
#include "platform/host_system.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace navelo {

bool ReadEnvironment(std::string_view name, std::string& value) {
  const char* found = std::getenv(std::string(name).c_str());
  if (found == nullptr) return false;
  value = found;
  return true;
}

void WriteEnvironment(std::string_view name, const char* value) {
  const std::string key(name);
  if (value != nullptr) {
    setenv(key.c_str(), value, 1);
  } else {
    unsetenv(key.c_str());
  }
}

bool HostPathsAreNative() { return false; }

std::string RunningProgramPath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::optional<std::string> RegistryReadString(RegistryRoot, std::string_view) {
  return std::nullopt;
}

}  // namespace navelo
