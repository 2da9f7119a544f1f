// The socket commands, the channel forms of ESCREVE, LE and FECHA on connections, and
// TRAZDAREDE and HTTP, against servers on 127.0.0.1.
#include <thread>

#include "fake_services.h"
#include "platform/net_socket.h"
#include "platform/text_encoding.h"
#include "tests/net/test_server.h"

namespace navelo::testing {
namespace {

// Answers each line with "eco: " and the line; "FIM" ends the connection.
TestServer::Handler Echo() {
  return [](ServerConnection& c, const std::string&) {
    for (;;) {
      const std::string line = c.ReadUntil("\r\n");
      if (line.empty() || line == "FIM\r\n") break;
      c.Send("eco: " + line);
    }
  };
}

class NetCommandsTest : public InterpreterTest {
 protected:
  void SetKey(const std::string& key, const std::string& value) {
    fs::create_directories(config_.UserConfigDir());
    config_.Write("NAVELO", key, value);
  }
  std::string Said() {
    std::string all;
    for (const auto& s : speech.spoken) all += s + "|";
    return all;
  }
  std::string FileText(const std::string& name) { return Slurp(dir_ / name); }
  static std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

TEST_F(NetCommandsTest, TalksLineByLineOnAChannel) {
  TestServer server(Echo(), {}, {}, false);
  const std::string port = std::to_string(server.port());
  const RunResult r = Run("internet inicia\n"
                          "conecta #1 \"127.0.0.1\" " + port + "\n"
                          "escreve #1 \"ol\xE1\"\n"
                          "checa a\n"
                          "le #1 b\n"
                          "checa c\n"
                          "escreve #1 \"FIM\"\n"
                          "le #1 d\n"
                          "checa e\n"
                          "fecha #1\n"
                          "internet termina\n");
  EXPECT_EQ(r.result, 0) << Said();
  EXPECT_EQ(Var('A'), "1");  // something was sent
  EXPECT_EQ(Var('B'), "eco: ol\xE1");
  EXPECT_EQ(Var('C'), "0");
  EXPECT_EQ(Var('D'), "");
  EXPECT_EQ(Var('E'), "1");  // the peer closed
  EXPECT_FALSE(in.channels.IsOpen(1));
}

TEST_F(NetCommandsTest, ConnectionAndPortErrorsLoudAndQuiet) {
  int closed_port;
  {
    TestServer gone(Echo(), {}, {}, false);
    closed_port = gone.port();
  }
  const std::string port = std::to_string(closed_port);
  EXPECT_EQ(Run("conecta #1 \"127.0.0.1\" \"abc\" &\ncheca a\n"
                "conecta #1 \"127.0.0.1\" " + port + " &\ncheca b\n"
                "conecta #1 &\ncheca c\n").result, 0);
  EXPECT_EQ(Var('A'), "2");
  EXPECT_EQ(Var('B'), "1");
  EXPECT_EQ(Var('C'), "1");
  EXPECT_EQ(speech.spoken.size(), 0u);
  EXPECT_EQ(Run("conecta #1 \"127.0.0.1\" \"abc\"\n").result, 1);
  EXPECT_EQ(Run("conecta #1 \"127.0.0.1\" " + port + "\n").result, 1);
  EXPECT_EQ(Said(), "Erro na porta TCP/IP|Erro de conexao|");
  EXPECT_EQ(Run("internet comeca\n").result, 1);
}

TEST_F(NetCommandsTest, TlsChannelAndTheSslMark) {
  const auto& certs = TestCertificates::Get();
  ASSERT_TRUE(certs.ok);
  SetKey("SSL_ARQUIVO_CA", certs.ca_cert.string());
  TestServer secure(Echo(), certs.server_cert, certs.server_key, false);
  TestServer plain(Echo(), {}, {}, false);
  const std::string sp = std::to_string(secure.port());
  const std::string pp = std::to_string(plain.port());
  // While the mark is set, a CONECTA without the prefix is tried over TLS too, and a second TLS
  // connection is refused while the first is open.
  EXPECT_EQ(Run("conecta ssl #1 \"localhost\" " + sp + "\n"
                "escreve #1 \"seguro\"\n"
                "le #1 a\n"
                "conecta #2 \"localhost\" " + pp + " &\n"
                "checa b\n"
                "fecha #1\n"
                "conecta #2 \"localhost\" " + pp + "\n"
                "escreve #2 \"claro\"\n"
                "le #2 c\n"
                "fecha #2\n").result, 0) << Said();
  EXPECT_EQ(Var('A'), "eco: seguro");
  EXPECT_EQ(Var('B'), "1");
  EXPECT_EQ(Var('C'), "eco: claro");
}

TEST_F(NetCommandsTest, TheSslMarkLastsUntilFechaOfASocketChannel) {
  const auto& certs = TestCertificates::Get();
  ASSERT_TRUE(certs.ok);
  SetKey("SSL_ARQUIVO_CA", certs.ca_cert.string());
  TestServer secure(Echo(), certs.server_cert, certs.server_key, false);
  TestServer plain(Echo(), {}, {}, false);
  const std::string sp = std::to_string(secure.port());
  const std::string pp = std::to_string(plain.port());
  // A CONECTA without the prefix on the channel that holds the TLS connection closes that one
  // and connects over TLS again.
  EXPECT_EQ(Run("conecta ssl #1 \"localhost\" " + sp + "\n"
                "conecta #1 \"localhost\" " + sp + "\n"
                "escreve #1 \"de novo\"\n"
                "le #1 a\n"
                "fecha #1\n").result, 0) << Said();
  EXPECT_EQ(Var('A'), "eco: de novo");
  // Closing a plain channel implicitly, by a CONECTA or an ABRE that reuses it, or closing a
  // file keeps the mark too: while the TLS channel is open, new connections are tried over TLS
  // and refused, since one TLS connection is open.
  const std::string plain_on = " \"localhost\" " + pp + " &\n";
  EXPECT_EQ(Run("conecta #2" + plain_on +
                "conecta #3" + plain_on +
                "conecta ssl #1 \"localhost\" " + sp + "\n"
                "conecta #2" + plain_on + "checa b\n"
                "abre #3 \"c:\\x.txt\" &\n"
                "conecta #4" + plain_on + "checa c\n"
                "fecha #3\n"
                "conecta #4" + plain_on + "checa d\n"
                "escreve #1 \"ainda\"\n"
                "le #1 e\n"
                "fecha #1\n"
                "conecta #2" + plain_on + "checa f\n"
                "escreve #2 \"claro\"\n"
                "le #2 g\n"
                "fecha #2\n").result, 0) << Said();
  EXPECT_EQ(Var('B'), "1");
  EXPECT_EQ(Var('C'), "1");
  EXPECT_EQ(Var('D'), "1");
  EXPECT_EQ(Var('E'), "eco: ainda");
  EXPECT_EQ(Var('F'), "0");
  EXPECT_EQ(Var('G'), "eco: claro");
}

TEST_F(NetCommandsTest, LeOnATlsChannelWaitsForTheLineWithoutTimeOut) {
  const auto& certs = TestCertificates::Get();
  ASSERT_TRUE(certs.ok);
  SetKey("SSL_ARQUIVO_CA", certs.ca_cert.string());
  SetKey("TEMPO_OCIOSO", "1");
  TestServer server([](ServerConnection& c, const std::string&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    c.Send("bom dia\r\n");
    c.ReadUntil("FIM\r\n");
  }, certs.server_cert, certs.server_key, false);
  EXPECT_EQ(Run("conecta ssl #1 \"localhost\" " + std::to_string(server.port()) + "\n"
                "le #1 a\n"
                "checa b\n"
                "escreve #1 \"FIM\"\n"
                "fecha #1\n").result, 0) << Said();
  EXPECT_EQ(Var('A'), "bom dia");
  EXPECT_EQ(Var('B'), "0");
}

TEST_F(NetCommandsTest, AForgedCertificateIsRefusedAndNamed) {
  const auto& certs = TestCertificates::Get();
  ASSERT_TRUE(certs.ok);
  TestServer forged(Echo(), certs.self_cert, certs.self_key, false);
  EXPECT_EQ(Run("conecta ssl #1 \"localhost\" " + std::to_string(forged.port()) + "\n").result, 1);
  EXPECT_EQ(Said(), "Certificado do servidor recusado: localhost|Erro de conexao|");
}

TEST_F(NetCommandsTest, AtivaSslMovesTheChannelToTls) {
  const auto& certs = TestCertificates::Get();
  ASSERT_TRUE(certs.ok);
  SetKey("SSL_ARQUIVO_CA", certs.ca_cert.string());
  TestServer secure(Echo(), certs.server_cert, certs.server_key, false);
  // The first CONECTA makes a plain connection to the TLS port; ATIVASSL replaces it with a TLS
  // connection to the same target, and the channel reads and writes there.
  EXPECT_EQ(Run("conecta #3 \"localhost\" " + std::to_string(secure.port()) + "\n"
                "ativassl #3\n"
                "escreve #3 \"depois\"\n"
                "le #3 a\n"
                "fecha #3\n").result, 0) << Said();
  EXPECT_EQ(Var('A'), "eco: depois");
}

TEST_F(NetCommandsTest, ObservaKeyboardAndChannels) {
  TestServer server([](ServerConnection& c, const std::string&) {
    c.ReadUntil("\r\n");
    c.Send("pronto\r\n");
    c.ReadUntil("never");
  }, {}, {}, false);
  keys.Type("x");
  EXPECT_EQ(Run("observa teclado a\n"
                "observa #4 b\n"
                "conecta #4 \"127.0.0.1\" " + std::to_string(server.port()) + "\n"
                "observa #4 c\n"
                "escreve #4 \"vai\"\n"
                "@espera\n"
                "observa #4 d\n"
                "se d = 0 desvia @espera\n"
                "le #4 e\n"
                "observa #4 f\n"
                "fecha #4\n").result, 0) << Said();
  EXPECT_EQ(Var('A'), "1");
  EXPECT_EQ(keys.queue.size(), 1u);  // the key is left to be read
  EXPECT_EQ(Var('B'), "0");
  EXPECT_EQ(Var('C'), "0");
  EXPECT_EQ(Var('E'), "pronto");
  EXPECT_EQ(Var('F'), "0");
  EXPECT_EQ(Run("observa #4 a b\n").result, 1);
}

TEST_F(NetCommandsTest, IpAndHandle) {
  TestServer server(Echo(), {}, {}, false);
  EXPECT_EQ(Run("conecta #1 \"localhost\" " + std::to_string(server.port()) + "\n"
                "ip local #1 a\n"
                "ip remoto #1 $r\n"
                "handle h\n"
                "fecha #1\n").result, 0);
  EXPECT_EQ(Var('A'), "127.0.0.1");
  EXPECT_EQ(Var("R"), "127.0.0.1");
  EXPECT_EQ(Var('H'), "0");  // no window in the tests
  EXPECT_EQ(Run("ip local #1 a\n").result, 1);
  EXPECT_EQ(Run("ip fora #1 a\n").result, 1);
}

TEST_F(NetCommandsTest, ServeTakesOneClient) {
  // A port that is free now.
  int port;
  {
    TestServer probe(Echo(), {}, {}, false);
    port = probe.port();
  }
  std::thread client([port] {
    uint32_t loopback = 0;
    DottedToAddress("127.0.0.1", loopback);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const int s = SocketCreateTcp();
      SocketConnectStart(s, loopback, static_cast<uint16_t>(port));
      if (SocketWait(s, true, 1000000) == 1 && SocketConnectError(s) == 0) {
        SocketSendSome(s, "cliente\r\n", 9);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        SocketCloseHandle(s);
        return;
      }
      SocketCloseHandle(s);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const RunResult r = Run("serve #5 " + std::to_string(port) + "\nle #5 a\nfecha #5\n");
  client.join();
  EXPECT_EQ(r.result, 0) << Said();
  EXPECT_EQ(Var('A'), "cliente");
  EXPECT_EQ(Run("serve #5 \"abc\"\n").result, 1);
  EXPECT_EQ(Run("serve #5\n").result, 1);
  EXPECT_EQ(Said(), "Erro na porta TCP/IP|Erro de conexao|");
}

TEST_F(NetCommandsTest, TrazDaRedeDownloadsAndReportsByItsVariable) {
  TestServer server([](ServerConnection& c, const std::string& request) {
    if (request.rfind("GET /ok ", 0) == 0) {
      c.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nbytes");
    } else {
      c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    }
  });
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(Run("seja $u \"" + base + "/ok\"\n"
                "trazdarede $u \"c:\\baixado.bin\" 0 \"\" \"tibiru\" x\n"
                "trazdarede \"" + base + "/nada\" \"c:\\nada.bin\" 0 \"\" \"\" y\n").result, 0) << Said();
  EXPECT_EQ(Var('X'), "0");
  EXPECT_EQ(FileText("baixado.bin"), "bytes");
  EXPECT_EQ(Var('Y'), "1");
  EXPECT_EQ(Said(), Utf8ToCp1252("Erro http404: Página não encontrada.|"));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_NE(server.Requests()[1].find("User-Agent: \r\n"), std::string::npos);
  // Malformed commands fail the script; a download that fails does not.
  EXPECT_EQ(Run("trazdarede \"" + base + "/ok\" \"c:\\a\" 2 \"\" \"\" x\n").result, 1);
  EXPECT_EQ(Run("trazdarede \"" + base + "/ok\" \"c:\\a\" 0\n").result, 1);
  EXPECT_EQ(Run("trazdarede \"" + base + "/ok\" \"c:\\a\" 0 \"\" \"\"\n").result, 1);
  EXPECT_EQ(Run("trazdarede \"http://127.0.0.1:1/\" \"c:\\a\" 0 \"\" \"\" z\n").result, 0);
  EXPECT_EQ(Var('Z'), "1");
}

TEST_F(NetCommandsTest, TrazDaRedeHandsTheStatusAndTypeToAScriptThatAsks) {
  TestServer server([](ServerConnection& c, const std::string& request) {
    if (request.rfind("GET /ok ", 0) == 0) {
      c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\n"
             "Content-Length: 2\r\n\r\nok");
    } else if (request.rfind("GET /ruim ", 0) == 0) {
      c.Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
    } else {
      c.Send("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n");
    }
  });
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(Run("trazdarede \"" + base + "/ok\" \"c:\\a.html\" 0 \"\" \"\" x $st $tipo\n"
                "seja a $st\nseja b $tipo\n"
                "trazdarede \"" + base + "/nada\" \"c:\\b.html\" 0 \"\" \"\" y $st\n"
                "seja c $st\n"
                "trazdarede \"" + base + "/ruim\" \"c:\\c.html\" 0 \"\" \"\" z $st $tipo\n"
                "seja d $st\nseja e $tipo\n"
                "trazdarede \"http://127.0.0.1:1/\" \"c:\\d.html\" 0 \"\" \"\" w $st $tipo\n"
                "seja f $st\n").result, 0) << Said();
  EXPECT_EQ(Var('X'), "0");
  EXPECT_EQ(Var('A'), "200");
  EXPECT_EQ(Var('B'), "text/html; charset=ISO-8859-1");
  EXPECT_EQ(Var('Y'), "1");
  EXPECT_EQ(Var('C'), "404");
  EXPECT_EQ(Var('Z'), "1");
  EXPECT_EQ(Var('D'), "400");
  EXPECT_EQ(Var('E'), "");
  EXPECT_EQ(Var('W'), "1");
  EXPECT_EQ(Var('F'), "");  // no answer at all
  // The script reports the refused pages itself: the download said nothing about them.
  EXPECT_EQ(Said().find("Erro http"), std::string::npos) << Said();
}

TEST_F(NetCommandsTest, TrazDaRedeOverHttps) {
  const auto& certs = TestCertificates::Get();
  ASSERT_TRUE(certs.ok);
  TestServer server([](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Transfer-Encoding: chunked\r\n\r\n6\r\n<p>ok\n\r\n0\r\n\r\n");
  }, certs.server_cert, certs.server_key);
  const std::string url = "https://localhost:" + std::to_string(server.port()) + "/p";
  EXPECT_EQ(Run("trazdarede \"" + url + "\" \"c:\\p.html\" 0 \"\" \"tibiru\" x\n").result, 0);
  EXPECT_EQ(Var('X'), "1");  // not trusted yet
  SetKey("SSL_ARQUIVO_CA", certs.ca_cert.string());
  EXPECT_EQ(Run("trazdarede \"" + url + "\" \"c:\\p.html\" 0 \"\" \"tibiru\" x\n").result, 0);
  EXPECT_EQ(Var('X'), "0");
  EXPECT_EQ(FileText("p.html"), "<p>ok\r\n\r\n");
}

TEST_F(NetCommandsTest, HttpEncodesAVariableInPlace) {
  EXPECT_EQ(Run("seja $q \"a b&c\"\nhttp $q\nseja w \"x/y\"\nhttp w resto\n").result, 0);
  EXPECT_EQ(Var("Q"), "a%20b%26c");
  EXPECT_EQ(Var('W'), "x%2Fy");
  EXPECT_EQ(Run("http \"texto\"\n").result, 1);
}

}  // namespace
}  // namespace navelo::testing
