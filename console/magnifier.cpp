// Layout of the magnified line.
#include "console/magnifier.h"

#include <algorithm>

namespace navelo {
namespace {

// Characters from..from+count-1 (1-based) of text, fewer when it is shorter.
std::string_view Slice(std::string_view text, int from, int count) {
  if (from < 1 || count <= 0 || static_cast<size_t>(from) > text.size()) return {};
  return text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(count));
}

}  // namespace

void Magnifier::Start(int row, int factor) {
  if (factor <= 0) {
    factor_ = 0;
    return;
  }
  row_ = row;
  factor_ = factor;
  scroll_start_ = 1;
}

MagnifiedPieces Magnifier::Layout(std::string_view text, int p) {
  MagnifiedPieces pieces;
  if (factor_ <= 0) return pieces;
  p = std::max(p, 1);
  if (p - 1 < scroll_start_) scroll_start_ = p - 1;
  if (scroll_start_ < 1) scroll_start_ = 1;
  const int visible = std::max(80 / factor_, 1);
  if (p > scroll_start_ + visible) scroll_start_ = p - visible;
  const std::string_view view = Slice(text, scroll_start_, visible);
  const int k = p - scroll_start_ + 1;
  if (k > 2) pieces.leading = std::string(Slice(view, 1, k - 2));
  if (k > 1) pieces.marked = std::string(Slice(view, k - 1, 1));
  pieces.trailing = std::string(Slice(view, k, visible)) + std::string(80, ' ');
  return pieces;
}

}  // namespace navelo
