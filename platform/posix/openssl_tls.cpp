// TLS contexts and connections over OpenSSL 3.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

#include "platform/net_socket.h"
#include "platform/tls_engine.h"

namespace navelo {
namespace {

std::string TakeErrorQueue() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

TlsErrorKind KindOf(int ssl_error) {
  switch (ssl_error) {
    case SSL_ERROR_NONE: return kTlsOk;
    case SSL_ERROR_WANT_READ: return kTlsWantRead;
    case SSL_ERROR_WANT_WRITE: return kTlsWantWrite;
    case SSL_ERROR_SYSCALL: return kTlsSyscall;
    case SSL_ERROR_ZERO_RETURN: return kTlsClosed;
    default: return kTlsFailed;
  }
}

// The kind of a failed read. A peer that closes the socket without the closing alert, which
// many web servers do, is reported by OpenSSL 3 as a protocol error ("unexpected eof while
// reading"); it is the peer vanishing without closing the session, as the interface names it.
TlsErrorKind ReadFailureKind(int ssl_error) {
#ifdef SSL_R_UNEXPECTED_EOF_WHILE_READING
  if (ssl_error == SSL_ERROR_SSL &&
      ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
    ERR_clear_error();
    return kTlsSyscall;
  }
#endif
  return KindOf(ssl_error);
}

bool IsIpAddress(std::string_view name) {
  uint32_t address = 0;
  return DottedToAddress(std::string(name), address) && name.find(':') == std::string_view::npos &&
         name.find_first_not_of("0123456789.") == std::string_view::npos;
}

class OpenSslConnection final : public TlsConnection {
 public:
  OpenSslConnection(SSL* ssl, bool server) : ssl_(ssl), server_(server) {}
  ~OpenSslConnection() override { SSL_free(ssl_); }

  TlsErrorKind Handshake() override {
    ERR_clear_error();
    const int result = server_ ? SSL_accept(ssl_) : SSL_connect(ssl_);
    if (result > 0) return kTlsOk;
    const TlsErrorKind kind = KindOf(SSL_get_error(ssl_, result));
    if (kind != kTlsWantRead && kind != kTlsWantWrite) {
      failure_ = TakeErrorQueue();
      const long verify = SSL_get_verify_result(ssl_);
      if (verify != X509_V_OK) {
        failure_ = std::string("certificate: ") + X509_verify_cert_error_string(verify);
      }
      if (failure_.empty()) failure_ = "handshake failed";
    }
    return kind;
  }

  int Read(char* buffer, int size, TlsErrorKind& error) override {
    ERR_clear_error();
    const int n = SSL_read(ssl_, buffer, size);
    error = n > 0 ? kTlsOk : ReadFailureKind(SSL_get_error(ssl_, n));
    return n;
  }

  int Write(const char* bytes, int size, TlsErrorKind& error) override {
    ERR_clear_error();
    const int n = SSL_write(ssl_, bytes, size);
    error = n > 0 ? kTlsOk : KindOf(SSL_get_error(ssl_, n));
    return n;
  }

  bool Pending() override { return SSL_pending(ssl_) > 0; }

  void Shutdown() override {
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
  }

  std::string FailureText() override { return failure_; }

 private:
  SSL* ssl_;
  bool server_;
  std::string failure_;
};

class OpenSslContext final : public TlsContext {
 public:
  OpenSslContext(SSL_CTX* ctx, bool server, bool verify)
      : ctx_(ctx), server_(server), verify_(verify) {}
  ~OpenSslContext() override { SSL_CTX_free(ctx_); }

  std::unique_ptr<TlsConnection> Connect(int socket, std::string_view server_name) override {
    SSL* ssl = SSL_new(ctx_);
    if (ssl == nullptr) return nullptr;
    auto connection = std::make_unique<OpenSslConnection>(ssl, server_);
    if (SSL_set_fd(ssl, socket) != 1) return nullptr;
    if (!server_) {
      const std::string name(server_name);
      // The name goes out as the server name as the caller wrote it, address or not.
      if (!name.empty()) SSL_set_tlsext_host_name(ssl, name.c_str());
      if (verify_) {
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        const bool ok = IsIpAddress(name) ? X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str()) == 1
                                          : SSL_set1_host(ssl, name.c_str()) == 1;
        if (!ok) return nullptr;
      }
    }
    return connection;
  }

 private:
  SSL_CTX* ctx_;
  bool server_;
  bool verify_;
};

}  // namespace

std::unique_ptr<TlsContext> MakeTlsClientContext(const TlsClientOptions& options,
                                                 std::string& error) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) {
    error = TakeErrorQueue();
    return nullptr;
  }
  auto context = std::make_unique<OpenSslContext>(ctx, false, options.verify);
  if (options.verify) {
    // The system's store (SSL_CERT_FILE and SSL_CERT_DIR are honoured), plus the extra file.
    SSL_CTX_set_default_verify_paths(ctx);
    if (!options.ca_file.empty() &&
        SSL_CTX_load_verify_locations(ctx, options.ca_file.c_str(), nullptr) != 1) {
      error = "CA file " + options.ca_file + ": " + TakeErrorQueue();
      return nullptr;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  }
  // Partial writes let a non-blocking write report progress instead of retrying whole records.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  return context;
}

std::unique_ptr<TlsContext> MakeTlsServerContext(const std::string& certificate_file,
                                                 const std::string& key_file, std::string& error) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) {
    error = TakeErrorQueue();
    return nullptr;
  }
  auto context = std::make_unique<OpenSslContext>(ctx, true, false);
  if (SSL_CTX_use_certificate_chain_file(ctx, certificate_file.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    error = TakeErrorQueue();
    return nullptr;
  }
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  return context;
}

}  // namespace navelo
