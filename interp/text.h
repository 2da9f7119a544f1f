// Byte-string operations of the language: trimming, case folding, the 1-based substring, delete,
// insert and position rules, and the integer rule shared by every command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace navelo {

// Removes every byte with a code up to 32 at both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
void TrimInPlace(std::string& text);

// a-z become A-Z and every byte above 223 is lowered by 32; nothing else changes.
unsigned char FoldUpperByte(unsigned char c);
std::string FoldUpper(std::string_view text);

// True when the folded front of text equals word (word given already folded).
bool StartsWithFolded(std::string_view text, std::string_view word);

// Substring from 1-based position p of c bytes: p < 1 counts as 1, p past the end or c <= 0 gives
// the empty text, and the end of the text ends it.
std::string SubText(std::string_view text, int64_t p, int64_t c);
// Deletes c bytes at position p: nothing when p < 1, p past the end or c <= 0.
void DeleteText(std::string& text, int64_t p, int64_t c);
// Inserts at position p: p < 1 inserts at the front, past the end appends.
void InsertText(std::string& text, int64_t p, std::string_view what);
// 1-based start of the first occurrence of needle in haystack; 0 when absent or either is empty.
int64_t PositionOf(std::string_view needle, std::string_view haystack);

// The integer rule: optional leading blanks, an optional sign, then decimal digits or a
// hexadecimal number introduced by "$", "x", "X", "0x" or "0X"; nothing may follow and the value
// must fit in 32 signed bits.
std::optional<int32_t> ParseInteger(std::string_view text);

// Decimal text of a number.
std::string DecimalText(int64_t n);

}  // namespace navelo
