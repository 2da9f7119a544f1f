// The buffered line reader of a connection.
#include "net/line_reader.h"

#include <algorithm>
#include <cstring>

namespace navelo {

bool LineReader::HasData() { return position_ < count_ || net_.SocketReadable(socket_); }

bool LineReader::Fill() {
  position_ = 0;
  count_ = net_.SocketRecv(socket_, buffer_.data(), kBufferSize);
  return count_ > 0;
}

int LineReader::FillWithin(int64_t limit_ms) {
  position_ = 0;
  const int n = net_.SocketRecvWithin(socket_, buffer_.data(), kBufferSize, limit_ms);
  count_ = std::max(n, 0);
  return n;
}

bool LineReader::ReadByte(unsigned char& byte) {
  byte = 0;
  if (position_ >= count_ && !Fill()) return false;
  byte = static_cast<unsigned char>(buffer_[static_cast<size_t>(position_++)]);
  return true;
}

size_t LineReader::ReadSome(char* out, size_t size) {
  if (size == 0) return 0;
  if (position_ >= count_ && size >= static_cast<size_t>(kBufferSize)) {
    // A large read with nothing buffered goes straight into the caller's memory: the same bytes
    // in the same order, without a copy through the buffer.
    const int n = net_.SocketRecv(socket_, out, static_cast<int>(std::min<size_t>(size, 1 << 20)));
    position_ = 0;
    count_ = std::min(n, 0);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  if (position_ >= count_ && !Fill()) return 0;
  const size_t n = std::min(size, static_cast<size_t>(count_ - position_));
  std::memcpy(out, buffer_.data() + position_, n);
  position_ += static_cast<int>(n);
  return n;
}

bool LineReader::ReadLine(std::string& line, int seconds, size_t max_bytes) {
  line.clear();
  // The time-out bounds a silence: the pauses since the last byte came, counted in steps.
  const int max_idle = seconds * 10;
  int idle = 0;
  for (;;) {
    if (position_ >= count_) {
      if (!HasData()) {
        net_.console().Delay(100);
        ++idle;
        if (seconds != 0 && idle > max_idle) return false;
        continue;
      }
      // A readable socket need not hold data: a TLS record may come in pieces or carry none (the
      // session tickets of TLS 1.3). The receive waits for data as long as the silence may still
      // last, without end when there is no time-out.
      const int64_t limit_ms = seconds == 0 ? -1 : int64_t{max_idle - idle + 1} * 100;
      const int n = FillWithin(limit_ms);
      if (n == kRecvSilent) return false;
      if (n <= 0) {
        if (line.empty()) return false;
        break;
      }
      idle = 0;
    }
    // Whole runs of buffered bytes are taken at once; the effect is that of one byte at a time.
    const char* begin = buffer_.data() + position_;
    const char* end = buffer_.data() + count_;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
    const size_t room = max_bytes > line.size() ? max_bytes - line.size() : 0;
    const size_t take = std::min<size_t>(static_cast<size_t>((lf != nullptr ? lf : end) - begin), room);
    line.append(begin, take);
    position_ += static_cast<int>(take);
    if (lf != nullptr && begin + take == lf) {
      ++position_;
      break;
    }
    if (line.size() >= max_bytes) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace navelo
