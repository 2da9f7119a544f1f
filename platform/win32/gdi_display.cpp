// The console window of Windows: one top-level GDI window of class "NvWinCrt" that draws the
// 80x25 cells with one fixed font, and turns its key, character, mouse and focus messages into
// display events. Messages are dispatched only inside NextEvent, on the program's one thread, so
// the window procedure queues events and the console takes them from there.
#include "platform/win32/gdi_display.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <deque>
#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

namespace navelo {
namespace {

constexpr wchar_t kClassName[] = L"NvWinCrt";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
// The window procedure's only events are kept until the console takes them; a flood of messages
// between two looks cannot grow this without bound.
constexpr size_t kMaxPending = 4096;
// A face that every Windows (and Wine) has, for a configured font that is not installed.
constexpr wchar_t kFallbackFace[] = L"Courier New";

// The UTF-16 character of each cp1252 byte.
const std::array<wchar_t, 256>& WideOfCp1252() {
  static const std::array<wchar_t, 256> table = [] {
    std::array<wchar_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      wchar_t w = 0;
      if (MultiByteToWideChar(1252, 0, &c, 1, &w, 1) != 1) w = L' ';
      t[b] = w;
    }
    return t;
  }();
  return table;
}

// The cp1252 byte of a typed UTF-16 character; false when cp1252 has none.
bool Cp1252OfWide(wchar_t w, unsigned char& byte) {
  if (w < 0x80) {
    byte = static_cast<unsigned char>(w);
    return true;
  }
  if (w >= 0xD800 && w <= 0xDFFF) return false;
  char out = 0;
  BOOL used_default = FALSE;
  if (WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, &w, 1, &out, 1, nullptr, &used_default) != 1 ||
      used_default) {
    return false;
  }
  byte = static_cast<unsigned char>(out);
  return true;
}

bool KeyDown(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

// Shift, Ctrl and the left Alt. The right Alt is AltGr on the layouts our users type on: Windows
// reports it as the left Ctrl with the right Alt, and it types characters rather than commands, so
// with it held only the right Ctrl counts as Ctrl.
InputModifiers CurrentModifiers() {
  InputModifiers mods;
  const bool altgr = KeyDown(VK_RMENU);
  mods.shift = KeyDown(VK_SHIFT);
  mods.ctrl = altgr ? KeyDown(VK_RCONTROL) : KeyDown(VK_CONTROL);
  mods.alt = KeyDown(VK_LMENU);
  return mods;
}

int VirtualKeyOf(WPARAM vk) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<int>(vk);
  if (vk >= '0' && vk <= '9') return static_cast<int>(vk);
  if (vk >= VK_F1 && vk <= VK_F12) return kVkF1 + static_cast<int>(vk - VK_F1);
  switch (vk) {
    case VK_SPACE: return kVkSpace;
    case VK_INSERT: return kVkInsert;
    case VK_DELETE: return kVkDelete;
    case VK_HOME: return kVkHome;
    case VK_END: return kVkEnd;
    case VK_PRIOR: return kVkPageUp;
    case VK_NEXT: return kVkPageDown;
    case VK_UP: return kVkUp;
    case VK_DOWN: return kVkDown;
    case VK_LEFT: return kVkLeft;
    case VK_RIGHT: return kVkRight;
    case VK_CANCEL: return kVkCancel;
    default: return kVkOther;
  }
}

COLORREF ColourOf(const Rgb& c) { return RGB(c.r, c.g, c.b); }

struct FontFaceSearch {
  const wchar_t* face;
  bool found = false;
};

int CALLBACK OnFontFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM data) {
  auto* search = reinterpret_cast<FontFaceSearch*>(data);
  if (lstrcmpiW(font->lfFaceName, search->face) == 0) search->found = true;
  return search->found ? 0 : 1;
}

// Whether a font family of that name is installed.
bool FontInstalled(const std::wstring& face) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  HDC dc = GetDC(nullptr);
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face.c_str(), LF_FACESIZE);
  FontFaceSearch search{face.c_str()};
  EnumFontFamiliesExW(dc, &query, OnFontFamily, reinterpret_cast<LPARAM>(&search), 0);
  ReleaseDC(nullptr, dc);
  return search.found;
}

HFONT MakeFont(const std::wstring& face, int height, int width, int weight) {
  return CreateFontW(height, width, 0, 0, std::clamp(weight, 0, 1000), FALSE, FALSE, FALSE,
                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     FIXED_PITCH | FF_MODERN, face.c_str());
}

class GdiDisplay;
// The window being created: the size query and the creation message arrive before CreateWindow
// returns, and the first of them before the window can carry its object.
GdiDisplay* g_creating = nullptr;

class GdiDisplay final : public Display {
 public:
  GdiDisplay() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    title_ = std::wstring(path, std::min<DWORD>(n, 79));
  }
  ~GdiDisplay() override { Close(); }

  bool Open(const ScreenCells& cells, const DisplaySetup& setup) override {
    Close();
    cells_ = &cells;
    setup_ = setup;
    CreateFonts();
    Measure();
    RECT frame{0, 0, ScreenCells::kColumns * cell_width_, ScreenCells::kRows * cell_height_};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    g_creating = this;
    hwnd_ = CreateWindowExW(0, kClassName, title_.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
    g_creating = nullptr;
    if (hwnd_ == nullptr) {
      DropFonts();
      return false;
    }
    // A program started minimised opens out of sight and leaves the focus where it is.
    const int show = setup.start_minimised ? SW_SHOWMINNOACTIVE
                     : setup.maximised     ? SW_SHOWMAXIMIZED
                                           : SW_SHOWNORMAL;
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
    return true;
  }

  void Close() override {
    if (hwnd_ != nullptr) {
      if (caret_shown_) DestroyCaret();
      caret_shown_ = false;
      // The window gets the system's default handling from here on, so its destruction reaches
      // no object.
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
      hwnd_ = nullptr;
    }
    DropFonts();
    pending_.clear();
    picture_ = PictureImage{};
    cells_ = nullptr;
  }

  void WorkArea(int& width, int& height) override {
    RECT area{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) && area.right > area.left &&
        area.bottom > area.top) {
      width = area.right - area.left;
      height = area.bottom - area.top;
    }
  }

  void DrawRow(int row, int left, int right) override {
    if (hwnd_ == nullptr || right <= left) return;
    HDC dc = GetDC(hwnd_);
    if (caret_shown_) HideCaret(hwnd_);
    DrawCells(dc, row, std::max(left, 0), std::min(right, ScreenCells::kColumns));
    if (caret_shown_) ShowCaret(hwnd_);
    ReleaseDC(hwnd_, dc);
  }

  void Scrolled(bool slow) override {
    if (hwnd_ == nullptr) return;
    if (slow && MayMovePixels()) {
      // Rows 2..25 move up one cell height; the last row is filled with its background.
      HDC dc = GetDC(hwnd_);
      if (caret_shown_) HideCaret(hwnd_);
      const int width = ScreenCells::kColumns * cell_width_;
      BitBlt(dc, 0, 0, width, (ScreenCells::kRows - 1) * cell_height_, dc, 0, cell_height_, SRCCOPY);
      DrawCells(dc, ScreenCells::kRows - 1, 0, ScreenCells::kColumns);
      if (caret_shown_) ShowCaret(hwnd_);
      ReleaseDC(hwnd_, dc);
    } else {
      InvalidateRect(hwnd_, nullptr, FALSE);
    }
    UpdateWindow(hwnd_);
  }

  void RedrawAll() override {
    if (hwnd_ == nullptr) return;
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
  }

  void SetTitle(std::string_view utf8) override {
    title_ = win32::Widen(utf8);
    if (hwnd_ != nullptr) SetWindowTextW(hwnd_, title_.c_str());
  }

  void ShowNormal() override {
    if (hwnd_ == nullptr) return;
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
  }

  void Minimize() override {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_MINIMIZE);
  }

  void Beep() override { MessageBeep(MB_OK); }

  void SetCaret(bool shown, int column, int row) override {
    if (hwnd_ == nullptr) return;
    if (shown) {
      if (caret_shown_) DestroyCaret();
      CreateCaret(hwnd_, nullptr, cell_width_, 2);
      SetCaretPos(column * cell_width_, row * cell_height_ + ascent_);
      ShowCaret(hwnd_);
      caret_shown_ = true;
    } else if (caret_shown_) {
      HideCaret(hwnd_);
      DestroyCaret();
      caret_shown_ = false;
    }
  }

  bool NextEvent(int timeout_ms, DisplayEvent& event) override {
    if (TakePending(event)) return true;
    if (hwnd_ == nullptr) {
      // No window: no key can come from here. A wait is told so once instead of sleeping for ever.
      if (timeout_ms < 0 && !told_no_input_) {
        told_no_input_ = true;
        event = DisplayEvent{};
        event.type = DisplayEvent::Type::kEndOfInput;
        return true;
      }
      if (timeout_ms > 0) Sleep(static_cast<DWORD>(timeout_ms));
      return false;
    }
    const ULONGLONG start = GetTickCount64();
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        HandleQueued(msg);
        if (TakePending(event)) return true;
      }
      if (timeout_ms == 0) return false;
      DWORD wait = INFINITE;
      if (timeout_ms > 0) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= static_cast<ULONGLONG>(timeout_ms)) return false;
        wait = static_cast<DWORD>(timeout_ms - elapsed);
      }
      MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }

  // One message taken from the queue: a quit is the window's close, anything else goes to the
  // window procedure.
  void HandleQueued(MSG& msg) {
    if (msg.message == WM_QUIT) {
      DisplayEvent close;
      close.type = DisplayEvent::Type::kClose;
      Push(close);
    } else {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  // Messages are handled as they come (a sleeping program still repaints and can be closed); the
  // events they make wait for NextEvent. A close of the window ends the sleep.
  bool SleepServiced(int milliseconds) override {
    if (hwnd_ == nullptr) return false;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(milliseconds, 0));
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        HandleQueued(msg);
      }
      for (const DisplayEvent& event : pending_) {
        if (event.type == DisplayEvent::Type::kClose) return true;
      }
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return true;
      MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
    }
  }

  // The desktop's foreground window is the one the user types into.
  bool Focused() override { return hwnd_ != nullptr && GetForegroundWindow() == hwnd_; }
  bool SeesFocus() override { return hwnd_ != nullptr; }

  // Window handles have 32 significant bits, also in a 64-bit process.
  unsigned long NativeWindowId() override {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd_));
  }

  bool PointerPosition(int& x, int& y) override {
    POINT p{};
    if (!GetCursorPos(&p)) return false;
    x = p.x;
    y = p.y;
    return true;
  }

  bool WindowOrigin(int& left, int& top) override {
    if (hwnd_ == nullptr) return false;
    POINT p{0, 0};
    if (!ClientToScreen(hwnd_, &p)) return false;
    left = p.x;
    top = p.y;
    return true;
  }

  void ShowPicture(const PictureImage& picture, int x, int y) override {
    picture_ = picture;
    picture_x_ = x;
    picture_y_ = y;
    if (hwnd_ == nullptr) return;
    if (picture_.pixels.empty()) {
      RedrawAll();
      return;
    }
    HDC dc = GetDC(hwnd_);
    DrawPicture(dc);
    ReleaseDC(hwnd_, dc);
  }

  void DrawMagnifiedLine(int row, int factor, std::span<const MagnifiedRun> runs) override {
    if (hwnd_ == nullptr || factor <= 0) return;
    if (big_font_ == nullptr || big_factor_ != factor) {
      if (big_font_ != nullptr) DeleteObject(big_font_);
      big_font_ = MakeFont(face_, setup_.char_height * factor, setup_.char_width * factor,
                           setup_.weight);
      big_factor_ = factor;
      if (big_font_ == nullptr) return;
    }
    HDC dc = GetDC(hwnd_);
    if (caret_shown_) HideCaret(hwnd_);
    HGDIOBJ old = SelectObject(dc, big_font_);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    const int advance = cell_width_ * factor;
    const int y = row * cell_height_;
    const auto& wide = WideOfCp1252();
    int x = 0;
    for (const MagnifiedRun& run : runs) {
      if (run.text.empty()) continue;
      std::wstring text;
      for (const char c : run.text) text += wide[static_cast<unsigned char>(c)];
      const std::vector<INT> dx(text.size(), advance);
      SetTextColor(dc, ColourOf(run.foreground));
      SetBkColor(dc, ColourOf(run.background));
      const RECT box{x, y, x + advance * static_cast<int>(text.size()), y + tm.tmHeight};
      ExtTextOutW(dc, x, y, ETO_OPAQUE, &box, text.c_str(), static_cast<UINT>(text.size()),
                  dx.data());
      x += advance * static_cast<int>(text.size());
    }
    SelectObject(dc, old);
    if (caret_shown_) ShowCaret(hwnd_);
    ReleaseDC(hwnd_, dc);
  }

  bool ClipboardPut(std::string_view utf8) override {
    if (!OpenClipboard(hwnd_)) return false;
    const std::wstring text = win32::Widen(utf8);
    bool done = false;
    if (EmptyClipboard()) {
      HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
      if (memory != nullptr) {
        if (auto* to = static_cast<wchar_t*>(GlobalLock(memory))) {
          std::copy(text.begin(), text.end(), to);
          to[text.size()] = L'\0';
          GlobalUnlock(memory);
          done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!done) GlobalFree(memory);
      }
    }
    CloseClipboard();
    return done;
  }

  bool ClipboardGet(std::string& utf8) override {
    if (!OpenClipboard(hwnd_)) return false;
    utf8.clear();
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
        const size_t limit = GlobalSize(data) / sizeof(wchar_t);
        size_t n = 0;
        while (n < limit && text[n] != L'\0') ++n;
        utf8 = win32::Narrow(std::wstring_view(text, n));
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return true;
  }

  void Info(win32::GdiWindowInfo& info) const {
    info.window = hwnd_;
    info.font_face = used_face_;
    info.font_fell_back = font_fell_back_;
    info.cell_width = cell_width_;
    info.cell_height = cell_height_;
    info.ascent = ascent_;
  }
  bool IsOpen() const { return hwnd_ != nullptr; }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<GdiDisplay*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr && message == WM_GETMINMAXINFO) self = g_creating;
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    LRESULT result = 0;
    if (self->Handle(hwnd, message, wparam, lparam, result)) return result;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

 private:
  // True when the message was handled (result is its answer); false for default handling.
  bool Handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    DisplayEvent event;
    switch (message) {
      case WM_PAINT:
        Paint(hwnd);
        return true;
      case WM_ERASEBKGND:
        // Every cell is painted opaque; erasing first would only flicker.
        result = 1;
        return true;
      case WM_GETMINMAXINFO:
        SizeLimits(*reinterpret_cast<MINMAXINFO*>(lparam));
        return true;
      case WM_CLOSE:
        event.type = DisplayEvent::Type::kClose;
        Push(event);
        return true;
      case WM_SETFOCUS:
        event.type = DisplayEvent::Type::kFocusGained;
        event.buttons_down = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0 ||
                             (GetAsyncKeyState(VK_MBUTTON) & 0x8000) != 0 ||
                             (GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0;
        Push(event);
        return false;
      case WM_KILLFOCUS:
        event.type = DisplayEvent::Type::kFocusLost;
        Push(event);
        return false;
      case WM_KEYDOWN:
        last_key_ = wparam;
        event.type = DisplayEvent::Type::kKeyDown;
        event.key = VirtualKeyOf(wparam);
        event.mods = CurrentModifiers();
        Push(event);
        return true;
      case WM_SYSKEYDOWN: {
        last_key_ = wparam;
        event.type = DisplayEvent::Type::kSystemKeyDown;
        event.key = VirtualKeyOf(wparam);
        event.mods = CurrentModifiers();
        Push(event);
        // Alt with Left or Right is a key of ours; with anything else it keeps its meaning for the
        // system (Alt+F4 closes, Alt+Space opens the window menu).
        return event.key == kVkLeft || event.key == kVkRight;
      }
      case WM_KEYUP:
      case WM_SYSKEYUP:
        event.type = DisplayEvent::Type::kKeyUp;
        event.key = VirtualKeyOf(wparam);
        event.mods = CurrentModifiers();
        Push(event);
        return false;
      case WM_CHAR: {
        // Dead keys arrive here already combined with the next letter.
        unsigned char byte = 0;
        if (!Cp1252OfWide(static_cast<wchar_t>(wparam), byte)) return true;
        event.type = DisplayEvent::Type::kChar;
        event.byte = byte;
        event.mods = CurrentModifiers();
        event.mods.letter = event.mods.ctrl && byte >= 1 && byte <= 26 && last_key_ >= 'A' &&
                            last_key_ <= 'Z';
        Push(event);
        return true;
      }
      case WM_LBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_RBUTTONDOWN:
        event.type = DisplayEvent::Type::kMouseDown;
        event.button = message == WM_LBUTTONDOWN ? 1 : message == WM_MBUTTONDOWN ? 2 : 3;
        Push(event);
        return true;
      case WM_MOUSEWHEEL:
        event.type = DisplayEvent::Type::kWheel;
        event.wheel = GET_WHEEL_DELTA_WPARAM(wparam);
        Push(event);
        return true;
      default:
        return false;
    }
  }

  void Push(const DisplayEvent& event) {
    if (pending_.size() < kMaxPending) pending_.push_back(event);
  }

  bool TakePending(DisplayEvent& event) {
    if (pending_.empty()) return false;
    event = pending_.front();
    pending_.pop_front();
    return true;
  }

  // The font named in the settings; one that is not installed gives way to a fixed-pitch face of
  // the same size, and one that cannot be made at all to the system's fixed font.
  void CreateFonts() {
    face_ = win32::Widen(setup_.font_face);
    font_fell_back_ = false;
    if (!FontInstalled(face_)) {
      face_ = kFallbackFace;
      font_fell_back_ = true;
    }
    font_ = MakeFont(face_, setup_.char_height, setup_.char_width, setup_.weight);
    if (font_ == nullptr) {
      font_fell_back_ = true;
      font_ = static_cast<HFONT>(GetStockObject(SYSTEM_FIXED_FONT));
      own_font_ = false;
    } else {
      own_font_ = true;
    }
  }

  void DropFonts() {
    if (font_ != nullptr && own_font_) DeleteObject(font_);
    font_ = nullptr;
    own_font_ = false;
    if (big_font_ != nullptr) DeleteObject(big_font_);
    big_font_ = nullptr;
    big_factor_ = 0;
  }

  // The cell: the font's average character width by its height with the external leading.
  void Measure() {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font_);
    TEXTMETRICW tm{};
    if (GetTextMetricsW(dc, &tm)) {
      cell_width_ = std::max<int>(tm.tmAveCharWidth, 1);
      cell_height_ = std::max<int>(tm.tmHeight + tm.tmExternalLeading, 1);
      ascent_ = tm.tmAscent;
      overhang_ = tm.tmOverhang;
    }
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    used_face_ = face;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }

  // The window can be no larger than the grid (or the screen) with its frame, and no smaller than
  // 16 columns by 4 rows.
  void SizeLimits(MINMAXINFO& limits) const {
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    const int frame_width = frame.right - frame.left;
    const int frame_height = frame.bottom - frame.top;
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    const int border_height = frame_height - caption;
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height = GetSystemMetrics(SM_CYSCREEN);
    const POINT largest{
        std::min(ScreenCells::kColumns * cell_width_, screen_width) + frame_width,
        std::min(caption + ScreenCells::kRows * cell_height_, screen_height) + border_height};
    limits.ptMaxSize = largest;
    limits.ptMaxTrackSize = largest;
    limits.ptMinTrackSize = POINT{frame_width + 16 * cell_width_, frame_height + 4 * cell_height_};
  }

  // Draws cells left..right-1 of a row as runs of equal attribute.
  void DrawCells(HDC dc, int row, int left, int right) {
    if (cells_ == nullptr || row < 0 || row >= ScreenCells::kRows) return;
    HGDIOBJ old = SelectObject(dc, font_);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    const auto& wide = WideOfCp1252();
    wchar_t text[ScreenCells::kColumns];
    INT dx[ScreenCells::kColumns];
    int column = left;
    while (column < right) {
      const unsigned char attr = cells_->Attr(row, column);
      int end = column;
      int n = 0;
      while (end < right && cells_->Attr(row, end) == attr) {
        text[n] = wide[cells_->Char(row, end)];
        dx[n] = cell_width_;
        ++n;
        ++end;
      }
      SetTextColor(dc, ColourOf(cells_->colours[attr & 15]));
      SetBkColor(dc, ColourOf(cells_->colours[attr >> 4]));
      const RECT box{column * cell_width_, row * cell_height_, end * cell_width_,
                     (row + 1) * cell_height_};
      ExtTextOutW(dc, column * cell_width_ + overhang_, row * cell_height_, ETO_OPAQUE | ETO_CLIPPED,
                  &box, text, static_cast<UINT>(n), dx);
      column = end;
    }
    SelectObject(dc, old);
  }

  void DrawPicture(HDC dc) {
    if (picture_.pixels.empty() || picture_.width <= 0 || picture_.height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture_.width;
    info.bmiHeader.biHeight = -picture_.height;  // rows top first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // 0x00RRGGBB in memory is blue, green, red, unused: the layout of a 32-bit DIB.
    SetDIBitsToDevice(dc, picture_x_, picture_y_, static_cast<DWORD>(picture_.width),
                      static_cast<DWORD>(picture_.height), 0, 0, 0,
                      static_cast<UINT>(picture_.height), picture_.pixels.data(), &info,
                      DIB_RGB_COLORS);
  }

  // Only the damaged cells are drawn again, then the picture over them.
  void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const RECT& r = ps.rcPaint;
    const int left = std::max(0, static_cast<int>(r.left) / cell_width_);
    const int right = std::min<int>(ScreenCells::kColumns, (r.right + cell_width_ - 1) / cell_width_);
    const int top = std::max(0, static_cast<int>(r.top) / cell_height_);
    const int bottom = std::min<int>(ScreenCells::kRows, (r.bottom + cell_height_ - 1) / cell_height_);
    for (int row = top; row < bottom; ++row) DrawCells(dc, row, left, right);
    // Beyond the grid (a window larger than it) stays black.
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const int grid_width = ScreenCells::kColumns * cell_width_;
    const int grid_height = ScreenCells::kRows * cell_height_;
    if (r.right > grid_width) {
      const RECT beyond{grid_width, r.top, r.right, r.bottom};
      FillRect(dc, &beyond, black);
    }
    if (r.bottom > grid_height) {
      const RECT below{r.left, grid_height, r.right, r.bottom};
      FillRect(dc, &below, black);
    }
    DrawPicture(dc);
    EndPaint(hwnd, &ps);
  }

  // Moving pixels is done only while the window is the active one and lies wholly above the
  // bottom of the screen.
  bool MayMovePixels() {
    if (GetActiveWindow() != hwnd_) return false;
    RECT window{};
    if (!GetWindowRect(hwnd_, &window)) return false;
    return window.bottom < GetSystemMetrics(SM_CYSCREEN) - 32;
  }

  const ScreenCells* cells_ = nullptr;
  DisplaySetup setup_;
  HWND hwnd_ = nullptr;
  std::wstring title_;
  std::wstring face_;
  std::wstring used_face_;
  bool font_fell_back_ = false;
  HFONT font_ = nullptr;
  bool own_font_ = false;
  HFONT big_font_ = nullptr;
  int big_factor_ = 0;
  int cell_width_ = 8;
  int cell_height_ = 16;
  int ascent_ = 12;
  int overhang_ = 0;
  bool caret_shown_ = false;
  bool told_no_input_ = false;
  WPARAM last_key_ = 0;
  PictureImage picture_;
  int picture_x_ = 0;
  int picture_y_ = 0;
  std::deque<DisplayEvent> pending_;
};

// The window class, registered once; false when the system refuses it.
bool RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GdiDisplay::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

// Whether a window can be made at all: under Wine without a display server, for one, it cannot.
bool WindowsCanBeMade() {
  HWND probe = CreateWindowExW(0, kClassName, L"", kStyle, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

}  // namespace

std::unique_ptr<Display> MakeWindowDisplay() {
  if (!RegisterWindowClass() || !WindowsCanBeMade()) return nullptr;
  return std::make_unique<GdiDisplay>();
}

namespace win32 {

bool GetGdiWindowInfo(Display& display, GdiWindowInfo& info) {
  auto* gdi = dynamic_cast<GdiDisplay*>(&display);
  if (gdi == nullptr || !gdi->IsOpen()) return false;
  gdi->Info(info);
  return true;
}

}  // namespace win32
}  // namespace navelo
