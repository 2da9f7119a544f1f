// The transcript of observable events (NAVELO_TRANSCRIPT): one UTF-8 line per event, the kind, a
// tab and the escaped payload. Tests compare it; nothing is recorded when no file was named.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace navelo {

class Transcript {
 public:
  Transcript() = default;  // records nothing
  explicit Transcript(const std::string& path);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  bool Enabled() const { return file_ != nullptr; }
  // payload: cp1252 bytes. Each event is written through at once, so the transcript is complete
  // however the program ends.
  void Record(std::string_view kind, std::string_view payload);

  // The escaped UTF-8 form of a payload: "\\" for a backslash, "\r", "\n", "\t", "\xHH" for the
  // other bytes below 32.
  static std::string Escape(std::string_view payload);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace navelo
