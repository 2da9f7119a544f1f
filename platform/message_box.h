// The platform's message box: a text shown in a window of its own until the user closes it.
#pragma once

#include <string_view>

namespace navelo {

// Shows text (cp1252) and waits until it is closed. False where the platform has no message
// box, or none can be shown now; the caller then writes and speaks the text instead.
bool ShowMessageBox(std::string_view title, std::string_view text);

}  // namespace navelo
