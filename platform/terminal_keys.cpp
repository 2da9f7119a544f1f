// Terminal key decoding.
#include "platform/terminal_keys.h"

#include <string>

#include "platform/terminal.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

constexpr int kSequenceWaitMs = 30;

DisplayEvent CharEvent(unsigned char byte, InputModifiers mods = {}) {
  DisplayEvent e;
  e.type = DisplayEvent::Type::kChar;
  e.byte = byte;
  e.mods = mods;
  return e;
}

// A key press as the window system would report it: pressed with Alt alone, or F10, it is a
// system key.
DisplayEvent KeyEvent(int key, InputModifiers mods) {
  DisplayEvent e;
  const bool system = !mods.ctrl && (mods.alt || key == kVkF1 + 9);
  e.type = system ? DisplayEvent::Type::kSystemKeyDown : DisplayEvent::Type::kKeyDown;
  e.key = key;
  e.mods = mods;
  return e;
}

// The xterm modifier parameter: 1 + (1 shift, 2 alt, 4 ctrl).
InputModifiers ModifiersOf(int parameter) {
  InputModifiers mods;
  if (parameter >= 2) {
    const int bits = parameter - 1;
    mods.shift = bits & 1;
    mods.alt = bits & 2;
    mods.ctrl = bits & 4;
  }
  return mods;
}

int TildeKey(int n) {
  switch (n) {
    case 1: case 7: return kVkHome;
    case 2: return kVkInsert;
    case 3: return kVkDelete;
    case 4: case 8: return kVkEnd;
    case 5: return kVkPageUp;
    case 6: return kVkPageDown;
    case 11: case 12: case 13: case 14: case 15: return kVkF1 + (n - 11);
    case 17: case 18: case 19: case 20: case 21: return kVkF1 + 5 + (n - 17);
    case 23: case 24: return kVkF1 + 10 + (n - 23);
    default: return kVkNone;
  }
}

int FinalKey(char final) {
  switch (final) {
    case 'A': return kVkUp;
    case 'B': return kVkDown;
    case 'C': return kVkRight;
    case 'D': return kVkLeft;
    case 'H': return kVkHome;
    case 'F': return kVkEnd;
    case 'P': return kVkF1;
    case 'Q': return kVkF1 + 1;
    case 'R': return kVkF1 + 2;
    case 'S': return kVkF1 + 3;
    default: return kVkNone;
  }
}

// A letter or a blank typed as a character also reports its key going down and up, so keys that
// act by their position (the braille dots) work as far as a terminal allows: one key at a time.
void AddTyped(unsigned char c, InputModifiers mods, std::vector<DisplayEvent>& events) {
  int key = kVkNone;
  if (c >= 'a' && c <= 'z') key = c - 32;
  else if (c >= 'A' && c <= 'Z') {
    key = c;
    mods.shift = true;
  } else if (c == ' ') key = kVkSpace;
  if (key != kVkNone) events.push_back(KeyEvent(key, mods));
  events.push_back(CharEvent(c, mods));
  if (key != kVkNone) {
    DisplayEvent up;
    up.type = DisplayEvent::Type::kKeyUp;
    up.key = key;
    up.mods = mods;
    events.push_back(up);
  }
}

void DecodeEscape(const std::function<int(int)>& read_byte, std::vector<DisplayEvent>& events) {
  const int second = read_byte(kSequenceWaitMs);
  if (second < 0 || second == 27) {
    events.push_back(CharEvent(27));
    return;
  }
  if (second != '[' && second != 'O') {
    // ESC before a byte is that byte typed with Alt; a control byte there means Ctrl too.
    InputModifiers mods;
    mods.alt = true;
    int c = second;
    if (c >= 1 && c <= 26) {
      mods.ctrl = true;
      c += 'A' - 1;
    }
    if (c >= 'a' && c <= 'z') c -= 32;
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      events.push_back(KeyEvent(c, mods));
    }
    return;
  }
  std::vector<int> params{0};
  int final = -1;
  for (int guard = 0; guard < 16; ++guard) {
    const int c = read_byte(kSequenceWaitMs);
    if (c < 0) break;
    if (c >= '0' && c <= '9') {
      params.back() = params.back() * 10 + (c - '0');
      if (params.back() > 1000) params.back() = 1000;
    } else if (c == ';') {
      params.push_back(0);
    } else {
      final = c;
      break;
    }
  }
  if (final < 0) return;
  int key = kVkNone;
  InputModifiers mods;
  if (final == '~') {
    key = TildeKey(params[0]);
    if (params.size() > 1) mods = ModifiersOf(params[1]);
  } else {
    key = FinalKey(static_cast<char>(final));
    if (params.size() > 1) mods = ModifiersOf(params[1]);
  }
  if (key != kVkNone) events.push_back(KeyEvent(key, mods));
}

}  // namespace

void DecodeTerminalKey(const std::function<int(int)>& read_byte, int timeout_ms,
                       std::vector<DisplayEvent>& events, bool line_feed_is_enter) {
  const int c = read_byte(timeout_ms);
  if (c == -1) return;
  if (c < 0) {
    DisplayEvent end;
    end.type = DisplayEvent::Type::kEndOfInput;
    events.push_back(end);
    return;
  }
  InputModifiers ctrl;
  ctrl.ctrl = true;
  if (c == 27) {
    DecodeEscape(read_byte, events);
  } else if (c == 13) {
    events.push_back(CharEvent(13));
  } else if (c == 10) {
    events.push_back(line_feed_is_enter ? CharEvent(13) : CharEvent(13, ctrl));
  } else if (c == 127) {
    events.push_back(CharEvent(8));
  } else if (c == 8) {
    events.push_back(CharEvent(8, ctrl));  // Ctrl+Backspace
  } else if (c == 9) {
    events.push_back(CharEvent(9));
  } else if (c >= 1 && c <= 26) {
    InputModifiers ctrl_letter = ctrl;
    ctrl_letter.letter = true;
    events.push_back(CharEvent(static_cast<unsigned char>(c), ctrl_letter));
  } else if (c >= 28 && c <= 31) {
    events.push_back(CharEvent(static_cast<unsigned char>(c), ctrl));  // Ctrl+\ ] ^ _
  } else if (c == 0) {
    // Ctrl+Space types nothing.
  } else if (c >= 0xC0) {
    std::string utf8(1, static_cast<char>(c));
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    for (int i = 0; i < extra; ++i) {
      const int next = read_byte(kSequenceWaitMs);
      if (next < 0) break;
      utf8 += static_cast<char>(next);
    }
    for (const char b : Utf8ToCp1252(utf8)) AddTyped(static_cast<unsigned char>(b), {}, events);
  } else if (c >= 32 && c < 127) {
    AddTyped(static_cast<unsigned char>(c), {}, events);
  }
}

bool StdinKeys::Next(int timeout_ms, DisplayEvent& event) {
  if (pending_.empty()) {
    if (ended_) return false;
    std::vector<DisplayEvent> events;
    DecodeTerminalKey(StdinReadByte, timeout_ms, events, line_feed_is_enter_);
    for (const auto& e : events) {
      if (e.type == DisplayEvent::Type::kEndOfInput) ended_ = true;
      pending_.push_back(e);
    }
    if (pending_.empty()) return false;
  }
  event = pending_.front();
  pending_.pop_front();
  return true;
}

}  // namespace navelo
