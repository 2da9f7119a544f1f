// The part of platform/net_socket.h that the standalone TLS check needs, over Winsock. It lives
// apart so that no build of the programs picks it up beside the full Winsock backend; only the
// check, built on its own by tests/net/tls_engine_check.sh, links it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/net_socket.h"

namespace navelo {

bool SocketLayerStart() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void SocketLayerEnd() { WSACleanup(); }

bool DottedToAddress(const std::string& text, uint32_t& address) {
  const unsigned long value = inet_addr(text.c_str());
  if (value == INADDR_NONE && text != "255.255.255.255") return false;
  address = value;
  return true;
}

int SocketCreateTcp() {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  u_long on = 1;
  if (ioctlsocket(s, FIONBIO, &on) != 0) {
    closesocket(s);
    return -1;
  }
  return static_cast<int>(s);
}

bool SocketBind(int socket, uint32_t address, uint16_t port, bool) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  return bind(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

int SocketConnectStart(int socket, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  if (connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) ==
      0) {
    return 1;
  }
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int SocketConnectError(int socket) {
  int error = 0;
  int size = sizeof error;
  if (getsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                 &size) != 0) {
    return WSAGetLastError();
  }
  return error;
}

bool SocketListen(int socket, int backlog) {
  return listen(static_cast<SOCKET>(socket), backlog) == 0;
}

int SocketAccept(int socket) {
  const SOCKET s = accept(static_cast<SOCKET>(socket), nullptr, nullptr);
  if (s == INVALID_SOCKET) {
    return WSAGetLastError() == WSAEWOULDBLOCK ? static_cast<int>(kSocketWouldBlock)
                                               : static_cast<int>(kSocketError);
  }
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
  return static_cast<int>(s);
}

int SocketWait(int socket, bool for_write, int64_t timeout_us) {
  if (socket < 0) return -1;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(static_cast<SOCKET>(socket), &set);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(static_cast<SOCKET>(socket), &failed);
  timeval wait{};
  wait.tv_sec = static_cast<long>(timeout_us / 1000000);
  wait.tv_usec = static_cast<long>(timeout_us % 1000000);
  const int result = select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, &failed,
                            timeout_us < 0 ? nullptr : &wait);
  if (result < 0) return -1;
  return result == 0 ? 0 : 1;
}

bool SocketLocalAddress(int socket, uint32_t& address, uint16_t& port) {
  sockaddr_in sa{};
  int size = sizeof sa;
  if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&sa), &size) != 0) {
    return false;
  }
  address = sa.sin_addr.s_addr;
  port = ntohs(sa.sin_port);
  return true;
}

void SocketCloseHandle(int socket) {
  if (socket >= 0) closesocket(static_cast<SOCKET>(socket));
}

}  // namespace navelo
