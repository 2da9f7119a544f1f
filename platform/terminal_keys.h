// Decoding the bytes a terminal sends for keys (characters, control bytes, UTF-8, and the escape
// sequences of cursor, editing and function keys with their modifiers) into display events.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "platform/display.h"

namespace navelo {

// read_byte(timeout_ms) returns a byte, -1 when none came in time, -2 at the end of input.
// Decodes one key, waiting at most timeout_ms for its first byte, and appends its events (none
// when nothing came in time). The bytes after ESC are awaited briefly, so a lone ESC is Esc.
// A line feed is Ctrl+Enter from a terminal (Ctrl+J), but Enter in text piped in
// (line_feed_is_enter).
void DecodeTerminalKey(const std::function<int(int)>& read_byte, int timeout_ms,
                       std::vector<DisplayEvent>& events, bool line_feed_is_enter = false);

// The keys of the standard input stream as display events, one at a time; after the end of
// input nothing more is read.
class StdinKeys {
 public:
  explicit StdinKeys(bool line_feed_is_enter) : line_feed_is_enter_(line_feed_is_enter) {}
  // Waits at most timeout_ms for a key; false when none came.
  bool Next(int timeout_ms, DisplayEvent& event);

 private:
  bool line_feed_is_enter_;
  bool ended_ = false;
  std::deque<DisplayEvent> pending_;
};

}  // namespace navelo
