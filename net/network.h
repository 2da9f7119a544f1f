// Blocking-looking IPv4 TCP connections and the one TLS connection of the program, as the socket
// commands and the download use them. Every wait goes in short steps that keep the window's
// messages moving, and every wait that the peer controls is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console.h"
#include "platform/tls_engine.h"

namespace navelo {

// The limits and TLS settings, read from navelo.ini (section NAVELO) at each connection.
struct NetSettings {
  int poll_timeout_us = 20000;  // TIMEOUT_REDE
  int connect_limit_s = 20;     // TEMPO_CONEXAO: connecting plus the TLS handshake
  int idle_limit_s = 30;        // TEMPO_OCIOSO: the longest silence of a peer in mid-answer
  TlsClientOptions tls;         // SSL_SEM_VERIFICACAO, SSL_ARQUIVO_CA
};

NetSettings ReadNetSettings(const Config& config, const HostEnvironment& host);

// The TLS connection of the program: at most one exists at a time.
struct TlsState {
  std::unique_ptr<TlsConnection> connection;
  int socket = -1;  // the socket carrying it, -1 for none
  bool active = false;
};

// The client context, kept for the program's life while the settings it was made from stay the
// same: making one loads the system's certificate store, which costs more than a handshake.
struct TlsContextCache {
  std::unique_ptr<TlsContext> context;
  TlsClientOptions options;
  std::string ca_file_stamp;  // size and time of the extra CA file when the context was made
};

// What SocketRecv gives besides a count of bytes.
constexpr int kRecvEnded = 0;    // the peer closed
constexpr int kRecvFailed = -1;  // the connection failed (or a wait hook stopped the wait)
constexpr int kRecvSilent = -2;  // nothing came within the time allowed

class Network {
 public:
  Network(Console& console, Keyboard& keyboard, const Config& config, const HostEnvironment& host);
  ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  bool NetStartup();
  void NetCleanup();

  static bool IsDottedAddress(std::string_view text);
  // The address in network byte order, 0 when the name cannot be resolved.
  uint32_t ResolveHost(std::string_view host);

  int TcpConnect(std::string_view host, int port);
  int TcpConnectSecure(std::string_view host, int port);
  int TcpListen(int port);
  // Waits for one client, keeping the window alive, without a time limit.
  int TcpAccept(int listening);
  void TcpClose(int socket);

  // True when the TLS connection holds unread bytes, or the socket becomes readable within the
  // poll time-out.
  bool SocketReadable(int socket);
  // Count received, or kRecvEnded, kRecvFailed, kRecvSilent (a silence longer than the idle
  // limit).
  int SocketRecv(int socket, char* buffer, int size);
  // The same with the silence allowed in milliseconds; a negative limit waits without end.
  int SocketRecvWithin(int socket, char* buffer, int size, int64_t limit_ms);
  // Sends all the bytes; the count, or -1 when the connection failed or stalled.
  int SocketSend(int socket, const char* bytes, int size);
  bool SendText(int socket, std::string_view text);
  bool SendLine(int socket, std::string_view text);

  bool TlsStart(int socket, std::string_view server_name);
  void TlsClose();
  int TlsRead(char* buffer, int size, int64_t limit_ms);
  int TlsWrite(const char* bytes, int size);
  bool TlsPending();
  bool TlsActive() const { return tls_.active; }
  int TlsSocket() const { return tls_.socket; }
  // Why the last TLS handshake failed (certificate refused, protocol error); empty after success.
  const std::string& LastTlsFailure() const { return last_tls_failure_; }
  // How many TLS client contexts were made so far (one while the TLS settings stay the same).
  int TlsContextsMade() const { return tls_contexts_made_; }

  // The socket's own or its peer's IPv4 address as dotted text; false when it has none.
  bool LocalAddress(int socket, std::string& dotted);
  bool PeerAddress(int socket, std::string& dotted);

  int PollTimeout() const { return poll_timeout_us_; }
  const NetSettings& Settings() const { return settings_; }

  // Called at every step of a wait for the peer; returning false abandons the wait (the
  // operation then fails). The download answers keys through it.
  void SetWaitHook(std::function<bool()> hook) { wait_hook_ = std::move(hook); }

  Console& console() { return console_; }
  Keyboard& keyboard() { return keyboard_; }

 private:
  // Waits for the socket in steps; 1 ready, 0 the limit passed, -1 an error or the hook stopped.
  // A negative limit waits without end.
  int WaitSocket(int socket, bool for_write, int64_t limit_ms);

  Console& console_;
  Keyboard& keyboard_;
  const Config& config_;
  const HostEnvironment& host_;
  NetSettings settings_;
  int poll_timeout_us_ = 0;
  int startups_ = 0;
  // The client context for the current settings, made or taken from the cache; nullptr with
  // last_tls_failure_ set when it cannot be made.
  TlsContext* ClientContext();

  TlsState tls_;
  TlsContextCache tls_cache_;
  std::string last_tls_failure_;
  int tls_contexts_made_ = 0;
  std::function<bool()> wait_hook_;
};

}  // namespace navelo
