// The rules and exceptions loaders and text to phonemes: the input holds a rules file, an
// exceptions file and a text, separated by bytes 0.
#include "tradutor/text_to_phonemes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t cut = i < 2 ? input.find('\0', at) : std::string_view::npos;
    parts[i] = input.substr(std::min(at, input.size()),
                            cut == std::string_view::npos ? std::string_view::npos : cut - at);
    if (cut == std::string_view::npos) break;
    at = cut + 1;
  }
  PhonemeRules rules;
  rules.SetRulesText(parts[0]);
  rules.SetExceptionsText(parts[1]);
  (void)rules.TextToPhonemes(parts[2]);
  std::string word(parts[2]);
  (void)rules.LookupException(word);
  std::string marked = PhonemeRules::RewriteText(parts[2]);
  PhonemeRules::MarkStress(marked);
  return 0;
}
