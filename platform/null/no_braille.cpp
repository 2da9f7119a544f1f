// The braille binding of builds and runs without a braille display.
#include "platform/braille_display.h"

namespace navelo {

namespace {

class NoBrailleDisplay final : public BrailleDisplay {
 public:
  explicit NoBrailleDisplay(std::string reason) : reason_(std::move(reason)) {}
  bool Open(std::string& reason) override {
    reason = reason_;
    return false;
  }
  int CellCount() const override { return 0; }
  void Write(std::span<const uint8_t>) override {}
  bool NextKey(BrailleKey&) override { return false; }

 private:
  std::string reason_;
};

}  // namespace

std::unique_ptr<BrailleDisplay> MakeNoBrailleDisplay(std::string reason) {
  return std::make_unique<NoBrailleDisplay>(std::move(reason));
}

}  // namespace navelo
