// Reading and writing one initialization file with the host platform's private-profile rules.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace navelo {

// Whether two section or key names name the same thing in a file: blanks and tabs around them
// aside, and without regard to ASCII letter case.
bool IniSameName(std::string_view a, std::string_view b);

// GetPrivateProfileString: the value of key in section (both matched without regard to case),
// or default_value when the file, the section or the key is missing. Values are cut to
// 49 999 bytes.
std::string IniRead(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, std::string_view default_value);

// WritePrivateProfileString: sets key in section, creating the file, the section and the key as
// needed and keeping every other line as it was. The file is replaced whole (a temporary file
// renamed over it), so no reader ever sees it half written. Returns false on failure.
bool IniWrite(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value);

}  // namespace navelo
