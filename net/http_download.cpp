// The HTTP download: the two request forms, the answer's status and headers, the body loop with
// its keys, and the progress report.
#include "net/http_download.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "net/line_reader.h"
#include "net/url.h"
#include "platform/file_open.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

namespace fs = std::filesystem;

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

std::optional<int64_t> ParseLength(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// One connection of a request: opened, and closed with the reader in every way out.
class Connection {
 public:
  Connection(Network& net, const UrlParts& url) : net_(net) {
    net_.NetStartup();
    socket_ = url.secure ? net_.TcpConnectSecure(url.host, url.port)
                         : net_.TcpConnect(url.host, url.port);
    if (socket_ >= 0) reader_ = std::make_unique<LineReader>(net_, socket_);
  }
  ~Connection() {
    if (socket_ >= 0) net_.TcpClose(socket_);
    net_.NetCleanup();
    reader_.reset();
  }
  bool ok() const { return socket_ >= 0; }
  int socket() const { return socket_; }
  LineReader& reader() { return *reader_; }

 private:
  Network& net_;
  int socket_ = -1;
  std::unique_ptr<LineReader> reader_;
};

// Tells the user why a secure connection was refused, since the download only reports "1".
void ReportConnectFailure(Network& net, DownloadUi& ui, const UrlParts& url) {
  if (url.secure && net.LastTlsFailure().rfind("certificate: ", 0) == 0) {
    ui.SayLine(Utf8ToCp1252("Certificado do servidor recusado: ") + url.host);
  }
}

// The answer's head: status and the headers the download looks at.
struct AnswerHead {
  int status = 0;
  std::string location;
  bool has_location = false;
  std::string content_type;
  int64_t content_length = 0;
  bool chunked = false;
};

// Reads the status line; false when none came or its code is not a number.
bool ReadStatus(Network& net, LineReader& reader, int& status) {
  std::string line;
  if (!reader.ReadLine(line, net.Settings().idle_limit_s, kMaxHeaderLine) ||
      line.size() >= kMaxHeaderLine) {
    return false;
  }
  const size_t blank = line.find(' ');
  if (blank == std::string::npos) return false;
  const std::string code = line.substr(blank + 1, 3);
  if (code.size() != 3) return false;
  status = 0;
  for (const char c : code) {
    if (c < '0' || c > '9') return false;
    status = status * 10 + (c - '0');
  }
  return true;
}

// Reads header lines up to the empty line; false when the head is cut, oversized or malformed,
// since its body could not be told apart from it.
bool ReadHeaders(Network& net, LineReader& reader, AnswerHead& head);

// Interim answers (1xx: "100 Continue", "103 Early Hints") taken before the final one; a server
// that sends more is given up.
constexpr int kMaxInterimAnswers = 20;

// Reads the status line of the final answer: interim answers before it are read whole and
// dropped. False as ReadStatus, or after too many interim answers.
bool ReadFinalStatus(Network& net, LineReader& reader, int& status) {
  for (int interim = 0; interim <= kMaxInterimAnswers; ++interim) {
    if (!ReadStatus(net, reader, status)) return false;
    if (status < 100 || status > 199) return true;
    AnswerHead dropped;
    if (!ReadHeaders(net, reader, dropped)) return false;
  }
  return false;
}

bool ReadHeaders(Network& net, LineReader& reader, AnswerHead& head) {
  for (int count = 0; count < kMaxHeaderLines; ++count) {
    std::string line;
    if (!reader.ReadLine(line, net.Settings().idle_limit_s, kMaxHeaderLine) ||
        line.size() >= kMaxHeaderLine) {
      return false;
    }
    if (line.empty()) return true;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string name = Folded(TrimBlanks(std::string_view(line).substr(0, colon)));
    const std::string_view value = TrimBlanks(std::string_view(line).substr(colon + 1));
    if (name == "LOCATION") {
      head.location = std::string(value);
      head.has_location = true;
    } else if (name == "CONTENT-TYPE") {
      head.content_type = std::string(value);
    } else if (name == "CONTENT-LENGTH") {
      const auto length = ParseLength(value);
      if (!length) return false;
      head.content_length = *length;
    } else if (name == "TRANSFER-ENCODING") {
      head.chunked = Folded(value).find("CHUNKED") != std::string::npos;
    }
  }
  return false;
}

// The body of an answer, as it was sent or with its chunked coding undone.
class BodyReader {
 public:
  BodyReader(Network& net, LineReader& reader, bool chunked)
      : net_(net), reader_(reader), chunked_(chunked) {}

  // Up to size bytes; 0 at the end of the body, or when it was cut (see complete()).
  size_t Read(char* out, size_t size) {
    if (!chunked_) return reader_.ReadSome(out, size);
    if (done_ || broken_) return 0;
    if (chunk_left_ == 0 && !NextChunk()) return 0;
    const size_t n = reader_.ReadSome(out, static_cast<size_t>(std::min<int64_t>(chunk_left_, static_cast<int64_t>(size))));
    if (n == 0) {
      broken_ = true;
      return 0;
    }
    chunk_left_ -= static_cast<int64_t>(n);
    if (chunk_left_ == 0) {
      std::string crlf;
      if (!reader_.ReadLine(crlf, net_.Settings().idle_limit_s, 16) || !crlf.empty()) broken_ = true;
    }
    return n;
  }

  // True once the last chunk of a chunked body arrived.
  bool complete() const { return done_; }

 private:
  bool NextChunk() {
    std::string line;
    if (!reader_.ReadLine(line, net_.Settings().idle_limit_s, 1024)) {
      broken_ = true;
      return false;
    }
    int64_t size = 0;
    size_t digits = 0;
    for (const char c : line) {
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else break;
      if (++digits > 15) break;
      size = size * 16 + digit;
    }
    if (digits == 0 || digits > 15) {
      broken_ = true;
      return false;
    }
    if (size == 0) {
      // Trailer lines up to the empty line.
      for (int i = 0; i < kMaxHeaderLines; ++i) {
        if (!reader_.ReadLine(line, net_.Settings().idle_limit_s, kMaxHeaderLine)) break;
        if (line.empty()) break;
      }
      done_ = true;
      return false;
    }
    chunk_left_ = size;
    return true;
  }

  Network& net_;
  LineReader& reader_;
  bool chunked_;
  int64_t chunk_left_ = 0;
  bool done_ = false;
  bool broken_ = false;
};

int64_t FileSize(std::FILE* file, const fs::path& path) {
  if (file != nullptr) std::fflush(file);
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : static_cast<int64_t>(size);
}

enum class Outcome { kSuccess, kFailure, kRedirect, kTextForm };

constexpr int64_t kLargeBlock = 65536;

class Download {
 public:
  Download(Network& net, DownloadUi& ui, const DownloadRequest& request, DownloadAnswer* answer)
      : net_(net), ui_(ui), request_(request), answer_(answer), tone_(request.tone) {}

  bool Run() {
    if (answer_ != nullptr) *answer_ = DownloadAnswer{};
    if (request_.url.empty() || request_.file.empty()) return false;
    std::string url = request_.url;
    for (int redirects = 0;; ++redirects) {
      std::string next;
      const Outcome outcome = Request(url, next);
      // The text form opens its own connection once the first one is closed.
      if (outcome == Outcome::kTextForm) return HttpFetchText(net_, ui_, request_, url);
      if (outcome != Outcome::kRedirect) return outcome == Outcome::kSuccess;
      if (redirects >= kMaxRedirects) return false;
      url = next;
    }
  }

 private:
  Outcome Request(const std::string& url, std::string& next) {
    const UrlParts parts = UrlSplit(url);
    if (!parts.valid) return Outcome::kFailure;
    FilePtr file;
    int64_t resume_offset = 0;
    Connection connection(net_, parts);
    if (!connection.ok()) {
      ReportConnectFailure(net_, ui_, parts);
      return Outcome::kFailure;
    }
    const int s = connection.socket();
    net_.SendLine(s, "GET " + parts.path + " HTTP/1.1");
    net_.SendLine(s, "User-Agent: " + request_.agent);
    net_.SendLine(s, "Accept: */*");
    net_.SendLine(s, "Accept-Encoding: identity");
    net_.SendLine(s, "Host: " + parts.host);
    net_.SendLine(s, "Connection: Close");
    std::error_code error;
    if (fs::is_regular_file(request_.file, error)) {
      file.reset(OpenNativeFile(request_.file, "r+b"));
      if (file) {
        resume_offset = FileSize(file.get(), request_.file);
        net_.SendLine(s, "Range: bytes=" + std::to_string(resume_offset) + "-");
      }
    }
    if (!request_.cookie.empty()) net_.SendLine(s, "Cookie: " + request_.cookie);
    net_.SendLine(s, "");

    LineReader& reader = connection.reader();
    AnswerHead head;
    if (!ReadFinalStatus(net_, reader, head.status)) return Outcome::kFailure;
    if (answer_ != nullptr) *answer_ = DownloadAnswer{head.status, {}};
    switch (head.status) {
      case 206:
        ui_.SayLine("Retomando download");
        break;
      case 400:
        if (request_.say_http_errors) {
          ui_.SayLine(Utf8ToCp1252("Erro http400:Requisição http não foi bem formulada."));
        }
        return Outcome::kFailure;
      case 404:
        if (request_.say_http_errors) {
          ui_.SayLine(Utf8ToCp1252("Erro http404: Página não encontrada."));
        }
        return Outcome::kFailure;
      default:
        break;
    }
    if (!ReadHeaders(net_, reader, head)) return Outcome::kFailure;
    if (answer_ != nullptr) answer_->content_type = head.content_type;
    if (head.has_location) {
      next = ResolveLocation(url, head.location);
      return Outcome::kRedirect;
    }
    // Another answer (an error page, a refused range) must not land in the target file.
    if (head.status != 200 && head.status != 206) return Outcome::kFailure;
    if (head.chunked) head.content_length = 0;
    if (head.content_length == 0 && Folded(head.content_type.substr(0, 5)) != "AUDIO") {
      return Outcome::kTextForm;
    }
    // A 200 answer is the whole resource: the file is made anew, but only once the head is known
    // to be good, so a broken answer leaves a partial download to resume.
    if (head.status == 200 || !file) {
      file.reset(OpenNativeFile(request_.file, "wb"));
      resume_offset = 0;
      if (!file) return Outcome::kFailure;
    }
    if (resume_offset > 0 && std::fseek(file.get(), static_cast<long>(resume_offset), SEEK_SET) != 0) {
      return Outcome::kFailure;
    }
    return Body(reader, file.get(), head, resume_offset) ? Outcome::kSuccess : Outcome::kFailure;
  }

  bool Body(LineReader& reader, std::FILE* file, const AnswerHead& head, int64_t resume_offset) {
    const bool open_ended = head.content_length == 0;
    int64_t remaining = open_ended ? 999999999 : head.content_length;
    BodyReader body(net_, reader, head.chunked);
    figures_ = ProgressFigures{open_ended, 0, head.content_length + resume_offset};
    file_ = file;
    stopped_ = false;
    // Keys are answered while the server is silent too, not only between blocks.
    net_.SetWaitHook([this] { return AnswerKeys(); });
    struct HookReset {
      Network& net;
      ~HookReset() { net.SetWaitHook(nullptr); }
    } hook_reset{net_};
    // While the tone sounds, a block is the reader's 4096 bytes, so the tone marks the same
    // progress; otherwise larger blocks keep the cost per byte low.
    std::vector<char> storage(kLargeBlock);
    char* block = storage.data();
    bool write_failed = false;
    for (;;) {
      const int64_t block_size = tone_ ? LineReader::kBufferSize : kLargeBlock;
      const size_t n = static_cast<size_t>(std::min<int64_t>(block_size, remaining));
      // Each piece is written as it comes, so the file (and the progress report made while the
      // server is silent) holds every byte received.
      size_t got = 0;
      while (got < n && !write_failed) {
        const size_t k = body.Read(block, n - got);
        if (k == 0) break;
        if (std::fwrite(block, 1, k, file) != k) write_failed = true;
        got += k;
      }
      if (got < n || n == 0 || write_failed || stopped_) break;
      if (!open_ended) remaining -= static_cast<int64_t>(n);
      if (tone_) ui_.ShortTone();
      if (!AnswerKeys()) break;
    }
    if (std::fflush(file) != 0) write_failed = true;
    if (write_failed) return false;
    if (head.chunked) return body.complete() || stopped_;
    // Every byte of a known length must arrive: a body cut short is never a complete file.
    return open_ended || remaining == 0;
  }

  // Answers a waiting key; false once the user chose to stop.
  bool AnswerKeys() {
    if (stopped_) return false;
    if (!ui_.KeyPressed()) return true;
    switch (ui_.ReadKey()) {
      case 13:
        figures_.file_size = FileSize(file_, request_.file);
        ui_.Speak(ProgressHead(figures_));
        ui_.Speak(ProgressAmount(figures_.file_size));
        ui_.Speak("Arquivo: " + request_.file_name);
        ui_.Speak("");
        break;
      case 32:
        tone_ = !tone_;
        break;
      case 27: {
        ui_.SayLine("Deseja parar o download?");
        const unsigned char answer = ui_.ReadKeySpoken();
        ui_.Show(std::string(1, static_cast<char>(answer)) + "\r\n");
        if (answer == 'S' || answer == 's') {
          ui_.SayLine(Utf8ToCp1252("O download foi interrompido."));
          stopped_ = true;
          return false;
        }
        break;
      }
      default:
        break;
    }
    return true;
  }

  Network& net_;
  DownloadUi& ui_;
  const DownloadRequest& request_;
  DownloadAnswer* answer_;
  bool tone_;
  bool stopped_ = false;
  std::FILE* file_ = nullptr;
  ProgressFigures figures_;
};

}  // namespace

bool HttpDownload(Network& net, DownloadUi& ui, const DownloadRequest& request,
                  DownloadAnswer* answer) {
  return Download(net, ui, request, answer).Run();
}

bool HttpFetchText(Network& net, DownloadUi& ui, const DownloadRequest& request,
                   std::string_view url) {
  if (url.empty() || request.file.empty()) return false;
  const UrlParts parts = UrlSplit(url);
  if (!parts.valid) return false;
  Connection connection(net, parts);
  if (!connection.ok()) {
    ReportConnectFailure(net, ui, parts);
    return false;
  }
  const int s = connection.socket();
  net.SendLine(s, "GET " + parts.path + " HTTP/1.1");
  net.SendLine(s, "Host: " + parts.host);
  net.SendLine(s, "User-Agent: " + request.agent);
  net.SendLine(s, "Connection: close");
  net.SendLine(s, "Accept-Language: pt-br");
  net.SendLine(s, "UA-CPU: x86");
  if (!request.cookie.empty()) net.SendLine(s, "Cookie: " + request.cookie);
  net.SendLine(s, "");

  LineReader& reader = connection.reader();
  AnswerHead head;
  // An error page is not the resource: the target file is only replaced by a good answer.
  if (!ReadFinalStatus(net, reader, head.status) || !ReadHeaders(net, reader, head) ||
      head.status != 200) {
    return false;
  }
  FilePtr file(OpenNativeFile(request.file, "wb"));
  if (!file) return false;
  BodyReader body(net, reader, head.chunked);
  // Lines are stored with CR LF whatever ended them (one CR before the LF is dropped), a last
  // line without a line end gets one, and one empty line follows.
  std::string out;
  bool held_cr = false;     // a CR that ends the line if LF comes next
  bool line_open = false;   // bytes arrived since the last line end
  char block[LineReader::kBufferSize];
  bool write_failed = false;
  for (;;) {
    const size_t n = body.Read(block, sizeof block);
    if (n == 0) break;
    out.clear();
    for (size_t i = 0; i < n; ++i) {
      const char c = block[i];
      if (c == '\n') {
        out += "\r\n";
        held_cr = false;
        line_open = false;
        continue;
      }
      if (held_cr) out += '\r';
      held_cr = c == '\r';
      if (!held_cr) out += c;
      line_open = true;
    }
    if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) write_failed = true;
  }
  out.clear();
  if (line_open) out += "\r\n";
  out += "\r\n";
  if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) write_failed = true;
  if (std::fflush(file.get()) != 0) write_failed = true;
  if (write_failed) return false;
  return !head.chunked || body.complete();
}

std::string FormatGeneral3(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";
  char text[64];
  std::snprintf(text, sizeof text, "%.2e", value);
  const std::string s = text;
  const size_t e = s.find('e');
  const int exponent = std::stoi(s.substr(e + 1));
  std::string mantissa;
  if (exponent >= -5 && exponent <= 2) {
    std::snprintf(text, sizeof text, "%.*f", 2 - exponent, value);
    mantissa = text;
  } else {
    mantissa = s.substr(0, e);
  }
  if (mantissa.find('.') != std::string::npos) {
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  for (char& c : mantissa) {
    if (c == '.') c = ',';
  }
  if (exponent >= -5 && exponent <= 2) return mantissa;
  char exp_text[16];
  std::snprintf(exp_text, sizeof exp_text, "E%s%02d", exponent < 0 ? "-" : "", std::abs(exponent));
  return mantissa + exp_text;
}

std::string ProgressHead(const ProgressFigures& figures) {
  if (figures.open_ended) return std::to_string(figures.file_size) + " bytes escritos em disco.";
  const int64_t total = figures.total;
  std::string percent =
      total > 0 ? FormatGeneral3(static_cast<double>(figures.file_size) / static_cast<double>(total) * 100.0)
                : "0";
  percent = percent.substr(0, percent.find('E'));
  std::string amount;
  if (total >= (int64_t{1} << 30)) amount = std::to_string(total >> 30) + "GB.";
  else if (total >= (int64_t{1} << 20)) amount = std::to_string(total >> 20) + "MB.";
  else if (total >= 1024) amount = std::to_string(total / 1024) + "KB.";
  else amount = std::to_string(total) + "Bytes.";
  return "Recebidos: " + percent + "% de " + amount;
}

std::string ProgressAmount(int64_t file_size) {
  const double s = std::fabs(static_cast<double>(file_size));
  if (s >= 1073741824.0) return FormatGeneral3(s / 1073741824.0) + " GigaBytes gravados.";
  if (s >= 1048576.0) return FormatGeneral3(s / 1048576.0) + " MegaBytes gravados.";
  if (s >= 1024.0) return FormatGeneral3(s / 1024.0) + " KBytes gravados.";
  return FormatGeneral3(s) + " Bytes gravados.";
}

}  // namespace navelo
