// The byte buffer, the byte output file and the BUSCA search.
#include "interp/file_state.h"

#include <algorithm>

#include "interp/text.h"
#include "platform/file_open.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;

bool ByteBuffer::Append(std::string_view bytes) {
  if (bytes.size() > Room()) return false;
  bytes_.append(bytes);
  return true;
}

char* ByteBuffer::Extend(size_t n) {
  const size_t old = bytes_.size();
  bytes_.resize(old + n);
  return bytes_.data() + old;
}

void ByteBuffer::Commit(size_t reserved, size_t used) {
  bytes_.resize(bytes_.size() - reserved + std::min(used, reserved));
}

bool ByteOutputFile::Create(const fs::path& path) {
  if (file_ != nullptr) return false;
  // "x" refuses an existing file (or folder) in the same step that creates the new one.
  file_ = OpenNativeFile(path, "wbx");
  return file_ != nullptr;
}

bool ByteOutputFile::Write(std::string_view bytes) {
  if (file_ == nullptr) return false;
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file_);
  return std::fflush(file_) == 0 && written == bytes.size();
}

bool ByteOutputFile::Close() {
  if (file_ == nullptr) return false;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

namespace {

bool MatchFrom(std::string_view p, std::string_view n) {
  // Iterative matching with one back-tracking point for the last "*": linear in practice and
  // never recursive, so long names and many stars cannot exhaust the stack.
  size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  const std::string p = FoldUpper(pattern);
  const std::string n = FoldUpper(name);
  if (MatchFrom(p, n)) return true;
  // The host matches "x.*" (and "*.*") also against names without any dot.
  if (p.size() >= 2 && p.substr(p.size() - 2) == ".*" && n.find('.') == std::string::npos) {
    return MatchFrom(p.substr(0, p.size() - 2), n);
  }
  return false;
}

void FileSearch::Add(const fs::directory_entry& entry, std::string_view pattern) {
  const std::string name = Utf8ToCp1252(entry.path().filename().string());
  // Names starting with a dot are the hidden files of Linux.
  if (name.empty() || name[0] == '.') return;
  std::error_code error;
  const bool is_dir = entry.is_directory(error);
  if (is_dir != (mode_ == Mode::kDirectories)) return;
  if (mode_ == Mode::kFiles && !entry.is_regular_file(error)) return;
  if (WildcardMatch(pattern, name)) names_.push_back({FoldUpper(name), name});
}

void FileSearch::Finish() {
  std::sort(names_.begin(), names_.end());
  next_ = 0;
}

std::string FileSearch::Next() {
  if (!active_) return {};
  if (next_ >= names_.size()) {
    End();
    return {};
  }
  return names_[next_++].second;
}

void FileSearch::End() {
  active_ = false;
  names_.clear();
  names_.shrink_to_fit();
  next_ = 0;
}

}  // namespace navelo
