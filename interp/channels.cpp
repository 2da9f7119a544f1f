// The channel table and the text-file channel.
#include "interp/channels.h"

#include <cerrno>
#include <system_error>

#include "net/line_reader.h"
#include "platform/file_open.h"

namespace navelo {

static_assert(FileChannel::kMaxLineBytes == LineReader::kMaxLineBytes,
              "files and connections hand over long lines in pieces of one size");

std::unique_ptr<FileChannel> FileChannel::Open(const std::filesystem::path& path, Mode mode) {
  // A folder opens on Linux but cannot be read or written as a file; opening a FIFO waits for a
  // writer with no end, and a device such as /dev/zero never ends. All are refused before the
  // opening. A missing file is left to the opening (appending creates it).
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return nullptr;
  std::FILE* file = OpenNativeFile(path, mode == Mode::kAppend ? "ab" : "rb");
  if (file == nullptr) return nullptr;
  // A device that the query above could not name (Windows' NUL and CON are no files to it).
  if (!IsDiskFile(file)) {
    std::fclose(file);
    return nullptr;
  }
  return std::unique_ptr<FileChannel>(new FileChannel(file, mode));
}

FileChannel::~FileChannel() {
  if (file_ != nullptr) std::fclose(file_);
}

int FileChannel::Write(std::string_view text, bool line_end) {
  if (file_ == nullptr) return EBADF;
  if (mode_ != Mode::kAppend) return EBADF;
  // The line goes out whole in one write and is flushed at once, so another program reading the
  // file never sees half a line and nothing is lost if the program ends abruptly.
  std::string line(text);
  if (line_end) line += "\r\n";
  errno = 0;
  const size_t written = std::fwrite(line.data(), 1, line.size(), file_);
  if (written != line.size() || std::fflush(file_) != 0) return errno != 0 ? errno : EIO;
  return 0;
}

int FileChannel::ReadLine(std::string& line) {
  line.clear();
  if (file_ == nullptr || mode_ != Mode::kRead) return EBADF;
  if (ended_) return 1;
  bool got_any = false;
  for (;;) {
    const int c = std::getc(file_);
    if (c == EOF) {
      if (std::ferror(file_)) return EIO;
      // The end of the file as it is now: the stream forgets it, so the next read sees what has
      // been appended since. Only a seek makes every C library read the file again (Windows'
      // keeps answering from its empty buffer after clearerr alone).
      ForgetTheEnd();
      return got_any ? 0 : 1;
    }
    if (c == 26) {
      ended_ = true;
      return got_any ? 0 : 1;
    }
    got_any = true;
    if (c == '\n') return 0;
    if (c == '\r') continue;
    line.push_back(static_cast<char>(c));
    if (line.size() >= kMaxLineBytes) {
      // A full piece. Its line end, if it follows at once, belongs to it: the next read must not
      // give an empty line for it. CRs there are dropped as anywhere in a line.
      int next = std::getc(file_);
      while (next == '\r') next = std::getc(file_);
      if (next == 26) {
        ended_ = true;
      } else if (next != '\n' && next != EOF) {
        std::ungetc(next, file_);
      }
      if (next == EOF) ForgetTheEnd();
      return 0;
    }
  }
}

void FileChannel::ForgetTheEnd() {
  std::clearerr(file_);
  std::fseek(file_, 0, SEEK_CUR);
}

bool FileChannel::Close() {
  if (file_ == nullptr) return true;
  const int result = std::fclose(file_);
  file_ = nullptr;
  return result == 0;
}

ChannelStream* ChannelTable::Get(int n) const {
  if (n < 0 || n >= kChannels) return nullptr;
  return slots_[static_cast<size_t>(n)].get();
}

void ChannelTable::Put(int n, std::unique_ptr<ChannelStream> stream) {
  if (n < 0 || n >= kChannels) return;
  auto& slot = slots_[static_cast<size_t>(n)];
  if (slot) slot->Close();
  slot = std::move(stream);
}

bool ChannelTable::Close(int n) {
  if (n < 0 || n >= kChannels) return true;
  auto& slot = slots_[static_cast<size_t>(n)];
  if (!slot) return true;
  const bool ok = slot->Close();
  slot.reset();
  return ok;
}

void ChannelTable::Reset() {
  for (int n = 0; n < kChannels; ++n) Close(n);
}

}  // namespace navelo
