// The host environment on Linux: where the Windows folders of the host (drive letters, the user
// profile, AppData, the Windows directory, the program's own folder) live, and how a Windows-style
// path of a script or of navelo.ini becomes a path on disk.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace navelo {

// Looks up an environment variable; returns false when it is not set.
using EnvLookup = std::function<bool(std::string_view name, std::string& value)>;

// The process environment, with the user's folders as the platform keeps them (ReadEnvironment).
EnvLookup ProcessEnvironment();

// The entry of dir called name (cp1252): the exact name when it exists, else an entry whose name
// differs only in letter case (ASCII and the accented letters of cp1252), else the name as written.
// Of several such entries the smallest name wins, so the choice does not depend on listing order.
std::filesystem::path FindEntry(const std::filesystem::path& dir, std::string_view name);
// The same, spelt as the folder lists it also where the file system ignores case (there the name
// as written reaches the entry too). It lists the folder, so it is kept for what the user reads.
std::filesystem::path FindListedEntry(const std::filesystem::path& dir, std::string_view name);

// Folders of the host, worked out once at start from the environment. Paths are native
// (UTF-8 on disk, "/" separated), without a trailing separator.
class HostEnvironment {
 public:
  // env: where variables come from; program_dir: the folder of the running program
  // (empty: the folder of the running program's file).
  explicit HostEnvironment(EnvLookup env, std::string program_dir = {});

  // The directory a drive letter maps to: NAVELO_DRIVE_X when set, else for C: the default
  // "$XDG_DATA_HOME/navelo/c" (XDG_DATA_HOME defaulting to "$HOME/.local/share"); other drives
  // without a variable map to "/mnt/x" (x lower case). Where host paths are native (Windows), a
  // drive without a variable is the drive's own root "X:\"; there the variables serve only tests.
  std::string DriveRoot(char letter) const;

  const std::string& UserProfile() const { return user_profile_; }  // $USERPROFILE, else $HOME
  const std::string& AppData() const { return app_data_; }  // $APPDATA, else profile/AppData/Roaming
  const std::string& WindowsDir() const { return windows_dir_; }  // $WINDIR, else C:\windows
  const std::string& ProgramDir() const { return program_dir_; }

  // Turns a path text of the language (cp1252, "\" or "/" separators, optional drive letter) into
  // a native path. Relative paths stay relative (to the current working directory). Each
  // component that does not exist with its exact name is looked up without regard to letter
  // case; components that do not exist at all are kept as written (so new files can be created).
  std::filesystem::path Resolve(std::string_view host_path) const;

 private:
  EnvLookup env_;
  std::string user_profile_;
  std::string app_data_;
  std::string windows_dir_;
  std::string program_dir_;
};

}  // namespace navelo
