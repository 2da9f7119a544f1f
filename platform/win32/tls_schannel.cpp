// TLS over the system's Schannel (SSPI), client side only, on a non-blocking socket. Schannel is
// asked to leave the server's certificate to us; it is checked with the system's chain engine
// against the system store plus the extra trusted authorities of the options.
#define SECURITY_WIN32
#include <winsock2.h>

#include <windows.h>

#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/tls_win32.h"

namespace navelo {
namespace {

// The checks the SSL policy may skip, as the Internet headers number them.
constexpr DWORD kIgnoreRevocation = 0x00000080;
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
constexpr DWORD kIgnoreNameMismatch = 0x00001000;

std::string Hex(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

std::string StatusText(const char* what, SECURITY_STATUS status) {
  const char* meaning = nullptr;
  switch (static_cast<unsigned long>(status)) {
    case static_cast<unsigned long>(SEC_E_ILLEGAL_MESSAGE): meaning = "illegal message"; break;
    case static_cast<unsigned long>(SEC_E_ALGORITHM_MISMATCH):
      meaning = "no protocol or cipher in common";
      break;
    case static_cast<unsigned long>(SEC_E_DECRYPT_FAILURE): meaning = "decryption failed"; break;
    case static_cast<unsigned long>(SEC_E_MESSAGE_ALTERED): meaning = "message altered"; break;
    case static_cast<unsigned long>(SEC_E_INTERNAL_ERROR): meaning = "internal error"; break;
    case static_cast<unsigned long>(SEC_E_INVALID_TOKEN): meaning = "invalid token"; break;
    default: break;
  }
  std::string text = std::string(what) + " failed (" + Hex(static_cast<unsigned long>(status));
  if (meaning != nullptr) text += std::string(", ") + meaning;
  return text + ")";
}

// The words of a refusal; they all begin with "certificate: ", which callers look for.
std::string RefusalText(DWORD error, std::string_view name) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING): return "certificate: no trusted authority issued it";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "certificate: it does not name " + std::string(name);
    case static_cast<DWORD>(CERT_E_EXPIRED): return "certificate: expired or not yet valid";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE): return "certificate: not meant for a server";
    case static_cast<DWORD>(CERT_E_REVOKED): return "certificate: revoked";
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
      return "certificate: a signature in the chain is wrong";
    default: return "certificate: refused (" + Hex(error) + ")";
  }
}

std::wstring Widen(std::string_view text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

bool HoldsAddress(PCCERT_CONTEXT certificate, std::string_view dotted) {
  BYTE wanted[4] = {};
  int part = 0;
  int value = 0;
  for (const char c : dotted) {
    if (c == '.') {
      wanted[part++] = static_cast<BYTE>(value);
      value = 0;
    } else {
      value = value * 10 + (c - '0');
    }
  }
  wanted[part] = static_cast<BYTE>(value);
  PCERT_EXTENSION extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                        certificate->pCertInfo->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == 4 &&
            std::memcmp(entry.IPAddress.pbData, wanted, 4) == 0;
  }
  LocalFree(names);
  return found;
}

// Checks the server's certificate (with the chain it sent in its store) for the name; empty when
// it is accepted, else why not.
std::string CheckCertificate(PCCERT_CONTEXT certificate, std::string_view name,
                             HCERTSTORE extra_roots) {
  HCERTSTORE pool = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (pool == nullptr) return "certificate: no store to check it (" + Hex(GetLastError()) + ")";
  if (certificate->hCertStore != nullptr) {
    CertAddStoreToCollection(pool, certificate->hCertStore, 0, 0);
  }
  if (extra_roots != nullptr) CertAddStoreToCollection(pool, extra_roots, 0, 0);

  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {server_auth};
  CERT_CHAIN_PARA chain_para{};
  chain_para.cbSize = sizeof chain_para;
  chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
  chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, pool, &chain_para, 0, nullptr,
                               &chain)) {
    const DWORD error = GetLastError();
    CertCloseStore(pool, 0);
    return "certificate: no chain could be built (" + Hex(error) + ")";
  }

  // An authority of the extra file is trusted like one of the system's: when the chain ends at an
  // untrusted root that the file holds, that root is accepted and nothing else is forgiven.
  DWORD status = chain->TrustStatus.dwErrorStatus;
  bool root_from_file = false;
  if ((status & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0 && extra_roots != nullptr && chain->cChain > 0 &&
      chain->rgpChain[0]->cElement > 0) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    PCCERT_CONTEXT held = CertFindCertificateInStore(extra_roots, X509_ASN_ENCODING, 0,
                                                     CERT_FIND_EXISTING, root, nullptr);
    if (held != nullptr) {
      root_from_file = true;
      CertFreeCertificateContext(held);
    }
  }
  if (root_from_file) status &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
  // Revocation is not checked (as with OpenSSL's defaults), so its unknown state is no fault.
  status &=
      ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  std::string refusal;
  if ((status & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0 || (status & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) {
    refusal = RefusalText(static_cast<DWORD>(CERT_E_UNTRUSTEDROOT), name);
  } else if ((status & (CERT_TRUST_IS_NOT_TIME_VALID)) != 0) {
    refusal = RefusalText(static_cast<DWORD>(CERT_E_EXPIRED), name);
  } else if ((status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) != 0) {
    refusal = RefusalText(static_cast<DWORD>(TRUST_E_CERT_SIGNATURE), name);
  } else if (status != 0) {
    refusal = "certificate: chain refused (trust status " + Hex(status) + ")";
  }

  if (refusal.empty()) {
    // The system's SSL policy checks the rest, and the name; an address is matched against the
    // certificate's addresses here, since the policy knows only names.
    const bool address = IsDottedAddress(name);
    std::wstring wide_name = Widen(name);
    HTTPSPolicyCallbackData https{};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.fdwChecks = (root_from_file ? kIgnoreUnknownCa : 0) |
                      (address ? kIgnoreNameMismatch : 0) | kIgnoreRevocation;
    https.pwszServerName = address ? nullptr : wide_name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = root_from_file ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
    policy.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
      refusal = "certificate: the policy check failed (" + Hex(GetLastError()) + ")";
    } else if (result.dwError != 0) {
      refusal = RefusalText(result.dwError, name);
    } else if (address && !HoldsAddress(certificate, name)) {
      refusal = RefusalText(static_cast<DWORD>(CERT_E_CN_NO_MATCH), name);
    }
  }
  CertFreeCertificateChain(chain);
  CertCloseStore(pool, 0);
  return refusal;
}

// Every TLS record opens with its type (20 to 23) and the protocol's major version 3. Wine's
// Schannel waits for more of anything else, so a peer that answers in plain text would stall the
// session until the caller's time limit.
bool StartsLikeRecord(const std::string& bytes) {
  if (bytes.empty()) return true;
  const auto type = static_cast<unsigned char>(bytes[0]);
  return type >= 20 && type <= 23 && (bytes.size() < 2 || bytes[1] == 3);
}

class SchannelConnection final : public TlsConnection {
 public:
  SchannelConnection(CredHandle* credentials, SOCKET socket, std::string_view server_name,
                     bool verify, HCERTSTORE extra_roots)
      : credentials_(credentials),
        socket_(socket),
        server_name_(server_name),
        verify_(verify),
        extra_roots_(extra_roots) {
    SecInvalidateHandle(&context_);
  }

  ~SchannelConnection() override {
    if (has_context_) DeleteSecurityContext(&context_);
  }

  TlsErrorKind Handshake() override {
    if (failed_) return kTlsFailed;
    for (;;) {
      if (!outgoing_.empty()) {
        const TlsErrorKind sent = Flush();
        if (sent != kTlsOk) return Fail(sent, "sending the handshake");
      }
      if (state_ == State::kOpen) return kTlsOk;
      if (state_ == State::kChecking) {
        const std::string refusal = verify_ ? CheckPeer() : std::string();
        if (!refusal.empty()) return Fail(kTlsFailed, refusal);
        if (QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK) {
          return Fail(kTlsFailed, "no record sizes after the handshake");
        }
        state_ = State::kOpen;
        return kTlsOk;
      }
      if (state_ == State::kStart || !incoming_.empty()) {
        const TlsErrorKind step = Step();
        if (step != kTlsWantRead) {
          if (step != kTlsOk) return step;
          continue;
        }
      }
      const TlsErrorKind got = Receive();
      if (got == kTlsClosed) {
        return Fail(kTlsSyscall, "the peer closed the connection during the handshake");
      }
      if (got != kTlsOk) return Fail(got, "receiving the handshake");
    }
  }

  int Read(char* buffer, int size, TlsErrorKind& error) override {
    if (state_ != State::kOpen) {
      error = kTlsFailed;
      return -1;
    }
    if (!outgoing_.empty()) Flush();  // an answer to the peer's post-handshake messages
    for (;;) {
      if (!plain_.empty()) {
        const int n = static_cast<int>(std::min<size_t>(plain_.size(), static_cast<size_t>(size)));
        std::memcpy(buffer, plain_.data(), static_cast<size_t>(n));
        plain_.erase(0, static_cast<size_t>(n));
        error = kTlsOk;
        return n;
      }
      if (closed_) {
        error = kTlsClosed;
        return 0;
      }
      if (!incoming_.empty()) {
        const TlsErrorKind step = Decrypt();
        if (step == kTlsOk) continue;
        if (step != kTlsWantRead) {
          error = step;
          return step == kTlsClosed ? 0 : -1;
        }
      }
      error = Receive();
      if (error == kTlsOk) continue;
      if (error == kTlsClosed) {
        // A peer that closes the socket without the closing alert, as many web servers do: the
        // peer vanishing without closing the session, as the interface names it.
        failure_ = "unexpected end of the connection";
        error = kTlsSyscall;
        return 0;
      }
      return -1;
    }
  }

  int Write(const char* bytes, int size, TlsErrorKind& error) override {
    if (state_ != State::kOpen || size <= 0) {
      error = state_ != State::kOpen ? kTlsFailed : kTlsOk;
      return state_ != State::kOpen ? -1 : 0;
    }
    if (!outgoing_.empty()) {
      error = Flush();
      if (error != kTlsOk) return -1;
      if (sent_plain_ > 0) {
        // The record that held these bytes has now gone out; the caller offers them again.
        const int n = std::min(sent_plain_, size);
        sent_plain_ = 0;
        return n;
      }
    }
    const int n = std::min(size, static_cast<int>(sizes_.cbMaximumMessage));
    std::string record(sizes_.cbHeader + static_cast<size_t>(n) + sizes_.cbTrailer, '\0');
    std::memcpy(record.data() + sizes_.cbHeader, bytes, static_cast<size_t>(n));
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
        {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(&context_, 0, &description, 0);
    if (status != SEC_E_OK) {
      failure_ = StatusText("EncryptMessage", status);
      error = kTlsFailed;
      return -1;
    }
    outgoing_.append(record.data(),
                     buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    error = Flush();
    if (error == kTlsOk) return n;
    if (error == kTlsWantWrite) sent_plain_ = n;
    return -1;
  }

  bool Pending() override {
    if (!plain_.empty()) return true;
    if (state_ != State::kOpen || closed_ || incoming_.empty()) return false;
    // Whole records may already be here while the socket has nothing more to say.
    while (plain_.empty() && !incoming_.empty() && !closed_) {
      if (Decrypt() != kTlsOk) break;
    }
    return !plain_.empty();
  }

  void Shutdown() override {
    if (!has_context_ || state_ != State::kOpen) return;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc description{SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(&context_, &description) != SEC_E_OK) return;
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc out_description{SECBUFFER_VERSION, 1, &out};
    unsigned long attributes = 0;
    const SECURITY_STATUS status =
        InitializeSecurityContextA(credentials_, &context_, nullptr, kRequest, 0, 0, nullptr, 0,
                                   nullptr, &out_description, &attributes, nullptr);
    if (out.pvBuffer != nullptr) {
      if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) {
        outgoing_.append(static_cast<const char*>(out.pvBuffer), out.cbBuffer);
      }
      FreeContextBuffer(out.pvBuffer);
    }
    Flush();  // without waiting for the socket or the peer's answer
    state_ = State::kShut;
  }

  std::string FailureText() override { return failure_; }

 private:
  enum class State { kStart, kHandshaking, kChecking, kOpen, kShut };

  static constexpr unsigned long kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                            ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                            ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                            ISC_REQ_MANUAL_CRED_VALIDATION;

  TlsErrorKind Fail(TlsErrorKind kind, const std::string& text) {
    if (kind == kTlsWantRead || kind == kTlsWantWrite) return kind;
    if (failure_.empty()) failure_ = text;
    failed_ = true;
    return kind;
  }

  // One call of the handshake on the bytes received so far: kTlsOk when it moved on, kTlsWantRead
  // when it needs more of the peer's bytes.
  TlsErrorKind Step() {
    if (state_ != State::kStart && !StartsLikeRecord(incoming_)) {
      return Fail(kTlsFailed, "the peer does not speak TLS (wrong version number)");
    }
    SecBuffer in[2] = {
        {static_cast<unsigned long>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc in_description{SECBUFFER_VERSION, 2, in};
    SecBuffer out[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
    SecBufferDesc out_description{SECBUFFER_VERSION, 2, out};
    unsigned long attributes = 0;
    SECURITY_STATUS status;
    if (state_ == State::kStart) {
      status = InitializeSecurityContextA(
          credentials_, nullptr, server_name_.empty() ? nullptr : server_name_.data(), kRequest, 0,
          0, nullptr, 0, &context_, &out_description, &attributes, nullptr);
      if (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK) has_context_ = true;
      state_ = State::kHandshaking;
    } else {
      status = InitializeSecurityContextA(
          credentials_, &context_, server_name_.empty() ? nullptr : server_name_.data(), kRequest,
          0, 0, &in_description, 0, nullptr, &out_description, &attributes, nullptr);
    }
    for (SecBuffer& buffer : out) {
      if (buffer.pvBuffer == nullptr) continue;
      if (buffer.BufferType == SECBUFFER_TOKEN && buffer.cbBuffer > 0) {
        outgoing_.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      }
      FreeContextBuffer(buffer.pvBuffer);
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) return kTlsWantRead;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
      // The server asked for a client certificate; the handshake goes on without one.
      return kTlsOk;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
      if (!outgoing_.empty()) Flush();  // the alert that tells the peer why
      return Fail(kTlsFailed, StatusText("the handshake", status));
    }
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0) {
      incoming_.erase(0, incoming_.size() - in[1].cbBuffer);
    } else {
      incoming_.clear();
    }
    if (status == SEC_E_OK) state_ = State::kChecking;
    // Without bytes left over, the next step needs more from the peer (unless there is output).
    if (status == SEC_I_CONTINUE_NEEDED && incoming_.empty() && outgoing_.empty()) {
      return kTlsWantRead;
    }
    return kTlsOk;
  }

  std::string CheckPeer() {
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
            SEC_E_OK ||
        certificate == nullptr) {
      return "certificate: the server sent none";
    }
    std::string refusal = CheckCertificate(certificate, server_name_, extra_roots_);
    CertFreeCertificateContext(certificate);
    return refusal;
  }

  // Decrypts the first whole record of the bytes received: kTlsOk when one was, kTlsWantRead when
  // the record is not complete yet, kTlsClosed when it was the peer's closing alert.
  TlsErrorKind Decrypt() {
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    if (!StartsLikeRecord(incoming_)) {
      failure_ = "the peer sent bytes that are no TLS record";
      return kTlsFailed;
    }
    // TLS 1.2 shows a record's type in its clear header: 21 is an alert.
    const bool alert = static_cast<unsigned char>(incoming_[0]) == 21;
    const size_t plain_before = plain_.size();
    const SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return kTlsWantRead;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
      failure_ = StatusText("DecryptMessage", status);
      return kTlsFailed;
    }
    std::string extra;
    for (const SecBuffer& buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer != nullptr) {
        plain_.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      } else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.pvBuffer != nullptr) {
        extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      }
    }
    incoming_ = std::move(extra);
    // Windows reports the peer's closing alert as the end of the context; Wine's Schannel
    // decrypts it as a record without data, which only the record's type tells apart.
    if (status == SEC_I_CONTEXT_EXPIRED ||
        (status == SEC_E_OK && alert && plain_.size() == plain_before)) {
      closed_ = true;
      return plain_.empty() ? kTlsClosed : kTlsOk;
    }
    if (status == SEC_I_RENEGOTIATE) {
      // Post-handshake messages (new session tickets, key updates) go back to the handshake
      // call with the bytes that follow them; any answer is sent with the next read or write.
      state_ = State::kHandshaking;
      const TlsErrorKind step = Step();
      state_ = State::kOpen;
      if (step == kTlsFailed) return kTlsFailed;
    }
    return kTlsOk;
  }

  TlsErrorKind Receive() {
    char chunk[16384];
    const int n = recv(socket_, chunk, sizeof chunk, 0);
    if (n > 0) {
      incoming_.append(chunk, static_cast<size_t>(n));
      return kTlsOk;
    }
    if (n == 0) return kTlsClosed;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kTlsWantRead : kTlsSyscall;
  }

  TlsErrorKind Flush() {
    while (!outgoing_.empty()) {
      const int n = send(socket_, outgoing_.data(),
                         static_cast<int>(std::min<size_t>(outgoing_.size(), 1u << 20)), 0);
      if (n > 0) {
        outgoing_.erase(0, static_cast<size_t>(n));
        continue;
      }
      return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? kTlsWantWrite : kTlsSyscall;
    }
    return kTlsOk;
  }

  CredHandle* credentials_;
  SOCKET socket_;
  std::string server_name_;
  bool verify_;
  HCERTSTORE extra_roots_;
  CtxtHandle context_;
  bool has_context_ = false;
  State state_ = State::kStart;
  bool failed_ = false;
  bool closed_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::string incoming_;  // bytes from the peer not yet used
  std::string outgoing_;  // bytes for the peer not yet taken by the socket
  std::string plain_;     // decrypted bytes not yet read
  int sent_plain_ = 0;    // plain bytes of a record still waiting in outgoing_
  std::string failure_;
};

class SchannelContext final : public TlsContext {
 public:
  SchannelContext(CredHandle credentials, bool verify, HCERTSTORE extra_roots)
      : credentials_(credentials), verify_(verify), extra_roots_(extra_roots) {}
  ~SchannelContext() override {
    FreeCredentialsHandle(&credentials_);
    if (extra_roots_ != nullptr) CertCloseStore(extra_roots_, 0);
  }

  std::unique_ptr<TlsConnection> Connect(int socket, std::string_view server_name) override {
    return std::make_unique<SchannelConnection>(&credentials_, static_cast<SOCKET>(socket),
                                                server_name, verify_, extra_roots_);
  }

 private:
  CredHandle credentials_;
  bool verify_;
  HCERTSTORE extra_roots_;
};

}  // namespace

std::unique_ptr<TlsContext> MakeSchannelClientContext(const TlsClientOptions& options,
                                                      std::string& error) {
  HCERTSTORE extra_roots = nullptr;
  if (options.verify && !options.ca_file.empty()) {
    std::vector<std::string> certificates;
    if (!ReadPemCertificates(options.ca_file, certificates, error)) return nullptr;
    extra_roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    for (const std::string& der : certificates) {
      if (extra_roots == nullptr ||
          !CertAddEncodedCertificateToStore(
              extra_roots, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
              static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr)) {
        error = "CA file " + options.ca_file + ": a certificate cannot be read (" +
                Hex(GetLastError()) + ")";
        if (extra_roots != nullptr) CertCloseStore(extra_roots, 0);
        return nullptr;
      }
    }
  }
  SCHANNEL_CRED settings{};
  settings.dwVersion = SCHANNEL_CRED_VERSION;
  // TLS 1.2 is asked for by name: older systems leave it off by default for clients.
  settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  CredHandle credentials;
  TimeStamp expiry;
  char package[] = UNISP_NAME_A;
  const SECURITY_STATUS status =
      AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &settings, nullptr,
                                nullptr, &credentials, &expiry);
  if (status != SEC_E_OK) {
    error = StatusText("AcquireCredentialsHandle", status);
    if (extra_roots != nullptr) CertCloseStore(extra_roots, 0);
    return nullptr;
  }
  return std::make_unique<SchannelContext>(credentials, options.verify, extra_roots);
}

}  // namespace navelo
