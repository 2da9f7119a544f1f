// The download against local HTTP and HTTPS servers, well-behaved and hostile.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/net/net_fixture.h"

namespace navelo::testing {
namespace {

using namespace std::chrono_literals;

TestServer::Handler Reply(std::string bytes) {
  return [bytes = std::move(bytes)](ServerConnection& c, const std::string&) { c.Send(bytes); };
}

std::string Chunked(const std::string& body, size_t piece) {
  std::string out;
  for (size_t i = 0; i < body.size(); i += piece) {
    const std::string part = body.substr(i, piece);
    char size[32];
    std::snprintf(size, sizeof size, "%zx;ext=1\r\n", part.size());
    out += size + part + "\r\n";
  }
  return out + "0\r\nTrailer: x\r\n\r\n";
}

TEST_F(NetTest, FixedLengthBodyAndTheRequestAsWritten) {
  const std::string body = Pattern(10000);
  TestServer server(Reply(Answer("200 OK", body)));
  DownloadRequest request = Request(server.Url("/a/b?x=1&y=2"));
  request.cookie = "sess=1";
  EXPECT_TRUE(HttpDownload(net_, ui_, request));
  EXPECT_TRUE(SameBytes(File(), body));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /a/b?x=1&y=2 HTTP/1.1\r\nUser-Agent: tibiru\r\nAccept: */*\r\n"
            "Accept-Encoding: identity\r\nHost: 127.0.0.1\r\nConnection: Close\r\n"
            "Cookie: sess=1\r\n\r\n");
  EXPECT_TRUE(ui_.said.empty());
}

TEST_F(NetTest, EmptyAgentStillSentAndEmptyUrlOrFileFails) {
  TestServer server(Reply(Answer("200 OK", "x")));
  DownloadRequest request = Request(server.Url("/"));
  request.agent = "";
  EXPECT_TRUE(HttpDownload(net_, ui_, request));
  EXPECT_NE(server.Requests()[0].find("\r\nUser-Agent: \r\n"), std::string::npos);
  EXPECT_EQ(server.Requests()[0].find("Cookie"), std::string::npos);
  EXPECT_FALSE(Download(""));
  request.file.clear();
  EXPECT_FALSE(HttpDownload(net_, ui_, request));
}

TEST_F(NetTest, ChunkedBodyIsDecoded) {
  const std::string body = Pattern(20000);
  TestServer server(Reply("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n" + Chunked(body, 3001)));
  EXPECT_TRUE(Download(server.Url("/som.mp3")));
  EXPECT_TRUE(SameBytes(File(), body));
}

TEST_F(NetTest, ChunkedBodyCutShortFails) {
  const std::string whole = Chunked(Pattern(5000), 1000);
  TestServer server(Reply("HTTP/1.1 200 OK\r\nContent-Type: audio/x\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n" + whole.substr(0, 2500)));
  EXPECT_FALSE(Download(server.Url("/")));
  TestServer garbage(Reply("HTTP/1.1 200 OK\r\nContent-Type: audio/x\r\n"
                           "Transfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n"));
  EXPECT_FALSE(Download(garbage.Url("/"), "g.bin"));
}

TEST_F(NetTest, TextAnswerWithoutLengthIsFetchedAgainAsText) {
  TestServer server([](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nlinha 1\r\nlinha 2\nfim\r\r\nsem fim");
  });
  DownloadRequest request = Request(server.Url("/p"), "p.html");
  request.cookie = "c=1";
  EXPECT_TRUE(HttpDownload(net_, ui_, request));
  EXPECT_EQ(File("p.html"), "linha 1\r\nlinha 2\r\nfim\r\r\nsem fim\r\n\r\n");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1],
            "GET /p HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: tibiru\r\nConnection: close\r\n"
            "Accept-Language: pt-br\r\nUA-CPU: x86\r\nCookie: c=1\r\n\r\n");
}

TEST_F(NetTest, ChunkedTextIsDecodedBeforeItsLinesAreStored) {
  TestServer server(Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n" +
                          Chunked("<ul>\n<li>um</li>\n<li>dois</li>\n</ul>\n", 7)));
  EXPECT_TRUE(Download(server.Url("/"), "t.html"));
  EXPECT_EQ(File("t.html"), "<ul>\r\n<li>um</li>\r\n<li>dois</li>\r\n</ul>\r\n\r\n");
}

TEST_F(NetTest, AudioWithoutLengthIsTakenUntilTheServerCloses) {
  const std::string body = Pattern(50000);
  TestServer server(Reply("HTTP/1.1 200 OK\r\nContent-Type: Audio/mpeg\r\n\r\n" + body));
  EXPECT_TRUE(Download(server.Url("/")));
  EXPECT_TRUE(SameBytes(File(), body));
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(NetTest, ResumesWithARangeAndA206) {
  const std::string body = Pattern(3000);
  Spit(dir_.path() / "out.bin", body.substr(0, 1000));
  TestServer server([body](ServerConnection& c, const std::string& request) {
    if (request.find("\r\nRange: bytes=1000-\r\n") == std::string::npos) return;
    c.Send(Answer("206 Partial Content", body.substr(1000)));
  });
  EXPECT_TRUE(Download(server.Url("/f")));
  EXPECT_TRUE(SameBytes(File(), body));
  EXPECT_EQ(ui_.said, std::vector<std::string>{"Retomando download"});
}

TEST_F(NetTest, A200ToARangeReplacesTheFileAndAnEmptyFileAsksFromZero) {
  Spit(dir_.path() / "out.bin", std::string(5000, 'o'));
  TestServer server(Reply(Answer("200 OK", "novo")));
  EXPECT_TRUE(Download(server.Url("/")));
  EXPECT_EQ(File(), "novo");
  Spit(dir_.path() / "empty.bin", "");
  EXPECT_TRUE(Download(server.Url("/"), "empty.bin"));
  EXPECT_NE(server.Requests()[1].find("Range: bytes=0-\r\n"), std::string::npos);
}

TEST_F(NetTest, NotFoundAndBadRequestSpeakAndLeaveTheFile) {
  Spit(dir_.path() / "out.bin", "antes");
  TestServer missing(Reply(Answer("404 Not Found", "<html>nada</html>")));
  EXPECT_FALSE(Download(missing.Url("/")));
  TestServer bad(Reply(Answer("400 Bad Request", "")));
  EXPECT_FALSE(Download(bad.Url("/")));
  EXPECT_EQ(ui_.said, (std::vector<std::string>{"Erro http404: P\xE1gina n\xE3o encontrada.",
                                                "Erro http400:Requisi\xE7\xE3o http n\xE3o foi bem formulada."}));
  EXPECT_EQ(File(), "antes");
}

TEST_F(NetTest, OtherStatusesNeverReachTheFile) {
  Spit(dir_.path() / "out.bin", "completo");
  TestServer refused(Reply(Answer("416 Range Not Satisfiable", "erro")));
  EXPECT_FALSE(Download(refused.Url("/")));
  TestServer failing(Reply("HTTP/1.1 500 Internal\r\nContent-Type: text/html\r\n\r\nfalhou"));
  EXPECT_FALSE(Download(failing.Url("/")));
  EXPECT_EQ(File(), "completo");
}

TEST_F(NetTest, FollowsRedirectsRelativeAndAbsoluteButNotForever) {
  TestServer target(Reply(Answer("200 OK", "destino")));
  const std::string absolute = target.Url("/final");
  TestServer server([absolute](ServerConnection& c, const std::string& request) {
    if (request.rfind("GET /a/start ", 0) == 0) {
      c.Send("HTTP/1.1 302 Found\r\nLocation: next?x=1\r\nContent-Length: 0\r\n\r\n");
    } else if (request.rfind("GET /a/next?x=1 ", 0) == 0) {
      c.Send("HTTP/1.1 301 Moved\r\nLocation: " + absolute + "\r\n\r\n");
    } else {
      c.Send("HTTP/1.1 302 Found\r\nLocation: /loop\r\n\r\n");
    }
  });
  EXPECT_TRUE(Download(server.Url("/a/start")));
  EXPECT_EQ(File(), "destino");
  EXPECT_FALSE(Download(server.Url("/loop"), "loop.bin"));
  EXPECT_EQ(server.Accepted(), 2 + 1 + kMaxRedirects);
  EXPECT_FALSE(fs::exists(dir_.path() / "loop.bin"));
}

TEST_F(NetTest, BodiesCutShortFailAndKeepWhatCame) {
  TestServer nine(Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n123456789"));
  EXPECT_FALSE(Download(nine.Url("/"), "nine"));
  EXPECT_EQ(File("nine"), "123456789");
  // One byte short of a block boundary is still short.
  const std::string block = Pattern(4096);
  TestServer short_one(Reply("HTTP/1.1 200 OK\r\nContent-Length: 4097\r\n\r\n" + block));
  EXPECT_FALSE(Download(short_one.Url("/"), "short"));
  EXPECT_TRUE(SameBytes(File("short"), block));
  TestServer exact(Reply("HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n" + block + "extra"));
  EXPECT_TRUE(Download(exact.Url("/"), "exact"));
  EXPECT_TRUE(SameBytes(File("exact"), block));
}

TEST_F(NetTest, BrokenAnswersGiveFailureWithoutHanging) {
  const std::vector<std::string> answers = {
      "",                                                    // closes at once
      "garbage\r\n\r\n",                                     // no status code
      "HTTP/1.1 2x0 OK\r\nContent-Length: 1\r\n\r\nx",       // status not a number
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Ty",  // cut in a header line
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",            // cut before the empty line
      "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nabc",   // length not a number
      "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc",
      "HTTP/1.1 200 OK\r\n" + std::string(100000, 'h') + "\r\n\r\n",  // huge header line
      "HTTP/1.1 200 OK\r\n" + [] {
        std::string many;
        for (int i = 0; i < 5000; ++i) many += "X-A: b\r\n";
        return many;
      }() + "\r\n",
      std::string("\0\xFF\r\n\r\n", 6),
  };
  int n = 0;
  for (const std::string& answer : answers) {
    TestServer server(Reply(answer));
    const std::string name = "bad" + std::to_string(n++);
    EXPECT_FALSE(Download(server.Url("/"), name)) << name;
    EXPECT_FALSE(fs::exists(dir_.path() / name)) << name;
  }
  EXPECT_FALSE(Download("http://127.0.0.1:1/"));
  EXPECT_FALSE(Download("http://127.0.0.1:notaport/"));
  EXPECT_FALSE(Download("http://no-such-host.invalid/"));
}

TEST_F(NetTest, StallingServersAreGivenUpAfterTheIdleLimit) {
  SetKey("TEMPO_OCIOSO", "1");
  const std::vector<std::string> starts = {
      "",                                                       // nothing at all
      "HTTP/1.1 200 OK\r\nContent-Le",                          // mid-header
      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc",      // mid-body
      "HTTP/1.1 200 OK\r\nContent-Type: audio/x\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nab",
  };
  for (const std::string& start : starts) {
    TestServer server([start](ServerConnection& c, const std::string&) {
      c.Send(start);
      c.ReadUntil("never");  // until the client gives up and closes
    });
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(Download(server.Url("/"))) << start;
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s) << start;
  }
}

TEST_F(NetTest, TheIdleLimitIsASilenceNotTheTimeALineTakes) {
  SetKey("TEMPO_OCIOSO", "1");
  // A live but slow server: its status line takes 1.6 s, but no silence lasts a second.
  TestServer slow([](ServerConnection& c, const std::string&) {
    for (const char* piece : {"HTT", "P/1.", "1 20", "0 OK", "\r\nContent-Le"}) {
      if (!c.Send(piece)) return;
      std::this_thread::sleep_for(400ms);
    }
    c.Send("ngth: 5\r\n\r\nlento");
  });
  EXPECT_TRUE(Download(slow.Url("/")));
  EXPECT_EQ(File(), "lento");
  // A silence longer than the limit in the middle of a line still ends the transfer in time.
  TestServer stalled([](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Le");
    std::this_thread::sleep_for(2500ms);
    c.Send("ngth: 5\r\n\r\ntarde");
  });
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(Download(stalled.Url("/"), "stalled.bin"));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2000ms);
}

TEST_F(NetTest, InterimAnswersAreSkipped) {
  // "100 Continue" and "103 Early Hints" come before the real answer, in both request forms.
  TestServer server(Reply("HTTP/1.1 100 Continue\r\n\r\n"
                          "HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n" +
                          Answer("200 OK", "corpo")));
  EXPECT_TRUE(Download(server.Url("/")));
  EXPECT_EQ(File(), "corpo");
  TestServer text(Reply("HTTP/1.1 100 Continue\r\n\r\n"
                        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>linha\n"));
  EXPECT_TRUE(Download(text.Url("/"), "t.html"));
  EXPECT_EQ(File("t.html"), "<p>linha\r\n\r\n");
  // An interim answer is no way around the error messages or the redirects.
  TestServer missing(Reply("HTTP/1.1 100 Continue\r\n\r\n" + Answer("404 Not Found", "")));
  EXPECT_FALSE(Download(missing.Url("/"), "m.bin"));
  EXPECT_EQ(ui_.said, std::vector<std::string>{"Erro http404: P\xE1gina n\xE3o encontrada."});
  // A server that sends nothing but interim answers is given up.
  TestServer endless([](ServerConnection& c, const std::string&) {
    for (int i = 0; i < 5000; ++i) {
      if (!c.Send("HTTP/1.1 100 Continue\r\n\r\n")) return;
    }
  });
  EXPECT_FALSE(Download(endless.Url("/"), "e.bin"));
  EXPECT_FALSE(fs::exists(dir_.path() / "e.bin"));
}

TEST_F(NetTest, AHugePortInALocationFailsCleanly) {
  TestServer server(Reply("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:99999999999999999999/x\r\n\r\n"));
  EXPECT_FALSE(Download(server.Url("/")));
  EXPECT_FALSE(fs::exists(dir_.path() / "out.bin"));
}

TEST_F(NetTest, KeysDuringTheBody) {
  // The server sends a block, then waits until the client has answered the keys.
  const std::string body = Pattern(3 * 4096);
  TestServer server([body](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body.substr(0, 4096));
    std::this_thread::sleep_for(300ms);
    c.Send(body.substr(4096));
  });
  keys_.queue = {'\r', ' ', 'x', 27, 'n'};
  EXPECT_TRUE(Download(server.Url("/"), "k.bin"));
  EXPECT_TRUE(SameBytes(File("k.bin"), body));
  ASSERT_EQ(ui_.spoken.size(), 4u);
  EXPECT_EQ(ui_.spoken[0], "Recebidos: 33,3% de 12KB.");
  EXPECT_EQ(ui_.spoken[1], "4 KBytes gravados.");
  EXPECT_EQ(ui_.spoken[2], "Arquivo: k.bin");
  EXPECT_EQ(ui_.spoken[3], "");
  EXPECT_EQ(ui_.said, std::vector<std::string>{"Deseja parar o download?"});
  EXPECT_EQ(ui_.shown, "n\r\n");
  EXPECT_GE(ui_.tones, 1);  // the space turned the tone on
}

TEST_F(NetTest, EscAndYesStopsTheDownload) {
  TestServer server([](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + Pattern(5000));
    std::this_thread::sleep_for(2s);
  });
  keys_.queue = {27, 's'};
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(Download(server.Url("/")));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 1500ms);
  EXPECT_EQ(ui_.said, (std::vector<std::string>{"Deseja parar o download?",
                                                "O download foi interrompido."}));
  // An open-ended body stopped by the user counts as received.
  TestServer audio([](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + Pattern(5000));
    std::this_thread::sleep_for(2s);
  });
  keys_.queue = {27, 'S'};
  EXPECT_TRUE(Download(audio.Url("/"), "a.mp3"));
}

class HttpsTest : public NetTest {
 protected:
  void SetUp() override { ASSERT_TRUE(TestCertificates::Get().ok); }
};

TEST_F(HttpsTest, DownloadsOverTlsAndMatchesCurl) {
  const auto& certs = TestCertificates::Get();
  TrustTestAuthority();
  const std::string body = Pattern(300000);
  TestServer server(Reply(Answer("200 OK", body)), certs.server_cert, certs.server_key);
  EXPECT_TRUE(Download(server.Url("/big", true, "localhost")));
  EXPECT_TRUE(SameBytes(File(), body));
  EXPECT_NE(server.Requests()[0].find("\r\nHost: localhost\r\n"), std::string::npos);
  // The same download by curl: not where the tests run under Wine (the relay's case), whose
  // cmd.exe cannot start the Linux curl and which has no curl of its own.
  if (!TlsRelayFolder().empty()) return;
  const fs::path curl_copy = dir_.path() / "curl.bin";
  const std::string command = "curl -s --cacert " + certs.ca_cert.string() + " -o " +
                              curl_copy.string() + " " + server.Url("/big", true, "localhost");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  {
    EXPECT_TRUE(SameBytes(Slurp(curl_copy), File()));
  }
}

TEST_F(HttpsTest, AnUntrustedServerIsRefusedAndTheUserIsTold) {
  const auto& certs = TestCertificates::Get();
  TestServer server(Reply(Answer("200 OK", "segredo")), certs.self_cert, certs.self_key);
  EXPECT_FALSE(Download(server.Url("/", true, "localhost")));
  EXPECT_FALSE(fs::exists(dir_.path() / "out.bin"));
  EXPECT_EQ(ui_.said, std::vector<std::string>{"Certificado do servidor recusado: localhost"});
  SetKey("SSL_SEM_VERIFICACAO", "S");
  EXPECT_TRUE(Download(server.Url("/", true, "localhost")));
  EXPECT_EQ(File(), "segredo");
}

TEST_F(HttpsTest, AServerClosingWithoutTheTlsAlertEndsTheAnswerSilently) {
  const auto& certs = TestCertificates::Get();
  TrustTestAuthority();
  // Many servers close the socket without the closing alert: a body of known length, an
  // open-ended one and a text page all end there without an error line.
  const std::string body = Pattern(20000);
  TestServer sized([body](ServerConnection& c, const std::string&) {
    c.Send(Answer("200 OK", body));
    c.Drop();
  }, certs.server_cert, certs.server_key);
  EXPECT_TRUE(Download(sized.Url("/", true, "localhost")));
  EXPECT_TRUE(SameBytes(File(), body));
  TestServer open_ended([body](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + body);
    c.Drop();
  }, certs.server_cert, certs.server_key);
  EXPECT_TRUE(Download(open_ended.Url("/", true, "localhost"), "a.mp3"));
  EXPECT_TRUE(SameBytes(File("a.mp3"), body));
  TestServer page([](ServerConnection& c, const std::string&) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>fim");
    c.Drop();
  }, certs.server_cert, certs.server_key);
  EXPECT_TRUE(Download(page.Url("/", true, "localhost"), "p.html"));
  EXPECT_EQ(File("p.html"), "<p>fim\r\n\r\n");
  EXPECT_EQ(console_.written, "");
}

TEST_F(HttpsTest, RedirectFromHttpsToHttpAndBack) {
  const auto& certs = TestCertificates::Get();
  TrustTestAuthority();
  TestServer plain(Reply(Answer("200 OK", "claro")));
  const std::string target = plain.Url("/x");
  TestServer secure(Reply("HTTP/1.1 302 Found\r\nLocation: " + target + "\r\n\r\n"),
                    certs.server_cert, certs.server_key);
  EXPECT_TRUE(Download(secure.Url("/", true, "localhost")));
  EXPECT_EQ(File(), "claro");
  EXPECT_FALSE(net_.TlsActive());
}

}  // namespace
}  // namespace navelo::testing
