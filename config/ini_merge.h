// Merging the entries of one initialization text into a file: the configuration tool's work
// (pelaso), with the same rules as writing one key.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace navelo {

struct IniEntry {
  std::string section, key, value;
};

// Every entry of an initialization text, in order: "key=value" lines under a "[section]" line
// (blanks and tabs around names ignored; lines before any section, without "=", with an empty key
// or starting with ";" are not entries). A text starting with a UTF-8 byte-order mark is UTF-8
// and is given back in cp1252.
std::vector<IniEntry> IniEntries(std::string_view text);

// Sets every entry in target as IniWrite would (an existing key in place, a new key after the
// last entry of its section, a new section at the end, every other line kept), creating it when
// missing. The file is replaced once, whole, so a reader never sees it half merged. False with
// error on failure; target is then unchanged.
bool IniMerge(const std::filesystem::path& target, const std::vector<IniEntry>& entries,
              std::string& error);

}  // namespace navelo
