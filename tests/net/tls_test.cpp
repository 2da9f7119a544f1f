// TLS connections against a local TLS server with a certificate authority made for the test.
#include <csignal>

#include "net/line_reader.h"
#include "tests/net/net_fixture.h"

namespace navelo::testing {
namespace {

using namespace std::chrono_literals;

// A TLS server that answers each line it gets with "eco: " and the line, until "FIM".
std::unique_ptr<TestServer> EchoServer(const fs::path& cert, const fs::path& key) {
  return std::make_unique<TestServer>(
      [](ServerConnection& c, const std::string&) {
        for (;;) {
          const std::string line = c.ReadUntil("\r\n");
          if (line.empty() || line == "FIM\r\n") break;
          c.Send("eco: " + line);
        }
      },
      cert, key, false);
}

class TlsTest : public NetTest {
 protected:
  void SetUp() override { ASSERT_TRUE(TestCertificates::Get().ok) << "openssl could not make certificates"; }
  const TestCertificates& certs = TestCertificates::Get();
};

TEST_F(TlsTest, TalksLineByLineWithATrustedServer) {
  TrustTestAuthority();
  auto server = EchoServer(certs.server_cert, certs.server_key);
  const int s = net_.TcpConnectSecure("localhost", server->port());
  ASSERT_GE(s, 0) << net_.LastTlsFailure();
  EXPECT_TRUE(net_.TlsActive());
  EXPECT_EQ(net_.TlsSocket(), s);
  LineReader reader(net_, s);
  std::string line;
  for (const std::string& text : std::vector<std::string>{"um", std::string(9000, 'z'), "tr\xEAs"}) {
    ASSERT_TRUE(net_.SendLine(s, text));
    ASSERT_TRUE(reader.ReadLine(line, 5));
    EXPECT_EQ(line, "eco: " + text);
  }
  net_.SendLine(s, "FIM");
  EXPECT_FALSE(reader.ReadLine(line, 5));
  net_.TcpClose(s);
  EXPECT_FALSE(net_.TlsActive());
  EXPECT_EQ(console_.written, "");  // a clean close is no error
}

TEST_F(TlsTest, AnAddressIsCheckedAsAnAddress) {
  TrustTestAuthority();
  auto server = EchoServer(certs.server_cert, certs.server_key);
  const int s = net_.TcpConnectSecure("127.0.0.1", server->port());
  EXPECT_GE(s, 0) << net_.LastTlsFailure();
  net_.TcpClose(s);
}

TEST_F(TlsTest, RefusesAnUntrustedServerUnlessTrustedOrVerificationIsOff) {
  auto server = EchoServer(certs.self_cert, certs.self_key);
  // The system's store does not know the test's certificates.
  EXPECT_EQ(net_.TcpConnectSecure("localhost", server->port()), -1);
  EXPECT_EQ(net_.LastTlsFailure().rfind("certificate: ", 0), 0u) << net_.LastTlsFailure();
  EXPECT_FALSE(net_.TlsActive());
  // The authority of another chain does not help either.
  TrustTestAuthority();
  EXPECT_EQ(net_.TcpConnectSecure("localhost", server->port()), -1);
  // The self-signed certificate itself as the trusted file.
  SetKey("SSL_ARQUIVO_CA", certs.self_cert.string());
  int s = net_.TcpConnectSecure("localhost", server->port());
  EXPECT_GE(s, 0) << net_.LastTlsFailure();
  net_.TcpClose(s);
  SetKey("SSL_ARQUIVO_CA", "");
  SetKey("SSL_SEM_VERIFICACAO", "S");
  s = net_.TcpConnectSecure("localhost", server->port());
  EXPECT_GE(s, 0) << net_.LastTlsFailure();
  net_.TcpClose(s);
}

TEST_F(TlsTest, RefusesACertificateForAnotherName) {
  TrustTestAuthority();
  auto server = EchoServer(certs.other_cert, certs.server_key);
  EXPECT_EQ(net_.TcpConnectSecure("localhost", server->port()), -1);
  EXPECT_EQ(net_.TcpConnectSecure("127.0.0.1", server->port()), -1);
  EXPECT_NE(net_.LastTlsFailure().find("certificate"), std::string::npos) << net_.LastTlsFailure();
  SetKey("SSL_SEM_VERIFICACAO", "sim");
  const int s = net_.TcpConnectSecure("localhost", server->port());
  EXPECT_GE(s, 0);
  net_.TcpClose(s);
}

TEST_F(TlsTest, AMissingCaFileFailsTheConnection) {
  SetKey("SSL_ARQUIVO_CA", (dir_.path() / "nada.pem").string());
  auto server = EchoServer(certs.server_cert, certs.server_key);
  EXPECT_EQ(net_.TcpConnectSecure("localhost", server->port()), -1);
}

TEST_F(TlsTest, APeerThatSpeaksNoTlsOrStallsFailsTheHandshakeInTime) {
  SetKey("TEMPO_CONEXAO", "1");
  TestServer plain([](ServerConnection& c, const std::string&) { c.Send("HTTP/1.1 200 OK\r\n\r\n"); },
                   {}, {}, false);
  EXPECT_EQ(net_.TcpConnectSecure("localhost", plain.port()), -1);
  TestServer silent(
      [](ServerConnection&, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
      },
      {}, {}, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(net_.TcpConnectSecure("localhost", silent.port()), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(TlsTest, OneConnectionAtATimeAndANewOneAfterClosing) {
  TrustTestAuthority();
  auto server = EchoServer(certs.server_cert, certs.server_key);
  const int first = net_.TcpConnectSecure("localhost", server->port());
  ASSERT_GE(first, 0);
  // A second one is refused and the first one goes on working.
  EXPECT_EQ(net_.TcpConnectSecure("localhost", server->port()), -1);
  EXPECT_EQ(net_.TlsSocket(), first);
  LineReader reader(net_, first);
  std::string line;
  ASSERT_TRUE(net_.SendLine(first, "ainda"));
  ASSERT_TRUE(reader.ReadLine(line, 5));
  EXPECT_EQ(line, "eco: ainda");
  net_.TcpClose(first);
  const int second = net_.TcpConnectSecure("localhost", server->port());
  EXPECT_GE(second, 0);
  net_.TcpClose(second);
}

TEST_F(TlsTest, APeerClosingAfterItsLastLineEndsTheReadingQuietly) {
  SetKey("SSL_SEM_VERIFICACAO", "S");
  // With the closing alert after a last line without its end, and without the alert.
  const std::vector<TestServer::Handler> peers = {
      [](ServerConnection& c, const std::string&) { c.Send("ok"); },
      [](ServerConnection& c, const std::string&) {
        c.Send("ok\r\n");
        c.Drop();
      }};
  for (size_t peer = 0; peer < peers.size(); ++peer) {
    TestServer server(peers[peer], certs.server_cert, certs.server_key, false);
    const int s = net_.TcpConnectSecure("localhost", server.port());
    ASSERT_GE(s, 0) << "peer " << peer;
    LineReader reader(net_, s);
    std::string line;
    EXPECT_TRUE(reader.ReadLine(line, 5)) << "peer " << peer;
    EXPECT_EQ(line, "ok") << "peer " << peer;
    EXPECT_FALSE(reader.ReadLine(line, 5)) << "peer " << peer;
    net_.TcpClose(s);
    EXPECT_EQ(console_.written, "") << "peer " << peer;
  }
}

TEST_F(TlsTest, ABrokenRecordShowsTheTlsErrorAndEndsTheConnection) {
  SetKey("SSL_SEM_VERIFICACAO", "S");
  TestServer server(
      [](ServerConnection& c, const std::string&) {
        c.Send("ok\r\n");
        // An application-data record whose contents cannot be decrypted.
        c.SendRaw(std::string("\x17\x03\x03\x00\x20", 5) + std::string(32, 'g'));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      },
      certs.server_cert, certs.server_key, false);
  const int s = net_.TcpConnectSecure("localhost", server.port());
  ASSERT_GE(s, 0);
  LineReader reader(net_, s);
  std::string line;
  EXPECT_TRUE(reader.ReadLine(line, 5));
  EXPECT_FALSE(reader.ReadLine(line, 5));
  EXPECT_EQ(console_.written, "Erro SSL: 1\r\n");
  net_.TcpClose(s);
}

TEST_F(TlsTest, AReadWithoutTimeOutWaitsPastRecordsThatCarryNoData) {
  TrustTestAuthority();
  SetKey("TEMPO_OCIOSO", "1");
  // The server's TLS 1.3 session tickets make the socket readable at once; its line comes only
  // after more than the idle limit.
  TestServer server(
      [](ServerConnection& c, const std::string&) {
        std::this_thread::sleep_for(1500ms);
        c.Send("ola\r\n");
        c.ReadUntil("FIM\r\n");
      },
      certs.server_cert, certs.server_key, false);
  const int s = net_.TcpConnectSecure("localhost", server.port());
  ASSERT_GE(s, 0) << net_.LastTlsFailure();
  LineReader reader(net_, s);
  std::string line;
  EXPECT_TRUE(reader.ReadLine(line, 0));
  EXPECT_EQ(line, "ola");
  net_.SendLine(s, "FIM");
  net_.TcpClose(s);
}

TEST_F(TlsTest, TheClientContextIsKeptWhileItsSettingsStayTheSame) {
  TrustTestAuthority();
  auto server = EchoServer(certs.server_cert, certs.server_key);
  auto other = EchoServer(certs.other_cert, certs.server_key);
  auto self = EchoServer(certs.self_cert, certs.self_key);
  for (int i = 0; i < 3; ++i) {
    const int s = net_.TcpConnectSecure("localhost", server->port());
    ASSERT_GE(s, 0) << net_.LastTlsFailure();
    net_.TcpClose(s);
  }
  EXPECT_EQ(net_.TlsContextsMade(), 1);
  // Every connection made with the kept context is checked as the first one was.
  EXPECT_EQ(net_.TcpConnectSecure("localhost", other->port()), -1);
  EXPECT_EQ(net_.TcpConnectSecure("127.0.0.1", other->port()), -1);
  EXPECT_EQ(net_.TcpConnectSecure("localhost", self->port()), -1);
  EXPECT_EQ(net_.TlsContextsMade(), 1);
  // Other settings make another context.
  SetKey("SSL_SEM_VERIFICACAO", "S");
  int s = net_.TcpConnectSecure("localhost", other->port());
  EXPECT_GE(s, 0);
  net_.TcpClose(s);
  EXPECT_EQ(net_.TlsContextsMade(), 2);
  SetKey("SSL_SEM_VERIFICACAO", "N");
  EXPECT_EQ(net_.TcpConnectSecure("localhost", other->port()), -1);
  EXPECT_EQ(net_.TlsContextsMade(), 3);
  // A CA file rewritten in place is read again.
  const fs::path ca = dir_.path() / "ca.pem";
  Spit(ca, Slurp(certs.ca_cert));
  // Named as the host names it: the test's folder is its drive C (a Windows path of the real
  // drive C would be taken into that folder).
  SetKey("SSL_ARQUIVO_CA", "C:\\ca.pem");
  EXPECT_EQ(net_.TcpConnectSecure("localhost", self->port()), -1);
  std::this_thread::sleep_for(20ms);
  Spit(ca, Slurp(certs.self_cert) + "\n");
  s = net_.TcpConnectSecure("localhost", self->port());
  EXPECT_GE(s, 0) << net_.LastTlsFailure();
  net_.TcpClose(s);
  EXPECT_EQ(net_.TlsContextsMade(), 5);
}

#ifdef SIGPIPE
// Connects over TLS with the process's default answer to a write on a broken connection, which
// ends the program, and writes until the peer is surely gone.
void WriteToAPeerThatClosed() {
  TempDir dir;
  HostEnvironment host(MapEnv({{"HOME", dir.path().string()}}), dir.path().string());
  Config config(host);
  fs::create_directories(config.UserConfigDir());
  config.Write("NAVELO", "SSL_SEM_VERIFICACAO", "S");
  const auto& certs = TestCertificates::Get();
  TestServer server([](ServerConnection& c, const std::string&) { c.Drop(); },
                    certs.server_cert, certs.server_key, false);
  std::signal(SIGPIPE, SIG_DFL);
  QuietConsole console;
  QueueKeyboard keys;
  Network net(console, keys, config, host);
  const int s = net.TcpConnectSecure("localhost", server.port());
  if (s < 0) std::exit(2);
  std::this_thread::sleep_for(200ms);
  for (int i = 0; i < 20; ++i) {
    net.SendLine(s, "ainda ai?");
    std::this_thread::sleep_for(10ms);
  }
  net.TcpClose(s);
  std::exit(0);
}

TEST(TlsDeathTest, WritingToAPeerThatClosedDoesNotEndTheProgram) {
  ASSERT_TRUE(TestCertificates::Get().ok);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WriteToAPeerThatClosed(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace navelo::testing
