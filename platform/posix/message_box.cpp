// No message box on Linux: the runtime writes and speaks such texts on its own console.
#include "platform/message_box.h"

namespace navelo {

bool ShowMessageBox(std::string_view, std::string_view) { return false; }

}  // namespace navelo
