// Local servers for the network tests: a listener on 127.0.0.1 that runs a scripted answer for
// each connection on a thread of its own, over plain TCP or TLS, and a certificate authority made
// with the openssl command for the TLS cases.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/net_socket.h"
#include "platform/tls_engine.h"
#include "tests/config/temp_host.h"
#include "tests/net/tls_relay.h"

namespace navelo::testing {

// Certificates made once per test binary: an authority, a server certificate it signed for
// localhost and 127.0.0.1, one it signed for another name only, and a self-signed one.
class TestCertificates {
 public:
  static const TestCertificates& Get() {
    static TestCertificates certificates;
    return certificates;
  }
  fs::path ca_cert, server_cert, server_key, other_cert, self_cert, self_key;
  bool ok = false;

 private:
  TestCertificates() {
    if (const std::string relay = TlsRelayFolder(); !relay.empty()) {
      // The relay made them with the same commands, where the openssl command can be run.
      const fs::path d = relay;
      ca_cert = d / "ca.pem";
      server_cert = d / "server.pem";
      server_key = d / "server.key";
      other_cert = d / "other.pem";
      self_cert = d / "self.pem";
      self_key = d / "self.key";
      ok = true;
      for (const fs::path& p : {ca_cert, server_cert, server_key, other_cert, self_cert, self_key}) {
        ok = ok && fs::exists(p);
      }
      return;
    }
    dir_ = std::make_unique<TempDir>();
    const fs::path d = dir_->path();
    ca_cert = d / "ca.pem";
    server_cert = d / "server.pem";
    server_key = d / "server.key";
    other_cert = d / "other.pem";
    self_cert = d / "self.pem";
    self_key = d / "self.key";
    const std::string q = " 2>/dev/null";
    const std::string D = d.string() + "/";
    auto run = [&](const std::string& command) { return std::system((command + q).c_str()) == 0; };
    ok = run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + D + "ca.key -out " + D +
             "ca.pem -days 2 -subj /CN=navelo-test-ca -addext basicConstraints=critical,CA:TRUE"
             " -addext keyUsage=critical,keyCertSign,cRLSign") &&
         run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + D + "server.key -out " + D +
             "server.csr -subj /CN=localhost") &&
         Sign("server", "subjectAltName=DNS:localhost,IP:127.0.0.1", run) &&
         Sign("other", "subjectAltName=DNS:other.invalid", run) &&
         run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + D + "self.key -out " + D +
             "self.pem -days 2 -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1");
  }
  template <typename Run>
  bool Sign(const std::string& name, const std::string& extension, Run& run) {
    const std::string D = dir_->path().string() + "/";
    Spit(dir_->path() / (name + ".ext"), extension + "\n");
    return run("openssl x509 -req -in " + D + "server.csr -CA " + D + "ca.pem -CAkey " + D +
               "ca.key -CAcreateserial -days 2 -out " + D + name + ".pem -extfile " + D + name +
               ".ext");
  }
  std::unique_ptr<TempDir> dir_;
};

// One accepted connection as the server's script sees it: blocking sends and reads.
class ServerConnection {
 public:
  ServerConnection(int socket, std::unique_ptr<TlsConnection> tls)
      : socket_(socket), tls_(std::move(tls)) {}
  ~ServerConnection() { Close(); }

  bool Send(std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size() && socket_ >= 0) {
      long n;
      if (tls_) {
        TlsErrorKind error;
        n = tls_->Write(bytes.data() + sent, static_cast<int>(bytes.size() - sent), error);
        if (n <= 0) {
          if (error != kTlsWantRead && error != kTlsWantWrite) return false;
          SocketWait(socket_, error == kTlsWantWrite, 100000);
          continue;
        }
      } else {
        n = SocketSendSome(socket_, bytes.data() + sent, bytes.size() - sent);
        if (n == kSocketWouldBlock) {
          SocketWait(socket_, true, 100000);
          continue;
        }
        if (n <= 0) return false;
      }
      sent += static_cast<size_t>(n);
    }
    return sent == bytes.size();
  }

  // Bytes up to and including the first occurrence of end (or what came before the peer closed
  // or a second passed in silence).
  std::string ReadUntil(std::string_view end) {
    std::string got;
    char c;
    auto last = std::chrono::steady_clock::now();
    while (got.size() < end.size() || got.compare(got.size() - end.size(), end.size(), end) != 0) {
      long n;
      if (tls_) {
        TlsErrorKind error;
        n = tls_->Read(&c, 1, error);
        if (n <= 0 && error != kTlsWantRead && error != kTlsWantWrite) break;
      } else {
        n = SocketRecvSome(socket_, &c, 1);
        if (n == 0 || n == kSocketError) break;
      }
      if (n == 1) {
        got += c;
        last = std::chrono::steady_clock::now();
        continue;
      }
      if (std::chrono::steady_clock::now() - last > std::chrono::seconds(5)) break;
      SocketWait(socket_, false, 20000);
    }
    return got;
  }

  // Bytes straight onto the socket, past the TLS layer.
  void SendRaw(std::string_view bytes) { SocketSendSome(socket_, bytes.data(), bytes.size()); }

  void Close() {
    if (tls_) tls_->Shutdown();
    tls_.reset();
    SocketCloseHandle(socket_);
    socket_ = -1;
  }

  // Closes the socket without the TLS closing alert, as many web servers do.
  void Drop() {
    SocketCloseHandle(socket_);
    socket_ = -1;
    tls_.reset();
  }

 private:
  int socket_;
  std::unique_ptr<TlsConnection> tls_;
};

// A listener on 127.0.0.1 with a free port. Each accepted connection runs handler on its own
// thread; the handler gets the connection and the request head as the client sent it.
class TestServer {
 public:
  using Handler = std::function<void(ServerConnection&, const std::string& request)>;

  explicit TestServer(Handler handler, const fs::path& cert = {}, const fs::path& key = {},
                      bool read_request = true)
      : handler_(std::move(handler)), read_request_(read_request) {
    SocketLayerStart();
    if (!cert.empty()) {
      std::string error;
      tls_ = MakeTlsServerContext(cert.string(), key.string(), error);
      // Where the platform has no TLS server of its own, the relay serves.
      if (!tls_ && !TlsRelayFolder().empty()) {
        tls_ = MakeRelayTlsServerContext(cert.string(), key.string(), error);
      }
      EXPECT_TRUE(tls_) << error;
    }
    uint32_t loopback = 0;
    DottedToAddress("127.0.0.1", loopback);
    listener_ = SocketCreateTcp();
    EXPECT_TRUE(SocketBind(listener_, loopback, 0, true));
    EXPECT_TRUE(SocketListen(listener_, 16));
    uint32_t address = 0;
    uint16_t port = 0;
    SocketLocalAddress(listener_, address, port);
    port_ = port;
    thread_ = std::thread([this] { Loop(); });
  }
  ~TestServer() {
    stop_ = true;
    thread_.join();
    for (auto& worker : workers_) worker.join();
    SocketCloseHandle(listener_);
  }

  int port() const { return port_; }
  std::string Url(const std::string& path, bool secure = false, const std::string& host = "127.0.0.1") const {
    return (secure ? "https://" : "http://") + host + ":" + std::to_string(port_) + path;
  }
  // The request heads received so far, in order.
  std::vector<std::string> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int Accepted() const { return accepted_; }

 private:
  void Loop() {
    while (!stop_) {
      if (SocketWait(listener_, false, 20000) != 1) continue;
      const int s = SocketAccept(listener_);
      if (s < 0) continue;
      ++accepted_;
      workers_.emplace_back([this, s] { Serve(s); });
    }
  }

  void Serve(int s) {
    std::unique_ptr<TlsConnection> tls;
    if (tls_) {
      tls = tls_->Connect(s, "");
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      for (;;) {
        const TlsErrorKind kind = tls->Handshake();
        if (kind == kTlsOk) break;
        if ((kind != kTlsWantRead && kind != kTlsWantWrite) ||
            std::chrono::steady_clock::now() > deadline) {
          SocketCloseHandle(s);
          return;
        }
        SocketWait(s, kind == kTlsWantWrite, 20000);
      }
    }
    ServerConnection connection(s, std::move(tls));
    std::string request;
    if (read_request_) {
      request = connection.ReadUntil("\r\n\r\n");
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    handler_(connection, request);
  }

  Handler handler_;
  bool read_request_;
  std::unique_ptr<TlsContext> tls_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace navelo::testing
