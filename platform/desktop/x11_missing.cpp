// A build without Xlib and XTest: other programs' windows and synthesised input are unavailable,
// and every automation command that needs them says so.
#include "platform/desktop.h"

namespace navelo {
namespace {

constexpr const char* kReason = "este programa foi compilado sem suporte a X11 e XTest";

class NoInput final : public InputSynthesizer {
 public:
  bool Ready(std::string& reason) override {
    reason = kReason;
    return false;
  }
  void Key(int, bool, bool) override {}
  std::optional<KeyWithModifiers> KeyForChar(unsigned char) override { return std::nullopt; }
  std::optional<KeyWithModifiers> DeadKeyFor(unsigned char) override { return std::nullopt; }
  void ToggleNumLock() override {}
  bool ScreenSize(int&, int&) override { return false; }
  void PointerMove(int, int) override {}
  void LeftButton(bool) override {}
};

class NoWindows final : public WindowManager {
 public:
  bool Ready(std::string& reason) override {
    reason = kReason;
    return false;
  }
  std::vector<DesktopWindow> Windows(size_t) override { return {}; }
  bool Foreground(DesktopWindow&, size_t) override { return false; }
  bool WindowRect(uint64_t, ScreenRect&) override { return false; }
  int FrameWidth() override { return 0; }
  void Act(uint64_t, WindowAction) override {}
};

}  // namespace

std::unique_ptr<InputSynthesizer> MakeInputSynthesizer() { return std::make_unique<NoInput>(); }
std::unique_ptr<WindowManager> MakeWindowManager() { return std::make_unique<NoWindows>(); }

}  // namespace navelo
