// IPv4 TCP sockets over Winsock 2. A SOCKET is kept in the int of the interface: socket handles
// are kernel handles, which fit in 32 bits, also in a 64-bit process.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/net_socket.h"

namespace navelo {
namespace {

SOCKET AsSocket(int socket) { return static_cast<SOCKET>(static_cast<unsigned int>(socket)); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  return sa;
}

bool Retryable(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR; }

bool g_started = false;

}  // namespace

bool SocketLayerStart() {
  if (g_started) return true;
  WSADATA data;
  g_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  return g_started;
}

void SocketLayerEnd() {
  if (!g_started) return;
  WSACleanup();
  g_started = false;
}

bool DottedToAddress(const std::string& text, uint32_t& address) {
  SocketLayerStart();
  const unsigned long value = inet_addr(text.c_str());
  if (value == INADDR_NONE && text != "255.255.255.255") return false;
  address = value;
  return true;
}

uint32_t LookupHostAddress(const std::string& name) {
  SocketLayerStart();
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
  SocketLayerStart();
  // Not inheritable: a started program must not hold our connections open.
  const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return -1;
  u_long on = 1;
  if (ioctlsocket(s, FIONBIO, &on) != 0) {
    closesocket(s);
    return -1;
  }
  return static_cast<int>(s);
}

bool SocketBind(int socket, uint32_t address, uint16_t port, bool allow_reuse) {
  // SO_REUSEADDR on Windows would let a second listener take a port in use; a closed listener's
  // port is free at once anyway. SO_EXCLUSIVEADDRUSE keeps the port ours alone.
  (void)allow_reuse;
  const BOOL one = TRUE;
  setsockopt(AsSocket(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
             sizeof one);
  const sockaddr_in sa = MakeAddress(address, port);
  return bind(AsSocket(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

int SocketConnectStart(int socket, uint32_t address, uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  if (connect(AsSocket(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 1;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int SocketConnectError(int socket) {
  int error = 0;
  int size = sizeof error;
  if (getsockopt(AsSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
    return WSAGetLastError();
  return error;
}

bool SocketListen(int socket, int backlog) { return listen(AsSocket(socket), backlog) == 0; }

int SocketAccept(int socket) {
  const SOCKET s = accept(AsSocket(socket), nullptr, nullptr);
  if (s != INVALID_SOCKET) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<int>(s);
  }
  const int error = WSAGetLastError();
  return Retryable(error) || error == WSAECONNRESET ? kSocketWouldBlock : kSocketError;
}

int SocketWait(int socket, bool for_write, int64_t timeout_us) {
  if (socket < 0) return -1;
  WSAPOLLFD fd{};
  fd.fd = AsSocket(socket);
  fd.events = for_write ? POLLOUT : POLLIN;
  const int64_t ms = timeout_us <= 0 ? 0 : (timeout_us + 999) / 1000;
  const int result = WSAPoll(&fd, 1, static_cast<int>(ms));
  if (result < 0) return -1;
  if (result == 0) return 0;
  if ((fd.revents & POLLNVAL) != 0) return -1;
  // An error or hang-up is "ready": the next call reports it.
  return 1;
}

long SocketSendSome(int socket, const char* data, size_t size) {
  const int n = send(AsSocket(socket), data, static_cast<int>(size), 0);
  if (n >= 0) return n;
  return Retryable(WSAGetLastError()) ? kSocketWouldBlock : kSocketError;
}

long SocketRecvSome(int socket, char* data, size_t size) {
  const int n = recv(AsSocket(socket), data, static_cast<int>(size), 0);
  if (n >= 0) return n;
  return Retryable(WSAGetLastError()) ? kSocketWouldBlock : kSocketError;
}

bool SocketLocalAddress(int socket, uint32_t& address, uint16_t& port) {
  sockaddr_in sa{};
  int size = sizeof sa;
  if (getsockname(AsSocket(socket), reinterpret_cast<sockaddr*>(&sa), &size) != 0) return false;
  address = sa.sin_addr.s_addr;
  port = ntohs(sa.sin_port);
  return true;
}

bool SocketPeerAddress(int socket, uint32_t& address, uint16_t& port) {
  sockaddr_in sa{};
  int size = sizeof sa;
  if (getpeername(AsSocket(socket), reinterpret_cast<sockaddr*>(&sa), &size) != 0) return false;
  address = sa.sin_addr.s_addr;
  port = ntohs(sa.sin_port);
  return true;
}

void SocketCloseHandle(int socket) {
  if (socket >= 0) closesocket(AsSocket(socket));
}

std::string AddressToDotted(uint32_t address) {
  in_addr a{};
  a.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

}  // namespace navelo
