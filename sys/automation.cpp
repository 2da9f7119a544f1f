// Key and pointer synthesis, the accessibility event ring and the switch matrix (automation.h).
#include "sys/automation.h"

#include <chrono>
#include <thread>

namespace navelo {

void PlainPause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::pair<unsigned char, unsigned char> DeadKeyPair(unsigned char byte) {
  // Each accented letter of cp1252's upper half with its accent and plain letter; "_" marks a
  // byte that is its own base.
  struct Entry {
    unsigned char letter;
    unsigned char accent;
    unsigned char base;
  };
  static constexpr Entry kEntries[] = {
      {0xC0, '`', 'A'}, {0xC1, 180, 'A'}, {0xC2, '^', 'A'}, {0xC3, '~', 'A'}, {0xC4, 168, 'A'},
      {0xC8, '`', 'E'}, {0xC9, 180, 'E'}, {0xCA, '^', 'E'}, {0xCB, 168, 'E'}, {0xCC, '`', 'I'},
      {0xCD, 180, 'I'}, {0xCE, '^', 'I'}, {0xCF, 168, 'I'}, {0xD1, '~', 'N'}, {0xD2, '`', 'O'},
      {0xD3, 180, 'O'}, {0xD4, '^', 'O'}, {0xD5, '~', 'O'}, {0xD6, 168, 'O'}, {0xD9, '`', 'U'},
      {0xDA, 180, 'U'}, {0xDB, '^', 'U'}, {0xDC, 168, 'U'}, {0xDD, 180, 'Y'}, {0x9F, 168, 'Y'},
  };
  for (const Entry& e : kEntries) {
    if (byte == e.letter) return {e.accent, e.base};
    // The lower-case forms lie 32 above the upper-case ones; ÿ (255) is that of Ÿ (159).
    const unsigned char lower = e.letter == 0x9F ? 0xFF : static_cast<unsigned char>(e.letter + 32);
    if (byte == lower) return {e.accent, static_cast<unsigned char>(e.base + 32)};
  }
  return {'_', byte};
}

bool IsExtendedKey(int key) { return (key >= 33 && key <= 40) || key == 45 || key == 46; }

KeySynthesis::KeySynthesis(std::function<void()> pump, std::function<void(int)> pause)
    : pump_(std::move(pump)), pause_(std::move(pause)) {}

bool KeySynthesis::Ready(std::string& reason) {
  if (!input_) {
    reason = "não há como simular teclas neste sistema";
    return false;
  }
  return input_->Ready(reason);
}

void KeySynthesis::SendKeyEvent(int key, bool down, bool extended) {
  if (input_) input_->Key(key, down, extended);
  if (pump_) pump_();
}

void KeySynthesis::KeyStroke(int key, int count, bool release) {
  if (key == kVkNumLock) {
    if (input_) input_->ToggleNumLock();
    return;
  }
  const bool extended = IsExtendedKey(key);
  for (int i = 0; i < count; ++i) {
    SendKeyEvent(key, true, extended);
    if (release) SendKeyEvent(key, false, extended);
  }
}

void KeySynthesis::KeyRelease(int key) { SendKeyEvent(key, false, IsExtendedKey(key)); }

void KeySynthesis::KeyCombo(KeyWithModifiers key, int count, bool release) {
  static constexpr std::pair<int, int> kModifierKeys[] = {
      {kModShift, kVkShift}, {kModCtrl, kVkControl}, {kModAlt, kVkAlt}, {kModAltGr, kVkAltGr}};
  for (auto [bit, vk] : kModifierKeys) {
    if (key.mods & bit) SendKeyEvent(vk, true, false);
  }
  KeyStroke(key.key, count, release);
  for (auto [bit, vk] : kModifierKeys) {
    if (key.mods & bit) KeyRelease(vk);
  }
}

void KeySynthesis::PressKey(int key, bool ctrl, bool shift, int pause_ms, bool alt) {
  KeyCombo({key, (shift ? kModShift : 0) | (ctrl ? kModCtrl : 0) | (alt ? kModAlt : 0)}, 1, true);
  Pause(pause_ms);
}

void KeySynthesis::TypeChar(unsigned char byte, int pause_ms) {
  if (byte < 32) {
    PressKey(byte + 64, true, false, pause_ms, false);
    return;
  }
  if (!input_) return;
  if (byte < 128) {
    if (auto key = input_->KeyForChar(byte)) KeyCombo(*key, 1, true);
  } else {
    const auto [accent, base] = DeadKeyPair(byte);
    std::optional<KeyWithModifiers> dead;
    std::optional<KeyWithModifiers> base_key;
    if (accent != '_') {
      dead = input_->DeadKeyFor(accent);
      if (dead) base_key = input_->KeyForChar(base);
    }
    if (dead && base_key) {
      KeyCombo(*dead, 1, true);
      KeyCombo(*base_key, 1, true);
    } else if (auto key = input_->KeyForChar(byte)) {
      // No dead key for the accent: the character's own key, or a spare key mapped for it.
      KeyCombo(*key, 1, true);
    } else if (auto blank = input_->KeyForChar(' ')) {
      KeyCombo(*blank, 1, true);
    }
  }
  Pause(pause_ms);
  input_->ReleaseSpareKeys();
}

void KeySynthesis::TypeText(std::string_view text, int pause_ms) {
  for (char c : text) TypeChar(static_cast<unsigned char>(c), pause_ms);
}

void KeySynthesis::TypeKeyOf(unsigned char byte) {
  if (byte < 32 || byte >= 128) {
    TypeChar(byte, 1);
    return;
  }
  if (!input_) return;
  const auto key = input_->KeyForChar(byte);
  if (!key) return;
  const bool extended = IsExtendedKey(key->key);
  SendKeyEvent(key->key, true, extended);
  Pause(1);
  SendKeyEvent(key->key, false, extended);
  Pause(1);
  input_->ReleaseSpareKeys();
}

bool KeySynthesis::ScreenSize(int& width, int& height) {
  return input_ && input_->ScreenSize(width, height);
}

void KeySynthesis::PointerMove(int x, int y) {
  if (input_) input_->PointerMove(x, y);
  if (pump_) pump_();
}

// A button is held and let go the way a hand does it, not in one burst: a window manager that
// grabs the button to raise the window it lands on replays the press to the window only after
// it has seen it, and on a loaded machine the second press of a burst was lost there.
constexpr int kButtonHoldMs = 20;
constexpr int kBetweenClicksMs = 60;  // well inside every toolkit's double-click time

void KeySynthesis::PointerClick(int x, int y) {
  if (!input_) return;
  input_->PointerMove(x, y);
  input_->LeftButton(true);
  Pause(kButtonHoldMs);
  input_->LeftButton(false);
  if (pump_) pump_();
}

void KeySynthesis::PointerDoubleClick(int x, int y) {
  if (!input_) return;
  input_->PointerMove(x, y);
  for (int i = 0; i < 2; ++i) {
    if (i > 0) Pause(kBetweenClicksMs);
    input_->LeftButton(true);
    Pause(kButtonHoldMs);
    input_->LeftButton(false);
  }
  if (pump_) pump_();
}

AccessibilityMonitor::AccessibilityMonitor(std::function<void()> pump) : pump_(std::move(pump)) {}

void AccessibilityMonitor::Drain() {
  if (pump_) pump_();
  if (backend_ && monitoring_) backend_->Poll([this](AccessibleEvent e) { Record(std::move(e)); });
}

bool AccessibilityMonitor::AccMonitorStart() {
  if (monitoring_) return true;
  if (!backend_ || !backend_->Start()) return false;
  monitoring_ = true;
  write_ = read_ = 0;
  return true;
}

void AccessibilityMonitor::AccMonitorStop() {
  if (monitoring_ && backend_) backend_->Stop();
  monitoring_ = false;
  for (AccessibleEvent& e : ring_) e.target.reset();
  write_ = read_ = 0;
  current_.reset();
}

void AccessibilityMonitor::Record(AccessibleEvent event) {
  if (event.code != 3 && event.code != 32773) return;
  ring_[static_cast<size_t>(write_)] = std::move(event);
  write_ = (write_ + 1) % kRingSize;
  if (write_ == read_) {
    ring_[static_cast<size_t>(read_)].target.reset();
    read_ = (read_ + 1) % kRingSize;
  }
}

bool AccessibilityMonitor::AccNextEvent() {
  Drain();
  if (read_ == write_) return false;
  AccessibleEvent event = std::move(ring_[static_cast<size_t>(read_)]);
  read_ = (read_ + 1) % kRingSize;
  Drain();
  if (!event.target) {
    current_.reset();
    return false;
  }
  current_ = std::move(event.target);
  const bool read = ReadProperties(current_.get());
  Drain();
  current_.reset();
  Drain();
  return read;
}

bool AccessibilityMonitor::AccObjectAt(int x, int y) {
  if (!backend_) return false;
  std::shared_ptr<AccessibleTarget> target = backend_->ObjectAt(x, y);
  if (!target) return false;
  current_ = std::move(target);
  return ReadProperties(current_.get());
}

bool AccessibilityMonitor::ReadProperties(AccessibleTarget* target) {
  properties_.name.clear();
  properties_.role_text.clear();
  properties_.state_text.clear();
  properties_.value.clear();
  properties_.role_code = 0;
  if (!target) return false;
  AccessibleInfo info;
  if (!target->Read(info)) return false;
  if (info.role_is_number) {
    properties_.role_code = info.role_code;
    if (info.role_code == 0) return true;
    properties_.role_text = info.role_text.substr(0, 199);
  } else {
    properties_.role_code = 8;
  }
  if (info.has_location) {
    properties_.left = info.left;
    properties_.top = info.top;
    properties_.width = info.width;
    properties_.height = info.height;
  }
  properties_.name = info.name;
  if (info.unavailable) {
    properties_.state_text = "indispon\xEDvel";
  } else if (info.checked) {
    properties_.state_text = "marcado";
  }
  properties_.value = info.value;
  return true;
}

bool SwitchMatrix::Load(std::string& reason) {
  if (loaded_) return true;
  if (!port_) {
    reason = "Porta paralela não disponível.";
    return false;
  }
  if (!port_->Open(reason)) return false;
  loaded_ = true;
  port_->Out(890, 255);
  pause_(1);
  port_->Out(888, 1);
  pause_(1);
  idle_ = port_->In(889);
  return true;
}

int SwitchMatrix::Scan() {
  if (!loaded_) return 0;
  int first = 0;
  for (int row = 0; row < 8; ++row) {
    port_->Out(890, 255);
    pause_(1);
    port_->Out(888, static_cast<uint8_t>(0xFF & ~(1 << (7 - row))));
    pause_(1);
    const uint8_t bits = static_cast<uint8_t>(port_->In(889) ^ idle_);
    for (int i = 0; i < 4; ++i) {
      const bool on = (bits >> (7 - i)) & 1;
      states_[static_cast<size_t>(row * 4 + i)] = on;
      if (on && !first) first = row * 4 + i + 1;
    }
  }
  return first;
}

}  // namespace navelo
