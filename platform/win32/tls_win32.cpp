// TLS on Windows: picks the engine for each new context (OpenSSL's libraries when present, else
// Schannel) and holds what both engines share.
#include "platform/win32/tls_win32.h"

#include <windows.h>

#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace navelo {
namespace {

std::atomic<TlsEngineChoice> g_choice{TlsEngineChoice::kAutomatic};

bool UseOpenSsl() {
  switch (g_choice.load()) {
    case TlsEngineChoice::kOpenSsl: return true;
    case TlsEngineChoice::kSchannel: return false;
    default: return OpenSslDllLoad();
  }
}

}  // namespace

void ChooseTlsEngine(TlsEngineChoice choice) { g_choice = choice; }

std::string TlsEngineName() { return UseOpenSsl() ? OpenSslDllName() : "Schannel"; }

bool IsDottedAddress(std::string_view name) {
  int parts = 0;
  size_t i = 0;
  while (i < name.size()) {
    size_t digits = 0;
    int value = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && digits < 4) {
      value = value * 10 + (name[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ++parts;
    if (i == name.size()) break;
    if (name[i] != '.' || parts == 4) return false;
    ++i;
    if (i == name.size()) return false;
  }
  return parts == 4;
}

bool ReadPemCertificates(const std::string& path, std::vector<std::string>& certificates,
                         std::string& error) {
  certificates.clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "CA file " + path + ": cannot be opened";
    return false;
  }
  std::string text;
  char chunk[4096];
  size_t n = 0;
  // A file of trusted authorities is small; a huge one is refused rather than read whole.
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() < (16u << 20)) {
    text.append(chunk, n);
  }
  std::fclose(file);
  static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  size_t at = 0;
  while ((at = text.find(kBegin, at)) != std::string::npos) {
    const size_t end = text.find(kEnd, at);
    if (end == std::string::npos) break;
    const char* base64 = text.data() + at + kBegin.size();
    const DWORD length = static_cast<DWORD>(end - at - kBegin.size());
    DWORD size = 0;
    if (CryptStringToBinaryA(base64, length, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                             nullptr) &&
        size > 0) {
      std::string der(size, '\0');
      if (CryptStringToBinaryA(base64, length, CRYPT_STRING_BASE64,
                               reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr)) {
        der.resize(size);
        certificates.push_back(std::move(der));
      }
    }
    at = end + kEnd.size();
  }
  if (certificates.empty()) {
    error = "CA file " + path + ": no certificate found";
    return false;
  }
  return true;
}

std::unique_ptr<TlsContext> MakeTlsClientContext(const TlsClientOptions& options,
                                                 std::string& error) {
  if (UseOpenSsl()) return MakeOpenSslDllClientContext(options, error);
  return MakeSchannelClientContext(options, error);
}

std::unique_ptr<TlsContext> MakeTlsServerContext(const std::string& certificate_file,
                                                 const std::string& key_file, std::string& error) {
  if (UseOpenSsl()) return MakeOpenSslDllServerContext(certificate_file, key_file, error);
  // Schannel would need the key in the system's key store; the local test servers are served by
  // the OpenSSL engine only.
  error = "the Schannel engine makes no server contexts (OpenSSL's libraries are not loaded)";
  return nullptr;
}

}  // namespace navelo
