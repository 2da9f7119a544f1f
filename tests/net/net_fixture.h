// A fresh network layer for each test, over a private host folder, with fakes of the console,
// the keyboard and the download's voice.
#pragma once

#include <chrono>
#include <deque>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/config.h"
#include "config/host_env.h"
#include "net/http_download.h"
#include "net/network.h"
#include "tests/config/temp_host.h"
#include "tests/net/test_server.h"
#include "tests/fixtures/queue_keyboard.h"
#include "tests/fixtures/stub_console.h"

namespace navelo::testing {

class QuietConsole final : public StubConsole {
 public:
  void Write(std::string_view bytes) override { written += bytes; }
  // The pause is real, as the window's is, so time limits counted in pauses hold.
  void Delay(int milliseconds) override {
    ++delays;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  std::string written;
  int delays = 0;
};


class RecordingUi final : public DownloadUi {
 public:
  explicit RecordingUi(QueueKeyboard& keys) : keys_(keys) {}
  void SayLine(std::string_view text) override { said.emplace_back(text); }
  void Speak(std::string_view text) override { spoken.emplace_back(text); }
  void Show(std::string_view text) override { shown += text; }
  void ShortTone() override { ++tones; }
  bool KeyPressed() override { return keys_.KeyPressed(); }
  unsigned char ReadKey() override { return keys_.ReadKey(); }
  unsigned char ReadKeySpoken() override { return keys_.ReadKey(); }
  std::vector<std::string> said;
  std::vector<std::string> spoken;
  std::string shown;
  int tones = 0;

 private:
  QueueKeyboard& keys_;
};

class NetTest : public ::testing::Test {
 protected:
  NetTest()
      : host_(MapEnv({{"HOME", dir_.path().string()}, {"NAVELO_DRIVE_C", dir_.path().string()}}),
                     dir_.path().string()),
        config_(host_),
        net_(console_, keys_, config_, host_),
        ui_(keys_) {}

  void SetKey(const std::string& key, const std::string& value) {
    fs::create_directories(config_.UserConfigDir());
    config_.Write("NAVELO", key, value);
  }
  void TrustTestAuthority() { SetKey("SSL_ARQUIVO_CA", TestCertificates::Get().ca_cert.string()); }

  DownloadRequest Request(const std::string& url, const std::string& name = "out.bin") {
    DownloadRequest request;
    request.url = url;
    request.file = dir_.path() / name;
    request.file_name = name;
    request.agent = "tibiru";
    return request;
  }
  bool Download(const std::string& url, const std::string& name = "out.bin") {
    return HttpDownload(net_, ui_, Request(url, name));
  }
  std::string File(const std::string& name = "out.bin") { return Slurp(dir_.path() / name); }

  TempDir dir_;
  HostEnvironment host_;
  Config config_;
  QuietConsole console_;
  QueueKeyboard keys_;
  Network net_;
  RecordingUi ui_;
};

// Compares large byte strings, telling only the sizes and where they first differ.
inline ::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                       << ", first difference at " << i;
}

// A whole HTTP answer with a length.
inline std::string Answer(const std::string& status, const std::string& body,
                          const std::string& headers = "Content-Type: application/octet-stream\r\n") {
  return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// Bytes 0..n-1 of a pattern that no line or chunk boundary lines up with.
inline std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

}  // namespace navelo::testing
