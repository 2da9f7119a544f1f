// What the GDI console window is made of, for the tests that drive it: its handle, the font it
// really uses and the cell size measured from that font.
#pragma once

#include <windows.h>

#include <string>

#include "platform/display.h"

namespace navelo::win32 {

struct GdiWindowInfo {
  HWND window = nullptr;
  std::wstring font_face;  // the face the font mapper gave, after any fallback
  bool font_fell_back = false;
  int cell_width = 0;
  int cell_height = 0;
  int ascent = 0;
};

// False when display is not the GDI console window or it is not open.
bool GetGdiWindowInfo(Display& display, GdiWindowInfo& info);

}  // namespace navelo::win32
