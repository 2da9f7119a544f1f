// Braille displays on Windows through the vendor's display library, fsbrldspapi.dll, loaded at
// run time by that name: the display is opened on a message-only window of ours, the row goes out
// as cells, and the display's keys come back as the window message registered as "nvLinBrl".
// Without the library, one of its entry points, or a display, the binding stays inactive and says
// why; the console then works without it.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

#include "platform/braille_display.h"
#include "platform/braille_key_events.h"

namespace navelo {
namespace {

constexpr const char* kLibraryName = "fsbrldspapi.dll";
constexpr const char* kMessageName = "nvLinBrl";
constexpr const char* kWindowClass = "NaveloBrailleDisplay";
// The display is asked for what it should report: 2 is the keys and bars the console reads.
constexpr int kConfiguration = 2;

using OpenFunction = void*(WINAPI*)(const char* port, HWND window, UINT message);
using CellCountFunction = int(WINAPI*)(void* display);
using WriteFunction = int(WINAPI*)(void* display, int offset, int count, const BYTE* cells);
using ConfigureFunction = int(WINAPI*)(void* display, int what);

// The key events posted to the window, kept until the console asks for keys.
using EventQueue = std::deque<std::pair<uint32_t, uint32_t>>;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  static const UINT key_message = RegisterWindowMessageA(kMessageName);
  if (message == key_message && key_message != 0) {
    auto* events = reinterpret_cast<EventQueue*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (events != nullptr) {
      events->emplace_back(static_cast<uint32_t>(wparam), static_cast<uint32_t>(lparam));
    }
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

template <typename Function>
bool Bind(HMODULE library, const char* name, Function& function, std::string& missing) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  if (function == nullptr) {
    if (!missing.empty()) missing += ", ";
    missing += name;
  }
  return function != nullptr;
}

class VendorBrailleDisplay final : public BrailleDisplay {
 public:
  ~VendorBrailleDisplay() override {
    // The display itself is never closed: it goes away with the process. The library stays
    // loaded once the display was opened, since it may still post to the window.
    if (window_ != nullptr) DestroyWindow(window_);
  }

  bool Open(std::string& reason) override {
    if (active_) return true;
    if (tried_) {
      reason = reason_;
      return false;
    }
    tried_ = true;
    active_ = Connect(reason_);
    reason = reason_;
    return active_;
  }

  int CellCount() const override { return active_ ? cells_ : 0; }

  void Write(std::span<const uint8_t> cells) override {
    if (!active_) return;
    std::fill(buffer_.begin(), buffer_.end(), 0);
    std::copy_n(cells.begin(), std::min(cells.size(), buffer_.size()), buffer_.begin());
    // A write the display refuses changes nothing: the next row is sent as usual.
    write_(display_, 0, cells_, buffer_.data());
  }

  bool NextKey(BrailleKey& key) override {
    if (!active_) return false;
    MSG message;
    while (PeekMessageA(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    while (!events_.empty()) {
      const auto [type, data] = events_.front();
      events_.pop_front();
      if (translator_.Translate(type, data, key)) return true;
    }
    return false;
  }

 private:
  bool Connect(std::string& reason) {
    HMODULE library = LoadLibraryA(kLibraryName);
    if (library == nullptr) {
      reason = std::string("no braille display: ") + kLibraryName + " is not installed";
      return false;
    }
    std::string missing;
    Bind(library, "_fbOpen@12", open_, missing);
    Bind(library, "_fbGetCellCount@4", cell_count_, missing);
    Bind(library, "_fbWrite@16", write_, missing);
    Bind(library, "_fbConfigure@8", configure_, missing);
    if (!missing.empty()) {
      FreeLibrary(library);
      reason = std::string("no braille display: ") + kLibraryName + " lacks " + missing;
      return false;
    }
    const UINT message = RegisterWindowMessageA(kMessageName);
    if (message == 0 || !MakeWindow()) {
      FreeLibrary(library);
      reason = "no braille display: no window for its keys";
      return false;
    }
    display_ = open_("USB", window_, message);
    if (display_ == nullptr) {
      reason = "no braille display connected";
      return false;
    }
    cells_ = cell_count_(display_);
    if (cells_ <= 0) {
      cells_ = 0;
      reason = "the braille display has no cells";
      return false;
    }
    buffer_.assign(static_cast<size_t>(cells_), 0);
    configure_(display_, kConfiguration);
    return true;
  }

  bool MakeWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = kWindowClass;
    // Registered once per process; a second binding finds the class there.
    if (RegisterClassA(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      return false;
    }
    window_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                              nullptr);
    if (window_ == nullptr) return false;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&events_));
    return true;
  }

  bool tried_ = false;
  bool active_ = false;
  std::string reason_;
  OpenFunction open_ = nullptr;
  CellCountFunction cell_count_ = nullptr;
  WriteFunction write_ = nullptr;
  ConfigureFunction configure_ = nullptr;
  HWND window_ = nullptr;
  void* display_ = nullptr;
  int cells_ = 0;
  std::vector<BYTE> buffer_;
  EventQueue events_;
  BrailleKeyEvents translator_;
};

}  // namespace

std::unique_ptr<BrailleDisplay> MakeBrailleDisplay() {
  return std::make_unique<VendorBrailleDisplay>();
}

}  // namespace navelo
