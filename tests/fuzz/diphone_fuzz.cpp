// The diphone index: an index image of any bytes, searched for the names the input ends with
// (after a byte 0) and for a few common units.
#include <cctype>

#include "tradutor/diphone_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.rfind('\0');
  const std::string_view index = cut == std::string_view::npos ? input : input.substr(0, cut);
  const std::string_view names = cut == std::string_view::npos ? "" : input.substr(cut + 1);
  DiphoneDatabase database;
  database.SetIndex(index);
  for (std::string_view name : {"_A", "A_", "MA", "_", "", "ZZZZZZZZ", "AAAAAAAAA"}) {
    (void)database.Find(name);
  }
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(' ', start);
    if (end == std::string_view::npos) end = names.size();
    std::string name(names.substr(start, end - start));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    (void)database.Find(name);
    start = end + 1;
  }
  return 0;
}
