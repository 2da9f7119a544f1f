// A connection on one of the interpreter's channels, and the marks the socket commands keep
// between commands.
#pragma once

#include <memory>
#include <string>

#include "interp/channels.h"
#include "net/line_reader.h"
#include "net/network.h"

namespace navelo {

// Kept for the whole run: whether connections are made over TLS, and the target of the last
// CONECTA (for ATIVASSL).
struct SocketMarks {
  bool ssl = false;  // set by CONECTA SSL, cleared by FECHA of a socket channel
  std::string last_host;
  std::string last_port;
};

class SocketChannel final : public ChannelStream {
 public:
  SocketChannel(Network& net, int socket)
      : net_(net), socket_(socket), reader_(std::make_unique<LineReader>(net, socket)) {}
  ~SocketChannel() override { Release(); }

  // 1 when something was sent, 0 when not.
  int Write(std::string_view text, bool line_end) override {
    const bool sent = line_end ? net_.SendLine(socket_, text) : net_.SendText(socket_, text);
    return sent ? 1 : 0;
  }
  // Waits, keeping the window alive, for a whole line or the end of the connection.
  int ReadLine(std::string& line) override { return reader_ && reader_->ReadLine(line, 0) ? 0 : 1; }
  // Closing is all this does: only FECHA clears the SSL mark, not the closes that CONECTA, SERVE
  // or ABRE make when they reuse a channel.
  bool Close() override {
    Release();
    return true;
  }
  bool IsSocket() const override { return true; }

  int socket() const { return socket_; }
  LineReader* reader() { return reader_.get(); }
  // Moves the channel to another connection, closing the one it had.
  void Replace(int socket) {
    Release();
    socket_ = socket;
    reader_ = std::make_unique<LineReader>(net_, socket);
  }

 private:
  void Release() {
    reader_.reset();
    if (socket_ >= 0) net_.TcpClose(socket_);
    socket_ = -1;
  }

  Network& net_;
  int socket_;
  std::unique_ptr<LineReader> reader_;
};

}  // namespace navelo
