// The buffered reader of one connection: bytes, lines ending in LF, and blocks for the download.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/network.h"

namespace navelo {

class LineReader {
 public:
  static constexpr int kBufferSize = 4096;
  // A line longer than this is handed over in pieces of this size, so a peer that never sends a
  // line end cannot exhaust memory.
  static constexpr size_t kMaxLineBytes = 1 << 20;

  // The reader does not own the socket: closing one leaves the other as it is.
  LineReader(Network& net, int socket) : net_(net), socket_(socket) {}

  int socket() const { return socket_; }

  // True when unread bytes are buffered or the socket becomes readable within the poll time-out.
  bool HasData();
  // The next byte; false when the connection ended or failed.
  bool ReadByte(unsigned char& byte);
  // Up to size bytes, receiving only when the buffer is used up; 0 when the connection ended or
  // failed. The bulk form of ReadByte.
  size_t ReadSome(char* out, size_t size);
  // The next line without its LF and without one CR before it. Waits in steps of the poll
  // time-out and a 100 ms pause; seconds > 0 bounds each silence of the peer, counted from the
  // last byte received (the bytes gathered so far stay in line). False when the connection
  // ended before any byte of the line, or on the time-out. max_bytes ends a line early (see
  // kMaxLineBytes).
  bool ReadLine(std::string& line, int seconds, size_t max_bytes = kMaxLineBytes);

 private:
  bool Fill();
  // Receives into the empty buffer, allowing a silence of limit_ms (negative: without end); the
  // receive's result (a count, kRecvEnded, kRecvFailed or kRecvSilent).
  int FillWithin(int64_t limit_ms);

  Network& net_;
  int socket_;
  std::array<char, kBufferSize> buffer_{};
  int position_ = kBufferSize;
  int count_ = 0;
};

}  // namespace navelo
