// URLs: splitting, resolving a Location against the current URL, percent-encoding.
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)UrlSplit(text);
  (void)PercentEncode(text);
  // The text before the first line end is the current URL, the rest the Location.
  const size_t cut = text.find('\n');
  if (cut != std::string_view::npos) {
    const std::string next = ResolveLocation(text.substr(0, cut), text.substr(cut + 1));
    (void)UrlSplit(next);
  }
  return 0;
}
