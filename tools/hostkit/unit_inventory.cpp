// The host kit's unit inventory tool: runs the runtime's own text to phonemes and diphone
// synthesizer over a word list and reports which units they ask the database for.
//
//   hostkit_units inventory RULES EXCEPTIONS WORDS          the keys asked for, one a line
//   hostkit_units coverage RULES EXCEPTIONS WORDS INDEX LETTERS
//                                                           how many words find every unit
//   hostkit_units phonemes RULES EXCEPTIONS < WORDS         each word and its phoneme string
//   hostkit_units pho STEM < WORDS                          each word and the MBROLA voice's
//                                                           phonemes for it (STEM.nrl, .exc,
//                                                           .abr, .pro, .dfn), stressed ones
//                                                           marked with ">"
//
// Word lists are UTF-8, one word a line.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tools/hostkit/recording_database.h"
#include "tradutor/diphone_database.h"
#include "tradutor/pho_front_end.h"
#include "tradutor/synthesizer.h"
#include "tradutor/text_to_phonemes.h"

namespace navelo {
namespace {

// Letter recordings: written down, and found when the letters folder has them (or always while
// the inventory is taken).
class LetterSink : public SynthesizerSink {
 public:
  explicit LetterSink(std::filesystem::path letters) : letters_(std::move(letters)) {}
  void PlayBuffer(const uint8_t*, size_t) override {}
  bool AppendLetterUnit(std::string_view key, std::vector<uint8_t>& samples) override {
    asked.emplace_back(key);
    if (!letters_.empty() && !std::filesystem::exists(letters_ / (std::string(key) + ".wav"))) {
      missing.emplace_back(key);
      return false;
    }
    samples.assign(100, 128);
    return true;
  }
  std::vector<std::string> asked;
  std::vector<std::string> missing;

 private:
  std::filesystem::path letters_;
};

bool WordByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
}

// Speaks one entry of the word list the way the speech layer speaks a text: runs of word
// characters through the rules and the synthesizer, a hyphen before a letter dropped, any other
// character as its letter recording.
void SpeakEntry(const PhonemeRules& rules, DiphoneSynthesizer& synth, LetterSink& sink,
                const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (WordByte(c)) {
      size_t end = i;
      while (end < text.size() && WordByte(static_cast<unsigned char>(text[end]))) ++end;
      synth.SpeakPhonemes(rules.TextToPhonemes(text.substr(i, end - i)), false);
      i = end;
      if (i + 1 < text.size() && text[i] == '-' &&
          WordByte(static_cast<unsigned char>(text[i + 1]))) {
        ++i;
      }
      continue;
    }
    std::vector<uint8_t> ignored;
    sink.AppendLetterUnit("_" + std::to_string(c), ignored);
    ++i;
  }
}

bool LoadRules(PhonemeRules& rules, const char* rules_file, const char* exceptions_file) {
  if (!rules.LoadRules(rules_file) || !rules.LoadExceptions(exceptions_file)) {
    std::cerr << "hostkit_units: cannot read " << rules_file << " or " << exceptions_file << "\n";
    return false;
  }
  return true;
}

std::vector<std::string> ReadWords(std::istream& in) {
  std::vector<std::string> words;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) words.push_back(line);
  }
  return words;
}

std::set<std::string> IndexNames(const std::filesystem::path& index) {
  std::ifstream in(index, std::ios::binary);
  std::set<std::string> names;
  char record[kIndexRecordSize];
  while (in.read(record, sizeof record)) {
    const auto len = static_cast<unsigned char>(record[0]);
    names.emplace(record + 1, std::min<size_t>(len, 8));
  }
  return names;
}

int Inventory(const PhonemeRules& rules, const std::vector<std::string>& words) {
  LookupLog log;
  SetLookupLog(&log);
  DiphoneDatabase database;
  LetterSink sink("");
  DiphoneSynthesizer synth(database, sink);
  std::map<std::string, long> keys;
  std::map<std::string, long> overlong;
  long overlong_words = 0;
  for (const std::string& word : words) {
    log.Clear();
    SpeakEntry(rules, synth, sink, Utf8ToCp1252(word));
    for (const std::string& key : log.asked) {
      ++(key.size() <= 8 ? keys : overlong)[key];
    }
    if (log.overlong > 0) ++overlong_words;
  }
  for (const auto& [key, count] : keys) std::cout << key << "\t" << count << "\n";
  std::set<std::string> letters(sink.asked.begin(), sink.asked.end());
  for (const std::string& key : letters) std::cout << key << "\t0\n";
  std::cerr << "hostkit_units: " << words.size() << " words ask for " << keys.size()
            << " units; " << overlong_words << " words ask for a name too long for the index\n";
  for (const auto& [key, count] : overlong) {
    std::cerr << "  too long: " << key << " " << count << "\n";
  }
  return 0;
}

int Coverage(const PhonemeRules& rules, const std::vector<std::string>& words,
             const std::filesystem::path& index, const std::filesystem::path& letters) {
  const std::set<std::string> known = IndexNames(index);
  LookupLog log;
  log.known = &known;
  SetLookupLog(&log);
  DiphoneDatabase database;
  LetterSink sink(letters);
  DiphoneSynthesizer synth(database, sink);
  long complete = 0;
  long with_missing = 0;
  long with_overlong = 0;
  std::map<std::string, long> missing_keys;
  std::vector<std::string> examples;
  for (const std::string& word : words) {
    log.Clear();
    sink.missing.clear();
    SpeakEntry(rules, synth, sink, Utf8ToCp1252(word));
    const bool missing = log.missing > 0 || !sink.missing.empty();
    if (missing) ++with_missing;
    if (log.overlong > 0) ++with_overlong;
    if (!missing && log.overlong == 0) {
      ++complete;
    } else if (examples.size() < 10) {
      examples.push_back(word);
    }
    for (const std::string& k : log.missing_names) ++missing_keys[k];
    for (const std::string& k : sink.missing) ++missing_keys[k];
  }
  std::cout << "words " << words.size() << "\n"
            << "complete " << complete << "\n"
            << "with_missing_unit " << with_missing << "\n"
            << "with_overlong_name " << with_overlong << "\n"
            << "index_units " << known.size() << "\n";
  for (const std::string& w : examples) std::cout << "example " << w << "\n";
  for (const auto& [k, n] : missing_keys) std::cout << "missing " << k << " " << n << "\n";
  return 0;
}

int Phonemes(const PhonemeRules& rules, const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    std::cout << word << "\t" << rules.TextToPhonemes(Utf8ToCp1252(word)) << "\n";
  }
  return 0;
}

// The phonemes of each word through the MBROLA voice's front end: its phoneme lines, marks kept,
// the pause lines left out.
int PhoWords(const std::string& stem, const std::vector<std::string>& words) {
  PhoFrontEnd front;
  const std::string error =
      front.LoadFiles(stem, [](const std::string& m) { std::cerr << Cp1252ToUtf8(m) << "\n"; });
  if (!error.empty()) {
    std::cerr << "hostkit_units: " << Cp1252ToUtf8(error) << "\n";
    return 1;
  }
  for (const std::string& word : words) {
    const std::string text = Utf8ToCp1252(word);
    std::string out;
    for (const std::string& line : front.PhonemeList(front.Intonate(front.Tokenise(front.Normalise(text))))) {
      if (line.empty() || line[0] == ';' || line[0] == '_') continue;
      if (!out.empty()) out += ' ';
      out += line;
    }
    std::cout << word << "\t" << Cp1252ToUtf8(out) << "\n";
  }
  return 0;
}

}  // namespace
}  // namespace navelo

int main(int argc, char** argv) {
  using namespace navelo;
  const std::string mode = argc > 1 ? argv[1] : "";
  PhonemeRules rules;
  if (mode == "inventory" && argc == 5) {
    if (!LoadRules(rules, argv[2], argv[3])) return 1;
    std::ifstream in(argv[4]);
    return Inventory(rules, ReadWords(in));
  }
  if (mode == "coverage" && argc == 7) {
    if (!LoadRules(rules, argv[2], argv[3])) return 1;
    std::ifstream in(argv[4]);
    return Coverage(rules, ReadWords(in), argv[5], argv[6]);
  }
  if (mode == "phonemes" && argc == 4) {
    if (!LoadRules(rules, argv[2], argv[3])) return 1;
    return Phonemes(rules, ReadWords(std::cin));
  }
  if (mode == "pho" && argc == 3) return PhoWords(argv[2], ReadWords(std::cin));
  std::cerr << "usage: hostkit_units inventory RULES EXCEPTIONS WORDS\n"
               "       hostkit_units coverage RULES EXCEPTIONS WORDS INDEX LETTERS\n"
               "       hostkit_units phonemes RULES EXCEPTIONS < WORDS\n"
               "       hostkit_units pho STEM < WORDS\n";
  return 2;
}
