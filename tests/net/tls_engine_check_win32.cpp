// The TLS engine check on Windows: OpenSSL's libraries when they load, else Schannel.
#include "platform/win32/tls_win32.h"
#include "tests/net/tls_engine_check.h"

namespace navelo {
namespace {
bool g_schannel = false;
}  // namespace

bool PickTlsEngine(const std::string& wanted, std::string& name) {
  if (wanted == "openssl") {
    if (!OpenSslDllLoad()) {
      name = "no OpenSSL libraries with every function the engine needs were found";
      return false;
    }
    ChooseTlsEngine(TlsEngineChoice::kOpenSsl);
  } else if (wanted == "schannel") {
    ChooseTlsEngine(TlsEngineChoice::kSchannel);
  } else if (wanted == "auto") {
    ChooseTlsEngine(TlsEngineChoice::kAutomatic);
  } else {
    name = "unknown engine";
    return false;
  }
  name = TlsEngineName();
  // Schannel takes its server keys from the system's key store, not from PEM files; the check's
  // local server is then left out and says so.
  g_schannel = name == "Schannel";
  return true;
}

bool ServerContextMayBeMissing() { return g_schannel; }

}  // namespace navelo
