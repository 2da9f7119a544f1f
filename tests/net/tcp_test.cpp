// TCP connections and the line reader against local servers.
#include <chrono>
#include <thread>

#include "net/line_reader.h"
#include "platform/net_socket.h"
#include "tests/net/net_fixture.h"

using namespace std::string_literals;

namespace navelo::testing {
namespace {

TEST(DottedAddress, FollowsTheGroupRules) {
  EXPECT_TRUE(Network::IsDottedAddress("10.0.0.1"));
  EXPECT_TRUE(Network::IsDottedAddress("255.255.255.255"));
  EXPECT_TRUE(Network::IsDottedAddress("1.2.3.4.5"));  // more dots pass; conversion refuses
  EXPECT_FALSE(Network::IsDottedAddress("10.0.0"));
  EXPECT_FALSE(Network::IsDottedAddress("10.0.0.1."));
  EXPECT_FALSE(Network::IsDottedAddress("256.1.1.1"));
  EXPECT_FALSE(Network::IsDottedAddress(".10.0.0.1"));
  EXPECT_FALSE(Network::IsDottedAddress("1..2.3"));
  EXPECT_FALSE(Network::IsDottedAddress("0001.2.3.4"));
  EXPECT_FALSE(Network::IsDottedAddress("localhost"));
  EXPECT_FALSE(Network::IsDottedAddress("100.100.100.1000"));
  EXPECT_FALSE(Network::IsDottedAddress(""));
}

TEST_F(NetTest, ResolvesAddressesAndNames) {
  uint32_t expected = 0;
  ASSERT_TRUE(DottedToAddress("10.0.0.1", expected));
  EXPECT_EQ(net_.ResolveHost("10.0.0.1"), expected);
  EXPECT_EQ(net_.ResolveHost("1.2.3.4.5"), 0u);
  EXPECT_NE(net_.ResolveHost("localhost"), 0u);
  EXPECT_EQ(net_.ResolveHost(std::string(300, 'a')), 0u);
}

TEST_F(NetTest, PollTimeoutComesFromTheConfigurationAtEachConnection) {
  TestServer server([](ServerConnection&, const std::string&) {}, {}, {}, false);
  EXPECT_EQ(net_.PollTimeout(), 0);
  int s = net_.TcpConnect("127.0.0.1", server.port());
  ASSERT_GE(s, 0);
  EXPECT_EQ(net_.PollTimeout(), 20000);
  net_.TcpClose(s);
  SetKey("TIMEOUT_REDE", "5000");
  s = net_.TcpConnect("127.0.0.1", server.port());
  EXPECT_EQ(net_.PollTimeout(), 5000);
  net_.TcpClose(s);
  SetKey("TIMEOUT_REDE", "abc");
  s = net_.TcpConnect("localhost", server.port());
  ASSERT_GE(s, 0);
  EXPECT_EQ(net_.PollTimeout(), 20000);
  net_.TcpClose(s);
}

TEST_F(NetTest, ConnectionFailuresGiveMinusOne) {
  // A port that was just free: nothing listens there.
  int port;
  {
    TestServer server([](ServerConnection&, const std::string&) {}, {}, {}, false);
    port = server.port();
  }
  EXPECT_EQ(net_.TcpConnect("127.0.0.1", port), -1);
  EXPECT_EQ(net_.TcpConnect("no-such-host.invalid", 80), -1);
  EXPECT_EQ(net_.TcpConnectSecure("127.0.0.1", port), -1);
  net_.TcpClose(-1);  // closes nothing
}

// Runs a server that sends the given bytes and closes, and reads lines from it.
std::vector<std::pair<bool, std::string>> ReadLines(Network& net, const std::string& bytes,
                                                    int count) {
  TestServer server([bytes](ServerConnection& c, const std::string&) { c.Send(bytes); }, {}, {},
                    false);
  const int s = net.TcpConnect("127.0.0.1", server.port());
  EXPECT_GE(s, 0);
  LineReader reader(net, s);
  std::vector<std::pair<bool, std::string>> lines;
  for (int i = 0; i < count; ++i) {
    std::string line = "junk";
    const bool ok = reader.ReadLine(line, 0);
    lines.emplace_back(ok, line);
  }
  net.TcpClose(s);
  return lines;
}

using Lines = std::vector<std::pair<bool, std::string>>;

TEST_F(NetTest, LinesEndAtLfWithOneCrRemoved) {
  EXPECT_EQ(ReadLines(net_, "abc\r\n", 2), (Lines{{true, "abc"}, {false, ""}}));
  EXPECT_EQ(ReadLines(net_, "abc\n", 2), (Lines{{true, "abc"}, {false, ""}}));
  EXPECT_EQ(ReadLines(net_, "abc", 2), (Lines{{true, "abc"}, {false, ""}}));
  EXPECT_EQ(ReadLines(net_, "abc\r\r\n", 1), (Lines{{true, "abc\r"}}));
  EXPECT_EQ(ReadLines(net_, "\r\n\nx\0y\n"s, 4),
            (Lines{{true, ""}, {true, ""}, {true, "x\0y"s}, {false, ""}}));
  // After the end, every further read fails.
  EXPECT_EQ(ReadLines(net_, "", 3), (Lines{{false, ""}, {false, ""}, {false, ""}}));
}

TEST_F(NetTest, ReadsLinesLongerThanTheBufferAndCapsEndlessOnes) {
  const std::string big(10000, 'x');
  EXPECT_EQ(ReadLines(net_, big + "\r\nend\n", 2), (Lines{{true, big}, {true, "end"}}));
  TestServer server([](ServerConnection& c, const std::string&) { c.Send(std::string(3000, 'y')); },
                    {}, {}, false);
  const int s = net_.TcpConnect("127.0.0.1", server.port());
  LineReader reader(net_, s);
  std::string line;
  ASSERT_TRUE(reader.ReadLine(line, 0, 1000));
  EXPECT_EQ(line.size(), 1000u);
  net_.TcpClose(s);
}

TEST_F(NetTest, ReadLineTimeOutKeepsWhatCameAndKeepsTheWindowAlive) {
  TestServer server(
      [](ServerConnection& c, const std::string&) {
        c.Send("part");
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      },
      {}, {}, false);
  const int s = net_.TcpConnect("127.0.0.1", server.port());
  LineReader reader(net_, s);
  std::string line;
  EXPECT_FALSE(reader.ReadLine(line, 1));
  EXPECT_EQ(line, "part");
  EXPECT_GE(console_.delays, 10);  // every idle step paused through the console
  net_.TcpClose(s);
}

TEST_F(NetTest, ReadLineTimeOutCountsOnlyTheSilenceSinceTheLastByte) {
  // Eight bytes 300 ms apart: 2.1 s for the line, never a silence of a second.
  TestServer server(
      [](ServerConnection& c, const std::string&) {
        for (const char* piece : {"d", "e", "v", "a", "g", "a", "r", "\n"}) {
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          if (!c.Send(piece)) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      },
      {}, {}, false);
  const int s = net_.TcpConnect("127.0.0.1", server.port());
  LineReader reader(net_, s);
  std::string line;
  EXPECT_TRUE(reader.ReadLine(line, 1));
  EXPECT_EQ(line, "devagar");
  EXPECT_FALSE(reader.ReadLine(line, 1));
  net_.TcpClose(s);
}

TEST_F(NetTest, SendTextAndSendLine) {
  std::string got;
  std::mutex m;
  {
    TestServer server(
        [&](ServerConnection& c, const std::string&) {
          const std::string text = c.ReadUntil("END");
          std::lock_guard lock(m);
          got = text;
        },
        {}, {}, false);
    const int s = net_.TcpConnect("127.0.0.1", server.port());
    EXPECT_FALSE(net_.SendText(s, ""));
    EXPECT_TRUE(net_.SendLine(s, ""));
    EXPECT_TRUE(net_.SendText(s, "a\xE7"));
    EXPECT_TRUE(net_.SendLine(s, "END"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    net_.TcpClose(s);
  }
  EXPECT_EQ(got, "\r\na\xE7" "END");
  EXPECT_FALSE(net_.SendText(-1, "x"));
}

TEST_F(NetTest, ListensAcceptsOneClientAndReadsItsLine) {
  const int listening = net_.TcpListen(0);
  ASSERT_GE(listening, 0);
  uint32_t address;
  uint16_t port;
  ASSERT_TRUE(SocketLocalAddress(listening, address, port));
  std::thread client([port] {
    uint32_t loopback = 0;
    DottedToAddress("127.0.0.1", loopback);
    const int s = SocketCreateTcp();
    SocketConnectStart(s, loopback, port);
    SocketWait(s, true, 2000000);
    SocketSendSome(s, "hello\r\n", 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    SocketCloseHandle(s);
  });
  const int s = net_.TcpAccept(listening);
  net_.TcpClose(listening);
  ASSERT_GE(s, 0);
  LineReader reader(net_, s);
  std::string line;
  EXPECT_TRUE(reader.ReadLine(line, 5));
  EXPECT_EQ(line, "hello");
  client.join();
  net_.TcpClose(s);
}

TEST_F(NetTest, ReadinessPollSeesDataAndAStalledPeerDoesNotBlockReceiving) {
  SetKey("TEMPO_OCIOSO", "1");
  TestServer server(
      [](ServerConnection& c, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        c.Send("x");
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
      },
      {}, {}, false);
  const int s = net_.TcpConnect("127.0.0.1", server.port());
  EXPECT_FALSE(net_.SocketReadable(s));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_TRUE(net_.SocketReadable(s));
  char buffer[16];
  EXPECT_EQ(net_.SocketRecv(s, buffer, sizeof buffer), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LT(net_.SocketRecv(s, buffer, sizeof buffer), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  net_.TcpClose(s);
}

}  // namespace
}  // namespace navelo::testing
