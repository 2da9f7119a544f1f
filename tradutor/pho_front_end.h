// The Portuguese front end of the MBROLA voice: text (cp1252) to the phoneme lines of a .pho
// file, with no sound. Normalisation (numbers, ordinals, decimals, abbreviations, symbols),
// word classes and intonation patterns, letter-to-sound rules with the stressed vowel marked,
// durations and pitch points, and the transition lines that stand in for diphones the voice
// lacks. Each stage is public so that tests can hold its output.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace navelo {

struct PhoRule {
  std::string left;    // at most 5 characters
  std::string match;   // 1 to 5
  std::string right;   // at most 5
  std::string output;  // at most 20 kept, 11 used
};

// Shows a problem of the data files to the user (cp1252).
using PhoMessageSink = std::function<void(const std::string& text)>;

inline constexpr size_t kPhoMaxExceptions = 15000;
inline constexpr size_t kPhoMaxAbbreviations = 2000;
inline constexpr int kPhoDefaultDuration = 100;
// The longest base duration a data file or a rule may give (milliseconds); more is a mistake.
inline constexpr int kPhoMaxDuration = 60000;

class PhoFrontEnd {
 public:
  PhoFrontEnd();

  // The five data files, from their texts (lines ending in LF or CR LF).
  void SetRulesText(std::string_view text);
  void SetExceptionsText(std::string_view text);
  void SetAbbreviationsText(std::string_view text);
  // False when a section is missing; every problem is also shown through `show`.
  bool SetProsodyText(std::string_view text, const PhoMessageSink& show);
  void SetDiphonesText(std::string_view text);

  // Loads stem + ".nrl", ".exc", ".abr", ".pro" and ".dfn" (stem: directory and base name, a
  // native path). Returns the failure text (cp1252) that the engine keeps as its last error, or
  // an empty text when all five loaded.
  std::string LoadFiles(const std::filesystem::path& stem, const PhoMessageSink& show);

  // speed and pitch of the speech service: duration factor 0.8 - speed / 15, pitch factor
  // (pitch + 11) / 11.
  void SetVoice(int speed, int pitch);

  // The whole road: trimmed text to .pho lines (comment lines, phoneme lines, empty lines).
  // An empty text gives no lines.
  std::vector<std::string> TextToPho(std::string_view text) const;

  // The stages, in order.
  std::string Normalise(std::string_view text) const;
  std::vector<std::string> Tokenise(std::string_view normalised) const;   // "[XX]word"
  std::vector<std::string> Intonate(const std::vector<std::string>& tokens) const;  // "555|word"
  std::vector<std::string> PhonemeList(const std::vector<std::string>& lines) const;
  std::vector<std::string> Prosody(const std::vector<std::string>& phonemes) const;

  // The rules applied to an upper-case word whose stressed position is `stress` (1-based; 0 for
  // none): its phoneme lines, ending with an empty line.
  std::vector<std::string> ApplyRules(std::string_view word, int stress) const;
  // The stressed position of a word (1-based), 0 when it has no vowel.
  static int StressPosition(std::string_view word);
  // The spoken name of a character, empty when it has none.
  static std::string CharacterName(unsigned char c);
  // Ordinal words below 2000; feminine replaces each word's last letter by "a", plural appends
  // "s" to each word.
  static std::string OrdinalWords(long long n, bool feminine, bool plural);

  // Lookups, for tests and the coverage report.
  bool LookupException(std::string& word) const;
  const std::string* FindAbbreviation(std::string_view upper) const;
  std::string WordClass(std::string_view word) const;
  bool HasDiphone(std::string_view first, std::string_view second) const;
  int Duration(std::string_view phoneme) const;

  size_t rule_count() const;
  size_t exception_count() const { return exceptions_.size(); }
  size_t abbreviation_count() const { return abbreviations_.size(); }
  size_t diphone_count() const { return diphones_.size(); }
  double duration_factor() const { return duration_factor_; }
  double pitch_factor() const { return pitch_factor_; }

 private:
  struct Pattern {
    std::string previous, current, next;  // at most 3 characters; empty matches any class
    std::string digits;                   // 3 characters
  };

  std::string ReadDigitRun(std::string_view t, size_t& i) const;
  bool LeftHolds(std::string_view w, std::string_view context, int pos) const;
  bool RightHolds(std::string_view w, std::string_view context, int end) const;

  std::array<std::vector<PhoRule>, 224> chains_;  // by first match character, 32 to 255
  std::vector<std::pair<std::string, std::string>> exceptions_;     // sorted by word
  std::vector<std::pair<std::string, std::string>> abbreviations_;  // file order
  std::vector<std::pair<std::string, int>> durations_;              // file order
  std::vector<std::pair<std::string, std::string>> classes_;        // sorted by word
  std::vector<Pattern> patterns_;
  std::vector<std::string> diphones_;  // "a-b", sorted
  int hertz_ = 230;
  std::array<int, 10> tab_hertz_{};
  double duration_factor_ = 0.8;
  double pitch_factor_ = 1.0;
};

}  // namespace navelo
