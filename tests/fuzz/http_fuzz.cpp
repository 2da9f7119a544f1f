// The HTTP answer (status line, head, chunked or fixed body) as the download and the text fetch
// read it: a server on 127.0.0.1 answers each request with the input and closes. Answers that
// redirect are left out, so nothing leaves this machine.
#include <atomic>
#include <cctype>
#include <mutex>
#include <thread>

#include "config/config.h"
#include "net/http_download.h"
#include "net/network.h"
#include "platform/net_socket.h"
#include "tests/fuzz/fuzz_support.h"

namespace navelo::fuzz {
namespace {

class SilentUi final : public DownloadUi {
 public:
  void SayLine(std::string_view) override {}
  void Speak(std::string_view) override {}
  void Show(std::string_view) override {}
  void ShortTone() override {}
  bool KeyPressed() override { return false; }
  unsigned char ReadKey() override { return 13; }
  unsigned char ReadKeySpoken() override { return 13; }
};

// Answers every connection with the current answer, after reading the request's head.
class AnswerServer {
 public:
  AnswerServer() {
    SocketLayerStart();
    listening_ = SocketCreateTcp();
    uint32_t loopback = 0;
    DottedToAddress("127.0.0.1", loopback);
    SocketBind(listening_, loopback, 0, true);
    SocketListen(listening_, 16);
    uint32_t address = 0;
    SocketLocalAddress(listening_, address, port_);
    thread_ = std::thread([this] { Serve(); });
    thread_.detach();
  }
  void SetAnswer(std::string_view answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_.assign(answer);
  }
  uint16_t port() const { return port_; }

 private:
  void Serve() {
    for (;;) {
      if (SocketWait(listening_, false, 1000000) <= 0) continue;
      const int socket = SocketAccept(listening_);
      if (socket < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        if (SocketWait(socket, false, 2000000) <= 0) break;
        const long n = SocketRecvSome(socket, buffer, sizeof buffer);
        if (n == kSocketWouldBlock) continue;
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      std::string answer;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        answer = answer_;
      }
      size_t sent = 0;
      while (sent < answer.size()) {
        const long n = SocketSendSome(socket, answer.data() + sent, answer.size() - sent);
        if (n == kSocketWouldBlock) {
          if (SocketWait(socket, true, 2000000) <= 0) break;
          continue;
        }
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      SocketCloseHandle(socket);
    }
  }

  int listening_ = -1;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::string answer_;
  std::thread thread_;
};

bool Redirects(std::string_view answer) {
  std::string folded(answer);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded.find("location") != std::string::npos;
}

struct World {
  QuietConsole console;
  CyclingKeyboard keys;
  HostEnvironment host{FuzzEnvironment(), FuzzDir().string()};
  Config config{host};
  Network net{console, keys, config, host};
  SilentUi ui;
  AnswerServer server;
};

}  // namespace
}  // namespace navelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  using namespace navelo::fuzz;
  if (size < 1) return 0;
  const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (Redirects(answer)) return -1;
  static World* world = new World;
  world->server.SetAnswer(answer);
  DownloadRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(world->server.port()) + "/pagina?x=1";
  request.file = FuzzDir() / "pagina.htm";
  request.file_name = "pagina.htm";
  if (data[0] & 1) {
    HttpFetchText(world->net, world->ui, request, request.url);
  } else {
    HttpDownload(world->net, world->ui, request);
  }
  EmptyFuzzDir();
  return 0;
}
