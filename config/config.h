// The host configuration file navelo.ini: where it is, and reading and writing its values with
// the private-profile rules of the host platform and the "@" path expansions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "config/host_env.h"

namespace navelo {

class Config {
 public:
  explicit Config(const HostEnvironment& host) : host_(host) {}

  // The folder that holds the user's navelo.ini: AppData + "/Navelo", unless no navelo.ini is
  // there and the Windows directory has one. Worked out anew on every call.
  std::string UserConfigDir() const;
  std::string ProgramDir() const { return host_.ProgramDir(); }

  // ConfigRead: the value with the "@" expansions, or empty.
  std::string Read(std::string_view section, std::string_view key) const;
  // ConfigReadDefault: the trimmed value, or the default, which is then written to the file.
  std::string ReadDefault(std::string_view section, std::string_view key,
                          std::string_view default_value);
  // ConfigWrite. Failures are ignored, as on the host platform.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Legacy mode: reads fall back to, and writes also go to, the Windows directory's copy.
  void SetLegacyMode(bool on) { legacy_ = on; }
  bool LegacyMode() const { return legacy_; }

 private:
  std::filesystem::path UserFile() const;
  std::filesystem::path WindowsFile() const;
  std::string ReadStored(std::string_view section, std::string_view key) const;
  std::string Expand(std::string value, bool may_read_pgm) const;

  const HostEnvironment& host_;
  bool legacy_ = false;
};

}  // namespace navelo
