// Checks a TLS engine through platform/tls_engine.h against the local peers of
// tls_check_peers.py: trust through the extra CA file, refusals for an unknown authority and for
// another name, a self-signed certificate trusted only as the CA file itself, verification turned
// off, HTTP over the session, large reads and writes, a peer that vanishes, broken records, a peer
// without TLS, and a local server context. The same program runs against OpenSSL on Linux and
// against each Windows engine under Wine, so their answers can be compared.
//
// Usage: tls_engine_check PORTS CERT_DIR [ENGINE]
//   PORTS is the text of the peers' port file ("good=N other=N ..."), CERT_DIR
//   holds ca.pem, server.pem and server.key, ENGINE is "auto", "openssl" or "schannel" (Windows
//   only).
#include "tests/net/tls_engine_check.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "platform/net_socket.h"
#include "platform/tls_engine.h"

namespace navelo {
namespace {

int g_failures = 0;

// How a read ends when the peer closes the socket without the closing alert: the peer vanished
// without closing the session, which the network layer takes as the end of the data.
constexpr TlsErrorKind kAbruptEnd = kTlsSyscall;

void Expect(bool ok, const std::string& what, const std::string& detail = "") {
  std::string shown;
  for (const char c : detail) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what.c_str(), shown.empty() ? "" : " -- ",
              shown.c_str());
  if (!ok) ++g_failures;
}

const char* KindName(TlsErrorKind kind) {
  switch (kind) {
    case kTlsOk: return "ok";
    case kTlsFailed: return "failed";
    case kTlsWantRead: return "want-read";
    case kTlsWantWrite: return "want-write";
    case kTlsSyscall: return "syscall";
    case kTlsClosed: return "closed";
  }
  return "?";
}

int Dial(int port) {
  uint32_t address = 0;
  const int s = SocketCreateTcp();
  if (s < 0 || !DottedToAddress("127.0.0.1", address)) return -1;
  const int started = SocketConnectStart(s, address, static_cast<uint16_t>(port));
  if (started < 0 ||
      (started == 0 && (SocketWait(s, true, 5000000) != 1 || SocketConnectError(s) != 0))) {
    SocketCloseHandle(s);
    return -1;
  }
  return s;
}

// Runs a handshake to its end as the network layer does, waiting on the socket in between.
TlsErrorKind Shake(TlsConnection& tls, int socket) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    const TlsErrorKind kind = tls.Handshake();
    if (kind != kTlsWantRead && kind != kTlsWantWrite) return kind;
    if (std::chrono::steady_clock::now() > deadline) return kTlsFailed;
    SocketWait(socket, kind == kTlsWantWrite, 100000);
  }
}

bool WriteAll(TlsConnection& tls, int socket, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    TlsErrorKind error = kTlsOk;
    const int n =
        tls.Write(bytes.data() + written, static_cast<int>(bytes.size() - written), error);
    if (error == kTlsOk && n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (error != kTlsWantRead && error != kTlsWantWrite) return false;
    if (SocketWait(socket, error == kTlsWantWrite, 10000000) != 1) return false;
  }
  return true;
}

// Reads until the session ends; how it ended goes to last.
std::string ReadAll(TlsConnection& tls, int socket, TlsErrorKind& last, int chunk = 16384) {
  std::string text;
  std::string buffer(static_cast<size_t>(chunk), '\0');
  for (;;) {
    TlsErrorKind error = kTlsOk;
    const int n = tls.Read(buffer.data(), chunk, error);
    if (error == kTlsOk && n > 0) {
      text.append(buffer.data(), static_cast<size_t>(n));
      continue;
    }
    if (error == kTlsWantRead || error == kTlsWantWrite) {
      if (SocketWait(socket, error == kTlsWantWrite, 10000000) == 1) continue;
    }
    last = error;
    return text;
  }
}

struct Session {
  std::unique_ptr<TlsContext> context;
  std::unique_ptr<TlsConnection> tls;
  int socket = -1;
  TlsErrorKind handshake = kTlsFailed;
  std::string failure;
  ~Session() {
    tls.reset();
    SocketCloseHandle(socket);
  }
};

std::unique_ptr<Session> Open(int port, const std::string& name, const TlsClientOptions& options) {
  auto session = std::make_unique<Session>();
  std::string error;
  session->context = MakeTlsClientContext(options, error);
  if (!session->context) {
    session->failure = "context: " + error;
    return session;
  }
  session->socket = Dial(port);
  if (session->socket < 0) {
    session->failure = "no connection";
    return session;
  }
  session->tls = session->context->Connect(session->socket, name);
  if (!session->tls) {
    session->failure = "no connection object";
    return session;
  }
  session->handshake = Shake(*session->tls, session->socket);
  session->failure = session->tls->FailureText();
  return session;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0;
}

std::string BigBody() {
  std::string block;
  for (int i = 0; i < 251; ++i) block += static_cast<char>((i * 7 + 3) % 251);
  std::string body;
  for (int i = 0; i < 3000000 / 251; ++i) body += block;
  body += std::string(3000000 % 251, 'x');
  return body;
}

void CheckTrustedPeer(int port, const std::string& ca) {
  TlsClientOptions trusted{true, ca};
  for (const std::string name : {"localhost", "127.0.0.1"}) {
    auto s = Open(port, name, trusted);
    Expect(s->handshake == kTlsOk, "the demo CA's certificate is accepted for " + name, s->failure);
    if (s->handshake != kTlsOk) continue;
    Expect(s->failure.empty(), "no failure text after a good handshake", s->failure);
    Expect(WriteAll(*s->tls, s->socket, "GET / HTTP/1.0\r\nHost: " + name + "\r\n\r\n"),
           "the request is written");
    TlsErrorKind last = kTlsOk;
    const std::string answer = ReadAll(*s->tls, s->socket, last);
    Expect(StartsWith(answer, "HTTP/1.0 200 OK\r\n") &&
               answer.find("ola do servidor de teste") != std::string::npos,
           "the page comes back over " + name, answer.substr(0, 60));
    Expect(last == kTlsClosed, "the peer's closing alert reads as closed", KindName(last));
  }
}

void CheckLargeTransfers(int port, const std::string& ca) {
  TlsClientOptions trusted{true, ca};
  {
    auto s = Open(port, "localhost", trusted);
    if (s->handshake != kTlsOk) {
      Expect(false, "a session for the large read", s->failure);
      return;
    }
    WriteAll(*s->tls, s->socket, "GET /big HTTP/1.0\r\n\r\n");
    // A small first read leaves the rest of the record decrypted and waiting.
    char first[100];
    int got = 0;
    TlsErrorKind error = kTlsWantRead;
    while (error == kTlsWantRead || error == kTlsWantWrite) {
      got = s->tls->Read(first, sizeof first, error);
      if (error == kTlsWantRead) SocketWait(s->socket, false, 10000000);
    }
    Expect(error == kTlsOk && got > 0, "a short read", KindName(error));
    Expect(s->tls->Pending(), "the rest of the record is pending after a short read");
    TlsErrorKind last = kTlsOk;
    const std::string rest = ReadAll(*s->tls, s->socket, last, 7000);
    const std::string answer = std::string(first, static_cast<size_t>(got > 0 ? got : 0)) + rest;
    const size_t body = answer.find("\r\n\r\n");
    Expect(body != std::string::npos && answer.substr(body + 4) == BigBody(),
           "3 000 000 bytes read in many records arrive whole",
           std::to_string(answer.size()) + " bytes");
    Expect(last == kTlsClosed, "the large read ends closed", KindName(last));
  }
  {
    auto s = Open(port, "localhost", trusted);
    if (s->handshake != kTlsOk) {
      Expect(false, "a session for the large write", s->failure);
      return;
    }
    std::string body;
    for (int i = 0; i < 700000; ++i) body += static_cast<char>('a' + i % 26);
    const bool written = WriteAll(
        *s->tls, s->socket,
        "POST /eco HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    Expect(written, "700 000 bytes are written without blocking");
    TlsErrorKind last = kTlsOk;
    const std::string answer = ReadAll(*s->tls, s->socket, last);
    const size_t at = answer.find("\r\n\r\n");
    Expect(at != std::string::npos && answer.substr(at + 4) == body,
           "the peer gives the 700 000 bytes back unchanged",
           std::to_string(answer.size()) + " bytes");
  }
}

void CheckRefusals(int good, int other, int self, const std::string& ca, const std::string& certs) {
  {
    auto s = Open(good, "localhost", TlsClientOptions{true, ""});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "without the CA file the certificate is refused",
           std::string(KindName(s->handshake)) + ", " + s->failure);
  }
  for (const std::string name : {"localhost", "127.0.0.1"}) {
    auto s = Open(other, name, TlsClientOptions{true, ca});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "a certificate for another name is refused for " + name,
           std::string(KindName(s->handshake)) + ", " + s->failure);
  }
  {
    auto s = Open(good, "outro.exemplo", TlsClientOptions{true, ca});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "the good certificate is refused for a name it does not hold",
           std::string(KindName(s->handshake)) + ", " + s->failure);
  }
  {
    auto s = Open(good, "127.0.0.2", TlsClientOptions{true, ca});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "the good certificate is refused for an address it does not hold",
           std::string(KindName(s->handshake)) + ", " + s->failure);
  }
  {
    // The server's own certificate is no authority: only the CA's makes it trusted.
    auto s = Open(good, "localhost", TlsClientOptions{true, certs + "/other.pem"});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "a CA file without the issuing authority does not help",
           std::string(KindName(s->handshake)) + ", " + s->failure);
  }
  {
    // A self-signed certificate is trusted when it is itself the CA file, and only then.
    auto s = Open(self, "localhost", TlsClientOptions{true, ""});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "a self-signed certificate is refused",
           std::string(KindName(s->handshake)) + ", " + s->failure);
    s = Open(self, "localhost", TlsClientOptions{true, ca});
    Expect(s->handshake == kTlsFailed && StartsWith(s->failure, "certificate: "),
           "another authority's file does not make it trusted",
           std::string(KindName(s->handshake)) + ", " + s->failure);
    s = Open(self, "localhost", TlsClientOptions{true, certs + "/self.pem"});
    Expect(s->handshake == kTlsOk, "a self-signed certificate named as the CA file is accepted",
           s->failure);
  }
  {
    auto s = Open(other, "localhost", TlsClientOptions{false, ""});
    Expect(s->handshake == kTlsOk, "with verification off any certificate is accepted", s->failure);
    if (s->handshake == kTlsOk) {
      WriteAll(*s->tls, s->socket, "GET / HTTP/1.0\r\n\r\n");
      TlsErrorKind last = kTlsOk;
      Expect(StartsWith(ReadAll(*s->tls, s->socket, last), "HTTP/1.0 200"),
             "and the session works");
    }
  }
  {
    std::string error;
    auto context = MakeTlsClientContext(TlsClientOptions{true, certs + "/nada.pem"}, error);
    Expect(!context && StartsWith(error, "CA file "), "a missing CA file fails the context", error);
    context = MakeTlsClientContext(TlsClientOptions{true, certs + "/server.key"}, error);
    Expect(!context && StartsWith(error, "CA file "),
           "a CA file without certificates fails the context", error);
  }
}

void CheckBadPeers(int abrupt, int plain, int broken, int garbage) {
  for (const auto& [port, what] : {std::pair{broken, "a record that cannot be decrypted"},
                                   std::pair{garbage, "bytes that are no TLS record"}}) {
    const auto start = std::chrono::steady_clock::now();
    auto s = Open(port, "localhost", TlsClientOptions{false, ""});
    if (s->handshake != kTlsOk) {
      Expect(false, std::string("the handshake before ") + what, s->failure);
      continue;
    }
    TlsErrorKind last = kTlsOk;
    const std::string text = ReadAll(*s->tls, s->socket, last);
    Expect(text == "ok\r\n" && last == kTlsFailed,
           std::string("the line before ") + what + " arrives, then the read fails",
           text + ", " + KindName(last));
    Expect(std::chrono::steady_clock::now() - start < std::chrono::seconds(5),
           std::string("at once, not when the peer gives up after ") + what);
  }
  {
    auto s = Open(abrupt, "localhost", TlsClientOptions{false, ""});
    Expect(s->handshake == kTlsOk, "the abrupt peer's handshake", s->failure);
    if (s->handshake == kTlsOk) {
      TlsErrorKind last = kTlsOk;
      const std::string text = ReadAll(*s->tls, s->socket, last);
      Expect(text == "linha\r\n", "its line arrives", text);
      Expect(last == kAbruptEnd,
             "a peer gone without the closing alert reads as " + std::string(KindName(kAbruptEnd)),
             KindName(last));
    }
  }
  {
    const auto start = std::chrono::steady_clock::now();
    auto s = Open(plain, "localhost", TlsClientOptions{false, ""});
    Expect(s->handshake == kTlsFailed, "a peer without TLS fails the handshake",
           std::string(KindName(s->handshake)) + ", " + s->failure);
    Expect(!s->failure.empty(), "with a failure text");
    Expect(std::chrono::steady_clock::now() - start < std::chrono::seconds(5),
           "as soon as its first bytes arrive");
  }
}

void CheckServerContext(const std::string& certs) {
  std::string error;
  auto server = MakeTlsServerContext(certs + "/server.pem", certs + "/server.key", error);
  if (!server) {
    std::printf("skipped: the local server (%s)\n", error.c_str());
    Expect(!error.empty() && ServerContextMayBeMissing(), "no server context, with a reason",
           error);
    return;
  }
  uint32_t loopback = 0;
  DottedToAddress("127.0.0.1", loopback);
  const int listener = SocketCreateTcp();
  uint32_t bound = 0;
  uint16_t port = 0;
  if (!SocketBind(listener, loopback, 0, false) || !SocketListen(listener, 1) ||
      !SocketLocalAddress(listener, bound, port)) {
    Expect(false, "a listening socket for the local server");
    SocketCloseHandle(listener);
    return;
  }
  std::thread peer([&] {
    int s = kSocketWouldBlock;
    for (int i = 0; i < 100 && s == kSocketWouldBlock; ++i) {
      SocketWait(listener, false, 100000);
      s = SocketAccept(listener);
    }
    if (s < 0) return;
    auto tls = server->Connect(s, "");
    if (tls && Shake(*tls, s) == kTlsOk) {
      char line[64];
      TlsErrorKind error = kTlsWantRead;
      int n = 0;
      while (error == kTlsWantRead) {
        n = tls->Read(line, sizeof line, error);
        if (error == kTlsWantRead) SocketWait(s, false, 100000);
      }
      if (n > 0) WriteAll(*tls, s, "eco: " + std::string(line, static_cast<size_t>(n)));
      tls->Shutdown();
    }
    tls.reset();
    SocketCloseHandle(s);
  });
  auto s = Open(port, "127.0.0.1", TlsClientOptions{true, certs + "/ca.pem"});
  Expect(s->handshake == kTlsOk, "the local server's handshake", s->failure);
  if (s->handshake == kTlsOk) {
    WriteAll(*s->tls, s->socket, "um\r\n");
    TlsErrorKind last = kTlsOk;
    const std::string answer = ReadAll(*s->tls, s->socket, last);
    Expect(answer == "eco: um\r\n", "the local server answers", answer);
  }
  peer.join();
  SocketCloseHandle(listener);
}

}  // namespace
}  // namespace navelo

int main(int argc, char** argv) {
  using namespace navelo;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PORTS CERT_DIR [ENGINE]\n", argv[0]);
    return 2;
  }
  std::map<std::string, int> ports;
  std::istringstream words(argv[1]);
  std::string word;
  while (words >> word) {
    const size_t equals = word.find('=');
    if (equals != std::string::npos)
      ports[word.substr(0, equals)] = std::atoi(word.c_str() + equals + 1);
  }
  const std::string certs = argv[2];
  std::string engine;
  if (!PickTlsEngine(argc > 3 ? argv[3] : "auto", engine)) {
    std::printf("skipped: engine %s (%s)\n", argc > 3 ? argv[3] : "auto", engine.c_str());
    return 0;
  }
  std::printf("engine: %s\n", engine.c_str());
  SocketLayerStart();
  CheckTrustedPeer(ports["good"], certs + "/ca.pem");
  CheckLargeTransfers(ports["good"], certs + "/ca.pem");
  CheckRefusals(ports["good"], ports["other"], ports["self"], certs + "/ca.pem", certs);
  CheckBadPeers(ports["abrupt"], ports["plain"], ports["broken"], ports["garbage"]);
  CheckServerContext(certs);
  std::printf("%s: %d failed\n", g_failures == 0 ? "passed" : "FAILED", g_failures);
  return g_failures == 0 ? 0 : 1;
}
