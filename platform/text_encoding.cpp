// cp1252 <-> UTF-8 conversion tables and codecs.
#include "platform/text_encoding.h"

#include <array>

namespace navelo {
namespace {

// Code points of the bytes 0x80..0x9F; the rest of cp1252 equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

char32_t Cp1252ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

int CodePointToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == cp) return 0x80 + i;
  }
  return -1;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (unsigned char b : bytes) AppendUtf8(out, Cp1252ToCodePoint(b));
  return out;
}

std::string Utf8ToCp1252(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto lead = static_cast<unsigned char>(in[i]);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      cp = lead & 0x07;
    } else {
      extra = -1;
    }
    bool valid = extra > 0 && i + extra < in.size();
    if (valid) {
      for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(in[i + k]);
        if ((c & 0xC0) != 0x80) {
          valid = false;
          break;
        }
        cp = (cp << 6) | (c & 0x3F);
      }
    }
    // Overlong forms and surrogates are not characters: "\xC0\xAF" must never become "/".
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (valid && (cp < kSmallest[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) {
      valid = false;
    }
    if (!valid) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    const int byte = CodePointToCp1252(cp);
    out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    i += extra + 1;
  }
  return out;
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  std::u8string text(utf8.size(), u8'\0');
  for (size_t i = 0; i < utf8.size(); ++i) text[i] = static_cast<char8_t>(utf8[i]);
  try {
    return std::filesystem::path(text);
  } catch (const std::filesystem::filesystem_error&) {
    // Not UTF-8 after all (Windows refuses the conversion): the bytes as the platform takes them.
    return std::filesystem::path(std::string(utf8));
  }
}

}  // namespace navelo
