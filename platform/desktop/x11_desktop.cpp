// Other programs' windows and synthesised input on an X11 desktop: keys and the pointer through
// XTest, the keyboard layout through XKB, and the window list through the window manager's EWMH
// properties, or the plain window tree where no window manager gives them.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/desktop.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

// One connection to the display, opened when first needed and shared by the input and the window
// backends of the program.
class X11Connection {
 public:
  static X11Connection& Get() {
    static X11Connection connection;
    return connection;
  }
  ~X11Connection() {
    if (display_) XCloseDisplay(display_);
  }

  Display* Open(std::string& reason) {
    if (display_) return display_;
    if (tried_) {
      reason = reason_;
      return nullptr;
    }
    tried_ = true;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
      const char* wayland = std::getenv("WAYLAND_DISPLAY");
      reason_ = wayland && *wayland
                    ? "a sessão Wayland não dá acesso às janelas de outros programas (sem X11)"
                    : "não há display gráfico";
    } else {
      display_ = XOpenDisplay(nullptr);
      if (!display_) {
        reason_ = "não foi possível conectar ao display gráfico";
      } else {
        // A window that goes away while it is being asked gives an error that must not end the
        // program; errors of other connections (the console window's) go to their handler.
        previous_handler_ = XSetErrorHandler(&X11Connection::OnError);
      }
    }
    reason = reason_;
    return display_;
  }

 private:
  X11Connection() = default;
  static int OnError(Display* display, XErrorEvent* error) {
    X11Connection& self = Get();
    if (display == self.display_ || !self.previous_handler_) return 0;
    return self.previous_handler_(display, error);
  }
  XErrorHandler previous_handler_ = nullptr;
  Display* display_ = nullptr;
  bool tried_ = false;
  std::string reason_;
};

void PauseMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The keysym of a cp1252 byte: Latin-1 keysyms equal their code points; others are the Unicode
// keysyms.
KeySym KeysymOfByte(unsigned char byte) {
  const char32_t cp = Cp1252ToCodePoint(byte);
  if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) return cp;
  if (cp < 0x100) return NoSymbol;  // controls and the bytes cp1252 leaves undefined
  return 0x01000000 | cp;
}

// Virtual-key codes (Windows numbering) to keysyms.
KeySym KeysymOfVirtualKey(int vk) {
  if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
  if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
  if (vk >= 112 && vk <= 123) return XK_F1 + (vk - 112);
  if (vk >= 96 && vk <= 105) return XK_KP_0 + (vk - 96);
  switch (vk) {
    case 8: return XK_BackSpace;
    case 9: return XK_Tab;
    case 13: return XK_Return;
    case 16: return XK_Shift_L;
    case 17: return XK_Control_L;
    case 18: return XK_Alt_L;
    case 19: return XK_Pause;
    case 20: return XK_Caps_Lock;
    case 27: return XK_Escape;
    case 32: return XK_space;
    case 33: return XK_Prior;
    case 34: return XK_Next;
    case 35: return XK_End;
    case 36: return XK_Home;
    case 37: return XK_Left;
    case 38: return XK_Up;
    case 39: return XK_Right;
    case 40: return XK_Down;
    case 44: return XK_Print;
    case 45: return XK_Insert;
    case 46: return XK_Delete;
    case 91: return XK_Super_L;
    case 92: return XK_Super_R;
    case 93: return XK_Menu;
    case 106: return XK_KP_Multiply;
    case 107: return XK_KP_Add;
    case 109: return XK_KP_Subtract;
    case 110: return XK_KP_Decimal;
    case 111: return XK_KP_Divide;
    case 144: return XK_Num_Lock;
    case 145: return XK_Scroll_Lock;
    case 160: return XK_Shift_L;
    case 161: return XK_Shift_R;
    case 162: return XK_Control_L;
    case 163: return XK_Control_R;
    case 164: return XK_Alt_L;
    case 165: return XK_ISO_Level3_Shift;  // the right Alt, AltGr
    default: return NoSymbol;
  }
}

KeySym DeadKeysym(unsigned char accent) {
  switch (accent) {
    case '`': return XK_dead_grave;
    case 180: return XK_dead_acute;
    case '^': return XK_dead_circumflex;
    case '~': return XK_dead_tilde;
    case 168: return XK_dead_diaeresis;
    default: return NoSymbol;
  }
}

class XTestInput final : public InputSynthesizer {
 public:
  ~XTestInput() override { ReleaseSpareKeys(); }

  bool Ready(std::string& reason) override {
    if (ready_) return true;
    if (!(display_ = X11Connection::Get().Open(reason))) return false;
    int event_base, error_base, major, minor;
    if (!XTestQueryExtension(display_, &event_base, &error_base, &major, &minor)) {
      reason = "o display gráfico não aceita teclas simuladas (sem XTest)";
      return false;
    }
    int opcode, xkb_event, xkb_error, xkb_major = XkbMajorVersion, xkb_minor = XkbMinorVersion;
    if (!XkbQueryExtension(display_, &opcode, &xkb_event, &xkb_error, &xkb_major, &xkb_minor)) {
      reason = "o display gráfico não informa o layout do teclado (sem XKB)";
      return false;
    }
    ready_ = true;
    return true;
  }

  void Key(int key, bool down, bool /*extended*/) override {
    if (!ready_) return;
    KeyCode code = 0;
    if (key >= 256) {
      code = static_cast<KeyCode>(key - 256);
    } else {
      const KeySym sym = KeysymOfVirtualKey(key);
      if (sym == XK_ISO_Level3_Shift) {
        code = XKeysymToKeycode(display_, sym);
        if (!code) code = XKeysymToKeycode(display_, XK_Mode_switch);
      } else if (sym != NoSymbol) {
        code = XKeysymToKeycode(display_, sym);
      }
    }
    if (!code) return;
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
    XSync(display_, False);
  }

  std::optional<KeyWithModifiers> KeyForChar(unsigned char byte) override {
    if (!ready_) return std::nullopt;
    SuspendCapsLock();
    const KeySym sym = KeysymOfByte(byte);
    if (sym == NoSymbol) return std::nullopt;
    if (auto found = FindKeysym(sym)) return found;
    return MapSpare(sym);
  }

  std::optional<KeyWithModifiers> DeadKeyFor(unsigned char accent) override {
    if (!ready_) return std::nullopt;
    SuspendCapsLock();
    const KeySym sym = DeadKeysym(accent);
    if (sym == NoSymbol) return std::nullopt;
    return FindKeysym(sym);
  }

  void ReleaseSpareKeys() override {
    if (caps_suspended_ && display_) {
      XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, LockMask);
      XSync(display_, False);
      caps_suspended_ = false;
    }
    if (!spare_ || !display_) return;
    // The program that received the key looks its symbol up when it reads the event; the
    // mapping stays until it has had the time to.
    PauseMs(20);
    std::vector<KeySym> none(static_cast<size_t>(spare_width_), NoSymbol);
    XChangeKeyboardMapping(display_, spare_, spare_width_, none.data(), 1);
    XSync(display_, False);
    spare_ = 0;
  }

  void ToggleNumLock() override {
    if (!ready_) return;
    const KeyCode code = XKeysymToKeycode(display_, XK_Num_Lock);
    if (!code) return;
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
  }

  bool ScreenSize(int& width, int& height) override {
    if (!ready_) return false;
    width = DisplayWidth(display_, DefaultScreen(display_));
    height = DisplayHeight(display_, DefaultScreen(display_));
    return true;
  }

  void PointerMove(int x, int y) override {
    if (!ready_) return;
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    XSync(display_, False);
  }

  void LeftButton(bool down) override {
    if (!ready_) return;
    XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
    XSync(display_, False);
  }

 private:
  // A user's Caps Lock would turn the letters typed into the other case: it is off while a
  // character is typed and on again after (the events carry the state they were made in).
  void SuspendCapsLock() {
    if (caps_suspended_) return;
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return;
    if (!(state.locked_mods & LockMask)) return;
    XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, 0);
    XSync(display_, False);
    caps_suspended_ = true;
  }

  // The key and shift level that give sym in the layout's current group: level 1 plain, 2 with
  // Shift, 3 with AltGr, 4 with both. The lowest level wins.
  std::optional<KeyWithModifiers> FindKeysym(KeySym sym) {
    XkbDescPtr desc = XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!desc) return std::nullopt;
    XkbStateRec state{};
    XkbGetState(display_, XkbUseCoreKbd, &state);
    const bool have_altgr = XKeysymToKeycode(display_, XK_ISO_Level3_Shift) != 0 ||
                            XKeysymToKeycode(display_, XK_Mode_switch) != 0;
    std::optional<KeyWithModifiers> best;
    int best_level = 99;
    for (int code = desc->min_key_code; code <= desc->max_key_code; ++code) {
      const int groups = XkbKeyNumGroups(desc, code);
      if (groups == 0) continue;
      int group = state.group;
      if (group >= groups) group = 0;
      const int width = XkbKeyGroupWidth(desc, code, group);
      for (int level = 0; level < width && level < 4 && level < best_level; ++level) {
        if (XkbKeySymEntry(desc, code, level, group) != sym) continue;
        if (level >= 2 && !have_altgr) continue;
        static constexpr int kLevelMods[] = {0, kModShift, kModAltGr, kModShift | kModAltGr};
        best = KeyWithModifiers{256 + code, kLevelMods[level]};
        best_level = level;
      }
    }
    XkbFreeKeyboard(desc, 0, True);
    return best;
  }

  // Maps sym on a keycode that carries no symbol, for the moment; ReleaseSpareKeys gives it
  // back.
  std::optional<KeyWithModifiers> MapSpare(KeySym sym) {
    ReleaseSpareKeys();
    int min_code = 0, max_code = 0;
    XDisplayKeycodes(display_, &min_code, &max_code);
    int width = 0;
    KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(min_code),
                                      max_code - min_code + 1, &width);
    if (!map) return std::nullopt;
    int spare = 0;
    // From the top: the low keycodes are those of real keys.
    for (int code = max_code; code >= min_code && !spare; --code) {
      bool empty = true;
      for (int i = 0; i < width; ++i) {
        if (map[(code - min_code) * width + i] != NoSymbol) empty = false;
      }
      if (empty) spare = code;
    }
    XFree(map);
    if (!spare || width < 1) return std::nullopt;
    std::vector<KeySym> syms(static_cast<size_t>(width), NoSymbol);
    syms[0] = sym;
    if (width > 1) syms[1] = sym;
    XChangeKeyboardMapping(display_, spare, width, syms.data(), 1);
    XSync(display_, False);
    spare_ = spare;
    spare_width_ = width;
    return KeyWithModifiers{256 + spare, 0};
  }

  Display* display_ = nullptr;
  bool ready_ = false;
  int spare_ = 0;
  int spare_width_ = 1;
  bool caps_suspended_ = false;
};

class X11Windows final : public WindowManager {
 public:
  bool Ready(std::string& reason) override {
    if (display_) return true;
    display_ = X11Connection::Get().Open(reason);
    return display_ != nullptr;
  }

  std::vector<DesktopWindow> Windows(size_t max_title) override {
    std::vector<DesktopWindow> result;
    if (!display_) return result;
    std::vector<Window> order = ClientList(Intern("_NET_CLIENT_LIST_STACKING"));
    if (order.empty()) order = ClientList(Intern("_NET_CLIENT_LIST"));
    const bool from_wm = !order.empty();
    if (!from_wm) order = TreeClients();
    // The lists run from the bottom of the stack up; the walk starts at the top.
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      if (!Reachable(*it, from_wm)) continue;
      std::string title = Title(*it);
      if (title.empty()) continue;
      if (title.size() > max_title) title.resize(max_title);
      result.push_back({*it, std::move(title)});
    }
    return result;
  }

  bool Foreground(DesktopWindow& window, size_t max_title) override {
    if (!display_) return false;
    Window active = 0;
    std::vector<Window> list = ClientList(Intern("_NET_ACTIVE_WINDOW"));
    if (!list.empty()) active = list[0];
    if (!active) {
      Window focus = 0;
      int revert = 0;
      XGetInputFocus(display_, &focus, &revert);
      if (focus == None || focus == PointerRoot) return false;
      active = NamedAncestor(focus);
    }
    if (!active) return false;
    window.id = active;
    window.title = Title(active);
    if (window.title.size() > max_title) window.title.resize(max_title);
    return true;
  }

  bool WindowRect(uint64_t id, ScreenRect& rect) override {
    if (!display_) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, id, &attributes)) return false;
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display_, id, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    long extents[4] = {0, 0, 0, 0};  // left, right, top, bottom
    FrameExtents(id, extents);
    rect = {x - static_cast<int>(extents[0]), y - static_cast<int>(extents[2]),
            x + attributes.width + static_cast<int>(extents[1]),
            y + attributes.height + static_cast<int>(extents[3])};
    return true;
  }

  int FrameWidth() override {
    DesktopWindow active;
    long extents[4] = {0, 0, 0, 0};
    if (Foreground(active, 0)) FrameExtents(active.id, extents);
    return static_cast<int>(extents[0]);
  }

  void Act(uint64_t id, WindowAction action) override {
    if (!display_) return;
    const Window root = DefaultRootWindow(display_);
    switch (action) {
      case WindowAction::kClose:
        if (WmSupports("_NET_CLOSE_WINDOW")) {
          SendRootMessage(id, Intern("_NET_CLOSE_WINDOW"), {CurrentTime, 2, 0, 0, 0});
        } else if (Supports(id, "WM_DELETE_WINDOW")) {
          XEvent event{};
          event.xclient.type = ClientMessage;
          event.xclient.window = id;
          event.xclient.message_type = Intern("WM_PROTOCOLS");
          event.xclient.format = 32;
          event.xclient.data.l[0] = static_cast<long>(Intern("WM_DELETE_WINDOW"));
          event.xclient.data.l[1] = CurrentTime;
          XSendEvent(display_, id, False, NoEventMask, &event);
        }
        break;
      case WindowAction::kMinimise:
        XIconifyWindow(display_, id, DefaultScreen(display_));
        break;
      case WindowAction::kNormal:
      case WindowAction::kMaximise: {
        const long how = action == WindowAction::kMaximise ? 1 : 0;  // add or remove
        SendRootMessage(id, Intern("_NET_WM_STATE"),
                        {how, static_cast<long>(Intern("_NET_WM_STATE_MAXIMIZED_VERT")),
                         static_cast<long>(Intern("_NET_WM_STATE_MAXIMIZED_HORZ")), 2, 0});
        XMapRaised(display_, id);
        if (WmSupports("_NET_ACTIVE_WINDOW")) {
          SendRootMessage(id, Intern("_NET_ACTIVE_WINDOW"), {2, CurrentTime, 0, 0, 0});
        } else {
          XSync(display_, False);
          XWindowAttributes attributes;
          if (XGetWindowAttributes(display_, id, &attributes) &&
              attributes.map_state == IsViewable) {
            XSetInputFocus(display_, id, RevertToParent, CurrentTime);
          }
        }
        if (action == WindowAction::kMaximise && !WmSupports("_NET_WM_STATE")) {
          XMoveResizeWindow(display_, id, 0, 0,
                            static_cast<unsigned>(DisplayWidth(display_, DefaultScreen(display_))),
                            static_cast<unsigned>(DisplayHeight(display_, DefaultScreen(display_))));
        }
        (void)root;
        break;
      }
    }
    XSync(display_, False);
  }

 private:
  ::Atom Intern(const char* name) { return XInternAtom(display_, name, False); }

  // A property of 32-bit items (windows or numbers) of the root window or of a window.
  std::vector<unsigned long> Longs(Window window, ::Atom property, ::Atom type) {
    std::vector<unsigned long> values;
    ::Atom actual_type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, property, 0, 4096, False, type, &actual_type,
                           &format, &count, &after, &data) == Success &&
        data) {
      if (format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.assign(items, items + count);
      }
      XFree(data);
    }
    return values;
  }

  std::vector<Window> ClientList(::Atom property) {
    std::vector<unsigned long> ids = Longs(DefaultRootWindow(display_), property, XA_WINDOW);
    return std::vector<Window>(ids.begin(), ids.end());
  }

  bool WmSupports(const char* name) {
    const ::Atom wanted = Intern(name);
    for (unsigned long a : Longs(DefaultRootWindow(display_), Intern("_NET_SUPPORTED"), XA_ATOM)) {
      if (a == wanted) return true;
    }
    return false;
  }

  bool Supports(Window window, const char* protocol) {
    ::Atom* protocols = nullptr;
    int count = 0;
    bool found = false;
    if (XGetWMProtocols(display_, window, &protocols, &count)) {
      const ::Atom wanted = Intern(protocol);
      for (int i = 0; i < count; ++i) found = found || protocols[i] == wanted;
      XFree(protocols);
    }
    return found;
  }

  void SendRootMessage(Window window, ::Atom type, std::initializer_list<long> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    int i = 0;
    for (long d : data) event.xclient.data.l[i++] = d;
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
  }

  void FrameExtents(Window window, long extents[4]) {
    std::vector<unsigned long> values = Longs(window, Intern("_NET_FRAME_EXTENTS"), XA_CARDINAL);
    if (values.size() == 4) {
      for (int i = 0; i < 4; ++i) extents[i] = static_cast<long>(values[static_cast<size_t>(i)]);
    }
  }

  // Minimised windows stay in the walk: iconic in WM_STATE or hidden in _NET_WM_STATE.
  bool Reachable(Window window, bool from_wm) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) return false;
    if (attributes.map_state == IsViewable) return true;
    std::vector<unsigned long> wm_state = Longs(window, Intern("WM_STATE"), Intern("WM_STATE"));
    if (!wm_state.empty() && wm_state[0] == IconicState) return true;
    if (from_wm) {
      for (unsigned long a : Longs(window, Intern("_NET_WM_STATE"), XA_ATOM)) {
        if (a == Intern("_NET_WM_STATE_HIDDEN")) return true;
      }
    }
    return false;
  }

  // The top-level windows without a window manager's list: the root's children, or the client
  // inside each frame of a window manager that reparents without EWMH (the window with
  // WM_STATE).
  std::vector<Window> TreeClients() {
    std::vector<Window> result;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      return result;
    }
    for (unsigned i = 0; i < count; ++i) {
      Window client = ClientOf(children[i], 2);
      result.push_back(client ? client : children[i]);
    }
    if (children) XFree(children);
    return result;
  }

  Window ClientOf(Window window, int depth) {
    if (!Longs(window, Intern("WM_STATE"), Intern("WM_STATE")).empty()) return window;
    if (depth == 0) return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display_, window, &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && !found; ++i) found = ClientOf(children[i], depth - 1);
      if (children) XFree(children);
    }
    return found;
  }

  // The window with a title at or above window, below the root.
  Window NamedAncestor(Window window) {
    const Window root_window = DefaultRootWindow(display_);
    while (window && window != root_window) {
      if (!Title(window).empty()) return window;
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return 0;
      if (children) XFree(children);
      window = parent;
    }
    return 0;
  }

  // _NET_WM_NAME (UTF-8), else WM_NAME in whatever encoding it declares; cp1252.
  std::string Title(Window window) {
    ::Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string utf8;
    if (XGetWindowProperty(display_, window, Intern("_NET_WM_NAME"), 0, 1024, False,
                           Intern("UTF8_STRING"), &type, &format, &count, &after, &data) == Success &&
        data) {
      if (format == 8) utf8.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
    if (!utf8.empty()) return Utf8ToCp1252(utf8);
    XTextProperty property{};
    if (!XGetWMName(display_, window, &property) || !property.value) return {};
    std::string text;
    if (property.encoding == XA_STRING) {
      // Latin-1: each byte is its code point.
      for (unsigned long i = 0; i < property.nitems; ++i) {
        const int byte = CodePointToCp1252(property.value[i]);
        text += static_cast<char>(byte < 0 ? '?' : byte);
      }
    } else {
      char** list = nullptr;
      int items = 0;
      if (Xutf8TextPropertyToTextList(display_, &property, &list, &items) >= Success && list) {
        if (items > 0 && list[0]) text = Utf8ToCp1252(list[0]);
        XFreeStringList(list);
      }
    }
    XFree(property.value);
    return text;
  }

  Display* display_ = nullptr;
};

}  // namespace

std::unique_ptr<InputSynthesizer> MakeInputSynthesizer() { return std::make_unique<XTestInput>(); }
std::unique_ptr<WindowManager> MakeWindowManager() { return std::make_unique<X11Windows>(); }

}  // namespace navelo
