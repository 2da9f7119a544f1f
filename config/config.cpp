// Finding navelo.ini, and reading and writing its values with the "@" path expansions.
#include "config/config.h"

#include <system_error>

#include "config/ini_file.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kFileName = "navelo.ini";

// An expansion can bring "@\" back: a PGMNAVELO or program folder that ends in "@" leaves one
// before the backslash it was put in front of, and the value would grow for ever. No sane value
// needs more than a handful of steps.
constexpr int kMaxExpansions = 64;

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

std::string Config::UserConfigDir() const {
  const fs::path own = FindEntry(PathFromUtf8(host_.AppData()), "Navelo");
  if (!IsFile(FindEntry(own, kFileName)) && IsFile(WindowsFile())) return host_.WindowsDir();
  return own.string();
}

fs::path Config::UserFile() const { return FindEntry(PathFromUtf8(UserConfigDir()), kFileName); }

fs::path Config::WindowsFile() const {
  return FindEntry(PathFromUtf8(host_.WindowsDir()), kFileName);
}

std::string Config::ReadStored(std::string_view section, std::string_view key) const {
  std::string value = IniRead(UserFile(), section, key, "");
  if (value.empty() && legacy_) value = IniRead(WindowsFile(), section, key, "");
  return value;
}

std::string Config::Read(std::string_view section, std::string_view key) const {
  const bool is_pgm = IniSameName(section, "NAVELO") && IniSameName(key, "PGMNAVELO");
  return Expand(ReadStored(section, key), !is_pgm);
}

// The folders are native (UTF-8) while values are cp1252, so they are converted on insertion;
// a path resolved later converts them back.
//
// PGMNAVELO is expanded with the same rules, but a "@\" inside PGMNAVELO itself would read
// PGMNAVELO again, unchanged, for ever: the recursion is cut at that first level, where
// PGMNAVELO counts as empty and "@\" therefore stands for the program folder. Within one call
// PGMNAVELO is read once; the file cannot change in between on a single thread.
std::string Config::Expand(std::string value, bool may_read_pgm) const {
  const std::string program_dir = Utf8ToCp1252(ProgramDir());
  std::string pgm;
  bool have_pgm = false;
  for (int step = 0; step < kMaxExpansions; ++step) {
    if (value == "@") return program_dir;
    if (const size_t at = value.find("@@\\"); at != std::string::npos)
      value.replace(at, 2, Utf8ToCp1252(UserConfigDir()));
    const size_t at = value.find("@\\");
    if (at == std::string::npos) break;
    if (!have_pgm) {
      pgm = may_read_pgm ? Expand(ReadStored("NAVELO", "PGMNAVELO"), false) : std::string();
      if (pgm.empty() || pgm[0] == '@') pgm = program_dir;
      have_pgm = true;
    }
    value.replace(at, 1, pgm);
  }
  return value;
}

std::string Config::ReadDefault(std::string_view section, std::string_view key,
                                std::string_view default_value) {
  const std::string value = Read(section, key);
  size_t begin = 0, end = value.size();
  while (begin < end && static_cast<unsigned char>(value[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 32) --end;
  if (begin < end) return value.substr(begin, end - begin);
  Write(section, key, default_value);
  return std::string(default_value);
}

void Config::Write(std::string_view section, std::string_view key, std::string_view value) {
  IniWrite(UserFile(), section, key, value);
  if (legacy_) {
    const fs::path copy = WindowsFile();
    if (IsFile(copy)) IniWrite(copy, section, key, value);
  }
}

}  // namespace navelo
