// The entry of a program that carries its script: the runtime with the embedded lines, named by
// NAVELO_SCRIPT_NAME and NAVELO_SCRIPT_SYMBOL at build time; NAVELO_START_MINIMISED makes its
// window open minimised.
#include <cstddef>

#include "apps/runtime/runtime.h"
#include "platform/text_encoding.h"

namespace navelo {
extern const char* const NAVELO_SCRIPT_SYMBOL[];
extern const std::size_t NAVELO_SCRIPT_COUNT;
}  // namespace navelo

int main(int argc, char** argv) {
  navelo::ProgramOptions options;
  options.script_name = NAVELO_SCRIPT_NAME;
#ifdef NAVELO_START_MINIMISED
  options.start_minimised = true;
#endif
  for (std::size_t i = 0; i < navelo::NAVELO_SCRIPT_COUNT; ++i) {
    options.lines.emplace_back(navelo::NAVELO_SCRIPT_SYMBOL[i]);
  }
  for (int i = 1; i < argc; ++i) options.params.push_back(navelo::Utf8ToCp1252(argv[i]));
  navelo::RunProgram(options);
}
