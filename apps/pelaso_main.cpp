// pelaso: the host's configuration tool. Merges the entries of the file it is given (sections and
// key=value lines, cp1252) into the user's navelo.ini, replacing that file whole.
// Usage: pelaso FILE. Exit code 0 on success, 1 with a message on standard error otherwise.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "config/config.h"
#include "config/host_env.h"
#include "config/ini_merge.h"

int main(int argc, char** argv) {
  using namespace navelo;
  if (argc != 2) {
    std::fputs("uso: pelaso ARQUIVO\n", stderr);
    return 1;
  }
  const HostEnvironment host(ProcessEnvironment());
  const Config config(host);
  const std::filesystem::path source = host.Resolve(argv[1]);
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pelaso: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (!IniMerge(FindEntry(config.UserConfigDir(), "navelo.ini"), IniEntries(text), error)) {
    std::fprintf(stderr, "pelaso: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
