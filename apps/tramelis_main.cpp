// tramelis FILE [PARAM...]: runs a script file of the language.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "apps/runtime/runtime.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
  navelo::ProgramOptions options;
  options.script_name = "tramelis";
  if (argc < 2) {
    options.startup_error = "Uso: tramelis ARQUIVO [PARAMETROS...]";
    navelo::RunProgram(options);
  }
  const std::filesystem::path file = argv[1];
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    options.startup_error =
        navelo::Utf8ToCp1252("Não foi possível abrir o script ") + navelo::Utf8ToCp1252(argv[1]);
    navelo::RunProgram(options);
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  options.script_name = navelo::Utf8ToCp1252(file.stem().string());
  options.lines = navelo::SplitScriptText(bytes);
  for (int i = 2; i < argc; ++i) options.params.push_back(navelo::Utf8ToCp1252(argv[i]));
  navelo::RunProgram(options);
}
