// Child processes on Windows: CreateProcess with pipes for the standard handles, ShellExecuteEx
// for documents, the Toolhelp snapshot for the process list. Process ids stand for the children;
// their handles are kept here until they are seen ended.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/host_system.h"
#include "platform/process.h"
#include "platform/win32/wide_text.h"

namespace navelo {
namespace {

using win32::HandleToInt;
using win32::IntToHandle;
using win32::Narrow;
using win32::Widen;

std::map<int, HANDLE>& Children() {
  static std::map<int, HANDLE> children;
  return children;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
      return ENOEXEC;
    default:
      return ENOMEM;
  }
}

// One argument as the C runtime of the started program splits it back: quotes around it when it
// is empty or holds blanks or quotes, with the backslashes before a quote doubled.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') line.append(backslashes * 2 + 1, L'\\');
    else line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

bool IsCmd(const std::string& program) {
  const size_t cut = program.find_last_of("\\/");
  std::string base = program.substr(cut == std::string::npos ? 0 : cut + 1);
  for (char& c : base) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return base == "cmd.exe" || base == "cmd";
}

std::wstring CommandLine(const SpawnRequest& request) {
  std::vector<std::string> argv = request.argv;
  if (argv.empty()) argv.push_back(request.program);
  std::wstring line;
  // cmd.exe takes what follows "/c" as one command line: it is passed quoted as a whole, so that
  // cmd removes exactly those outer quotes.
  if (IsCmd(request.program) && argv.size() > 2 && (argv[1] == "/c" || argv[1] == "/C")) {
    AppendQuoted(line, Widen(argv[0]));
    line += L" /c \"";
    for (size_t i = 2; i < argv.size(); ++i) {
      if (i > 2) line += L' ';
      AppendQuoted(line, Widen(argv[i]));
    }
    line += L'"';
    return line;
  }
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) line += L' ';
    AppendQuoted(line, Widen(argv[i]));
  }
  return line;
}

void CloseIfOpen(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// A pipe whose child end is inheritable and whose other end is ours only.
bool MakePipe(HANDLE& read_end, HANDLE& write_end, bool child_reads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
  SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
  return true;
}

// Whether an entry of an environment block ("NAME=value") sets name, without regard to case.
bool Sets(const std::wstring& entry, const std::wstring& name) {
  if (entry.size() <= name.size() || entry[name.size()] != L'=') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::towupper(entry[i]) != std::towupper(name[i])) return false;
  }
  return true;
}

// The environment a child gets: ours, except where a test names its own tree for the user's
// folders (NAVELO_TEST_USERPROFILE, NAVELO_TEST_APPDATA, which this program takes in place of the
// platform's folders): the child then finds that tree in USERPROFILE and APPDATA, as a user's
// programs find the user's own folders there, so that a batch file's %USERPROFILE% names the
// folder our own paths do. The Windows directory stays the system's: the child's own system files
// are there.
std::wstring ChildEnvironment() {
  std::vector<std::wstring> entries;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      entries.emplace_back(entry);
    }
    FreeEnvironmentStringsW(block);
  }
  bool added = false;
  for (const char* name : {"USERPROFILE", "APPDATA"}) {
    std::string value;
    if (!ReadEnvironment("NAVELO_TEST_" + std::string(name), value) || value.empty()) continue;
    const std::wstring wide_name = Widen(name);
    const std::wstring entry = wide_name + L"=" + Widen(value);
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const std::wstring& e) { return Sets(e, wide_name); });
    if (it != entries.end()) {
      *it = entry;
    } else {
      entries.push_back(entry);
      added = true;
    }
  }
  // The system keeps the block sorted by name without regard to case.
  if (added) {
    auto by_name = [](const std::wstring& a, const std::wstring& b) {
      return std::lexicographical_compare(
          a.begin(), a.end(), b.begin(), b.end(),
          [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
    };
    std::stable_sort(entries.begin(), entries.end(), by_name);
  }
  std::wstring block;
  for (const std::wstring& entry : entries) {
    block += entry;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

int Remember(HANDLE process) {
  const int pid = static_cast<int>(GetProcessId(process));
  if (pid <= 0) {
    CloseHandle(process);
    return 0;
  }
  auto [it, added] = Children().emplace(pid, process);
  if (!added) {
    CloseHandle(it->second);
    it->second = process;
  }
  return pid;
}

}  // namespace

int SpawnChild(const SpawnRequest& request, ChildPipes* pipes, int& error) {
  error = 0;
  HANDLE child_in = nullptr, child_out = nullptr, child_err = nullptr;
  HANDLE our_in = nullptr, our_out = nullptr, our_err = nullptr;
  auto close_all = [&] {
    for (HANDLE* h : {&child_in, &child_out, &child_err, &our_in, &our_out, &our_err}) CloseIfOpen(*h);
  };
  if (request.with_pipes) {
    if (!MakePipe(child_in, our_in, true) || !MakePipe(our_out, child_out, false) ||
        !MakePipe(our_err, child_err, false)) {
      error = ErrnoOf(GetLastError());
      close_all();
      return -1;
    }
    // Our end of the child's input never waits: what the pipe does not take is dropped.
    DWORD no_wait = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    SetNamedPipeHandleState(our_in, &no_wait, nullptr, nullptr);
  } else {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    child_in = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
    child_out = child_in;
    child_err = child_in;
  }

  // Only the three standard handles are inherited, none of our other files or sockets.
  HANDLE inherited[3] = {child_in, child_out, child_err};
  const DWORD inherited_count = request.with_pipes ? 3 : 1;
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attribute_memory(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_memory.data());
  bool have_list = InitializeProcThreadAttributeList(attributes, 1, 0, &size) &&
                   UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                             inherited, inherited_count * sizeof(HANDLE), nullptr,
                                             nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = child_in;
  startup.StartupInfo.hStdOutput = child_out;
  startup.StartupInfo.hStdError = child_err;
  if (have_list) startup.lpAttributeList = attributes;

  std::wstring program = Widen(request.program);
  std::wstring line = CommandLine(request);
  std::wstring directory = Widen(request.directory);
  std::wstring environment = ChildEnvironment();
  PROCESS_INFORMATION info{};
  const DWORD flags = CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT |
                      (have_list ? EXTENDED_STARTUPINFO_PRESENT : 0);
  const BOOL started =
      CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, environment.data(),
                     directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo, &info);
  const DWORD start_error = GetLastError();
  if (have_list) DeleteProcThreadAttributeList(attributes);
  if (!request.with_pipes) {
    child_out = child_err = nullptr;  // the same handle as child_in
  }
  CloseIfOpen(child_in);
  CloseIfOpen(child_out);
  CloseIfOpen(child_err);
  if (!started) {
    error = ErrnoOf(start_error);
    close_all();
    return -1;
  }
  CloseHandle(info.hThread);
  if (request.with_pipes && pipes != nullptr) {
    pipes->input = HandleToInt(our_in);
    pipes->output = HandleToInt(our_out);
    pipes->error = HandleToInt(our_err);
    our_in = our_out = our_err = nullptr;
  }
  close_all();
  return Remember(info.hProcess);
}

bool ChildEnded(int pid) {
  if (pid <= 0) return true;
  auto it = Children().find(pid);
  if (it == Children().end()) return true;
  if (WaitForSingleObject(it->second, 0) == WAIT_TIMEOUT) return false;
  CloseHandle(it->second);
  Children().erase(it);
  return true;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> list;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return list;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    ProcessEntry process;
    process.name = Narrow(entry.szExeFile);
    if (HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)) {
      wchar_t path[MAX_PATH * 2];
      DWORD size = MAX_PATH * 2;
      if (QueryFullProcessImageNameW(handle, 0, path, &size)) process.exe = Narrow({path, size});
      CloseHandle(handle);
    }
    list.push_back(std::move(process));
  }
  CloseHandle(snapshot);
  return list;
}

std::string ReadAvailable(int fd, size_t max) {
  std::string bytes;
  if (fd < 0) return bytes;
  HANDLE pipe = IntToHandle(fd);
  char block[4096];
  while (bytes.size() < max) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) break;
    const DWORD want = static_cast<DWORD>(std::min<size_t>({sizeof block, max - bytes.size(), available}));
    DWORD n = 0;
    if (!ReadFile(pipe, block, want, &n, nullptr) || n == 0) break;
    bytes.append(block, n);
  }
  return bytes;
}

void WriteAvailable(int fd, std::string_view bytes) {
  if (fd < 0) return;
  HANDLE pipe = IntToHandle(fd);
  while (!bytes.empty()) {
    DWORD n = 0;
    if (!WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) || n == 0) break;
    bytes.remove_prefix(n);
  }
}

void CloseDescriptor(int fd) {
  if (fd >= 0) CloseHandle(IntToHandle(fd));
}

int OpenDocument(const std::string& path, const std::string& directory, int& error) {
  error = 0;
  const std::wstring file = Widen(path);
  const std::wstring folder = Widen(directory);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpFile = file.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) {
    const DWORD failure = GetLastError();
    if (failure == ERROR_NO_ASSOCIATION) return kNoDocumentOpener;
    error = ErrnoOf(failure);
    return -1;
  }
  return info.hProcess != nullptr ? Remember(info.hProcess) : 0;
}

std::string SystemBatchInterpreter() {
  wchar_t system[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "cmd.exe";
  return Narrow(std::wstring_view(system, n)) + "\\cmd.exe";
}

bool IsExecutableFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return false;
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return extension == ".exe" || extension == ".com";
}

std::string FindInSearchPath(std::string_view name) {
  if (name.empty() || name.find_first_of("\\/:") != std::string_view::npos) return {};
  std::string dirs;
  if (const char* path = std::getenv("PATH")) dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(';', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    if (dir.empty()) continue;
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    for (const char* extension : {"", ".exe", ".com"}) {
      const std::string candidate = dir + std::string(name) + extension;
      if (IsExecutableFile(candidate)) return candidate;
    }
  }
  return {};
}

// Windows hands every program the show state its starter asked for; NAVELO_SHOW, which the
// Linux starter uses, is honoured too and removed so the programs this one starts do not inherit it.
std::string TakeStartShowState() {
  std::string state;
  if (const char* value = std::getenv("NAVELO_SHOW")) state = value;
  SetEnvironmentVariableA("NAVELO_SHOW", nullptr);
  _putenv("NAVELO_SHOW=");
  if (!state.empty()) return state;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0) {
    switch (startup.wShowWindow) {
      case SW_MINIMIZE:
      case SW_SHOWMINIMIZED:
      case SW_SHOWMINNOACTIVE:
      case SW_HIDE:
        return "minimized";
      default:
        break;
    }
  }
  return "";
}

}  // namespace navelo
