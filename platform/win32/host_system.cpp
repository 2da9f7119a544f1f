// The host system on Windows: the user's folders from the platform, native paths, the module file
// name and the registry.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/host_system.h"
#include "platform/win32/wide_text.h"

namespace navelo {
namespace {

// A variable in UTF-8, as the other native strings (the C runtime's narrow copy is in the ANSI
// code page).
bool Getenv(const std::string& name, std::string& value) {
  const wchar_t* found = _wgetenv(win32::Widen(name).c_str());
  if (found == nullptr) return false;
  value = win32::Narrow(found);
  return true;
}

std::string ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return win32::Narrow(path);
}

std::string WindowsDirectory() {
  wchar_t path[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryW(path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? win32::Narrow(std::wstring_view(path, n)) : std::string();
}

// The folder the platform keeps for a variable of the user's folders; empty when the platform
// has none or the name is not one of them.
std::string PlatformFolder(std::string_view name) {
  if (name == "USERPROFILE") return ShellFolder(CSIDL_PROFILE);
  if (name == "APPDATA") {
    // Where the shell itself records it, as the configuration of the speech environment finds it.
    const auto shell = RegistryReadString(
        RegistryRoot::kCurrentUser,
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\AppData");
    if (shell && !shell->empty()) return *shell;
    return ShellFolder(CSIDL_APPDATA);
  }
  if (name == "WINDIR") return WindowsDirectory();
  return {};
}

}  // namespace

bool ReadEnvironment(std::string_view name, std::string& value) {
  if (name == "USERPROFILE" || name == "APPDATA" || name == "WINDIR") {
    if (Getenv("NAVELO_TEST_" + std::string(name), value) && !value.empty()) return true;
    std::string folder = PlatformFolder(name);
    if (!folder.empty()) {
      value = std::move(folder);
      return true;
    }
  }
  return Getenv(std::string(name), value);
}

void WriteEnvironment(std::string_view name, const char* value) {
  // The C runtime's copy (getenv) and the system's (the programs started) both change.
  const std::string key(name);
  _putenv_s(key.c_str(), value != nullptr ? value : "");
  SetEnvironmentVariableA(key.c_str(), value);
}

bool HostPathsAreNative() { return true; }

std::string RunningProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return win32::Narrow(std::wstring_view(path.data(), n));
    path.resize(path.size() * 2);
  }
}

std::optional<std::string> RegistryReadString(RegistryRoot root, std::string_view path) {
  const size_t cut = path.rfind('\\');
  const std::wstring key = win32::Widen(path.substr(0, cut == std::string_view::npos ? 0 : cut));
  const std::wstring value =
      win32::Widen(cut == std::string_view::npos ? path : path.substr(cut + 1));
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                    key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0, size = 0;
  std::optional<std::string> result;
  if (RegQueryValueExW(opened, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(opened, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &got) == ERROR_SUCCESS &&
        type == REG_SZ) {
      text.resize(got / sizeof(wchar_t));
      // The terminating zero is not part of the value.
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      result = win32::Narrow(text);
    }
  }
  RegCloseKey(opened);
  return result;
}

}  // namespace navelo
