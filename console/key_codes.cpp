// Tables of the key codes.
#include "console/key_codes.h"

namespace navelo {

const std::array<ExtendedKey, 22> kExtendedKeys = {{
    {kVkF1, "F1", 59, 94},          {kVkF1 + 1, "F2", 60, 95},     {kVkF1 + 2, "F3", 61, 96},
    {kVkF1 + 3, "F4", 62, 97},      {kVkF1 + 4, "F5", 63, 98},     {kVkF1 + 5, "F6", 64, 99},
    {kVkF1 + 6, "F7", 65, 100},     {kVkF1 + 7, "F8", 66, 101},    {kVkF1 + 8, "F9", 67, 102},
    {kVkF1 + 9, "F10", 68, 103},    {kVkF1 + 10, "F11", 69, 104},  {kVkF12, "F12", 70, 105},
    {kVkInsert, "Ins", 82, 255},    {kVkDelete, "Del", 83, 83},    {kVkHome, "Home", 71, 119},
    {kVkEnd, "End", 79, 117},       {kVkPageUp, "PgUp", 73, 132},  {kVkPageDown, "PgDn", 81, 118},
    {kVkUp, "Up", 72, 113},         {kVkDown, "Down", 80, 114},    {kVkLeft, "Left", 75, 115},
    {kVkRight, "Right", 77, 116},
}};

const ExtendedKey* FindExtendedKey(int key) {
  for (const auto& entry : kExtendedKeys) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}

unsigned char ExtendedCode(const ExtendedKey& key, const InputModifiers& mods) {
  if (mods.ctrl) return key.with_ctrl;
  if (mods.shift && key.key == kVkInsert) return 254;
  return key.plain;
}

unsigned char CtrlAltCode(unsigned char c) {
  static constexpr unsigned char kLetters[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23,
                                                 36, 37, 38, 50, 49, 24, 25, 16, 19,
                                                 31, 20, 22, 47, 17, 45, 21, 44};
  static constexpr unsigned char kDigits[10] = {129, 120, 121, 122, 123, 124, 125, 126, 127, 128};
  if (c >= 'a' && c <= 'z') return kLetters[c - 'a'];
  if (c >= 'A' && c <= 'Z') return kLetters[c - 'A'];
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  return 0;
}

}  // namespace navelo
