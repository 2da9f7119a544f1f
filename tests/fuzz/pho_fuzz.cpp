// The MBROLA voice's front end and the stand-in synthesizer: the input holds a rules file, an
// exceptions file, an abbreviations file, a prosody file, a diphone list and a text, separated by
// bytes 0. The text's .pho lines are rendered with a tiny unit set.
#include "tradutor/pho_front_end.h"
#include "tradutor/pho_synthesizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace navelo;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view parts[6];
  size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    const size_t cut = i < 5 ? input.find('\0', at) : std::string_view::npos;
    parts[i] = input.substr(std::min(at, input.size()),
                            cut == std::string_view::npos ? std::string_view::npos : cut - at);
    if (cut == std::string_view::npos) break;
    at = cut + 1;
  }
  PhoFrontEnd front;
  front.SetRulesText(parts[0]);
  front.SetExceptionsText(parts[1]);
  front.SetAbbreviationsText(parts[2]);
  front.SetProsodyText(parts[3], [](const std::string&) {});
  front.SetDiphonesText(parts[4]);
  std::vector<PhoLine> lines;
  double total_ms = 0;
  for (const std::string& line : front.TextToPho(parts[5])) {
    PhoLine parsed;
    if (ParsePhoLine(line, parsed)) {
      total_ms += parsed.duration_ms;
      lines.push_back(parsed);
    }
  }
  // Rendering minutes of sound is no fault, only slow: long texts are left to the front end.
  if (total_ms < 3000) {
    const std::vector<PhoUnit> units = {{"a", true, std::vector<int16_t>(400, 300), {50, 150, 250}}};
    (void)RenderPho(lines, units);
  }
  std::vector<PhoUnit> read;
  (void)ReadPhoUnitSet(parts[5], read);
  return 0;
}
