// The braille display as the console sees it: a row of cells to show and the keys it types. One
// backend per platform (BrlAPI on Linux); without one, or without a display, it stays inactive.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace navelo {

// One key of the display, already told apart by the backend.
struct BrailleKey {
  enum class Kind {
    kLineUp,
    kLineDown,
    kEnter,
    kBackspace,
    kEscape,
    kHome,
    kEnd,
    kBlank,
    kDots,       // dots: a chord, dot n in bit n - 1; with_space when the space bar was in it
    kCharacter,  // character: a cp1252 byte the display typed as text
  };
  Kind kind = Kind::kBlank;
  int dots = 0;
  bool with_space = false;
  unsigned char character = 0;
};

class BrailleDisplay {
 public:
  virtual ~BrailleDisplay() = default;
  // Connects to the display. true when there is one with at least one cell; otherwise reason
  // says in a few words why not. Never waits for a display that is not there.
  virtual bool Open(std::string& reason) = 0;
  // The cells of the display's text row; 0 while inactive.
  virtual int CellCount() const = 0;
  // Shows exactly CellCount() cells (one byte each, dot n in bit n - 1). A display that went
  // away makes the binding inactive; nothing is reported.
  virtual void Write(std::span<const uint8_t> cells) = 0;
  // Takes one key the display typed, without waiting; false when none is waiting.
  virtual bool NextKey(BrailleKey& key) = 0;
};

// The backend of this build: BrlAPI where it was found at build time, else one that is never
// available.
std::unique_ptr<BrailleDisplay> MakeBrailleDisplay();
// A display binding that is never available (tests, and builds without a backend).
std::unique_ptr<BrailleDisplay> MakeNoBrailleDisplay(std::string reason);

}  // namespace navelo
