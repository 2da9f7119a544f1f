// The HTTP/1.1 download of one URL into a file, with resumption, redirects, chunked bodies and
// the keys that a user presses while a body arrives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "net/network.h"

namespace navelo {

// What the download says and hears; the interpreter wires it to speech and the keyboard.
class DownloadUi {
 public:
  virtual ~DownloadUi() = default;
  virtual void SayLine(std::string_view text) = 0;  // written and spoken
  virtual void Speak(std::string_view text) = 0;    // spoken only
  virtual void Show(std::string_view text) = 0;     // written only
  virtual void ShortTone() = 0;
  virtual bool KeyPressed() = 0;
  virtual unsigned char ReadKey() = 0;
  // One key, its name spoken.
  virtual unsigned char ReadKeySpoken() = 0;
};

struct DownloadRequest {
  std::string url;
  std::filesystem::path file;  // where the body goes
  std::string file_name;       // the target as the script named it, for the progress report
  bool tone = false;
  std::string cookie;
  std::string agent;
  // False when the caller reports the 400 and 404 answers itself, from the status it gets back.
  bool say_http_errors = true;
};

// What the last answer of a download said about itself: its status (0 when none came) and its
// Content-Type, so a caller can tell a refused page from a broken connection and read the charset.
struct DownloadAnswer {
  int status = 0;
  std::string content_type;
};

// Redirects followed for one download before it fails.
constexpr int kMaxRedirects = 10;
// A status or header line longer than this, or more header lines than this, fail the answer.
constexpr size_t kMaxHeaderLine = 16384;
constexpr int kMaxHeaderLines = 200;

// True when the body arrived whole (or, without a known length, until the server closed).
bool HttpDownload(Network& net, DownloadUi& ui, const DownloadRequest& request,
                  DownloadAnswer* answer = nullptr);

// The text-mode fetch for an answer without a length: the body's lines are stored with CR LF
// and one empty line follows. False when no answer came or it was cut.
bool HttpFetchText(Network& net, DownloadUi& ui, const DownloadRequest& request,
                   std::string_view url);

// A number with 3 significant digits, fixed where it fits and with an exponent otherwise
// ("45,7", "100", "1,01E03"), with a decimal comma.
std::string FormatGeneral3(double value);

// The spoken progress report of a download.
struct ProgressFigures {
  bool open_ended = false;
  int64_t file_size = 0;
  int64_t total = 0;  // content length plus resume offset
};
std::string ProgressHead(const ProgressFigures& figures);
std::string ProgressAmount(int64_t file_size);

}  // namespace navelo
