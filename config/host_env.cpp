// The host's Windows folders on Linux and the mapping of Windows-style paths to native ones.
#include "config/host_env.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "platform/host_system.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDriveLetter(std::string_view path) {
  return path.size() >= 2 && IsLetter(path[0]) && path[1] == ':';
}

// Folders are kept without a trailing separator, but the root stays "/".
std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Lower case of a cp1252 byte: ASCII, the Latin-1 capitals (not the multiplication sign) and the
// four capitals cp1252 keeps in 0x80..0x9F (S and Z with caron, OE, Y with diaeresis).
unsigned char FoldCase(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

std::string Folded(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

EnvLookup ProcessEnvironment() {
  return [](std::string_view name, std::string& value) { return ReadEnvironment(name, value); };
}

fs::path FindEntry(const fs::path& dir, std::string_view name) {
  const fs::path exact = dir / PathFromUtf8(Cp1252ToUtf8(name));
  std::error_code ec;
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  return FindListedEntry(dir, name);
}

fs::path FindListedEntry(const fs::path& dir, std::string_view name) {
  fs::path exact = dir / PathFromUtf8(Cp1252ToUtf8(name));
  std::error_code ec;
  // Where the file system ignores case, the name as written reaches the entry too, so only the
  // listing tells how it was created.
  if (fs::exists(fs::symlink_status(exact, ec)) && !HostPathsAreNative()) return exact;

  const std::string wanted = Folded(name);
  fs::path best;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    const std::string bytes = Utf8ToCp1252(entry);
    // A character cp1252 lacks turns into '?', which must not match a '?' of the name.
    if (std::count(bytes.begin(), bytes.end(), '?') != std::count(entry.begin(), entry.end(), '?'))
      continue;
    if (it->path().filename() == exact.filename()) return exact;
    if (Folded(bytes) == wanted && (best.empty() || entry < best.string())) {
      best = it->path().filename();
    }
  }
  return best.empty() ? exact : dir / best;
}

HostEnvironment::HostEnvironment(EnvLookup env, std::string program_dir) : env_(std::move(env)) {
  // A variable may hold a native folder or, as on the host, a drive path such as "C:\Users\ana".
  auto folder = [this](std::string_view name) -> std::string {
    std::string value;
    if (!env_ || !env_(name, value) || value.empty()) return {};
    if (HasDriveLetter(value) && !HostPathsAreNative()) return Resolve(Utf8ToCp1252(value)).string();
    return WithoutTrailingSeparator(value);
  };
  user_profile_ = folder("USERPROFILE");
  if (user_profile_.empty()) user_profile_ = folder("HOME");
  // With no profile at all the root stands in, so that nothing is ever written into whatever
  // folder the program happens to run in.
  if (user_profile_.empty()) user_profile_.assign(1, '/');
  app_data_ = folder("APPDATA");
  if (app_data_.empty()) app_data_ = (PathFromUtf8(user_profile_) / "AppData" / "Roaming").string();
  windows_dir_ = folder("WINDIR");
  if (windows_dir_.empty()) windows_dir_ = Resolve("C:\\windows").string();

  if (program_dir.empty()) {
    const std::string exe = RunningProgramPath();
    std::error_code ec;
    program_dir =
        exe.empty() ? fs::current_path(ec).string() : PathFromUtf8(exe).parent_path().string();
  }
  program_dir_ = WithoutTrailingSeparator(program_dir.empty() ? std::string(".") : program_dir);
}

std::string HostEnvironment::DriveRoot(char letter) const {
  if (!IsLetter(letter)) return {};
  const char upper = static_cast<char>(letter & ~0x20);
  std::string value;
  auto lookup = [&](std::string_view name) {
    value.clear();
    return env_ && env_(name, value) && !value.empty();
  };
  if (lookup(std::string("NAVELO_DRIVE_") + upper)) return WithoutTrailingSeparator(value);
  if (HostPathsAreNative()) return std::string(1, upper) + ":\\";
  if (upper != 'C') return std::string("/mnt/") + static_cast<char>(letter | 0x20);
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (!lookup("XDG_DATA_HOME") || value[0] != '/') {
    lookup("HOME");
    value = WithoutTrailingSeparator(value) + "/.local/share";
  }
  return WithoutTrailingSeparator(value) + "/navelo/c";
}

fs::path HostEnvironment::Resolve(std::string_view host_path) const {
  // Where the host's paths are the platform's own, the platform resolves them, unless a test has
  // put the path's drive in a folder of its own (NAVELO_DRIVE_X).
  if (HostPathsAreNative()) {
    char drive = 0;
    if (HasDriveLetter(host_path)) {
      drive = host_path[0];
    } else if (!host_path.empty() && host_path[0] == '\\' && host_path.substr(0, 2) != "\\\\") {
      drive = 'C';
    }
    std::string folder;
    if (drive == 0 || !env_ ||
        !env_(std::string("NAVELO_DRIVE_") + static_cast<char>(drive & ~0x20), folder) ||
        folder.empty()) {
      return PathFromUtf8(Cp1252ToUtf8(host_path));
    }
  }
  fs::path result;
  std::string_view rest = host_path;
  bool rooted = true;
  if (HasDriveLetter(rest)) {
    // "C:name", relative to the drive's current folder on the host, is taken from its root.
    result = PathFromUtf8(DriveRoot(rest[0]));
    rest.remove_prefix(2);
  } else if (!rest.empty() && rest[0] == '\\') {
    result = PathFromUtf8(DriveRoot('C'));
  } else if (!rest.empty() && rest[0] == '/') {
    result = "/";
  } else {
    rooted = false;
  }

  // depth counts the components that ".." may take away again: never the root, as on the host,
  // and never the leading ".." of a relative path.
  int depth = 0;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find_first_of("\\/"), rest.size());
    const std::string_view part = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (depth > 0) {
        result = result.parent_path();
        --depth;
      } else if (!rooted) {
        result /= "..";
      }
      continue;
    }
    result = FindEntry(result, part);
    ++depth;
  }
  if (result.empty() && !host_path.empty()) result = ".";
  return result;
}

}  // namespace navelo
