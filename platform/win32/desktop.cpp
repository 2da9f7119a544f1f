// Other programs' windows and synthesised input on Windows: keybd_event and mouse_event, the
// layout's character-to-key translation (VkKeyScanA), the top-level windows in Z order, and the
// parallel port through inpout32.dll, loaded at run time. The "A" functions give cp1252 text.
#include <windows.h>

#include "platform/desktop.h"

namespace navelo {
namespace {

class Win32Input final : public InputSynthesizer {
 public:
  bool Ready(std::string&) override { return true; }

  void Key(int key, bool down, bool extended) override {
    if (key < 0 || key > 255) return;
    const BYTE vk = static_cast<BYTE>(key);
    const BYTE scan = static_cast<BYTE>(MapVirtualKeyA(vk, 0));
    DWORD flags = down ? 0 : KEYEVENTF_KEYUP;
    if (extended) flags |= KEYEVENTF_EXTENDEDKEY;
    keybd_event(vk, scan, flags, 0);
  }

  std::optional<KeyWithModifiers> KeyForChar(unsigned char byte) override {
    const SHORT found = VkKeyScanA(static_cast<CHAR>(byte));
    if (found == -1) return std::nullopt;
    const int high = (found >> 8) & 0xFF;
    int mods = 0;
    if (high & 1) mods |= kModShift;
    if (high & 2) mods |= kModCtrl;
    if (high & 4) mods |= kModAlt;
    return KeyWithModifiers{found & 0xFF, mods};
  }

  // The layout's key for the accent character is its dead key where the layout has one.
  std::optional<KeyWithModifiers> DeadKeyFor(unsigned char accent) override {
    return KeyForChar(accent);
  }

  void ToggleNumLock() override {
    BYTE state[256];
    if (!GetKeyboardState(state)) return;
    state[VK_NUMLOCK] ^= 1;
    SetKeyboardState(state);
  }

  bool ScreenSize(int& width, int& height) override {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
    return width > 0 && height > 0;
  }

  void PointerMove(int x, int y) override { SetCursorPos(x, y); }

  void LeftButton(bool down) override {
    mouse_event(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  }
};

class Win32Windows final : public WindowManager {
 public:
  bool Ready(std::string&) override { return true; }

  std::vector<DesktopWindow> Windows(size_t max_title) override {
    std::vector<DesktopWindow> result;
    // The first window of the top level, then the rest in Z order.
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
      if (!IsWindowEnabled(window)) continue;
      if (!IsWindowVisible(window) && !IsIconic(window)) continue;
      std::string title = Title(window, max_title);
      if (title.empty()) continue;
      result.push_back({reinterpret_cast<uint64_t>(window), std::move(title)});
    }
    return result;
  }

  bool Foreground(DesktopWindow& window, size_t max_title) override {
    HWND active = GetForegroundWindow();
    if (!active) return false;
    window.id = reinterpret_cast<uint64_t>(active);
    window.title = Title(active, max_title);
    return true;
  }

  bool WindowRect(uint64_t id, ScreenRect& rect) override {
    RECT r;
    if (!GetWindowRect(reinterpret_cast<HWND>(id), &r)) return false;
    rect = {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
            static_cast<int>(r.bottom)};
    return true;
  }

  int FrameWidth() override { return GetSystemMetrics(SM_CXFRAME); }

  void Act(uint64_t id, WindowAction action) override {
    HWND window = reinterpret_cast<HWND>(id);
    switch (action) {
      case WindowAction::kClose: {
        // A program that does not answer is not waited for.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
        break;
      }
      case WindowAction::kNormal:
        ShowWindow(window, SW_SHOWNORMAL);
        SetActiveWindow(window);
        SetForegroundWindow(window);
        break;
      case WindowAction::kMaximise:
        ShowWindow(window, SW_SHOWMAXIMIZED);
        SetActiveWindow(window);
        SetForegroundWindow(window);
        break;
      case WindowAction::kMinimise:
        ShowWindow(window, SW_MINIMIZE);
        break;
    }
  }

 private:
  static std::string Title(HWND window, size_t max_title) {
    char buffer[256] = {};
    const int limit = static_cast<int>(max_title + 1 < sizeof buffer ? max_title + 1 : sizeof buffer);
    const int length = GetWindowTextA(window, buffer, limit);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  }
};

// The port library inpout32.dll: Inp32 reads and Out32 writes one byte of an I/O port.
class InpOutPort final : public ParallelPort {
 public:
  ~InpOutPort() override {
    if (library_) FreeLibrary(library_);
  }

  bool Open(std::string& reason) override {
    if (in_ && out_) return true;
    if (!library_) library_ = LoadLibraryA("inpout32.dll");
    if (library_) {
      in_ = reinterpret_cast<InFunction>(reinterpret_cast<void*>(GetProcAddress(library_, "Inp32")));
      out_ = reinterpret_cast<OutFunction>(reinterpret_cast<void*>(GetProcAddress(library_, "Out32")));
    }
    if (in_ && out_) return true;
    reason = "inpout32.dll não disponível.";
    return false;
  }

  void Out(int port, uint8_t byte) override {
    if (out_) out_(static_cast<short>(port), static_cast<short>(byte));
  }

  uint8_t In(int port) override { return in_ ? static_cast<uint8_t>(in_(static_cast<short>(port))) : 0; }

 private:
  using InFunction = short(__stdcall*)(short);
  using OutFunction = void(__stdcall*)(short, short);
  HMODULE library_ = nullptr;
  InFunction in_ = nullptr;
  OutFunction out_ = nullptr;
};

}  // namespace

std::unique_ptr<InputSynthesizer> MakeInputSynthesizer() { return std::make_unique<Win32Input>(); }
std::unique_ptr<WindowManager> MakeWindowManager() { return std::make_unique<Win32Windows>(); }
std::unique_ptr<ParallelPort> MakeParallelPort() { return std::make_unique<InpOutPort>(); }

}  // namespace navelo
