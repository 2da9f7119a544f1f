// Starting programs, batch files and documents, waiting for the user to come back, the process
// lookup and the piped child.
#include "sys/programs.h"

#include <cerrno>
#include <charconv>
#include <optional>
#include <chrono>
#include <filesystem>
#include <thread>

#include "config/config.h"
#include "config/host_env.h"
#include "console/console.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

unsigned char AsciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool EqualsAsciiFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool EndsWithFolded(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && EqualsAsciiFolded(text.substr(text.size() - tail.size()), tail);
}

std::string_view BaseName(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool IsBatchFile(std::string_view path) {
  return EndsWithFolded(path, ".bat") || EndsWithFolded(path, ".cmd");
}

int ShellResultOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kShellFileNotFound;
    case EACCES:
    case EPERM:
      return kShellAccessDenied;
    default:
      return kShellOutOfMemory;
  }
}

std::string TrimBlanks(std::string_view text) {
  size_t start = 0, end = text.size();
  while (start < end && static_cast<unsigned char>(text[start]) <= 32) ++start;
  while (end > start && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return std::string(text.substr(start, end - start));
}

// A decimal integer with an optional sign and blanks around it; nothing else.
std::optional<int> DecimalInteger(std::string_view text) {
  const std::string trimmed = TrimBlanks(text);
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (const char c : text) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

bool ProcessNameMatches(std::string_view wanted, const ProcessEntry& process) {
  const std::string name = Utf8ToCp1252(process.name);
  const std::string exe = Utf8ToCp1252(process.exe);
  const std::string arg0 = Utf8ToCp1252(process.arg0);
  for (std::string_view candidate :
       {std::string_view(name), std::string_view(exe), BaseName(exe), BaseName(arg0)}) {
    if (candidate.empty()) continue;
    if (EqualsAsciiFolded(wanted, candidate)) return true;
    // A Linux program has no ".exe": "pelaso.exe" finds a process called pelaso.
    if (wanted.size() == candidate.size() + 4 && EndsWithFolded(wanted, ".exe") &&
        EqualsAsciiFolded(wanted.substr(0, candidate.size()), candidate)) {
      return true;
    }
  }
  return false;
}

Programs::~Programs() {
  ClosePipes();
  ReapEnded();
}

void Programs::ClosePipes() {
  CloseDescriptor(pipes_.input);
  CloseDescriptor(pipes_.output);
  CloseDescriptor(pipes_.error);
  pipes_ = ChildPipes{};
}

void Programs::ReapEnded() {
  std::erase_if(children_, [](int pid) { return ChildEnded(pid); });
}

int Programs::Start(SpawnRequest request, ChildPipes* pipes) {
  ReapEnded();
  const int pid = SpawnChild(request, pipes, start_error_);
  if (pid > 0) {
    children_.push_back(pid);
    last_started_ = pid;
  } else {
    last_started_ = 0;
  }
  return pid;
}

std::string Programs::BatchRunner(const HostEnvironment& host) const {
  if (!batch_runner_.empty()) return batch_runner_;
  const std::string system = SystemBatchInterpreter();
  if (!system.empty()) return system;
  return (PathFromUtf8(host.ProgramDir()) / "cmd.exe").string();
}

std::string Programs::Locate(const HostEnvironment& host, std::string_view program) const {
  std::error_code error;
  auto existing = [&](std::string_view name) -> std::string {
    const fs::path path = host.Resolve(name);
    return fs::exists(path, error) ? path.string() : std::string();
  };
  const bool bare = program.find_first_of("\\/:") == std::string_view::npos;
  // A name without an extension also names the program file with ".exe" or ".com", as Windows
  // starts "bexilo_mon" from bexilo_mon.exe.
  const size_t last = program.find_last_of("\\/:");
  const bool no_extension =
      program.find('.', last == std::string_view::npos ? 0 : last + 1) == std::string_view::npos;
  auto with_extension = [&](const fs::path& base) -> std::string {
    if (!no_extension) return {};
    for (const char* extension : {".exe", ".com"}) {
      fs::path candidate = base;
      candidate += extension;
      if (fs::is_regular_file(candidate, error)) return candidate.string();
    }
    return {};
  };
  std::string found = existing(program);
  if (found.empty() && EndsWithFolded(program, ".exe")) {
    found = existing(program.substr(0, program.size() - 4));
  }
  if (found.empty()) found = with_extension(host.Resolve(program));
  // A bare name not found in the current folder is looked for beside the running program (where
  // the tracker finds its monitor), then along the search path.
  if (found.empty() && bare && !host.ProgramDir().empty()) {
    const fs::path beside = PathFromUtf8(host.ProgramDir()) / PathFromUtf8(Cp1252ToUtf8(program));
    if (fs::exists(beside, error)) {
      found = beside.string();
    } else if (EndsWithFolded(program, ".exe")) {
      const fs::path bare_name = beside.parent_path() / beside.stem();
      if (fs::exists(bare_name, error)) found = bare_name.string();
    } else {
      found = with_extension(beside);
    }
  }
  if (found.empty() && bare) {
    found = FindInSearchPath(Cp1252ToUtf8(program));
    if (found.empty() && EndsWithFolded(program, ".exe")) {
      found = FindInSearchPath(Cp1252ToUtf8(program.substr(0, program.size() - 4)));
    }
  }
  return found;
}

int Programs::RunProgram(const HostEnvironment& host, std::string_view program,
                         std::string_view directory, std::string_view parameters, ShowMode show) {
  (void)show;  // Programs on Linux make their own windows; hidden and shown start the same way.
  // A start that fails before a child exists must not leave the earlier child as the one
  // WaitForReturn waits for: that child (a piped one, say) may never end.
  last_started_ = 0;
  const std::string name = TrimBlanks(program);
  if (name.empty()) return kShellFileNotFound;
  const std::string path = Locate(host, name);
  if (path.empty()) return kShellFileNotFound;
  SpawnRequest request;
  if (!directory.empty()) request.directory = host.Resolve(directory).string();
  std::vector<std::string> words;
  for (std::string& word : SplitCommandLine(parameters)) words.push_back(Cp1252ToUtf8(word));
  std::error_code error;
  if (IsBatchFile(path) && !fs::is_directory(path, error)) {
    request.program = BatchRunner(host);
    request.argv = {"cmd.exe", "/c", path};
  } else if (IsExecutableFile(path)) {
    request.program = path;
    request.argv = {path};
  } else {
    // A document or a folder: the desktop's opener shows it with the program chosen for it.
    ReapEnded();
    const int pid = OpenDocument(path, request.directory, start_error_);
    if (pid == kNoDocumentOpener) return kShellNoAssociation;
    last_started_ = pid > 0 ? pid : 0;
    if (pid < 0) return ShellResultOf(start_error_);
    if (pid > 0) children_.push_back(pid);
    return kShellStarted;
  }
  request.argv.insert(request.argv.end(), words.begin(), words.end());
  if (Start(std::move(request), nullptr) < 0) return ShellResultOf(start_error_);
  return kShellStarted;
}

void Programs::WaitForReturn(Console& console, Config& config,
                             const std::function<bool()>& console_in_front) {
  if (console_in_front) {
    for (int i = 0; i < 50 && console_in_front(); ++i) console.Delay(100);
    while (!console_in_front()) console.Delay(100);
  } else {
    const int pid = last_started_;
    while (pid > 0 && !ChildEnded(pid)) console.Delay(100);
    ReapEnded();
  }
  const auto pause = DecimalInteger(config.Read("NAVELO", "TEMPOESPERAPROGVOLTAR"));
  int ms = pause.value_or(1000);
  if (ms < 0 || ms > 1000) ms = 1000;
  console.Delay(ms);
}

bool Programs::ProcessRunning(std::string_view name) {
  ReapEnded();
  if (name.empty()) return false;
  for (const ProcessEntry& process : ListProcesses()) {
    if (ProcessNameMatches(name, process)) return true;
  }
  return false;
}

bool Programs::PipeStart(const HostEnvironment& host, std::string_view command_line) {
  ClosePipes();
  piped_pid_ = 0;
  last_started_ = 0;
  std::vector<std::string> words = SplitCommandLine(command_line);
  if (words.empty()) return false;
  const std::string path = Locate(host, words[0]);
  if (path.empty()) return false;
  SpawnRequest request;
  request.with_pipes = true;
  std::error_code error;
  if (IsBatchFile(path) && !fs::is_directory(path, error)) {
    request.program = BatchRunner(host);
    request.argv = {"cmd.exe", "/c", path};
  } else {
    request.program = path;
    request.argv = {path};
  }
  for (size_t i = 1; i < words.size(); ++i) request.argv.push_back(Cp1252ToUtf8(words[i]));
  const int pid = Start(std::move(request), &pipes_);
  if (pid < 0) return false;
  piped_pid_ = pid;
  return true;
}

std::string Programs::PipeRead() {
  constexpr size_t kMax = 65535;
  auto waiting = [](int fd) {
    std::string text = ReadAvailable(fd, kMax);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
  };
  std::string result = waiting(pipes_.output);
  if (!result.empty()) {
    result += "\r\n" + waiting(pipes_.error);
  } else {
    result = waiting(pipes_.error);
  }
  if (!result.empty()) result += "\r\n";
  return result;
}

void Programs::PipeWriteLine(std::string_view text) {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (pipes_.input < 0) return;
  WriteAvailable(pipes_.input, std::string(text) + "\r\n");
}

}  // namespace navelo
