// TLS connections against a local TLS server with a certificate authority made for the test.
#include "net/line_reader.h"
#include "tests/net/net_fixture.h"

namespace navelo::testing {
namespace {

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

TEST_F(TlsTest, OneConnectionAtATimeAndAFreshContextAfterClosing) {
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

TEST_F(TlsTest, APeerClosingAfterItsLineEndsTheReadingQuietly) {
  SetKey("SSL_SEM_VERIFICACAO", "S");
  TestServer server([](ServerConnection& c, const std::string&) { c.Send("ok"); },
                    certs.server_cert, certs.server_key, false);
  const int s = net_.TcpConnectSecure("localhost", server.port());
  ASSERT_GE(s, 0);
  LineReader reader(net_, s);
  std::string line;
  EXPECT_TRUE(reader.ReadLine(line, 5));
  EXPECT_EQ(line, "ok");
  EXPECT_FALSE(reader.ReadLine(line, 5));
  net_.TcpClose(s);
  EXPECT_EQ(console_.written, "");
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

}  // namespace
}  // namespace navelo::testing
