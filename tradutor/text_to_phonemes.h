// Text to phonemes: accented letters rewritten as base letters and marks, words looked up in the
// exceptions list, the stressed vowel found by the Portuguese stress rules, and each word turned
// into diphone units by context rules read from the rules file.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace navelo {

struct PhonemeRule {
  std::string left;    // at most 5 characters
  std::string match;   // 1 to 5
  std::string right;   // at most 5
  std::string output;  // at most 11
};

inline constexpr size_t kMaxExceptions = 15000;

// The lines of a data file, without their ends ("\n" or "\r\n"); no empty last line after a
// final end.
std::vector<std::string> SplitLines(std::string_view text);

// One line of a rules file, "left(match)right=output|comment", split into its parts: left and
// right cut to 5 characters, match to 5, output up to the "|" and not yet cut. Comment lines and
// lines without "(", ")" and "=" in that order give nothing.
std::optional<PhonemeRule> SplitRuleLine(std::string_view line);

class PhonemeRules {
 public:
  // Each returns false when the file cannot be opened. Loading empties what was loaded before.
  bool LoadRules(const std::filesystem::path& file);
  bool LoadExceptions(const std::filesystem::path& file);
  // The same, from the text of a file (lines ending in LF or CR LF).
  void SetRulesText(std::string_view text);
  void SetExceptionsText(std::string_view text);

  // The phoneme string of a run of text (cp1252): "[" + units + "]" for each word.
  std::string TextToPhonemes(std::string_view text) const;

  // The steps, for tests: the rewritten text, the exception lookup with s/m stripping (false when
  // not found), the stress mark on a lower-case word.
  static std::string RewriteText(std::string_view text);
  bool LookupException(std::string& word) const;
  static void MarkStress(std::string& word);

  size_t rule_count() const;
  size_t exception_count() const { return exceptions_.size(); }

 private:
  const std::string* FindException(std::string_view word) const;
  std::string WordToPhonemes(std::string word, int vowels, bool accent) const;
  bool LeftHolds(const std::string& w, std::string_view context, int pos) const;
  bool RightHolds(const std::string& w, std::string_view context, int pos) const;

  std::array<std::vector<PhonemeRule>, 64> chains_;  // by first match character, 32 to 95
  std::vector<std::pair<std::string, std::string>> exceptions_;  // sorted by word
};

}  // namespace navelo
