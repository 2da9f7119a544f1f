// TCP connections, the readiness poll and the TLS connection of the program.
#include "net/network.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>

#include "platform/net_socket.h"

namespace navelo {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Wait steps are short so that keys and window messages are answered at once.
constexpr int64_t kWaitStepUs = 50000;
constexpr size_t kMaxHostLength = 253;

// The language's integer rule for configuration values: optional blanks and sign, decimal digits
// or a hexadecimal number after "$", "x" or "0x"; nothing may follow; 32 signed bits.
std::optional<int32_t> ConfigInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") {
    base = 16;
    i += 2;
  } else if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  }
  if (i >= text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
    if (value > 0x100000000LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// A count of seconds: its leading digits; empty, zero or no digits give the default.
int SecondsSetting(const std::string& text, int fallback) {
  int64_t value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1000000; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value > 0 ? static_cast<int>(std::min<int64_t>(value, 86400)) : fallback;
}

bool StartsWithS(const std::string& text) { return !text.empty() && (text[0] == 'S' || text[0] == 's'); }

// The size and modification time of a file, as text; empty when it cannot be read.
std::string FileStamp(const std::string& path) {
  if (path.empty()) return {};
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return {};
  const auto time = std::filesystem::last_write_time(path, error);
  if (error) return {};
  return std::to_string(size) + "@" + std::to_string(time.time_since_epoch().count());
}

bool SameOptions(const TlsClientOptions& a, const TlsClientOptions& b) {
  return a.verify == b.verify && a.ca_file == b.ca_file;
}

}  // namespace

NetSettings ReadNetSettings(const Config& config, const HostEnvironment& host) {
  NetSettings settings;
  const std::string poll = config.Read("NAVELO", "TIMEOUT_REDE");
  if (!poll.empty()) {
    if (const auto value = ConfigInteger(poll)) {
      // A poll longer than a second would freeze the window between steps.
      settings.poll_timeout_us = std::clamp<int32_t>(*value, 0, 1000000);
    }
  }
  settings.connect_limit_s = SecondsSetting(config.Read("NAVELO", "TEMPO_CONEXAO"), 20);
  settings.idle_limit_s = SecondsSetting(config.Read("NAVELO", "TEMPO_OCIOSO"), 30);
  settings.tls.verify = !StartsWithS(config.Read("NAVELO", "SSL_SEM_VERIFICACAO"));
  const std::string ca = config.Read("NAVELO", "SSL_ARQUIVO_CA");
  if (!ca.empty()) settings.tls.ca_file = host.Resolve(ca).string();
  return settings;
}

Network::Network(Console& console, Keyboard& keyboard, const Config& config,
                 const HostEnvironment& host)
    : console_(console), keyboard_(keyboard), config_(config), host_(host) {
  settings_ = ReadNetSettings(config_, host_);
  // The socket layer is ready from the start, whether or not a script starts it: a write to a
  // peer that has gone away must fail, not end the program (the TLS library writes with calls
  // that would raise the broken-pipe signal).
  SocketLayerStart();
}

Network::~Network() {
  TlsClose();
  SocketLayerEnd();
}

bool Network::NetStartup() {
  ++startups_;
  return SocketLayerStart();
}

void Network::NetCleanup() {
  if (startups_ > 0 && --startups_ == 0) SocketLayerEnd();
}

bool Network::IsDottedAddress(std::string_view text) {
  if (text.size() > 15 || text.empty() || text[0] == '.') return false;
  int dots = 0;
  int group = -1;  // value of the current group, -1 before its first digit
  int digits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      ++dots;
      if (i + 1 >= text.size() || text[i + 1] < '0' || text[i + 1] > '9') return false;
      group = -1;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      group = (group < 0 ? 0 : group) * 10 + (c - '0');
      if (++digits > 3 || group > 255) return false;
    } else {
      return false;
    }
  }
  return dots >= 3;
}

uint32_t Network::ResolveHost(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostLength) return 0;
  const std::string name(host);
  if (IsDottedAddress(name)) {
    uint32_t address = 0;
    return DottedToAddress(name, address) ? address : 0;
  }
  return LookupHostAddress(name);
}

int Network::WaitSocket(int socket, bool for_write, int64_t limit_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limit_ms);
  for (;;) {
    const int ready = SocketWait(socket, for_write, kWaitStepUs);
    if (ready != 0) return ready;
    keyboard_.KeyPressed();
    if (wait_hook_ && !wait_hook_()) return -1;
    if (limit_ms >= 0 && SteadyClock::now() >= deadline) return 0;
  }
}

int Network::TcpConnect(std::string_view host, int port) {
  settings_ = ReadNetSettings(config_, host_);
  const int s = SocketCreateTcp();
  if (s < 0) return -1;
  const uint32_t address = ResolveHost(host);
  if (!SocketBind(s, 0, 0, false) || address == 0) {
    SocketCloseHandle(s);
    return -1;
  }
  int started = SocketConnectStart(s, address, static_cast<uint16_t>(port));
  if (started == 0) {
    // The platform would wait minutes for a host that does not answer; the user waits in silence,
    // so the attempt is bounded.
    started = WaitSocket(s, true, int64_t{settings_.connect_limit_s} * 1000) == 1 &&
                      SocketConnectError(s) == 0
                  ? 1
                  : -1;
  }
  if (started != 1) {
    SocketCloseHandle(s);
    return -1;
  }
  poll_timeout_us_ = settings_.poll_timeout_us;
  return s;
}

int Network::TcpConnectSecure(std::string_view host, int port) {
  // Handle 0 is a socket like any other here (it is free when standard input is closed), so only
  // a negative result is a failure; a plain connection is never handed out as a secure one.
  const int s = TcpConnect(host, port);
  if (s < 0) return -1;
  if (TlsStart(s, host)) return s;
  SocketCloseHandle(s);
  return -1;
}

int Network::TcpListen(int port) {
  const int s = SocketCreateTcp();
  if (s < 0) return -1;
  if (port < 0 || port > 65535 || !SocketBind(s, 0, static_cast<uint16_t>(port), true) ||
      !SocketListen(s, 3)) {
    SocketCloseHandle(s);
    return -1;
  }
  return s;
}

int Network::TcpAccept(int listening) {
  if (listening < 0) return -1;
  for (;;) {
    const int s = SocketAccept(listening);
    if (s >= 0) return s;
    if (s != kSocketWouldBlock) return -1;
    if (WaitSocket(listening, false, -1) < 0) return -1;
  }
}

void Network::TcpClose(int socket) {
  const bool carries_tls = tls_.active && socket >= 0 && socket == tls_.socket;
  // The closing alert goes out before the socket closes, so the peer sees a clean end; nothing
  // waits for its answer.
  if (carries_tls && tls_.connection) tls_.connection->Shutdown();
  if (socket >= 0) SocketCloseHandle(socket);
  if (carries_tls) TlsClose();
}

bool Network::SocketReadable(int socket) {
  if (TlsPending()) return true;
  const bool readable = SocketWait(socket, false, poll_timeout_us_) == 1;
  keyboard_.KeyPressed();
  return readable;
}

int Network::SocketRecv(int socket, char* buffer, int size) {
  return SocketRecvWithin(socket, buffer, size, int64_t{settings_.idle_limit_s} * 1000);
}

int Network::SocketRecvWithin(int socket, char* buffer, int size, int64_t limit_ms) {
  if (socket < 0 || size <= 0) return kRecvFailed;
  if (tls_.active && socket == tls_.socket) return TlsRead(buffer, size, limit_ms);
  for (;;) {
    const long n = SocketRecvSome(socket, buffer, static_cast<size_t>(size));
    if (n >= 0) return static_cast<int>(n);
    if (n != kSocketWouldBlock) return kRecvFailed;
    const int ready = WaitSocket(socket, false, limit_ms);
    if (ready != 1) return ready == 0 ? kRecvSilent : kRecvFailed;
  }
}

int Network::SocketSend(int socket, const char* bytes, int size) {
  if (socket < 0 || size <= 0) return -1;
  if (tls_.active && socket == tls_.socket) return TlsWrite(bytes, size);
  int sent = 0;
  while (sent < size) {
    const long n = SocketSendSome(socket, bytes + sent, static_cast<size_t>(size - sent));
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n != kSocketWouldBlock) return -1;
    if (WaitSocket(socket, true, int64_t{settings_.idle_limit_s} * 1000) != 1) return -1;
  }
  return sent;
}

bool Network::SendText(int socket, std::string_view text) {
  if (text.empty() || text.size() > INT32_MAX) return false;
  return SocketSend(socket, text.data(), static_cast<int>(text.size())) > 0;
}

bool Network::SendLine(int socket, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return SendText(socket, line);
}

bool Network::TlsStart(int socket, std::string_view server_name) {
  // The one TLS connection in use stays as it is; a second one is refused rather than taking its
  // place under the first one's channel.
  if (tls_.active) {
    last_tls_failure_ = "another TLS connection is open";
    return false;
  }
  TlsClose();
  last_tls_failure_.clear();
  settings_ = ReadNetSettings(config_, host_);
  TlsContext* context = ClientContext();
  if (context == nullptr) return false;
  tls_.connection = context->Connect(socket, server_name);
  if (!tls_.connection) {
    last_tls_failure_ = "no TLS connection object";
    TlsClose();
    return false;
  }
  const auto deadline =
      SteadyClock::now() + std::chrono::seconds(settings_.connect_limit_s);
  for (;;) {
    const TlsErrorKind kind = tls_.connection->Handshake();
    if (kind == kTlsOk) break;
    const int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(
                             deadline - SteadyClock::now())
                             .count();
    if ((kind != kTlsWantRead && kind != kTlsWantWrite) || left <= 0 ||
        WaitSocket(socket, kind == kTlsWantWrite, left) != 1) {
      last_tls_failure_ = tls_.connection->FailureText();
      if (last_tls_failure_.empty()) last_tls_failure_ = "TLS handshake timed out";
      TlsClose();
      return false;
    }
  }
  tls_.socket = socket;
  tls_.active = true;
  return true;
}

TlsContext* Network::ClientContext() {
  const std::string stamp = settings_.tls.verify ? FileStamp(settings_.tls.ca_file) : "";
  if (tls_cache_.context && SameOptions(tls_cache_.options, settings_.tls) &&
      tls_cache_.ca_file_stamp == stamp) {
    return tls_cache_.context.get();
  }
  tls_cache_ = TlsContextCache{};
  std::string error;
  auto context = MakeTlsClientContext(settings_.tls, error);
  ++tls_contexts_made_;
  if (!context) {
    last_tls_failure_ = error;
    return nullptr;
  }
  tls_cache_ = TlsContextCache{std::move(context), settings_.tls, stamp};
  return tls_cache_.context.get();
}

void Network::TlsClose() {
  // The context stays for the next connection; only the connection goes.
  tls_.connection.reset();
  tls_.socket = -1;
  tls_.active = false;
}

int Network::TlsRead(char* buffer, int size, int64_t limit_ms) {
  if (!tls_.active || !tls_.connection) return kRecvFailed;
  for (;;) {
    TlsErrorKind error = kTlsOk;
    const int n = tls_.connection->Read(buffer, size, error);
    switch (error) {
      case kTlsOk:
        return n;
      case kTlsWantRead:
      case kTlsWantWrite: {
        // A record may arrive in pieces, and some records carry no data at all (the session
        // tickets of TLS 1.3): the wait goes on for as long as the caller allows a silence.
        const int ready = WaitSocket(tls_.socket, error == kTlsWantWrite, limit_ms);
        if (ready != 1) return ready == 0 ? kRecvSilent : kRecvFailed;
        continue;
      }
      case kTlsSyscall:
      case kTlsClosed:
        // The peer closed, with or without the closing alert: the end of its data.
        return kRecvEnded;
      default:
        console_.Write("Erro SSL: " + std::to_string(static_cast<int>(error)) + "\r\n");
        return kRecvFailed;
    }
  }
}

int Network::TlsWrite(const char* bytes, int size) {
  if (!tls_.active || !tls_.connection) return -1;
  const int64_t idle_ms = int64_t{settings_.idle_limit_s} * 1000;
  int written = 0;
  while (written < size) {
    TlsErrorKind error = kTlsOk;
    const int n = tls_.connection->Write(bytes + written, size - written, error);
    if (error == kTlsOk) {
      written += n;
      continue;
    }
    if (error != kTlsWantRead && error != kTlsWantWrite) return -1;
    if (WaitSocket(tls_.socket, error == kTlsWantWrite, idle_ms) != 1) return -1;
  }
  return written;
}

bool Network::LocalAddress(int socket, std::string& dotted) {
  uint32_t address = 0;
  uint16_t port = 0;
  if (socket < 0 || !SocketLocalAddress(socket, address, port)) return false;
  dotted = AddressToDotted(address);
  return true;
}

bool Network::PeerAddress(int socket, std::string& dotted) {
  uint32_t address = 0;
  uint16_t port = 0;
  if (socket < 0 || !SocketPeerAddress(socket, address, port)) return false;
  dotted = AddressToDotted(address);
  return true;
}

bool Network::TlsPending() { return tls_.active && tls_.connection && tls_.connection->Pending(); }

}  // namespace navelo
