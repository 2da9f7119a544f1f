// The MBROLA library (mbrola.dll) loaded with LoadLibrary. Its calls use the Windows calling
// convention. There is no `mbrola` program on Windows: the library is the way there.
#include <windows.h>

#define NAVELO_MBROLA_CALL WINAPI
#include "platform/mbrola_library_calls.h"

namespace navelo {

const char* MbrolaLibraryFileName() { return "mbrola.dll"; }

std::unique_ptr<MbrolaBackend> LoadMbrolaLibrary(const std::vector<std::string>& candidates,
                                                 std::string& reason) {
  reason = "no MBROLA library was found";
  for (const std::string& name : candidates) {
    HMODULE module = LoadLibraryA(name.c_str());
    if (module == nullptr) continue;
    MbrolaCalls calls;
    auto lookup = [&](const char* symbol) {
      return reinterpret_cast<void*>(GetProcAddress(module, symbol));
    };
    if (!FindMbrolaCalls(lookup, calls, reason)) {
      FreeLibrary(module);
      continue;
    }
    return std::make_unique<MbrolaLibraryBackend>(calls, [module] { FreeLibrary(module); });
  }
  return nullptr;
}

std::unique_ptr<MbrolaBackend> MakeMbrolaProgram(const std::string&, std::string& reason) {
  reason = "the mbrola program is not used on Windows";
  return nullptr;
}

}  // namespace navelo
