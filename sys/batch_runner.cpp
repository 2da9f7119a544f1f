// The batch-file runner: line parsing, %VAR% expansion, redirections and the built-in commands.
#include "sys/batch_runner.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

std::string CurrentDirectory() {
  std::error_code error;
  return Utf8ToCp1252(fs::current_path(error).string());
}

// The messages of the host's command interpreter, in Portuguese.
std::string Message(std::string_view utf8) { return Utf8ToCp1252(utf8); }

}  // namespace

BatchRunner::BatchRunner(const HostEnvironment& host, EnvLookup env,
                         std::vector<std::string> params, Sink out, Sink err, Sleeper sleep)
    : host_(host),
      env_(std::move(env)),
      params_(std::move(params)),
      out_(std::move(out)),
      err_(std::move(err)),
      sleep_(std::move(sleep)) {}

int BatchRunner::Run(std::string_view file_bytes) {
  size_t start = 0;
  while (start < file_bytes.size()) {
    size_t end = file_bytes.find('\n', start);
    if (end == std::string_view::npos) end = file_bytes.size();
    if (!RunLine(file_bytes.substr(start, end - start))) break;
    start = end + 1;
  }
  return exit_code_;
}

std::string BatchRunner::Variable(const std::string& name) {
  const std::string upper = AsciiUpper(name);
  if (const auto it = set_.find(upper); it != set_.end()) return it->second;
  // The host's folders come from the host environment, in the form this host shows them.
  if (upper == "USERPROFILE") return Utf8ToCp1252(host_.UserProfile());
  if (upper == "APPDATA") return Utf8ToCp1252(host_.AppData());
  if (upper == "WINDIR" || upper == "SYSTEMROOT") return Utf8ToCp1252(host_.WindowsDir());
  if (upper == "CD") return CurrentDirectory();
  std::string value;
  if (env_ && (env_(name, value) || env_(upper, value))) return Utf8ToCp1252(value);
  return {};
}

std::string BatchRunner::Expand(std::string_view line) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '%') {
      out += line[i];
      continue;
    }
    if (i + 1 >= line.size()) break;  // a lone "%" at the end is dropped
    const char next = line[i + 1];
    if (next == '%') {
      out += '%';
      ++i;
    } else if (next >= '0' && next <= '9') {
      const size_t n = static_cast<size_t>(next - '0');
      if (n < params_.size()) out += params_[n];
      ++i;
    } else if (next == '*') {
      for (size_t p = 1; p < params_.size(); ++p) out += (p > 1 ? " " : "") + params_[p];
      ++i;
    } else {
      const size_t close = line.find('%', i + 1);
      if (close == std::string_view::npos) break;  // an unclosed name is dropped with the rest
      out += Variable(std::string(line.substr(i + 1, close - i - 1)));
      i = close;
    }
  }
  return out;
}

void BatchRunner::Emit(const Output& target, std::string_view bytes) {
  if (target.discard) return;
  if (!target.file.empty()) {
    if (std::FILE* file = std::fopen(target.file.c_str(), "ab")) {
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fclose(file);
    }
    return;
  }
  if (target.error_stream) {
    if (err_) err_(bytes);
  } else if (out_) {
    out_(bytes);
  }
}

void BatchRunner::Prompt(std::string_view line) {
  if (out_) out_("\r\n" + CurrentDirectory() + ">" + std::string(line) + "\r\n");
}

bool BatchRunner::RunLine(std::string_view raw) {
  std::string_view line = raw;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  if (line.empty()) return true;
  bool quiet = false;
  if (line.front() == '@') {
    quiet = true;
    line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  }
  if (line.empty() || line.front() == ':') return true;
  const std::string expanded = Expand(line);
  if (echo_ && !quiet) Prompt(expanded);

  // Redirections leave the command text; the blanks around them stay, as on the host.
  Output out_target;
  Output err_target;
  err_target.error_stream = true;
  std::string command;
  bool quoted = false;
  bool bad_redirect = false;
  for (size_t i = 0; i < expanded.size(); ++i) {
    const char c = expanded[i];
    if (c == '"') quoted = !quoted;
    if (quoted || c != '>') {
      command += c;
      continue;
    }
    int handle = 1;
    if (!command.empty() && (command.back() == '1' || command.back() == '2')) {
      handle = command.back() - '0';
      command.pop_back();
    }
    bool append = false;
    if (i + 1 < expanded.size() && expanded[i + 1] == '>') {
      append = true;
      ++i;
    }
    Output target;
    if (i + 1 < expanded.size() && expanded[i + 1] == '&') {
      const char other = i + 2 < expanded.size() ? expanded[i + 2] : '\0';
      i += 2;
      if (other == '1') {
        target = out_target;
      } else if (other == '2') {
        target = err_target;
      } else {
        bad_redirect = true;
        break;
      }
    } else {
      size_t j = i + 1;
      while (j < expanded.size() && IsBlank(expanded[j])) ++j;
      std::string name;
      bool name_quoted = false;
      while (j < expanded.size()) {
        const char d = expanded[j];
        if (d == '"') {
          name_quoted = !name_quoted;
        } else if (!name_quoted && (IsBlank(d) || d == '>' || d == '<' || d == '|' || d == '&')) {
          break;
        } else {
          name += d;
        }
        ++j;
      }
      i = j - 1;
      if (name.empty()) {
        bad_redirect = true;
        break;
      }
      const std::string upper = AsciiUpper(name);
      if (upper == "NUL" || upper == "NUL:") {
        target.discard = true;
      } else {
        const fs::path path = host_.Resolve(name);
        std::FILE* file = std::fopen(path.c_str(), append ? "ab" : "wb");
        if (file == nullptr) {
          if (err_) err_(Message("O sistema não pode encontrar o caminho especificado.\r\n"));
          return true;
        }
        std::fclose(file);
        target.file = path.string();
      }
    }
    if (handle == 2) {
      err_target = target;
    } else {
      out_target = target;
    }
  }
  if (bad_redirect) {
    if (err_) err_(Message("A sintaxe do comando está incorreta.\r\n"));
    return true;
  }

  // The command word ends at a blank, or at the "." "(" or ":" of "echo." and its kind.
  std::string_view text = command;
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  size_t word_end = 0;
  while (word_end < text.size() && !IsBlank(text[word_end]) && text[word_end] != '.' &&
         text[word_end] != '(' && text[word_end] != ':' && text[word_end] != '/') {
    ++word_end;
  }
  const std::string word = AsciiUpper(text.substr(0, word_end));
  std::string_view rest = text.substr(word_end);
  const std::string_view args = TrimBlanks(rest);
  auto say = [&](std::string_view bytes) { Emit(out_target, bytes); };
  auto complain = [&](std::string_view bytes) { Emit(err_target, bytes); };

  if (word == "ECHO") {
    if (rest.empty() || (IsBlank(rest.front()) && args.empty())) {
      say(Message(echo_ ? "ECHO está ativado.\r\n" : "ECHO está desativado.\r\n"));
    } else if (IsBlank(rest.front()) && AsciiUpper(args) == "OFF") {
      echo_ = false;
    } else if (IsBlank(rest.front()) && AsciiUpper(args) == "ON") {
      echo_ = true;
    } else {
      say(std::string(rest.substr(1)) + "\r\n");
    }
  } else if (word == "REM" || word.empty()) {
  } else if (word == "CHCP") {
    say(Message("Página de código ativa: ") + std::string(args.empty() ? "1252" : args) + "\r\n");
  } else if (word == "SET") {
    const size_t equals = args.find('=');
    if (args.empty()) {
      for (const auto& [name, value] : set_) say(name + "=" + value + "\r\n");
    } else if (args.front() == '/' || equals == std::string_view::npos || equals == 0) {
      complain(Message("A sintaxe do comando está incorreta.\r\n"));
    } else {
      const std::string name = AsciiUpper(args.substr(0, equals));
      const std::string value(args.substr(equals + 1));
      if (value.empty()) {
        set_.erase(name);
      } else {
        set_[name] = value;
      }
    }
  } else if (word == "CD" || word == "CHDIR") {
    std::string_view dir = args;
    if (AsciiUpper(dir.substr(0, 2)) == "/D") dir = TrimBlanks(dir.substr(2));
    if (dir.empty()) {
      say(CurrentDirectory() + "\r\n");
    } else {
      std::error_code error;
      fs::current_path(host_.Resolve(dir), error);
      if (error) complain(Message("O sistema não pode encontrar o caminho especificado.\r\n"));
    }
  } else if (word == "DEL" || word == "ERASE") {
    std::error_code error;
    const fs::path path = host_.Resolve(args);
    if (args.empty() || fs::is_directory(path, error) || !fs::remove(path, error)) {
      complain(Message("Não foi possível encontrar ") + std::string(args) + "\r\n");
    }
  } else if (word == "TYPE") {
    std::FILE* file = std::fopen(host_.Resolve(args).c_str(), "rb");
    if (file == nullptr) {
      complain(Message("O sistema não pode encontrar o arquivo especificado.\r\n"));
    } else {
      char block[4096];
      size_t n;
      while ((n = std::fread(block, 1, sizeof block, file)) > 0) say(std::string_view(block, n));
      std::fclose(file);
    }
  } else if (word == "TIMEOUT") {
    // "timeout /t N [/nobreak]" waits N seconds.
    int seconds = 0;
    const std::string upper = AsciiUpper(args);
    const size_t t = upper.find("/T");
    if (t != std::string::npos) seconds = std::atoi(upper.c_str() + t + 2);
    if (seconds > 0 && sleep_) sleep_(seconds);
  } else if (word == "CLS" || word == "TITLE") {
  } else if (word == "EXIT") {
    std::string_view code = args;
    if (AsciiUpper(code.substr(0, 2)) == "/B") code = TrimBlanks(code.substr(2));
    exit_code_ = std::atoi(std::string(code).c_str());
    return false;
  } else {
    complain("'" + std::string(text.substr(0, word_end)) +
             Message("' não é reconhecido como um comando interno ou externo, um programa "
                     "operável ou um arquivo em lotes.\r\n"));
  }
  return true;
}

}  // namespace navelo
