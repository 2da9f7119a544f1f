// TLS over OpenSSL's libraries loaded at run time (3.x, else 1.1), with the few entry points the
// engine uses declared here, so the program needs neither OpenSSL's headers nor its libraries to
// build, and runs without them.
#include <windows.h>

#include <wincrypt.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/win32/tls_win32.h"

namespace navelo {
namespace {

// Values from OpenSSL's headers, the same in 1.1 and 3.x.
constexpr int kSslErrorNone = 0;
constexpr int kSslErrorWantRead = 2;
constexpr int kSslErrorWantWrite = 3;
constexpr int kSslErrorSyscall = 5;
constexpr int kSslErrorZeroReturn = 6;
constexpr int kSslCtrlMode = 33;
constexpr int kSslCtrlSetTlsextHostname = 55;
constexpr long kTlsextNametypeHostName = 0;
constexpr long kSslModePartialWrite = 0x1;
constexpr long kSslModeMovingWriteBuffer = 0x2;
constexpr int kSslVerifyNone = 0;
constexpr int kSslVerifyPeer = 1;
constexpr int kSslFiletypePem = 1;
constexpr unsigned kX509CheckFlagNoPartialWildcards = 0x4;
constexpr long kX509VOk = 0;

// The entry points, all of the C calling convention the libraries are built with.
struct OpenSslApi {
  int (*OPENSSL_init_ssl)(uint64_t, const void*) = nullptr;
  const void* (*TLS_client_method)() = nullptr;
  const void* (*TLS_server_method)() = nullptr;
  void* (*SSL_CTX_new)(const void*) = nullptr;
  void (*SSL_CTX_free)(void*) = nullptr;
  long (*SSL_CTX_ctrl)(void*, int, long, void*) = nullptr;
  void (*SSL_CTX_set_verify)(void*, int, void*) = nullptr;
  int (*SSL_CTX_set_default_verify_paths)(void*) = nullptr;
  void* (*SSL_CTX_get_cert_store)(const void*) = nullptr;
  int (*SSL_CTX_use_certificate_chain_file)(void*, const char*) = nullptr;
  int (*SSL_CTX_use_PrivateKey_file)(void*, const char*, int) = nullptr;
  void* (*SSL_new)(void*) = nullptr;
  void (*SSL_free)(void*) = nullptr;
  int (*SSL_set_fd)(void*, int) = nullptr;
  long (*SSL_ctrl)(void*, int, long, void*) = nullptr;
  int (*SSL_set1_host)(void*, const char*) = nullptr;
  void* (*SSL_get0_param)(void*) = nullptr;
  int (*SSL_connect)(void*) = nullptr;
  int (*SSL_accept)(void*) = nullptr;
  int (*SSL_read)(void*, void*, int) = nullptr;
  int (*SSL_write)(void*, const void*, int) = nullptr;
  int (*SSL_get_error)(const void*, int) = nullptr;
  int (*SSL_pending)(const void*) = nullptr;
  int (*SSL_shutdown)(void*) = nullptr;
  long (*SSL_get_verify_result)(const void*) = nullptr;
  unsigned long (*ERR_get_error)() = nullptr;
  void (*ERR_clear_error)() = nullptr;
  void (*ERR_error_string_n)(unsigned long, char*, size_t) = nullptr;
  const char* (*X509_verify_cert_error_string)(long) = nullptr;
  void (*X509_VERIFY_PARAM_set_hostflags)(void*, unsigned) = nullptr;
  int (*X509_VERIFY_PARAM_set1_ip_asc)(void*, const char*) = nullptr;
  void* (*d2i_X509)(void**, const unsigned char**, long) = nullptr;
  int (*X509_STORE_add_cert)(void*, void*) = nullptr;
  void (*X509_free)(void*) = nullptr;
  const char* (*OpenSSL_version)(int) = nullptr;
};

struct Loaded {
  std::mutex lock;
  bool ready = false;
  HMODULE ssl = nullptr;
  HMODULE crypto = nullptr;
  std::string name;
  OpenSslApi api;
};

Loaded& State() {
  static Loaded loaded;
  return loaded;
}

const OpenSslApi& Api() { return State().api; }

template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

bool FindAll(HMODULE ssl, HMODULE crypto, OpenSslApi& a) {
  bool ok = true;
  ok &= Find(ssl, "OPENSSL_init_ssl", a.OPENSSL_init_ssl);
  ok &= Find(ssl, "TLS_client_method", a.TLS_client_method);
  ok &= Find(ssl, "TLS_server_method", a.TLS_server_method);
  ok &= Find(ssl, "SSL_CTX_new", a.SSL_CTX_new);
  ok &= Find(ssl, "SSL_CTX_free", a.SSL_CTX_free);
  ok &= Find(ssl, "SSL_CTX_ctrl", a.SSL_CTX_ctrl);
  ok &= Find(ssl, "SSL_CTX_set_verify", a.SSL_CTX_set_verify);
  ok &= Find(ssl, "SSL_CTX_set_default_verify_paths", a.SSL_CTX_set_default_verify_paths);
  ok &= Find(ssl, "SSL_CTX_get_cert_store", a.SSL_CTX_get_cert_store);
  ok &= Find(ssl, "SSL_CTX_use_certificate_chain_file", a.SSL_CTX_use_certificate_chain_file);
  ok &= Find(ssl, "SSL_CTX_use_PrivateKey_file", a.SSL_CTX_use_PrivateKey_file);
  ok &= Find(ssl, "SSL_new", a.SSL_new);
  ok &= Find(ssl, "SSL_free", a.SSL_free);
  ok &= Find(ssl, "SSL_set_fd", a.SSL_set_fd);
  ok &= Find(ssl, "SSL_ctrl", a.SSL_ctrl);
  ok &= Find(ssl, "SSL_set1_host", a.SSL_set1_host);
  ok &= Find(ssl, "SSL_get0_param", a.SSL_get0_param);
  ok &= Find(ssl, "SSL_connect", a.SSL_connect);
  ok &= Find(ssl, "SSL_accept", a.SSL_accept);
  ok &= Find(ssl, "SSL_read", a.SSL_read);
  ok &= Find(ssl, "SSL_write", a.SSL_write);
  ok &= Find(ssl, "SSL_get_error", a.SSL_get_error);
  ok &= Find(ssl, "SSL_pending", a.SSL_pending);
  ok &= Find(ssl, "SSL_shutdown", a.SSL_shutdown);
  ok &= Find(ssl, "SSL_get_verify_result", a.SSL_get_verify_result);
  ok &= Find(crypto, "ERR_get_error", a.ERR_get_error);
  ok &= Find(crypto, "ERR_clear_error", a.ERR_clear_error);
  ok &= Find(crypto, "ERR_error_string_n", a.ERR_error_string_n);
  ok &= Find(crypto, "X509_verify_cert_error_string", a.X509_verify_cert_error_string);
  ok &= Find(crypto, "X509_VERIFY_PARAM_set_hostflags", a.X509_VERIFY_PARAM_set_hostflags);
  ok &= Find(crypto, "X509_VERIFY_PARAM_set1_ip_asc", a.X509_VERIFY_PARAM_set1_ip_asc);
  ok &= Find(crypto, "d2i_X509", a.d2i_X509);
  ok &= Find(crypto, "X509_STORE_add_cert", a.X509_STORE_add_cert);
  ok &= Find(crypto, "X509_free", a.X509_free);
  ok &= Find(crypto, "OpenSSL_version", a.OpenSSL_version);
  return ok;
}

// The pairs of file names, newest first; 64-bit builds of OpenSSL carry a "-x64" suffix.
struct LibraryNames {
  const char* ssl;
  const char* crypto;
};
#ifdef _WIN64
constexpr LibraryNames kLibraryNames[] = {
    {"libssl-3-x64.dll", "libcrypto-3-x64.dll"},
    {"libssl-1_1-x64.dll", "libcrypto-1_1-x64.dll"},
    {"libssl-3.dll", "libcrypto-3.dll"},
};
#else
constexpr LibraryNames kLibraryNames[] = {
    {"libssl-3.dll", "libcrypto-3.dll"},
    {"libssl-1_1.dll", "libcrypto-1_1.dll"},
};
#endif

std::string TakeErrorQueue() {
  std::string text;
  while (const unsigned long code = Api().ERR_get_error()) {
    char buffer[256];
    Api().ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

TlsErrorKind KindOf(int ssl_error) {
  switch (ssl_error) {
    case kSslErrorNone: return kTlsOk;
    case kSslErrorWantRead: return kTlsWantRead;
    case kSslErrorWantWrite: return kTlsWantWrite;
    case kSslErrorSyscall: return kTlsSyscall;
    case kSslErrorZeroReturn: return kTlsClosed;
    default: return kTlsFailed;
  }
}

class DllConnection final : public TlsConnection {
 public:
  DllConnection(void* ssl, bool server) : ssl_(ssl), server_(server) {}
  ~DllConnection() override { Api().SSL_free(ssl_); }

  TlsErrorKind Handshake() override {
    Api().ERR_clear_error();
    const int result = server_ ? Api().SSL_accept(ssl_) : Api().SSL_connect(ssl_);
    if (result > 0) return kTlsOk;
    const TlsErrorKind kind = KindOf(Api().SSL_get_error(ssl_, result));
    if (kind != kTlsWantRead && kind != kTlsWantWrite) {
      failure_ = TakeErrorQueue();
      const long verify = Api().SSL_get_verify_result(ssl_);
      if (verify != kX509VOk) {
        failure_ = std::string("certificate: ") + Api().X509_verify_cert_error_string(verify);
      }
      if (failure_.empty()) failure_ = "handshake failed";
    }
    return kind;
  }

  static constexpr unsigned long kUnexpectedEofWhileReading = 294;

  int Read(char* buffer, int size, TlsErrorKind& error) override {
    Api().ERR_clear_error();
    const int n = Api().SSL_read(ssl_, buffer, size);
    error = n > 0 ? kTlsOk : KindOf(Api().SSL_get_error(ssl_, n));
    // A peer that closes the socket without the closing alert: OpenSSL 1.1 reports a failed
    // socket with nothing read, 3.x a protocol error whose reason is "unexpected eof while
    // reading" (294 in the low bits of the code). Both are the peer vanishing without closing
    // the session, as the interface names it.
    if (error == kTlsFailed) {
      const unsigned long code = Api().ERR_get_error();
      if ((code & 0x7FFFFFUL) == kUnexpectedEofWhileReading) error = kTlsSyscall;
    }
    return n;
  }

  int Write(const char* bytes, int size, TlsErrorKind& error) override {
    Api().ERR_clear_error();
    const int n = Api().SSL_write(ssl_, bytes, size);
    error = n > 0 ? kTlsOk : KindOf(Api().SSL_get_error(ssl_, n));
    return n;
  }

  bool Pending() override { return Api().SSL_pending(ssl_) > 0; }

  void Shutdown() override {
    Api().ERR_clear_error();
    Api().SSL_shutdown(ssl_);
    Api().ERR_clear_error();
  }

  std::string FailureText() override { return failure_; }

 private:
  void* ssl_;
  bool server_;
  std::string failure_;
};

class DllContext final : public TlsContext {
 public:
  DllContext(void* ctx, bool server, bool verify) : ctx_(ctx), server_(server), verify_(verify) {}
  ~DllContext() override { Api().SSL_CTX_free(ctx_); }

  std::unique_ptr<TlsConnection> Connect(int socket, std::string_view server_name) override {
    void* ssl = Api().SSL_new(ctx_);
    if (ssl == nullptr) return nullptr;
    auto connection = std::make_unique<DllConnection>(ssl, server_);
    if (Api().SSL_set_fd(ssl, socket) != 1) return nullptr;
    if (!server_) {
      std::string name(server_name);
      // The name goes out as the server name as the caller wrote it, address or not.
      if (!name.empty()) {
        Api().SSL_ctrl(ssl, kSslCtrlSetTlsextHostname, kTlsextNametypeHostName, name.data());
      }
      if (verify_) {
        void* param = Api().SSL_get0_param(ssl);
        Api().X509_VERIFY_PARAM_set_hostflags(param, kX509CheckFlagNoPartialWildcards);
        const bool ok = IsDottedAddress(name)
                            ? Api().X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str()) == 1
                            : Api().SSL_set1_host(ssl, name.c_str()) == 1;
        if (!ok) return nullptr;
      }
    }
    return connection;
  }

 private:
  void* ctx_;
  bool server_;
  bool verify_;
};

// Adds DER certificates to the context's store; false when one cannot be parsed.
bool AddToStore(void* store, const std::string& der) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  void* certificate = Api().d2i_X509(nullptr, &bytes, static_cast<long>(der.size()));
  if (certificate == nullptr) return false;
  // A certificate already in the store is no error for the caller.
  Api().X509_STORE_add_cert(store, certificate);
  Api().X509_free(certificate);
  return true;
}

// OpenSSL's own default locations mean nothing on Windows; the system's trusted authorities are
// those of the "ROOT" store, copied into the context.
void AddSystemRoots(void* store) {
  HCERTSTORE system = CertOpenSystemStoreA(0, "ROOT");
  if (system == nullptr) return;
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(system, certificate)) != nullptr) {
    AddToStore(store, std::string(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                                  certificate->cbCertEncoded));
  }
  CertCloseStore(system, 0);
  Api().ERR_clear_error();
}

}  // namespace

bool OpenSslDllLoad() {
  Loaded& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.ready) return true;
  // The libraries are looked for again on the next use when they are missing now.
  for (const LibraryNames& names : kLibraryNames) {
    HMODULE crypto = LoadLibraryA(names.crypto);
    HMODULE ssl = crypto != nullptr ? LoadLibraryA(names.ssl) : nullptr;
    OpenSslApi api;
    if (ssl != nullptr && FindAll(ssl, crypto, api)) {
      state.ssl = ssl;
      state.crypto = crypto;
      state.api = api;
      state.api.OPENSSL_init_ssl(0, nullptr);
      state.name = names.ssl;
      state.ready = true;
      return true;
    }
    if (ssl != nullptr) FreeLibrary(ssl);
    if (crypto != nullptr) FreeLibrary(crypto);
  }
  return false;
}

std::string OpenSslDllName() {
  if (!OpenSslDllLoad()) return "OpenSSL (not loaded)";
  return Api().OpenSSL_version(0) + (" (" + State().name + ")");
}

std::unique_ptr<TlsContext> MakeOpenSslDllClientContext(const TlsClientOptions& options,
                                                        std::string& error) {
  if (!OpenSslDllLoad()) {
    error = "OpenSSL's libraries could not be loaded";
    return nullptr;
  }
  std::vector<std::string> extra;
  if (options.verify && !options.ca_file.empty() &&
      !ReadPemCertificates(options.ca_file, extra, error)) {
    return nullptr;
  }
  Api().ERR_clear_error();
  void* ctx = Api().SSL_CTX_new(Api().TLS_client_method());
  if (ctx == nullptr) {
    error = TakeErrorQueue();
    return nullptr;
  }
  auto context = std::make_unique<DllContext>(ctx, false, options.verify);
  if (options.verify) {
    // SSL_CERT_FILE and SSL_CERT_DIR are honoured as on other systems, beside the system store.
    Api().SSL_CTX_set_default_verify_paths(ctx);
    Api().ERR_clear_error();
    void* store = Api().SSL_CTX_get_cert_store(ctx);
    AddSystemRoots(store);
    for (const std::string& der : extra) {
      if (!AddToStore(store, der)) {
        error = "CA file " + options.ca_file + ": " + TakeErrorQueue();
        return nullptr;
      }
    }
    Api().SSL_CTX_set_verify(ctx, kSslVerifyPeer, nullptr);
  } else {
    Api().SSL_CTX_set_verify(ctx, kSslVerifyNone, nullptr);
  }
  // Partial writes let a non-blocking write report progress instead of retrying whole records.
  Api().SSL_CTX_ctrl(ctx, kSslCtrlMode, kSslModePartialWrite | kSslModeMovingWriteBuffer, nullptr);
  return context;
}

std::unique_ptr<TlsContext> MakeOpenSslDllServerContext(const std::string& certificate_file,
                                                        const std::string& key_file,
                                                        std::string& error) {
  if (!OpenSslDllLoad()) {
    error = "OpenSSL's libraries could not be loaded";
    return nullptr;
  }
  Api().ERR_clear_error();
  void* ctx = Api().SSL_CTX_new(Api().TLS_server_method());
  if (ctx == nullptr) {
    error = TakeErrorQueue();
    return nullptr;
  }
  auto context = std::make_unique<DllContext>(ctx, true, false);
  if (Api().SSL_CTX_use_certificate_chain_file(ctx, certificate_file.c_str()) != 1 ||
      Api().SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), kSslFiletypePem) != 1) {
    error = TakeErrorQueue();
    return nullptr;
  }
  Api().SSL_CTX_ctrl(ctx, kSslCtrlMode, kSslModePartialWrite | kSslModeMovingWriteBuffer, nullptr);
  return context;
}

}  // namespace navelo
