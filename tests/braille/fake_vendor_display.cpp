// A stand-in for the braille display vendor's fsbrldspapi.dll, for the tests of the Windows
// binding: it takes the calls the real library takes, records the cells written to it, and sends
// display key events to the window it was opened with, as the real library does. The test sets
// it up and reads it through the Fake* functions. A program run with it is set up through its
// environment instead: NAVELO_FAKE_BRAILLE_LOG names a file that receives every write as a line of
// cells (the dots of each, "|" between cells, a blank for an empty cell), and
// NAVELO_FAKE_BRAILLE_KEYS holds key events ("type:data" separated by blanks) posted to the window
// right after the first write, as if typed on the display.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex lock;
int cell_count = 40;
bool refuse_open = false;
HWND window = nullptr;
UINT key_message = 0;
std::string port;
int opens = 0;
int writes = 0;
int configured = -1;
std::vector<BYTE> last_cells;
int last_offset = -1;
int handle_value = 0x5A;  // what fbOpen hands out; the others must be given it back

bool Ours(void* display) { return display == &handle_value; }

std::string Environment(const char* name) {
  char value[4096];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void LogCells(const BYTE* cells, int count) {
  const std::string path = Environment("NAVELO_FAKE_BRAILLE_LOG");
  if (path.empty()) return;
  std::string line;
  for (int i = 0; i < count; ++i) {
    if (i > 0) line += '|';
    if (cells[i] == 0) line += ' ';
    for (int dot = 0; dot < 8; ++dot) {
      if (cells[i] & (1 << dot)) line += static_cast<char>('1' + dot);
    }
  }
  line += '\n';
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

// The keys of NAVELO_FAKE_BRAILLE_KEYS, once.
void PostEnvironmentKeys() {
  static bool posted = false;
  if (posted || window == nullptr) return;
  posted = true;
  const std::string keys = Environment("NAVELO_FAKE_BRAILLE_KEYS");
  size_t at = 0;
  while (at < keys.size()) {
    const size_t end = keys.find(' ', at) == std::string::npos ? keys.size() : keys.find(' ', at);
    const std::string event = keys.substr(at, end - at);
    const size_t colon = event.find(':');
    if (colon != std::string::npos) {
      const unsigned type = static_cast<unsigned>(std::strtoul(event.c_str(), nullptr, 10));
      const unsigned data =
          static_cast<unsigned>(std::strtoul(event.c_str() + colon + 1, nullptr, 10));
      PostMessageA(window, key_message, type, static_cast<LPARAM>(data));
    }
    at = end + 1;
  }
}

}  // namespace

extern "C" {

void* WINAPI FbOpen(const char* name, HWND target, UINT message) {
  std::lock_guard<std::mutex> guard(lock);
  ++opens;
  port = name != nullptr ? name : "";
  if (refuse_open) return nullptr;
  window = target;
  key_message = message;
  return &handle_value;
}

int WINAPI FbGetCellCount(void* display) {
  std::lock_guard<std::mutex> guard(lock);
  return Ours(display) ? cell_count : 0;
}

int WINAPI FbWrite(void* display, int offset, int count, const BYTE* cells) {
  std::lock_guard<std::mutex> guard(lock);
  if (!Ours(display) || count < 0 || count > cell_count || cells == nullptr) return 0;
  ++writes;
  last_offset = offset;
  last_cells.assign(cells, cells + count);
  LogCells(cells, count);
  PostEnvironmentKeys();
  return 1;
}

int WINAPI FbClose(void*) { return 1; }

int WINAPI FbConfigure(void* display, int what) {
  std::lock_guard<std::mutex> guard(lock);
  if (Ours(display)) configured = what;
  return 1;
}

int WINAPI FbGetDisplayName(void*, char* name, int size) {
  if (name != nullptr && size > 0) lstrcpynA(name, "Fake 40", size);
  return 1;
}

int WINAPI FbGetFirmwareVersion(void*, char* version, int size) {
  if (version != nullptr && size > 0) lstrcpynA(version, "1.0", size);
  return 1;
}

int WINAPI FbBeep(void*) { return 1; }

// The test's side.
void FakeSetup(int cells, int refuse) {
  std::lock_guard<std::mutex> guard(lock);
  cell_count = cells;
  refuse_open = refuse != 0;
}

// Cells of the last write (at most size of them); the count written, -1 before any write.
int FakeLastCells(BYTE* cells, int size) {
  std::lock_guard<std::mutex> guard(lock);
  if (writes == 0) return -1;
  const int n = static_cast<int>(last_cells.size()) < size ? static_cast<int>(last_cells.size())
                                                           : size;
  if (n > 0) std::memcpy(cells, last_cells.data(), static_cast<size_t>(n));
  return static_cast<int>(last_cells.size());
}

// How often it was opened and written to, the last write's offset, the configuration and the
// port asked for (written into port_out).
void FakeCounts(int* open_count, int* write_count, int* offset,
                                      int* configuration, char* port_out, int port_size) {
  std::lock_guard<std::mutex> guard(lock);
  *open_count = opens;
  *write_count = writes;
  *offset = last_offset;
  *configuration = configured;
  if (port_out != nullptr && port_size > 0) lstrcpynA(port_out, port.c_str(), port_size);
}

// A key event of the display, posted to the window as the real library does; false when the
// display was not opened.
int FakePress(unsigned type, unsigned data) {
  std::lock_guard<std::mutex> guard(lock);
  if (window == nullptr) return 0;
  return PostMessageA(window, key_message, type, static_cast<LPARAM>(data)) ? 1 : 0;
}

}  // extern "C"
