// IPv4 TCP sockets over the POSIX socket calls.
#include "platform/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace navelo {
namespace {

bool SetNonBlocking(int socket) {
  const int flags = fcntl(socket, F_GETFL, 0);
  return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  return sa;
}

bool Retryable(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

bool SocketLayerStart() {
  // Sends use MSG_NOSIGNAL, but the TLS library writes with plain write() calls, so the signal
  // is ignored for the whole process.
  signal(SIGPIPE, SIG_IGN);
  return true;
}

void SocketLayerEnd() {}

bool DottedToAddress(const std::string& text, uint32_t& address) {
  const in_addr_t value = inet_addr(text.c_str());
  if (value == INADDR_NONE && text != "255.255.255.255") return false;
  address = value;
  return true;
}

uint32_t LookupHostAddress(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return 0;
  uint32_t address = 0;
  for (addrinfo* it = result; it != nullptr; it = it->ai_next) {
    if (it->ai_family == AF_INET && it->ai_addr != nullptr) {
      address = reinterpret_cast<sockaddr_in*>(it->ai_addr)->sin_addr.s_addr;
      break;
    }
  }
  freeaddrinfo(result);
  return address;
}

int SocketCreateTcp() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) return -1;
  if (!SetNonBlocking(s)) {
    close(s);
    return -1;
  }
  return s;
}

bool SocketBind(int socket, uint32_t address, uint16_t port, bool allow_reuse) {
  if (allow_reuse) {
    const int one = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  const sockaddr_in sa = MakeAddress(address, port);
  return bind(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

int SocketConnectStart(int socket, uint32_t address, uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 1;
  return errno == EINPROGRESS ? 0 : -1;
}

int SocketConnectError(int socket) {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  return error;
}

bool SocketListen(int socket, int backlog) { return listen(socket, backlog) == 0; }

int SocketAccept(int socket) {
  const int s = accept4(socket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (s >= 0) return s;
  return Retryable(errno) || errno == EINTR || errno == ECONNABORTED ? kSocketWouldBlock
                                                                    : kSocketError;
}

int SocketWait(int socket, bool for_write, int64_t timeout_us) {
  if (socket < 0) return -1;
  pollfd fd{};
  fd.fd = socket;
  fd.events = for_write ? POLLOUT : POLLIN;
  const int64_t ms = timeout_us <= 0 ? 0 : (timeout_us + 999) / 1000;
  const int result = poll(&fd, 1, static_cast<int>(ms));
  if (result < 0) return errno == EINTR ? 0 : -1;
  if (result == 0) return 0;
  if ((fd.revents & POLLNVAL) != 0) return -1;
  // An error or hang-up is "ready": the next call reports it.
  return 1;
}

long SocketSendSome(int socket, const char* data, size_t size) {
  const ssize_t n = send(socket, data, size, MSG_NOSIGNAL);
  if (n >= 0) return static_cast<long>(n);
  return Retryable(errno) || errno == EINTR ? kSocketWouldBlock : kSocketError;
}

long SocketRecvSome(int socket, char* data, size_t size) {
  const ssize_t n = recv(socket, data, size, 0);
  if (n >= 0) return static_cast<long>(n);
  return Retryable(errno) || errno == EINTR ? kSocketWouldBlock : kSocketError;
}

bool SocketLocalAddress(int socket, uint32_t& address, uint16_t& port) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&sa), &size) != 0) return false;
  address = sa.sin_addr.s_addr;
  port = ntohs(sa.sin_port);
  return true;
}

bool SocketPeerAddress(int socket, uint32_t& address, uint16_t& port) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&sa), &size) != 0) return false;
  address = sa.sin_addr.s_addr;
  port = ntohs(sa.sin_port);
  return true;
}

void SocketCloseHandle(int socket) {
  if (socket >= 0) close(socket);
}

std::string AddressToDotted(uint32_t address) {
  in_addr a{};
  a.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

}  // namespace navelo
