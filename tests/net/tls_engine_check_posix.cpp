// The TLS engine check on Linux: OpenSSL is the one engine.
#include "tests/net/tls_engine_check.h"

namespace navelo {

bool PickTlsEngine(const std::string& wanted, std::string& name) {
  if (wanted != "auto" && wanted != "openssl") {
    name = "Linux has OpenSSL only";
    return false;
  }
  name = "OpenSSL (linked)";
  return true;
}

bool ServerContextMayBeMissing() { return false; }

}  // namespace navelo
