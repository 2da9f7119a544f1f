// The state of the file commands besides the channels: the byte buffer with its byte output file,
// and the one active BUSCA search.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace navelo {

// The byte buffer of ESCREVEBYTE, LEBYTE and GRAVABYTES. It holds up to 128 MiB, but its memory
// is taken only as bytes arrive: the bytes past the count are never read by any command, so a
// buffer that grows with its content behaves exactly like a zeroed one of full size.
class ByteBuffer {
 public:
  static constexpr size_t kCapacity = 134217728;

  size_t Count() const { return bytes_.size(); }
  size_t Room() const { return kCapacity - bytes_.size(); }
  std::string_view Bytes() const { return bytes_; }
  // Appends when everything fits; false (nothing appended) otherwise.
  bool Append(std::string_view bytes);
  // Makes room for n bytes at the end and returns where they go; Commit then keeps the first
  // `used` of them. Used to read a file straight into the buffer.
  char* Extend(size_t n);
  void Commit(size_t reserved, size_t used);
  // GRAVABYTES and LIMPABYTES: the count becomes 0. The memory is kept for the next bytes.
  void Clear() { bytes_.clear(); }
  // The program's end or a reset gives the memory back.
  void Release() { std::string().swap(bytes_); }

 private:
  std::string bytes_;
};

// The byte output file, from CRIABIN to FECHABIN.
class ByteOutputFile {
 public:
  ~ByteOutputFile() { Close(); }
  bool IsOpen() const { return file_ != nullptr; }
  // Creates the file empty; false when it exists already or cannot be created.
  bool Create(const std::filesystem::path& path);
  // Appends the bytes; false when they were not all written.
  bool Write(std::string_view bytes);
  bool Close();

 private:
  std::FILE* file_ = nullptr;
};

// The active BUSCA search: the names that matched the pattern, in the order the host lists them
// (by name, without regard to letter case), handed out one by one.
class FileSearch {
 public:
  enum class Mode { kFiles, kDirectories };

  bool Active() const { return active_; }
  Mode CurrentMode() const { return mode_; }
  // Lists dir for entries matching pattern (cp1252, with * and ?). pump is called every few
  // hundred entries so a huge folder keeps the window alive.
  template <typename Pump>
  void Start(const std::filesystem::path& dir, std::string_view pattern, Mode mode, Pump&& pump);
  // The next name (cp1252), or empty when none is left (the search is then released).
  std::string Next();
  void End();

 private:
  void Add(const std::filesystem::directory_entry& entry, std::string_view pattern);
  void Finish();

  bool active_ = false;
  Mode mode_ = Mode::kFiles;
  std::vector<std::pair<std::string, std::string>> names_;  // folded name, name
  size_t next_ = 0;
};

// Whether a name matches a pattern of the host: "*" any run of characters, "?" one character,
// letters without regard to case; "*.*" matches names without a dot too.
bool WildcardMatch(std::string_view pattern, std::string_view name);

struct FileState {
  ByteBuffer bytes;
  ByteOutputFile output;
  FileSearch search;

  void Reset() {
    bytes.Release();
    output.Close();
    search.End();
  }
};

template <typename Pump>
void FileSearch::Start(const std::filesystem::path& dir, std::string_view pattern, Mode mode,
                       Pump&& pump) {
  End();
  mode_ = mode;
  active_ = true;
  std::error_code error;
  size_t seen = 0;
  for (std::filesystem::directory_iterator it(dir.empty() ? std::filesystem::path(".") : dir,
                                               error),
       end;
       !error && it != end; it.increment(error)) {
    Add(*it, pattern);
    if (++seen % 512 == 0) pump();
  }
  Finish();
}

}  // namespace navelo
