// Transcript-and-terminal console and the terminal keyboard.
#include "console/text_console.h"

#include "platform/terminal.h"
#include "platform/text_encoding.h"

namespace navelo {

void TextConsole::Write(std::string_view bytes) {
  transcript_.Record("write", bytes);
  if (!terminal_) return;
  std::string shown;
  for (char c : bytes) {
    if (c == '\b') {
      shown += "\b \b";  // backspace blanks the cell to the left
    } else {
      shown += c;
    }
  }
  TerminalWrite(Cp1252ToUtf8(shown));
}

void TextConsole::ClearScreen() {
  if (terminal_) TerminalWrite("\x1b[2J\x1b[H");
}

void TextConsole::SetTitle(std::string_view title) {
  transcript_.Record("title", title);
  if (terminal_) TerminalWrite("\x1b]0;" + Cp1252ToUtf8(title) + "\x07");
}

void TextConsole::Delay(int milliseconds) {
  PumpMessages();
  SleepMilliseconds(milliseconds);
}

TerminalKeyboard::TerminalKeyboard(Console& console, void (*end_program)(int))
    : console_(console), end_program_(end_program) {
  TerminalEnterRaw();
}

void TerminalKeyboard::QueueEscapeSequence() {
  // ESC alone is the Esc key; ESC [ or ESC O start a cursor or function key.
  const int second = StdinReadByte(30);
  if (second != '[' && second != 'O') {
    queue_ += '\x1b';
    if (second >= 0) queue_ += static_cast<char>(second);
    return;
  }
  std::string body;
  for (;;) {
    const int c = StdinReadByte(30);
    if (c < 0) break;
    body += static_cast<char>(c);
    if ((c >= 'A' && c <= 'Z') || c == '~') break;
  }
  static const struct {
    const char* sequence;
    unsigned char code;
  } kKeys[] = {
      {"A", 72},   {"B", 80},   {"C", 77},   {"D", 75},   {"H", 71},   {"F", 79},
      {"P", 59},   {"Q", 60},   {"R", 61},   {"S", 62},   {"1~", 71},  {"2~", 82},
      {"3~", 83},  {"4~", 79},  {"5~", 73},  {"6~", 81},  {"15~", 63}, {"17~", 64},
      {"18~", 65}, {"19~", 66}, {"20~", 67}, {"21~", 68}, {"23~", 69}, {"24~", 70},
  };
  for (const auto& key : kKeys) {
    if (body == key.sequence) {
      queue_ += '\0';
      queue_ += static_cast<char>(key.code);
      return;
    }
  }
}

void TerminalKeyboard::Fill(int timeout_ms) {
  int c = StdinReadByte(timeout_ms);
  if (c == -2) end_program_(3);
  if (c < 0) return;
  if (c == 0x1b) {
    QueueEscapeSequence();
  } else if (c == '\r' || c == '\n') {
    queue_ += '\r';
  } else if (c == 127) {
    queue_ += '\b';
  } else if (c >= 0xC0) {
    // A UTF-8 character: take its continuation bytes and turn it into cp1252.
    std::string utf8(1, static_cast<char>(c));
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    for (int i = 0; i < extra; ++i) {
      const int next = StdinReadByte(30);
      if (next < 0) break;
      utf8 += static_cast<char>(next);
    }
    queue_ += Utf8ToCp1252(utf8);
  } else {
    queue_ += static_cast<char>(c);
  }
}

bool TerminalKeyboard::KeyPressed() {
  console_.PumpMessages();
  if (queue_.empty()) Fill(0);
  return !queue_.empty();
}

unsigned char TerminalKeyboard::ReadKey() {
  while (queue_.empty()) Fill(-1);
  const auto byte = static_cast<unsigned char>(queue_[0]);
  queue_.erase(0, 1);
  return byte;
}

}  // namespace navelo
