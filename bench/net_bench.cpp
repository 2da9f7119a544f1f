// Download throughput over loopback, plain and TLS, beside curl fetching the same URLs from the
// same server in the same run, and the time to fetch a 60 KB page: by a program that fetched
// before (its TLS context is kept) and as the first fetch of a program (a new network layer).
//
// NAVELO_BENCH_TLS_ENGINE names the client's TLS engine ("auto", "openssl", "schannel"; auto when
// unset). With NAVELO_TEST_TLS_RELAY set, the certificates are the relay's and the in-process TLS
// server is served by tests/net/tls_relay.py, as under Wine, where the platform lends no TLS
// server. With NAVELO_BENCH_HTTPS_PORT also set, the https benchmarks fetch from
// bench/https_server.py on that port instead (a server outside the process, on the Linux side),
// so that a Windows build under Wine and the Linux build fetch from the same server and only their
// clients differ. Each TLS benchmark's label names the client's engine and the server.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_io.h"
#include "config/config.h"
#include "config/host_env.h"
#include "net/http_download.h"
#include "net/network.h"
#include "platform/net_socket.h"
#include "platform/tls_engine.h"
#include "tests/net/tls_engine_check.h"
#include "tests/net/tls_relay.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;



class SilentUi final : public DownloadUi {
 public:
  void SayLine(std::string_view) override {}
  void Speak(std::string_view) override {}
  void Show(std::string_view) override {}
  void ShortTone() override {}
  bool KeyPressed() override { return false; }
  unsigned char ReadKey() override { return 0; }
  unsigned char ReadKeySpoken() override { return 0; }
};

// Sends every byte, waiting for the socket (or the TLS layer) to take them.
void SendAll(int s, TlsConnection* tls, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const size_t piece = std::min<size_t>(bytes.size() - sent, 1 << 16);
    long n;
    if (tls != nullptr) {
      TlsErrorKind error;
      n = tls->Write(bytes.data() + sent, static_cast<int>(piece), error);
      if (n <= 0) {
        if (error != kTlsWantRead && error != kTlsWantWrite) return;
        SocketWait(s, error == kTlsWantWrite, 100000);
        continue;
      }
    } else {
      n = SocketSendSome(s, bytes.data() + sent, piece);
      if (n == kSocketWouldBlock) {
        SocketWait(s, true, 100000);
        continue;
      }
      if (n <= 0) return;
    }
    sent += static_cast<size_t>(n);
  }
}

// Reads the request head; returns its path.
std::string ReadRequest(int s, TlsConnection* tls) {
  std::string head;
  char buffer[2048];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    long n;
    if (tls != nullptr) {
      TlsErrorKind error;
      n = tls->Read(buffer, sizeof buffer, error);
      if (n <= 0 && error != kTlsWantRead && error != kTlsWantWrite) break;
    } else {
      n = SocketRecvSome(s, buffer, sizeof buffer);
      if (n == 0 || n == kSocketError) break;
    }
    if (n > 0) head.append(buffer, static_cast<size_t>(n));
    else SocketWait(s, false, 100000);
  }
  const size_t start = head.find(' ') + 1;
  return head.substr(start, head.find(' ', start) - start);
}

class Server {
 public:
  Server(std::unique_ptr<TlsContext> tls, const std::string* big, const std::string* page)
      : tls_(std::move(tls)), big_(big), page_(page) {
    uint32_t loopback = 0;
    DottedToAddress("127.0.0.1", loopback);
    listener_ = SocketCreateTcp();
    SocketBind(listener_, loopback, 0, true);
    SocketListen(listener_, 16);
    uint32_t address;
    uint16_t port;
    SocketLocalAddress(listener_, address, port);
    port_ = port;
    thread_ = std::thread([this] { Loop(); });
  }
  ~Server() {
    stop_ = true;
    thread_.join();
    SocketCloseHandle(listener_);
  }
  std::string Url(const std::string& path) const {
    return std::string(tls_ ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) +
           path;
  }

 private:
  void Loop() {
    while (!stop_) {
      if (SocketWait(listener_, false, 20000) != 1) continue;
      const int s = SocketAccept(listener_);
      if (s < 0) continue;
      std::thread([this, s] { Serve(s); }).detach();
    }
  }
  void Serve(int s) {
    std::unique_ptr<TlsConnection> tls;
    if (tls_) {
      tls = tls_->Connect(s, "");
      for (;;) {
        const TlsErrorKind kind = tls->Handshake();
        if (kind == kTlsOk) break;
        if (kind != kTlsWantRead && kind != kTlsWantWrite) {
          SocketCloseHandle(s);
          return;
        }
        SocketWait(s, kind == kTlsWantWrite, 100000);
      }
    }
    const std::string path = ReadRequest(s, tls.get());
    const std::string& body = path == "/big" ? *big_ : *page_;
    SendAll(s, tls.get(),
            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n");
    SendAll(s, tls.get(), body);
    if (tls) tls->Shutdown();
    tls.reset();
    // Lets the client read to the end before the socket goes.
    SocketWait(s, false, 5000000);
    SocketCloseHandle(s);
  }

  std::unique_ptr<TlsContext> tls_;
  const std::string* big_;
  const std::string* page_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Everything the benchmarks share, made once.
struct World {
  World() {
    SocketLayerStart();
    const char* wanted = std::getenv("NAVELO_BENCH_TLS_ENGINE");
    if (!PickTlsEngine(wanted != nullptr && *wanted != '\0' ? wanted : "auto", engine)) {
      engine_error = "TLS engine " + std::string(wanted) + ": " + engine;
      engine.clear();
    }
    std::random_device device;
    dir = fs::temp_directory_path() / ("navelo_net_bench_" + std::to_string(device()));
    fs::create_directories(dir / "AppData/Roaming/Navelo");
    const std::string d = dir.string() + "/";
    const std::string relay = testing::TlsRelayFolder();
    std::string certificate = d + "cert.pem", key = d + "key.pem", authority = certificate;
    if (!relay.empty()) {
      // The relay made its authority and a server certificate for localhost signed by it.
      certificate = relay + "/server.pem";
      key = relay + "/server.key";
      authority = relay + "/ca.pem";
    } else {
      const std::string quiet = " >/dev/null 2>&1";
      const int made = std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                   "-keyout " + key + " -out " + certificate + " -days 1 -subj /CN=localhost "
                   "-addext subjectAltName=DNS:localhost" + quiet).c_str());
      if (made != 0) engine_error = "the openssl command could not make the server's certificate";
    }
    curl_authority = authority;
    std::ofstream(dir / "AppData/Roaming/Navelo/navelo.ini")
        << "[NAVELO]\r\nSSL_ARQUIVO_CA=" << authority << "\r\n";
    big.resize(50u << 20);
    page.resize(60u << 10);
    std::mt19937 random(7);
    for (char& c : big) c = static_cast<char>(random());
    for (char& c : page) c = static_cast<char>('a' + random() % 26);
    plain = std::make_unique<Server>(nullptr, &big, &page);
    std::string error;
    std::unique_ptr<TlsContext> server_tls =
        relay.empty() ? MakeTlsServerContext(certificate, key, error)
                      : testing::MakeRelayTlsServerContext(certificate, key, error);
    if (!server_tls) engine_error += (engine_error.empty() ? "TLS server: " : "; TLS server: ") + error;
    label = "client " + engine + ", server " + (relay.empty() ? "in process" : "tls_relay.py");
    if (const char* port = std::getenv("NAVELO_BENCH_HTTPS_PORT"); port != nullptr && *port) {
      if (relay.empty()) engine_error = "NAVELO_BENCH_HTTPS_PORT needs the relay's certificates";
      external_url = std::string("https://localhost:") + port;
      label = "client " + engine + ", server https_server.py";
    }
    secure = std::make_unique<Server>(std::move(server_tls), &big, &page);
    host = std::make_unique<HostEnvironment>(
        [this](std::string_view name, std::string& value) {
          if (name != "HOME") return false;
          value = dir.string();
          return true;
        },
        dir.string());
    config = std::make_unique<Config>(*host);
    net = std::make_unique<Network>(console, keys, *config, *host);
  }
  ~World() {
    net.reset();
    plain.reset();
    secure.reset();
    std::error_code error;
    fs::remove_all(dir, error);
  }
  static World& Get() {
    static World world;
    return world;
  }
  std::string Url(bool tls, const std::string& path) const {
    if (tls && !external_url.empty()) return external_url + path;
    return (tls ? *secure : *plain).Url(path);
  }

  fs::path dir;
  std::string engine;        // the client's TLS engine
  std::string engine_error;  // why TLS cannot be measured; empty when it can
  std::string label;
  std::string curl_authority;
  std::string external_url;  // the https server outside the process; empty for the in-process one
  std::string big, page;
  std::unique_ptr<Server> plain, secure;
  QuietConsole console{true};
  NoKeys keys{27};
  std::unique_ptr<HostEnvironment> host;
  std::unique_ptr<Config> config;
  std::unique_ptr<Network> net;
};

// False, with the benchmark skipped, when TLS cannot be measured here; else the label is set.
bool TlsReady(benchmark::State& state, const World& w) {
  if (!w.engine_error.empty()) {
    state.SkipWithError(w.engine_error.c_str());
    return false;
  }
  state.SetLabel(w.label);
  return true;
}

void Download(benchmark::State& state, bool secure, const std::string& path) {
  World& w = World::Get();
  if (secure && !TlsReady(state, w)) return;
  SilentUi ui;
  DownloadRequest request;
  request.url = w.Url(secure, path);
  request.file = w.dir / "out.bin";
  request.file_name = "out.bin";
  const size_t size = path == "/big" ? w.big.size() : w.page.size();
  for (auto _ : state) {
    fs::remove(request.file);
    if (!HttpDownload(*w.net, ui, request)) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// Each fetch with a network layer of its own, as the first fetch of a program.
void DownloadFirst(benchmark::State& state) {
  World& w = World::Get();
  if (!TlsReady(state, w)) return;
  SilentUi ui;
  DownloadRequest request;
  request.url = w.Url(true, "/page");
  request.file = w.dir / "out.bin";
  request.file_name = "out.bin";
  for (auto _ : state) {
    fs::remove(request.file);
    Network net(w.console, w.keys, *w.config, *w.host);
    if (!HttpDownload(net, ui, request)) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.page.size()));
}

void Curl(benchmark::State& state, bool secure, const std::string& path) {
  World& w = World::Get();
  if (secure && !TlsReady(state, w)) return;
  const std::string command = "curl -s --cacert " + w.curl_authority + " -o " +
                              (w.dir / "curl.bin").string() + " " + w.Url(secure, path);
  const size_t size = path == "/big" ? w.big.size() : w.page.size();
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_Download50MbPlain(benchmark::State& s) { Download(s, false, "/big"); }
void BM_Curl50MbPlain(benchmark::State& s) { Curl(s, false, "/big"); }
void BM_Download50MbTls(benchmark::State& s) { Download(s, true, "/big"); }
void BM_Curl50MbTls(benchmark::State& s) { Curl(s, true, "/big"); }
void BM_DownloadPage60KbPlain(benchmark::State& s) { Download(s, false, "/page"); }
void BM_DownloadPage60KbTls(benchmark::State& s) { Download(s, true, "/page"); }
void BM_DownloadPage60KbTlsFirst(benchmark::State& s) { DownloadFirst(s); }
void BM_CurlPage60KbTls(benchmark::State& s) { Curl(s, true, "/page"); }

BENCHMARK(BM_Download50MbPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Curl50MbPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Download50MbTls)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Curl50MbTls)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_DownloadPage60KbPlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DownloadPage60KbTls)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DownloadPage60KbTlsFirst)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlPage60KbTls)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace navelo

BENCHMARK_MAIN();
