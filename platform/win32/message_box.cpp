// The Windows message box, with the program's texts in cp1252 (the "A" function).
#include <windows.h>

#include <string>

#include "platform/message_box.h"

namespace navelo {

bool ShowMessageBox(std::string_view title, std::string_view text) {
  const std::string t(title), m(text);
  return MessageBoxA(nullptr, m.c_str(), t.c_str(), MB_OK | MB_ICONWARNING | MB_TASKMODAL) != 0;
}

}  // namespace navelo
