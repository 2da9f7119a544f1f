// TLS over a connected socket, as a small interface over the platform's TLS library: a context
// (client or server) and the connections made from it. The handshake, reads and writes never
// block; they report what they wait for with the error kinds below, so that the caller waits in
// steps that keep the window alive.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace navelo {

// What a TLS call reports, numbered as the TLS library numbers them.
enum TlsErrorKind {
  kTlsOk = 0,
  kTlsFailed = 1,     // a protocol or certificate error
  kTlsWantRead = 2,   // the call needs more bytes from the peer
  kTlsWantWrite = 3,  // the call needs the socket to take more bytes
  kTlsSyscall = 5,    // the socket failed, or the peer vanished without closing the session
  kTlsClosed = 6,     // the peer closed the session
};

struct TlsClientOptions {
  // When set, the peer's certificate chain must lead to a trusted authority and name the host.
  bool verify = true;
  // An extra file of trusted authorities (PEM), beside the system's store; empty for none.
  std::string ca_file;
};

class TlsConnection {
 public:
  virtual ~TlsConnection() = default;
  // Runs the handshake on as far as the socket allows; kTlsOk when it is complete.
  virtual TlsErrorKind Handshake() = 0;
  // Bytes read or written (above 0), else 0 or less with the reason in error.
  virtual int Read(char* buffer, int size, TlsErrorKind& error) = 0;
  virtual int Write(const char* bytes, int size, TlsErrorKind& error) = 0;
  // True when decrypted bytes are waiting to be read.
  virtual bool Pending() = 0;
  // Sends the closing alert without waiting for the peer's.
  virtual void Shutdown() = 0;
  // Why the last handshake failed, in the library's words; empty when it did not.
  virtual std::string FailureText() = 0;
};

class TlsContext {
 public:
  virtual ~TlsContext() = default;
  // A connection on a connected socket. A client sends server_name as its server name and, when
  // verifying, checks the certificate against it (a dotted address is checked as an address).
  virtual std::unique_ptr<TlsConnection> Connect(int socket, std::string_view server_name) = 0;
};

// A client context; nullptr when the library cannot make one (error tells why).
std::unique_ptr<TlsContext> MakeTlsClientContext(const TlsClientOptions& options,
                                                 std::string& error);
// A server context with a certificate chain and key (PEM files), for local test servers.
std::unique_ptr<TlsContext> MakeTlsServerContext(const std::string& certificate_file,
                                                 const std::string& key_file, std::string& error);

}  // namespace navelo
