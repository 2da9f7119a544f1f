// The host system as the configuration sees it: the process environment with the user's folders,
// whether host paths are the platform's own, the running program's file and the registry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace navelo {

// A variable of the process environment; false when it is not set. Where the platform keeps the
// user's folders itself (Windows), USERPROFILE, APPDATA and WINDIR come from there: the profile
// folder, the AppData shell folder of the registry and the Windows directory. A test names its
// own tree there with NAVELO_TEST_USERPROFILE, NAVELO_TEST_APPDATA and NAVELO_TEST_WINDIR.
bool ReadEnvironment(std::string_view name, std::string& value);

// Sets a variable of the process environment (value nullptr: removes it), for this process and the
// programs it starts.
void WriteEnvironment(std::string_view name, const char* value);

// True where the language's paths (drive letters, "\" separators) are the platform's own paths,
// so that no drive mapping applies.
bool HostPathsAreNative();

// The full path of the running program's file; empty when it cannot be found.
std::string RunningProgramPath();

enum class RegistryRoot { kCurrentUser, kLocalMachine };
// The string value at path ("key\value name") when it exists and is a plain string; nothing on a
// platform without a registry.
std::optional<std::string> RegistryReadString(RegistryRoot root, std::string_view path);

}  // namespace navelo
