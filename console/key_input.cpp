// The key queue and the translation of keys, mouse and braille chords into key bytes.
#include "console/key_input.h"

#include "console/key_codes.h"

namespace navelo {

const std::array<unsigned char, 64> kBrailleCells = {
    0x20, 0x61, 0x2C, 0x62, 0x27, 0x6B, 0x3B, 0x6C, 0x5E, 0x63, 0x69, 0x66, 0xED, 0x6D, 0x73, 0x70,
    0x7E, 0x65, 0x3A, 0x68, 0x2A, 0x6F, 0x21, 0x72, 0xAC, 0x64, 0x6A, 0x67, 0xE3, 0x6E, 0x74, 0x71,
    0xFD, 0xE2, 0x3F, 0xEA, 0x2D, 0x75, 0x22, 0x76, 0x7B, 0xEE, 0xF5, 0xE0, 0xF3, 0x78, 0xE8, 0xE7,
    0x24, 0xFB, 0xFF, 0xFC, 0x7D, 0x7A, 0x3D, 0xE1, 0x5F, 0xF4, 0x77, 0xEF, 0x23, 0x79, 0xFA, 0xE9,
};

namespace {

constexpr int kSpaceBit = 64;

bool IsLetterKey(int key) { return key >= 'A' && key <= 'Z'; }
bool IsDigitKey(int key) { return key >= '0' && key <= '9'; }

}  // namespace

void KeyInput::Enqueue(unsigned char byte, const InputModifiers& mods) {
  if (count_ >= kCapacity) return;
  const int at = (head_ + count_) % kCapacity;
  bytes_[at] = byte;
  mods_[at] = mods;
  ++count_;
}

unsigned char KeyInput::Take(InputModifiers* mods) {
  const unsigned char byte = bytes_[head_];
  if (mods != nullptr) *mods = mods_[head_];
  head_ = (head_ + 1) % kCapacity;
  --count_;
  return byte;
}

int KeyInput::DotBit(int key) {
  switch (key) {
    case 'F': return 1;
    case 'D': return 2;
    case 'S': return 4;
    case 'J': return 8;
    case 'K': return 16;
    case 'L': return 32;
    case kVkSpace: return kSpaceBit;
    default: return 0;
  }
}

void KeyInput::Handle(const DisplayEvent& event) {
  using Type = DisplayEvent::Type;
  switch (event.type) {
    case Type::kKeyDown: KeyDown(event); break;
    case Type::kSystemKeyDown: SystemKeyDown(event); break;
    case Type::kKeyUp: KeyUp(event); break;
    case Type::kChar: Character(event); break;
    case Type::kMouseDown:
    case Type::kWheel: Mouse(event); break;
    case Type::kFocusGained: click_suppressed_ = event.buttons_down; break;
    case Type::kFocusLost: click_suppressed_ = false; break;
    default: break;
  }
}

void KeyInput::KeyDown(const DisplayEvent& event) {
  const InputModifiers& mods = event.mods;
  if (event.key == kVkCancel && ctrl_break_check) {
    host_.CloseConsole();
    return;
  }
  if (mods.alt) {
    if (mods.ctrl && event.key == kVkF12) {
      SetBrailleMode(0);
      return;
    }
    if (mods.ctrl && event.key == kVkF1 + 10) {
      SetBrailleMode(braille_mode_ + 1);
      return;
    }
    if (IsLetterKey(event.key) || IsDigitKey(event.key)) {
      if (Free() >= 2) {
        Enqueue(0, mods);
        Enqueue(CtrlAltCode(static_cast<unsigned char>(event.key)), mods);
      }
      return;
    }
  }
  if (!mods.ctrl && braille_mode_ != 0) {
    const int bit = DotBit(event.key);
    if (bit != 0) {
      chord_ |= bit;
      held_ |= bit;
      return;
    }
  }
  if (count_ > kCapacity - 2) return;
  if (const ExtendedKey* key = FindExtendedKey(event.key)) {
    Enqueue(0, mods);
    Enqueue(ExtendedCode(*key, mods), mods);
  }
}

void KeyInput::SystemKeyDown(const DisplayEvent& event) {
  // Only Left and Right are taken; every other key pressed with Alt keeps its meaning for the
  // window system (closing the window, its menu), and F10 gives nothing.
  if (ctrl_break_check && (event.key == kVkLeft || event.key == kVkRight)) KeyDown(event);
}

void KeyInput::KeyUp(const DisplayEvent& event) {
  if (braille_mode_ == 0) return;
  if (event.mods.ctrl || !(event.key == kVkSpace || IsLetterKey(event.key))) {
    ClearTextRuleState();
    return;
  }
  held_ &= ~DotBit(event.key);
  if (held_ != 0) return;
  unsigned char c = 0;
  bool typed = true;
  if (chord_ & kSpaceBit) {
    ClearTextRuleState();
    const int dots = chord_ & 63;
    c = dots == 0 ? ' ' : static_cast<unsigned char>(kBrailleCells[dots] & 31);
  } else {
    c = kBrailleCells[chord_];
    if (braille_mode_ == 2) typed = ApplyTextRules(c);
  }
  if (typed && count_ <= kCapacity - 1) Enqueue(c, event.mods);
  chord_ = 0;
}

void KeyInput::ClearTextRuleState() {
  capital_next_ = false;
  caps_lock_ = false;
  number_mode_ = false;
}

bool KeyInput::ApplyTextRules(unsigned char& c) {
  if (c == '\'') c = '.';
  else if (c == 0xFB) c = '@';
  if (number_mode_) {
    if (c >= 'a' && c <= 'i') c = static_cast<unsigned char>('1' + (c - 'a'));
    else if (c == 'j') c = '0';
    else if (c == '~') number_mode_ = false;
  }
  if ((capital_next_ || caps_lock_) && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
  if (c == '#') {
    number_mode_ = true;
    return false;
  }
  if (c == '{') {
    if (capital_next_) caps_lock_ = true;
    capital_next_ = true;
    return false;
  }
  capital_next_ = false;
  return true;
}

void KeyInput::Character(const DisplayEvent& event) {
  unsigned char c = event.byte;
  if (braille_mode_ != 0 && (c == ' ' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return;
  if (count_ >= kCapacity) return;
  if (event.mods.ctrl && c == 8) c = 127;
  else if (event.mods.ctrl && c == 13) c = 10;
  Enqueue(c, event.mods);
}

void KeyInput::Mouse(const DisplayEvent& event) {
  if (!mouse_keys) return;
  if (click_suppressed_) {
    click_suppressed_ = false;
    return;
  }
  if (event.type == DisplayEvent::Type::kWheel) {
    if (event.wheel > 0) {
      Enqueue(0);
      Enqueue(72);
    } else if (event.wheel < 0) {
      Enqueue(0);
      Enqueue(80);
    }
    return;
  }
  switch (event.button) {
    case 1: Enqueue(13); break;
    case 3: Enqueue(27); break;
    case 2:
      Enqueue(0);
      Enqueue(67);
      break;
    default: break;
  }
}

void KeyInput::SetBrailleMode(int mode) {
  if (mode > 2) mode = 1;
  if (mode < 0) mode = 0;
  if (mode == 0) {
    chord_ = 0;
    held_ = 0;
    ClearTextRuleState();
    if (braille_mode_ != 0) host_.PlayModeTone(100);
  } else {
    host_.PlayModeTone(800);
    host_.PlayModeTone(mode == 1 ? 1600 : 400);
  }
  braille_mode_ = mode;
}

}  // namespace navelo
