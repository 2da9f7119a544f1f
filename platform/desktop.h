// The desktop of other programs as the automation commands reach it: synthesised keys and pointer
// events, the top-level windows with their titles, the accessibility objects, and the parallel
// port of the switch matrix. One backend per platform; tests put fakes in their place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace navelo {

// Modifier bits of a key that produces a character. AltGr is the third shift level of an X11
// layout; Windows reports it as Ctrl and Alt together instead.
enum KeyModifierBits : int { kModShift = 1, kModCtrl = 2, kModAlt = 4, kModAltGr = 8 };

// A key and the modifiers it needs. key is a virtual-key code in Windows numbering (0-255), or a
// value of 256 and above that names a key of the backend's own (an X11 keycode that has no
// virtual-key code, or a spare keycode mapped for the moment).
struct KeyWithModifiers {
  int key = 0;
  int mods = 0;
};

struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Synthesised keyboard and pointer input.
class InputSynthesizer {
 public:
  virtual ~InputSynthesizer() = default;
  // Connects to the desktop when first asked; false, with a reason in Portuguese (UTF-8), when
  // no input can be synthesised (no display, a Wayland session without X11, no XTest).
  virtual bool Ready(std::string& reason) = 0;
  // One key event. extended: the key is one of the extended navigation keys.
  virtual void Key(int key, bool down, bool extended) = 0;
  // The key that types a cp1252 character on the current layout, as it stands (no dead key); a
  // backend may map a spare key for a character the layout lacks. None: no key can type it.
  virtual std::optional<KeyWithModifiers> KeyForChar(unsigned char byte) = 0;
  // The dead key of an accent ("`", byte 180 acute, "^", "~", byte 168 diaeresis) on the current
  // layout; none when the layout has no such dead key.
  virtual std::optional<KeyWithModifiers> DeadKeyFor(unsigned char accent) = 0;
  // A spare key mapped by KeyForChar is given back; called once the character it typed has had
  // time to arrive.
  virtual void ReleaseSpareKeys() {}
  virtual void ToggleNumLock() = 0;
  // The screen's size in pixels; false when unknown.
  virtual bool ScreenSize(int& width, int& height) = 0;
  virtual void PointerMove(int x, int y) = 0;
  virtual void LeftButton(bool down) = 0;
};

enum class WindowAction { kClose, kNormal, kMaximise, kMinimise };

struct DesktopWindow {
  uint64_t id = 0;
  std::string title;  // cp1252
};

// The top-level windows of the desktop.
class WindowManager {
 public:
  virtual ~WindowManager() = default;
  virtual bool Ready(std::string& reason) = 0;
  // The windows a user can reach, in stacking order from the top: enabled, visible or minimised,
  // with a title. Titles are cut to max_title bytes.
  virtual std::vector<DesktopWindow> Windows(size_t max_title) = 0;
  // The foreground (active) window; false when there is none.
  virtual bool Foreground(DesktopWindow& window, size_t max_title) = 0;
  // The screen rectangle of a window, frame included.
  virtual bool WindowRect(uint64_t id, ScreenRect& rect) = 0;
  // The width of the frame of a sizable window, in pixels.
  virtual int FrameWidth() = 0;
  virtual void Act(uint64_t id, WindowAction action) = 0;
};

// What an accessible object says of itself, read all at once.
struct AccessibleInfo {
  bool role_is_number = true;
  int role_code = 0;
  std::string role_text;  // cp1252
  bool checked = false;
  bool unavailable = false;
  bool has_location = false;
  int left = 0, top = 0, width = 0, height = 0;
  std::string name;   // cp1252
  std::string value;  // cp1252
};

// One object as an event or a point named it; read later, when the script asks.
class AccessibleTarget {
 public:
  virtual ~AccessibleTarget() = default;
  // False when the object is gone or cannot be asked.
  virtual bool Read(AccessibleInfo& info) = 0;
};

struct AccessibleEvent {
  int code = 0;  // 3: foreground window changed; 32773: keyboard focus changed
  std::shared_ptr<AccessibleTarget> target;
};

// The accessibility interface of the desktop.
class AccessibilityBackend {
 public:
  virtual ~AccessibilityBackend() = default;
  // Starts watching focus and foreground changes; false when no accessibility service answers.
  virtual bool Start() = 0;
  virtual void Stop() = 0;
  // Hands every event that arrived since the last call to sink, oldest first. Never waits.
  virtual void Poll(const std::function<void(AccessibleEvent)>& sink) = 0;
  virtual std::shared_ptr<AccessibleTarget> ObjectAt(int x, int y) = 0;
};

// The first parallel port, byte by byte: its data (888), status (889) and control (890) ports.
class ParallelPort {
 public:
  virtual ~ParallelPort() = default;
  // Opens the port; false with the sentence that says why (UTF-8) when it cannot be had.
  virtual bool Open(std::string& reason) = 0;
  virtual void Out(int port, uint8_t byte) = 0;
  virtual uint8_t In(int port) = 0;
};

// The backends of this platform. On Linux: XTest and the X11 window tree (EWMH when a window
// manager gives it), AT-SPI 2 and ppdev, each reporting itself unavailable when missing.
std::unique_ptr<InputSynthesizer> MakeInputSynthesizer();
std::unique_ptr<WindowManager> MakeWindowManager();
std::unique_ptr<AccessibilityBackend> MakeAccessibilityBackend();
std::unique_ptr<ParallelPort> MakeParallelPort();

// A decoded JPEG picture: rows top first, one byte a pixel (grey) or three (red, green, blue).
struct DecodedJpeg {
  int width = 0;
  int height = 0;
  bool grey = false;
  std::vector<uint8_t> pixels;
};

// The largest picture decoded, so a hostile header cannot ask for gigabytes.
inline constexpr int kMaxJpegSide = 16384;
inline constexpr int64_t kMaxJpegPixels = 16 * 1024 * 1024;  // as the BMP loader takes

// Decodes a JPEG file. False, with the reason (UTF-8), for a file that cannot be read, is not a
// JPEG the decoder takes, is damaged, or is larger than the limits above.
bool DecodeJpegFile(const std::filesystem::path& file, DecodedJpeg& picture, std::string& reason);

}  // namespace navelo
