// File and directory commands: the channels (ABRE, FECHA, CHECA and the channel forms of ESCREVE
// and LE), REMOVE, RENOMEIA, REPLICA, DIR, BUSCA and the byte buffer commands.
#include <algorithm>
#include <cstdio>
#include <random>
#include <system_error>

#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "platform/file_open.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

// Writes and speaks a message (UTF-8 source text) followed by a name (cp1252).
void SayWithName(Interpreter& in, std::string_view utf8_message, std::string_view name = {}) {
  in.svc.speech.SpeakWriteLine(Utf8ToCp1252(utf8_message) + std::string(name));
}

fs::path HostPath(Interpreter& in, std::string_view name) { return in.svc.host.Resolve(name); }

bool IsDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool Abre(Interpreter& in, std::string& args) {
  const bool append = TakeTrailingAmpersand(args);
  int channel = 0;
  std::string name;
  bool ok = TakeChannel(args, channel) && !args.empty() && TakeValue(in, args, name) &&
            !name.empty();
  if (ok) {
    auto stream = FileChannel::Open(
        HostPath(in, name), append ? FileChannel::Mode::kAppend : FileChannel::Mode::kRead);
    ok = stream != nullptr;
    // A channel still open is closed before it takes the new file, so the earlier file is not
    // left open until the program ends.
    if (ok) in.channels.Put(channel, std::move(stream));
  }
  if (!ok) SayWithName(in, "Erro na abertura do arquivo ", name);
  return ok;
}

bool Fecha(Interpreter& in, std::string& args) {
  int channel = 0;
  if (!TakeChannel(args, channel)) {
    SayWithName(in, "Erro no fechamento do arquivo");
    return false;
  }
  // Closing a connection ends the SSL mark of CONECTA.
  const ChannelStream* stream = in.channels.Get(channel);
  if (stream != nullptr && stream->IsSocket()) in.sockets.ssl = false;
  if (!in.channels.Close(channel)) {
    SayWithName(in, "Erro no fechamento do arquivo");
    return false;
  }
  return true;
}

bool Checa(Interpreter& in, std::string& args) {
  int slot = 0;
  if (!TakeVariable(in, args, slot) || !args.empty()) return false;
  in.vars.Slot(slot) = DecimalText(in.io_status);
  return true;
}

bool Remove(Interpreter& in, std::string& args) {
  const bool ignore = TakeTrailingAmpersand(args);
  std::string name;
  if (!TakeValue(in, args, name) || name.empty()) return false;
  const fs::path path = HostPath(in, name);
  std::error_code error;
  // Only files: a folder, even an empty one, is not deleted by this command.
  const bool ok = !IsDirectory(path) && fs::remove(path, error);
  if (!ok && !ignore) {
    SayWithName(in, "Erro no apagamento do arquivo ", name);
    return false;
  }
  return true;
}

// The path with each part spelt as its folder lists it (where the file system ignores case, a
// path reaches its entries in any case).
fs::path SpeltAsListed(const fs::path& path) {
  fs::path result = path.root_path();
  for (const fs::path& part : path.relative_path()) {
    if (part.empty() || part == "." || part == "..") {
      result /= part;
    } else {
      // A name the code page cannot hold is kept as it is.
      fs::path found = FindListedEntry(result, Utf8ToCp1252(part.string()));
      std::error_code error;
      result = fs::exists(fs::symlink_status(found, error)) ? std::move(found) : result / part;
    }
  }
  return result;
}

// True when the folder lists an entry spelt exactly as the path's last part, letter case
// included.
bool ListedAsSpelt(const fs::path& path) {
  std::error_code error;
  for (fs::directory_iterator it(path.parent_path(), error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename() == path.filename()) return true;
  }
  return false;
}

// Renames as the host does: the old name must exist and the new one must not, except when both
// name the same file (a change of letter case only).
bool RenameFile(Interpreter& in, std::string_view from, std::string_view to) {
  if (from.empty() || to.empty()) return false;
  const fs::path old_path = HostPath(in, from);
  fs::path new_path = HostPath(in, to);
  std::error_code error;
  if (!fs::exists(fs::symlink_status(old_path, error))) return false;
  // "." and ".." name folders by position, not by name: they are never renamed.
  if (old_path.filename() == "." || old_path.filename() == ".." || new_path.filename() == "." ||
      new_path.filename() == "..") {
    return false;
  }
  bool case_only = false;
  if (fs::exists(fs::symlink_status(new_path, error))) {
    if (!fs::equivalent(old_path, new_path, error)) return false;
    // The lookup found the old file under the new name: give it the name as written.
    const std::string last(to.substr(to.find_last_of("\\/") == std::string_view::npos
                                         ? 0
                                         : to.find_last_of("\\/") + 1));
    if (last.empty()) return false;
    new_path = new_path.parent_path() / PathFromUtf8(Cp1252ToUtf8(last));
    case_only = old_path.filename() != new_path.filename();
  }
  fs::rename(old_path, new_path, error);
  if (error) return false;
  // Some file systems keep the old spelling when only the letter case changes (Wine's keeps
  // it, Windows' does not); through a name of its own the file takes the spelling as written.
  if (case_only && ListedAsSpelt(old_path) && !ListedAsSpelt(new_path)) {
    std::random_device random;
    fs::path temp_path = new_path;
    temp_path += ".navelo-" + std::to_string(random()) + ".tmp";
    fs::rename(old_path, temp_path, error);
    if (error) return true;  // renamed as the file system allows
    fs::rename(temp_path, new_path, error);
    if (error) {
      std::error_code back;
      fs::rename(temp_path, old_path, back);
      return false;
    }
  }
  return true;
}

bool Renomeia(Interpreter& in, std::string& args) {
  const bool ignore = TakeTrailingAmpersand(args);
  std::string from, to;
  if (!TakeValue(in, args, from) || !TakeValue(in, args, to) || !args.empty()) return false;
  return RenameFile(in, from, to) || ignore;
}

// REPLICA copies into a new file beside the target and renames it over the target only when the
// copy is complete: a failed copy leaves the old target as it was, and copying a file onto itself
// cannot empty it.
bool Replica(Interpreter& in, std::string& args) {
  const bool ignore = TakeTrailingAmpersand(args);
  std::string source, target;
  if (!TakeValue(in, args, source) || !TakeValue(in, args, target) || !args.empty()) return false;
  if (source.empty() || target.empty()) return ignore;
  const fs::path source_path = HostPath(in, source);
  const fs::path target_path = HostPath(in, target);
  // Only a regular file is copied: a FIFO would wait for a writer with no end, and a device
  // such as /dev/zero would be copied until the disk is full. They fail as a missing source does.
  std::error_code status_error;
  if (!fs::is_regular_file(source_path, status_error) || IsDirectory(target_path)) return ignore;
  std::FILE* from = OpenNativeFile(source_path, "rb");
  if (from == nullptr) return ignore;
  std::random_device random;
  fs::path temp_path = target_path;
  temp_path += ".navelo-" + std::to_string(random()) + ".tmp";
  std::FILE* to = OpenNativeFile(temp_path, "wbx");
  if (to == nullptr) {
    std::fclose(from);
    return ignore;
  }
  std::string block(30000, '\0');
  bool ok = true;
  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), from);
    if (got < block.size() && std::ferror(from)) {
      if (!ignore) SayWithName(in, "Erro no processamento de arquivo ", source);
      ok = false;
      break;
    }
    if (got > 0 && std::fwrite(block.data(), 1, got, to) != got) {
      if (!ignore) SayWithName(in, "Erro na escrita de arquivo ", target);
      ok = false;
      break;
    }
    if (got < block.size()) break;
  }
  std::fclose(from);
  if (std::fclose(to) != 0 && ok) {
    if (!ignore) SayWithName(in, "Erro na escrita de arquivo ", target);
    ok = false;
  }
  std::error_code error;
  if (ok) {
    fs::rename(temp_path, target_path, error);
    if (error) {
      if (!ignore) SayWithName(in, "Erro na escrita de arquivo ", target);
      ok = false;
    }
  }
  if (!ok) fs::remove(temp_path, error);
  return ok || ignore;
}

bool Dir(Interpreter& in, std::string& args) {
  const bool ignore = TakeTrailingAmpersand(args);
  enum class Op { kCreate, kRemove, kChange } op;
  if (StartsWithFolded(args, "CRIA ")) {
    op = Op::kCreate;
  } else if (StartsWithFolded(args, "REMOVE ")) {
    op = Op::kRemove;
  } else if (StartsWithFolded(args, "TROCA ")) {
    op = Op::kChange;
  } else {
    return false;
  }
  args.erase(0, args.find(' '));
  TrimInPlace(args);
  std::string name;
  if (!TakeValue(in, args, name) || !args.empty()) return false;
  bool ok = !name.empty();
  if (ok) {
    const fs::path path = HostPath(in, name);
    std::error_code error;
    switch (op) {
      case Op::kCreate:
        ok = fs::create_directory(path, error);
        break;
      case Op::kRemove:
        ok = IsDirectory(path) && fs::remove(path, error);
        break;
      case Op::kChange:
        // Spelt as listed, so that the current folder reads as its folders were created.
        fs::current_path(SpeltAsListed(path), error);
        ok = !error;
        break;
    }
  }
  if (!ok && !ignore) {
    SayWithName(in, "Erro no processamento do diretório ", name);
    return false;
  }
  return true;
}

// The first name of a new pattern search. A name without wildcards is looked up directly (the
// scripts' existence test); a pattern lists its folder.
std::string StartSearch(Interpreter& in, std::string_view pattern, FileSearch::Mode mode) {
  const size_t cut = pattern.find_last_of("\\/");
  std::string dir_part;
  std::string name_part;
  if (cut != std::string_view::npos) {
    dir_part = std::string(pattern.substr(0, cut + 1));
    name_part = std::string(pattern.substr(cut + 1));
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    dir_part = std::string(pattern.substr(0, 2)) + "\\";
    name_part = std::string(pattern.substr(2));
  } else {
    name_part = std::string(pattern);
  }
  const fs::path dir = dir_part.empty() ? fs::path(".") : HostPath(in, dir_part);
  FileSearch& search = in.files.search;
  if (name_part.find_first_of("*?") == std::string::npos) {
    search.End();
    if (name_part.empty() || name_part[0] == '.') return {};
    const fs::path path = FindListedEntry(dir, name_part);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    const bool wanted = mode == FileSearch::Mode::kDirectories ? fs::is_directory(status)
                                                                : fs::is_regular_file(status);
    return wanted ? Utf8ToCp1252(path.filename().string()) : std::string();
  }
  search.Start(dir, name_part, mode, [&in] { in.svc.console.PumpMessages(); });
  return search.Next();
}

bool Busca(Interpreter& in, std::string& args) {
  int slot = 0;
  if (!TakeVariable(in, args, slot) || args.empty()) return false;
  FileSearch::Mode mode = FileSearch::Mode::kFiles;
  if (StartsWithFolded(args, "DIR")) {
    mode = FileSearch::Mode::kDirectories;
    args.erase(0, 4);
    TrimInPlace(args);
  }
  if (StartsWithFolded(args, "FIM")) {
    in.files.search.End();
    return true;
  }
  std::string value;
  if (StartsWithFolded(args, "PR\xD3XIMO") || StartsWithFolded(args, "PROXIMO")) {
    args.erase(0, 7);
    TrimInPlace(args);
    if (!args.empty()) return false;
    value = in.files.search.Next();
  } else if (args.empty()) {
    std::error_code error;
    value = Utf8ToCp1252(fs::current_path(error).string());
  } else {
    std::string pattern;
    if (!TakeValue(in, args, pattern) || !args.empty()) return false;
    value = StartSearch(in, pattern, mode);
  }
  in.vars.Slot(slot) = Trim(value);
  return true;
}

bool CriaBin(Interpreter& in, std::string& args) {
  std::string name;
  if (!TakeValue(in, args, name) || name.empty()) return false;
  return in.files.output.Create(HostPath(in, name));
}

bool EscreveByte(Interpreter& in, std::string& args) {
  std::string value;
  if (!TakeValue(in, args, value)) return false;
  // Bytes that would pass the buffer's end fail the command rather than being cut off.
  return in.files.bytes.Append(value);
}

bool LeByte(Interpreter& in, std::string& args) {
  std::string name, from_text, to_text;
  if (!TakeValue(in, args, name) || !TakeValue(in, args, from_text) ||
      !TakeValue(in, args, to_text)) {
    return false;
  }
  ByteBuffer& buffer = in.files.bytes;
  if (buffer.Room() == 0 || name.empty()) return false;
  const auto from = ParseInteger(from_text);
  const auto to = ParseInteger(to_text);
  if (!from || !to || *from < 0 || *from > *to) return false;
  const fs::path path = HostPath(in, name);
  if (IsDirectory(path)) return false;
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  if (error || size > ByteBuffer::kCapacity) return false;
  if (static_cast<uintmax_t>(*from) >= size) return false;
  const int64_t wanted = *from == *to ? 1 : static_cast<int64_t>(*to) - *from;
  const size_t count =
      static_cast<size_t>(std::min<uintmax_t>(static_cast<uintmax_t>(wanted), size - *from));
  if (count > buffer.Room()) return false;
  std::FILE* file = OpenNativeFile(path, "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, *from, SEEK_SET) == 0;
  if (ok) {
    char* place = buffer.Extend(count);
    const size_t got = std::fread(place, 1, count, file);
    buffer.Commit(count, got);
  }
  std::fclose(file);
  return ok;
}

bool GravaBytes(Interpreter& in, std::string&) {
  FileState& files = in.files;
  if (!files.output.IsOpen()) return false;
  // A failed write keeps the bytes, so nothing is lost without the command saying so.
  if (!files.output.Write(files.bytes.Bytes())) return false;
  files.bytes.Clear();
  return true;
}

bool LimpaBytes(Interpreter& in, std::string&) {
  in.files.bytes.Release();
  return true;
}

bool FechaBin(Interpreter& in, std::string&) {
  if (!in.files.output.IsOpen()) return false;
  in.files.output.Close();
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"ABRE", Abre},
    {"FECHA", Fecha},
    {"CHECA", Checa},
    {"REMOVE", Remove},
    {"RENOMEIA", Renomeia},
    {"REPLICA", Replica},
    {"DIR", Dir},
    {"BUSCA", Busca},
    {"CRIABIN", CriaBin},
    {"ESCREVEBYTE", EscreveByte},
    {"LEBYTE", LeByte},
    {"GRAVABYTES", GravaBytes},
    {"LIMPABYTES", LimpaBytes},
    {"FECHABIN", FechaBin},
};

}  // namespace

std::span<const CommandEntry> FileCommands() { return kEntries; }

bool WriteChannel(Interpreter& in, std::string& args) {
  in.io_status = 0;
  const bool no_line_end = TakeTrailingAmpersand(args);
  args.erase(0, 1);
  if (args.empty() || args[0] < '0' || args[0] > '9') {
    SayWithName(in, "Erro no processamento de arquivo");
    return false;
  }
  const int channel = args[0] - '0';
  args.erase(0, 1);
  TrimInPlace(args);
  std::string text;
  bool clean = true;
  std::string value;
  while (!args.empty()) {
    if (!TakeValue(in, args, value)) {
      clean = false;
      break;
    }
    text += value;
  }
  ChannelStream* stream = in.channels.Get(channel);
  if (stream == nullptr) {
    SayWithName(in, "Erro no processamento de arquivo");
    return false;
  }
  in.io_status = stream->Write(text, !no_line_end);
  if (!clean) return false;
  in.svc.speech.WaitWhileBusy();
  return true;
}

bool ReadChannel(Interpreter& in, std::string& args) {
  in.io_status = 0;
  int channel = 0;
  if (!TakeChannel(args, channel)) return false;
  if (args.empty()) {
    SayWithName(in, "Erro no processamento de arquivo");
    return false;
  }
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  ChannelStream* stream = in.channels.Get(channel);
  // Reading a channel that was never opened fails like a missing channel does when writing.
  if (stream == nullptr) {
    SayWithName(in, "Erro no processamento de arquivo");
    return false;
  }
  std::string line;
  in.io_status = stream->ReadLine(line);
  in.vars.Slot(slot) = std::move(line);
  return true;
}

}  // namespace navelo
