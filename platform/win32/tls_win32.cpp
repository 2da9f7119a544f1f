// TLS on Windows: not available in this build yet.
#include "platform/tls_engine.h"

namespace navelo {

std::unique_ptr<TlsContext> MakeTlsClientContext(const TlsClientOptions&, std::string& error) {
  error = "TLS indisponível";
  return nullptr;
}

std::unique_ptr<TlsContext> MakeTlsServerContext(const std::string&, const std::string&,
                                                 std::string& error) {
  error = "TLS indisponível";
  return nullptr;
}

}  // namespace navelo
