// The server side of TLS for the local test servers where the platform has none to lend (a
// Windows build under Wine: Schannel there has no server side, and OpenSSL's libraries are not
// installed). Each server connection keeps its socket to the client and hands every TLS call,
// with the bytes it received, to tests/net/tls_relay.py, which runs the session in OpenSSL and
// answers with the bytes to send on. The test's CTest fixture starts the relay and names its
// folder (certificates and port file) in NAVELO_TEST_TLS_RELAY; elsewhere this is not used.
#pragma once

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net_socket.h"
#include "platform/tls_engine.h"

namespace navelo::testing {

// The relay's folder, empty when no relay was started for this run.
inline std::string TlsRelayFolder() {
  const char* folder = std::getenv("NAVELO_TEST_TLS_RELAY");
  return folder != nullptr ? folder : "";
}

class RelayTlsConnection final : public TlsConnection {
 public:
  RelayTlsConnection(int socket, int relay, const std::string& certificate, const std::string& key)
      : socket_(socket), relay_(relay) {
    if (relay_ < 0) {
      failure_ = "the TLS relay cannot be reached";
      return;
    }
    const Answer answer = Call('C', certificate + "\n" + key + "\n");
    if (answer.status != kTlsOk) failure_ = "the TLS relay refused the certificate: " + answer.data;
  }
  ~RelayTlsConnection() override {
    if (relay_ >= 0) SocketCloseHandle(relay_);
  }

  TlsErrorKind Handshake() override {
    if (!failure_.empty()) return kTlsFailed;
    for (;;) {
      const Answer answer = Call('H', "");
      if (answer.status != kTlsWantRead) {
        if (answer.status != kTlsOk && failure_.empty()) failure_ = answer.data;
        if (answer.status == kTlsOk) open_ = true;
        return answer.status;
      }
      const TlsErrorKind got = Receive();
      if (got != kTlsOk) return got;
    }
  }

  int Read(char* buffer, int size, TlsErrorKind& error) override {
    while (plain_.empty()) {
      const Answer answer = Call('R', "16384");
      if (answer.status == kTlsOk) {
        plain_ = answer.data;
        break;
      }
      if (answer.status != kTlsWantRead) {
        error = answer.status;
        if (error == kTlsFailed) failure_ = answer.data;
        return error == kTlsFailed ? -1 : 0;
      }
      error = Receive();
      if (error != kTlsOk) return error == kTlsWantRead ? -1 : 0;
    }
    const size_t n = std::min(plain_.size(), static_cast<size_t>(size));
    std::memcpy(buffer, plain_.data(), n);
    plain_.erase(0, n);
    error = kTlsOk;
    return static_cast<int>(n);
  }

  int Write(const char* bytes, int size, TlsErrorKind& error) override {
    const Answer answer = Call('W', std::string(bytes, static_cast<size_t>(size)));
    error = answer.status;
    if (error != kTlsOk) {
      failure_ = answer.data;
      return -1;
    }
    return std::atoi(answer.data.c_str());
  }

  bool Pending() override { return !plain_.empty() || (open_ && Call('P', "").data == "1"); }

  void Shutdown() override {
    if (open_) Call('S', "");
    open_ = false;
  }

  std::string FailureText() override { return failure_; }

 private:
  struct Answer {
    TlsErrorKind status = kTlsFailed;
    std::string data;
  };

  // One call to the relay with the client's bytes received since the last; the bytes it gives
  // back for the client are sent on before the answer is returned.
  Answer Call(char op, const std::string& argument) {
    Answer answer;
    std::string request(1, op);
    AppendBlock(request, incoming_);
    AppendBlock(request, argument);
    incoming_.clear();
    std::string head, out, result;
    if (relay_ < 0 || !SendAll(relay_, request) || !RecvExact(1, head) || !RecvBlock(out) ||
        !RecvBlock(result)) {
      answer.data = "the TLS relay stopped answering";
      return answer;
    }
    answer.status = static_cast<TlsErrorKind>(static_cast<unsigned char>(head[0]));
    answer.data = std::move(result);
    if (!out.empty() && !SendAll(socket_, out) && answer.status == kTlsOk) {
      answer.status = kTlsSyscall;
      answer.data = "the client's socket failed";
    }
    return answer;
  }

  // More of the client's bytes: kTlsOk when some came, kTlsWantRead when none are waiting. When
  // the client has closed, the relay is told, and its next answer says what that meant.
  TlsErrorKind Receive() {
    if (eof_) return kTlsSyscall;
    char chunk[16384];
    const long n = SocketRecvSome(socket_, chunk, sizeof chunk);
    if (n > 0) {
      incoming_.append(chunk, static_cast<size_t>(n));
      return kTlsOk;
    }
    if (n == kSocketWouldBlock) return kTlsWantRead;
    eof_ = true;
    Call('E', "");
    return kTlsOk;
  }

  static void AppendBlock(std::string& to, const std::string& bytes) {
    const auto n = static_cast<uint32_t>(bytes.size());
    const char head[4] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                          static_cast<char>(n >> 8), static_cast<char>(n)};
    to.append(head, 4);
    to += bytes;
  }

  static bool SendAll(int socket, std::string_view bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bytes.empty()) {
      const long n = SocketSendSome(socket, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<size_t>(n));
      } else if (n != kSocketWouldBlock || std::chrono::steady_clock::now() > deadline) {
        return false;
      } else {
        SocketWait(socket, true, 100000);
      }
    }
    return true;
  }

  bool RecvExact(size_t size, std::string& bytes) {
    bytes.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (bytes.size() < size) {
      char chunk[16384];
      const long n =
          SocketRecvSome(relay_, chunk, std::min(sizeof chunk, size - bytes.size()));
      if (n > 0) {
        bytes.append(chunk, static_cast<size_t>(n));
      } else if (n != kSocketWouldBlock || std::chrono::steady_clock::now() > deadline) {
        return false;
      } else {
        SocketWait(relay_, false, 100000);
      }
    }
    return true;
  }

  bool RecvBlock(std::string& bytes) {
    std::string head;
    if (!RecvExact(4, head)) return false;
    const auto* h = reinterpret_cast<const unsigned char*>(head.data());
    const size_t n = (size_t{h[0]} << 24) | (size_t{h[1]} << 16) | (size_t{h[2]} << 8) | h[3];
    return RecvExact(n, bytes);
  }

  int socket_;
  int relay_;
  bool open_ = false;
  bool eof_ = false;
  std::string incoming_;  // the client's bytes not yet handed to the relay
  std::string plain_;     // bytes read from the session not yet taken
  std::string failure_;
};

class RelayTlsContext final : public TlsContext {
 public:
  RelayTlsContext(uint16_t port, std::string certificate, std::string key)
      : port_(port), certificate_(std::move(certificate)), key_(std::move(key)) {}

  std::unique_ptr<TlsConnection> Connect(int socket, std::string_view) override {
    return std::make_unique<RelayTlsConnection>(socket, Dial(port_), certificate_, key_);
  }

  // A connection to the relay, -1 when it cannot be reached.
  static int Dial(uint16_t port) {
    uint32_t loopback = 0;
    DottedToAddress("127.0.0.1", loopback);
    const int relay = SocketCreateTcp();
    if (relay < 0) return -1;
    int started = SocketConnectStart(relay, loopback, port);
    if (started == 0 && SocketWait(relay, true, 5000000) == 1 && SocketConnectError(relay) == 0) {
      started = 1;
    }
    if (started != 1) {
      SocketCloseHandle(relay);
      return -1;
    }
    return relay;
  }

 private:
  uint16_t port_;
  std::string certificate_;
  std::string key_;
};

// A server context served by the relay; nullptr with error set when no relay runs or it refuses
// the certificate and key.
inline std::unique_ptr<TlsContext> MakeRelayTlsServerContext(const std::string& certificate,
                                                             const std::string& key,
                                                             std::string& error) {
  const std::string folder = TlsRelayFolder();
  int port = 0;
  std::ifstream port_file(folder + "/port");
  if (folder.empty() || !(port_file >> port) || port <= 0 || port > 65535) {
    error += "; no TLS relay runs for the tests (NAVELO_TEST_TLS_RELAY)";
    return nullptr;
  }
  auto context = std::make_unique<RelayTlsContext>(static_cast<uint16_t>(port), certificate, key);
  // One connection now, so that a certificate the relay cannot load fails here as it would with
  // an in-process engine.
  RelayTlsConnection check(-1, RelayTlsContext::Dial(static_cast<uint16_t>(port)), certificate,
                           key);
  const std::string failure = check.FailureText();
  if (!failure.empty()) {
    error += "; " + failure;
    return nullptr;
  }
  return context;
}

}  // namespace navelo::testing
