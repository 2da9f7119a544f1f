// Transcript of observable events.
#include "platform/transcript.h"

#include "platform/text_encoding.h"

namespace navelo {

Transcript::Transcript(const std::string& path) { file_ = std::fopen(path.c_str(), "ab"); }

Transcript::~Transcript() {
  if (file_ != nullptr) std::fclose(file_);
}

std::string Transcript::Escape(std::string_view payload) {
  std::string escaped;
  escaped.reserve(payload.size());
  for (unsigned char c : payload) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '\r': escaped += "\\r"; break;
      case '\n': escaped += "\\n"; break;
      case '\t': escaped += "\\t"; break;
      default:
        if (c < 32) {
          static const char kHex[] = "0123456789ABCDEF";
          escaped += "\\x";
          escaped += kHex[c >> 4];
          escaped += kHex[c & 15];
        } else {
          escaped += static_cast<char>(c);
        }
    }
  }
  return Cp1252ToUtf8(escaped);
}

void Transcript::Record(std::string_view kind, std::string_view payload) {
  if (file_ == nullptr) return;
  std::string line(kind);
  line += '\t';
  line += Escape(payload);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace navelo
