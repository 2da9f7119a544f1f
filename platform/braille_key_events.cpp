// The vendor braille display's key events as display keys.
#include "platform/braille_key_events.h"

namespace navelo {

namespace {

constexpr uint32_t kEventKeys = 1;     // a key pressed or the keys released
constexpr uint32_t kEventRouting = 3;  // the bars beside the cells
constexpr uint32_t kReleased = 3;
constexpr uint32_t kDot7 = 64;
constexpr uint32_t kDot8 = 128;
constexpr uint32_t kHomeKey = 256;
constexpr uint32_t kEndKey = 512;
constexpr uint32_t kSpaceBar = 32768;

}  // namespace

bool BrailleKeyEvents::Translate(uint32_t type, uint32_t data, BrailleKey& key) {
  using Kind = BrailleKey::Kind;
  key = BrailleKey{};
  if (type != kEventKeys && type != kEventRouting) {
    // An event of a kind the console does not know still says that something was pressed.
    key.kind = Kind::kCharacter;
    key.character = '?';
    return true;
  }
  if (type == kEventRouting) {
    if (data == 16 || data == 64) key.kind = Kind::kLineUp;
    else if (data == 32 || data == 128) key.kind = Kind::kLineDown;
    else return false;
    return true;
  }
  switch (data) {
    case 261:
    case 6405:
      key.kind = Kind::kLineUp;
      return true;
    case 2309:
    case 4357:
      key.kind = Kind::kLineDown;
      return true;
    case kReleased:
      break;
    default:
      pressed_ |= data / 256;
      return false;
  }
  const uint32_t chord = pressed_;
  pressed_ = 0;
  if ((chord & 0xFFFF) == 0) return false;
  if (chord == kDot7) {
    key.kind = Kind::kBackspace;
  } else if (chord == kDot8) {
    key.kind = Kind::kEnter;
  } else if (chord == (kDot7 | kDot8)) {
    key.kind = Kind::kEscape;
  } else if (chord == kSpaceBar) {
    key.kind = Kind::kBlank;
  } else if ((chord & kHomeKey) != 0) {
    key.kind = Kind::kHome;
  } else if ((chord & kEndKey) != 0) {
    key.kind = Kind::kEnd;
  } else {
    // Dots 7 and 8 travel along; the console decides by the six dots.
    key.kind = Kind::kDots;
    key.dots = static_cast<int>(chord & 0xFF);
    key.with_space = (chord & kSpaceBar) != 0;
  }
  return true;
}

}  // namespace navelo
