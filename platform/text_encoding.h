// Conversion between the runtime's cp1252 byte strings and UTF-8, used only at the edges
// (terminal, file names on disk, transcript, script files with a byte-order mark).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace navelo {

// Every cp1252 byte becomes its Unicode character in UTF-8. The five bytes that cp1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number, so the
// conversion is lossless and reversible.
std::string Cp1252ToUtf8(std::string_view bytes);

// Decodes UTF-8 into cp1252. A character that cp1252 cannot hold becomes '?', and an invalid
// UTF-8 sequence is taken byte by byte as if it were already cp1252, so no input is rejected.
std::string Utf8ToCp1252(std::string_view utf8);

// A path from a native path string. Native path strings are UTF-8 on every platform (as
// std::filesystem::path::string() gives them), but a path made from a narrow string takes it in
// the ANSI code page on Windows; this takes it as UTF-8 everywhere.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The Unicode code point of one cp1252 byte.
char32_t Cp1252ToCodePoint(unsigned char byte);

// The cp1252 byte of a code point, or -1 when cp1252 has none.
int CodePointToCp1252(char32_t code_point);

}  // namespace navelo
