// Rows out to the braille display and its keys back into the key queue.
#include "console/braille_output.h"

#include "console/key_input.h"

namespace navelo {

namespace {

// The character of a chord typed on the display: the braille typing cells, except that dot 3
// alone is a full stop and dots 1-5-6 are "@".
unsigned char ChordCharacter(int dots) {
  dots &= 63;
  if (dots == 4) return '.';
  if (dots == (1 | 16 | 32)) return '@';
  return kBrailleCells[dots];
}

}  // namespace

void BrailleOutput::Start() {
  if (started_) return;
  started_ = true;
  std::string reason;
  if (display_.Open(reason)) cells_.assign(display_.CellCount(), 0);
}

void BrailleOutput::SendRow(std::string_view row) {
  const int count = display_.CellCount();
  if (count <= 0) return;
  if (cells_.size() != static_cast<size_t>(count)) cells_.assign(count, 0);
  translator_.RowCells(row, text_, cells_);
  display_.Write(cells_);
}

std::string BrailleOutput::KeyBytes(const BrailleKey& key) {
  using Kind = BrailleKey::Kind;
  auto extended = [](int code) { return std::string{'\0', static_cast<char>(code)}; };
  switch (key.kind) {
    case Kind::kLineUp: return extended(72);
    case Kind::kLineDown: return extended(80);
    case Kind::kHome: return extended(71);
    case Kind::kEnd: return extended(79);
    case Kind::kEnter: return "\r";
    case Kind::kBackspace: return "\b";
    case Kind::kEscape: return "\x1b";
    case Kind::kBlank: return " ";
    case Kind::kDots:
      // Dots 7 and 8 have no character of their own; the six dots decide.
      if ((key.dots & 63) == 0) return key.with_space ? " " : std::string{};
      if (key.with_space) return std::string(1, static_cast<char>(ChordCharacter(key.dots) & 31));
      return std::string(1, static_cast<char>(ChordCharacter(key.dots)));
    case Kind::kCharacter: return std::string(1, static_cast<char>(key.character));
  }
  return {};
}

bool BrailleOutput::NextKeyBytes(std::string& bytes) {
  BrailleKey key;
  while (display_.NextKey(key)) {
    bytes = KeyBytes(key);
    if (!bytes.empty()) return true;
  }
  return false;
}

}  // namespace navelo
