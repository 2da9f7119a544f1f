// A build without AT-SPI 2: no accessibility objects are ever reported.
#include "platform/desktop.h"

namespace navelo {
namespace {

class NoAccessibility final : public AccessibilityBackend {
 public:
  bool Start() override { return false; }
  void Stop() override {}
  void Poll(const std::function<void(AccessibleEvent)>&) override {}
  std::shared_ptr<AccessibleTarget> ObjectAt(int, int) override { return nullptr; }
};

}  // namespace

std::unique_ptr<AccessibilityBackend> MakeAccessibilityBackend() {
  return std::make_unique<NoAccessibility>();
}

}  // namespace navelo
