// The ten numbered channels #0-#9 of the language, which carry text files and connections alike.
//
// Sockets plug in here: the socket commands put a ChannelStream of their own (a connection and
// its LineReader) in a slot with ChannelTable::Put, and ESCREVE, LE and FECHA on that channel
// reach it through this interface without knowing what it carries. File channels are the
// FileChannel below.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace navelo {

// One open channel. Every operation returns what the command sets as the I/O status, because
// files and connections report differently (a file gives the platform's error code, a
// connection 1 when something was sent).
class ChannelStream {
 public:
  virtual ~ChannelStream() = default;

  // Writes the text, followed by CR LF when line_end is set. Returns the I/O status.
  virtual int Write(std::string_view text, bool line_end) = 0;
  // Reads the next line (without its line end) into line; at the end, line becomes empty.
  // Returns the I/O status: 0 when a line came, non-zero at the end or on an error.
  virtual int ReadLine(std::string& line) = 0;
  // Releases what the channel holds; false when the close reported an error.
  virtual bool Close() = 0;
  // True for a connection; the socket commands use it to refuse a file channel.
  virtual bool IsSocket() const { return false; }
};

// A text file on a channel: opened for reading, or for appending at its end. Lines are written
// with CR LF; reading splits at LF, drops every CR (the one before LF and lone ones), and stops
// for good at the byte 26. A plain end of the file is not final: lines that another channel or
// program appends later are read by the next reads.
class FileChannel final : public ChannelStream {
 public:
  enum class Mode { kRead, kAppend };

  // A line longer than this is handed over in pieces of this size, as the socket reader does, so
  // a file without line ends cannot exhaust memory.
  static constexpr size_t kMaxLineBytes = size_t{1} << 20;

  // Opens the file; nullptr when it cannot be opened (appending creates a missing file). Only
  // regular files are opened: a folder, a FIFO or a device is refused, so that no opening waits
  // for a writer and no read runs on without end.
  static std::unique_ptr<FileChannel> Open(const std::filesystem::path& path, Mode mode);
  ~FileChannel() override;

  int Write(std::string_view text, bool line_end) override;
  int ReadLine(std::string& line) override;
  bool Close() override;

 private:
  FileChannel(std::FILE* file, Mode mode) : file_(file), mode_(mode) {}
  // Clears the end-of-file state so that a later read sees bytes appended meanwhile.
  void ForgetTheEnd();
  std::FILE* file_;
  Mode mode_;
  bool ended_ = false;  // the byte 26 was reached: nothing after it is read
};

class ChannelTable {
 public:
  static constexpr int kChannels = 10;

  // The stream on channel n, or nullptr when n is out of range or the channel is not open.
  ChannelStream* Get(int n) const;
  bool IsOpen(int n) const { return Get(n) != nullptr; }
  // Puts a stream on channel n. A stream already there is closed first (its close result is of
  // no interest to the new opening).
  void Put(int n, std::unique_ptr<ChannelStream> stream);
  // Closes channel n; true when it was not open or closed cleanly.
  bool Close(int n);
  // Closes every channel (the interpreter reset).
  void Reset();

 private:
  std::array<std::unique_ptr<ChannelStream>, kChannels> slots_;
};

}  // namespace navelo
