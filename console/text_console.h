// The console used until the 80x25 window exists: it records what is written in the transcript
// and, in the terminal backend, shows it on the terminal; headless it shows nothing.
#pragma once

#include "console/console.h"
#include "platform/transcript.h"

namespace navelo {

class TextConsole final : public Console {
 public:
  TextConsole(Transcript& transcript, bool show_on_terminal)
      : transcript_(transcript), terminal_(show_on_terminal) {}

  void Write(std::string_view bytes) override;
  void ClearScreen() override;
  void SetTitle(std::string_view title) override;
  void ShowNormal() override {}
  void Minimize() override {}
  void Delay(int milliseconds) override;
  void PumpMessages() override {}

 private:
  Transcript& transcript_;
  bool terminal_;
};

// Keys from the terminal (raw mode) or from a standard input that is not a terminal. end_program
// is called with 3 at the end of input, so a program never waits for keys that cannot come.
class TerminalKeyboard final : public Keyboard {
 public:
  TerminalKeyboard(Console& console, void (*end_program)(int));
  bool KeyPressed() override;
  unsigned char ReadKey() override;
  KeyModifiers Modifiers() override { return {}; }

 private:
  // Reads what standard input has (waiting up to timeout_ms for the first byte) and queues it as
  // key bytes.
  void Fill(int timeout_ms);
  void QueueEscapeSequence();

  Console& console_;
  void (*end_program_)(int);
  std::string queue_;
};

}  // namespace navelo
