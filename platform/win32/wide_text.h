// UTF-8 and the platform's UTF-16 text, for the wide calls of the win32 backends.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace navelo::win32 {

inline std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

inline std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// A HANDLE kept in the int of the platform interfaces: kernel handles fit in 32 bits, also in a
// 64-bit process.
inline int HandleToInt(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(handle));
}
inline HANDLE IntToHandle(int value) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
}

}  // namespace navelo::win32
