// The configuration tool's merge: the entries go one by one into a copy of the file beside it,
// which then replaces the file.
#include "config/ini_merge.h"

#include <fstream>
#include <random>
#include <system_error>

#include "config/ini_file.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

std::string_view TrimBlanks(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<IniEntry> IniEntries(std::string_view text) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  std::string converted;
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
    converted = Utf8ToCp1252(text.substr(kUtf8Mark.size()));
    text = converted;
  }
  std::vector<IniEntry> entries;
  bool in_section = false;
  std::string section;
  while (!text.empty()) {
    const size_t cut = text.find_first_of("\r\n");
    const std::string_view line = TrimBlanks(text.substr(0, cut));
    text.remove_prefix(cut == std::string_view::npos ? text.size() : cut + 1);
    if (!line.empty() && line.front() == '[' && line.find(']') != std::string_view::npos) {
      section = std::string(TrimBlanks(line.substr(1, line.find(']') - 1)));
      in_section = !section.empty();
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_section || line.empty() || line.front() == ';' || equals == std::string_view::npos) {
      continue;
    }
    const std::string_view key = TrimBlanks(line.substr(0, equals));
    if (key.empty()) continue;
    entries.push_back({section, std::string(key), std::string(line.substr(equals + 1))});
  }
  return entries;
}

bool IniMerge(const fs::path& target, const std::vector<IniEntry>& entries, std::string& error) {
  std::error_code ec;
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  fs::create_directories(folder, ec);
  const fs::path work =
      folder / (".navelo.ini." + std::to_string(std::random_device{}()) + ".tmp");
  const bool existed = fs::exists(target, ec);
  if (existed && !fs::copy_file(target, work, fs::copy_options::overwrite_existing, ec)) {
    error = "cannot copy " + target.string() + ": " + ec.message();
    return false;
  }
  for (const IniEntry& entry : entries) {
    if (!IniWrite(work, entry.section, entry.key, entry.value)) {
      error = "cannot write [" + entry.section + "] " + entry.key + " into " + work.string();
      fs::remove(work, ec);
      return false;
    }
  }
  if (!fs::exists(work, ec)) std::ofstream(work, std::ios::binary).flush();  // nothing to set
  fs::rename(work, target, ec);
  if (ec) {
    error = "cannot replace " + target.string() + ": " + ec.message();
    fs::remove(work, ec);
    return false;
  }
  return true;
}

}  // namespace navelo
