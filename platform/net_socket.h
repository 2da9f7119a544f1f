// IPv4 TCP sockets as the network layer needs them: small calls over the platform's handles,
// which never block (every socket made here is non-blocking) so that callers can wait in steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace navelo {

// Results of the non-blocking calls below.
constexpr long kSocketWouldBlock = -2;
constexpr long kSocketError = -1;

// Prepares the process for sockets: a send to a peer that has gone away fails instead of ending
// the program. Safe to call more than once.
bool SocketLayerStart();
void SocketLayerEnd();

// The platform's dotted-address conversion; the address comes out in network byte order.
bool DottedToAddress(const std::string& text, uint32_t& address);
// The first IPv4 address the resolver gives for a name (network byte order), 0 on failure.
uint32_t LookupHostAddress(const std::string& name);

// A new non-blocking IPv4 stream socket, -1 on failure.
int SocketCreateTcp();
// Binds to an address (network order, 0 for any) and port; allow_reuse lets a listening port be
// taken again at once after an earlier listener closed.
bool SocketBind(int socket, uint32_t address, uint16_t port, bool allow_reuse);
// Starts connecting: 1 connected, 0 in progress (wait until writable, then SocketConnectError),
// -1 failed.
int SocketConnectStart(int socket, uint32_t address, uint16_t port);
// 0 once a pending connection succeeded, else the platform's error number.
int SocketConnectError(int socket);
bool SocketListen(int socket, int backlog);
// One waiting connection as a new non-blocking socket, kSocketWouldBlock when none is waiting,
// kSocketError on failure.
int SocketAccept(int socket);

// Waits at most timeout_us microseconds for the socket to be readable (or writable): 1 ready,
// 0 not yet, -1 error. A peer that closed counts as readable.
int SocketWait(int socket, bool for_write, int64_t timeout_us);

// Bytes sent or received, 0 on receive when the peer closed, kSocketWouldBlock, kSocketError.
long SocketSendSome(int socket, const char* data, size_t size);
long SocketRecvSome(int socket, char* data, size_t size);

// The socket's own or its peer's IPv4 address (network order) and port.
bool SocketLocalAddress(int socket, uint32_t& address, uint16_t& port);
bool SocketPeerAddress(int socket, uint32_t& address, uint16_t& port);

void SocketCloseHandle(int socket);

// Address text "a.b.c.d" of an address in network order.
std::string AddressToDotted(uint32_t address);

}  // namespace navelo
