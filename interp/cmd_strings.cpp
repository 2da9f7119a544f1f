// The string, number and encoding commands: arithmetic on decimal texts, substrings, deletion and
// replacement, UTF-8, Base64 and quoted-printable conversions, and file sizes.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "interp/interpreter.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Files are read and written in blocks of this size so that memory stays bounded for big files.
constexpr size_t kFileBlock = 1024;

// The Base64 files hold lines of this many characters, each ended by CR LF.
constexpr size_t kBase64LineLength = 64;

// A SUBSTITUI whose result would grow past this size fails instead of exhausting memory: an
// empty old text with a long new one multiplies the text, and the script gets no use out of a
// text that large.
constexpr size_t kMaxReplaceResult = size_t{64} << 20;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The language computes in signed 32 bits with wrap-around; the exact result, which always fits
// in 64 bits for two 32-bit operands, is brought back into range here.
int32_t Wrap32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---- Base64 ----

// Appends four characters for every complete group of three bytes and returns how many bytes
// at the end were left over (0, 1 or 2).
size_t EncodeBase64Groups(std::string_view bytes, std::string& out) {
  const size_t whole = bytes.size() - bytes.size() % 3;
  for (size_t i = 0; i < whole; i += 3) {
    const uint32_t group = (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16) |
                           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64Alphabet[(group >> 18) & 63];
    out += kBase64Alphabet[(group >> 12) & 63];
    out += kBase64Alphabet[(group >> 6) & 63];
    out += kBase64Alphabet[group & 63];
  }
  return bytes.size() - whole;
}

// Appends the last one or two bytes as two or three characters padded with "=" to four.
void EncodeBase64Tail(std::string_view tail, std::string& out) {
  if (tail.empty()) return;
  const uint32_t first = static_cast<unsigned char>(tail[0]);
  const uint32_t second = tail.size() > 1 ? static_cast<unsigned char>(tail[1]) : 0;
  const uint32_t group = (first << 16) | (second << 8);
  out += kBase64Alphabet[(group >> 18) & 63];
  out += kBase64Alphabet[(group >> 12) & 63];
  out += tail.size() > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=';
  out += '=';
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  const size_t rest = EncodeBase64Groups(bytes, out);
  EncodeBase64Tail(bytes.substr(bytes.size() - rest), out);
  return out;
}

constexpr std::array<int8_t, 256> MakeBase64Values() {
  std::array<int8_t, 256> values{};
  for (auto& v : values) v = -1;
  for (size_t i = 0; i < kBase64Alphabet.size(); ++i) {
    values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<int8_t>(i);
  }
  return values;
}
constexpr std::array<int8_t, 256> kBase64Values = MakeBase64Values();

// Decodes Base64 character by character, so that texts and files share it. Characters outside
// the alphabet are skipped; the caller stops at "=".
class Base64Decoder {
 public:
  void Add(char c, std::string& out) {
    const int value = kBase64Values[static_cast<unsigned char>(c)];
    if (value < 0) return;
    bits_ = (bits_ << 6) | static_cast<uint32_t>(value);
    if (++count_ == 4) {
      out += static_cast<char>((bits_ >> 16) & 0xFF);
      out += static_cast<char>((bits_ >> 8) & 0xFF);
      out += static_cast<char>(bits_ & 0xFF);
      bits_ = 0;
      count_ = 0;
    }
  }

  // A last group of two characters gives one byte, of three gives two; a single character
  // carries too few bits for a byte and is dropped.
  void Finish(std::string& out) {
    if (count_ == 2) {
      out += static_cast<char>((bits_ >> 4) & 0xFF);
    } else if (count_ == 3) {
      out += static_cast<char>((bits_ >> 10) & 0xFF);
      out += static_cast<char>((bits_ >> 2) & 0xFF);
    }
    bits_ = 0;
    count_ = 0;
  }

 private:
  uint32_t bits_ = 0;
  int count_ = 0;
};

std::string DecodeBase64(std::string_view text) {
  std::string out;
  Base64Decoder decoder;
  for (char c : text) {
    if (c == '=') break;
    decoder.Add(c, out);
  }
  decoder.Finish(out);
  return out;
}

// ---- The other in-place conversions ----

// UTF-8 to the ANSI code page. Only well-formed sequences are decoded: an overlong form
// ("\xC0\x8A" must never become a line end), a surrogate, a code above U+10FFFF, a cut
// sequence or a stray continuation byte is not a character, and each of its bytes stands for
// itself, as the cp1252 text it most likely is. A character that cp1252 lacks becomes "?";
// U+0080..U+009F keep their low byte, the cp1252 character that pages encode that way by mistake.
std::string Utf8PairsToAnsi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07;
    }
    bool valid = extra > 0 && i + extra < text.size();
    for (size_t k = 1; valid && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (c & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (valid && (code < kSmallest[extra] || (code >= 0xD800 && code <= 0xDFFF) ||
                  code > 0x10FFFF)) {
      valid = false;
    }
    if (!valid) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    const int byte = code <= 0xFF ? static_cast<int>(code) : CodePointToCp1252(code);
    out += byte < 0 ? '?' : static_cast<char>(byte);
    i += extra + 1;
  }
  return out;
}

std::string QuotedEncode(std::string_view text) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 32 || b == '=' || b >= 127) {
      out += '=';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string QuotedDecode(std::string_view text) {
  // A trailing "=" is the soft line break of the encoding and carries no byte.
  if (!text.empty() && text.back() == '=') text.remove_suffix(1);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=' && i + 2 < text.size()) {
      const int high = HexDigitValue(text[i + 1]);
      const int low = HexDigitValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// The in-place commands read their one argument twice: as a value to convert and as the
// variable that receives the result, so only a variable is accepted.
bool ConvertInPlace(Interpreter& in, std::string& args, std::string (*convert)(std::string_view)) {
  std::string value_text = args;
  std::string value;
  if (!TakeValue(in, value_text, value)) return false;
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = convert(value);
  return true;
}

bool Utf8ParaAnsi(Interpreter& in, std::string& args) {
  return ConvertInPlace(in, args, Utf8PairsToAnsi);
}
bool AnsiParaUtf8(Interpreter& in, std::string& args) {
  return ConvertInPlace(in, args, Cp1252ToUtf8);
}
bool CodBase64(Interpreter& in, std::string& args) {
  return ConvertInPlace(in, args, EncodeBase64);
}
bool DecodBase64(Interpreter& in, std::string& args) {
  return ConvertInPlace(in, args, DecodeBase64);
}
bool AdQuoted(Interpreter& in, std::string& args) {
  return ConvertInPlace(in, args, QuotedEncode);
}
bool RemoveQuoted(Interpreter& in, std::string& args) {
  return ConvertInPlace(in, args, QuotedDecode);
}

// ---- Arithmetic ----

bool Soma(Interpreter& in, std::string& args) {
  int slot = 0;
  std::string value;
  if (!TakeVariable(in, args, slot) || !TakeValue(in, args, value)) return false;
  const std::optional<int32_t> addend = ParseInteger(value);
  if (!addend) return false;
  // The number is the run of digits at the end, with a "-" right before it; whatever precedes
  // it is kept as a prefix, so counters embedded in names ("arq9") step too.
  std::string& text = in.vars.Slot(slot);
  size_t split = text.size();
  while (split > 0 && IsDigit(text[split - 1])) --split;
  if (split > 0 && text[split - 1] == '-') --split;
  const int32_t number = ParseInteger(std::string_view(text).substr(split)).value_or(0);
  text.resize(split);
  text += DecimalText(Wrap32(int64_t{number} + *addend));
  return true;
}

enum class ArithmeticOp { kSubtract, kMultiply, kDivide };

bool Arithmetic(Interpreter& in, std::string& args, ArithmeticOp op) {
  int slot = 0;
  if (!TakeVariable(in, args, slot) || args.empty()) return false;
  const std::optional<int32_t> left = ParseInteger(in.vars.Slot(slot));
  if (!left) return false;
  std::string value;
  if (!TakeValue(in, args, value)) return false;
  const std::optional<int32_t> right = ParseInteger(value);
  if (!right) return false;
  int64_t result = 0;
  switch (op) {
    case ArithmeticOp::kSubtract:
      result = int64_t{*left} - *right;
      break;
    case ArithmeticOp::kMultiply:
      result = int64_t{*left} * *right;
      break;
    case ArithmeticOp::kDivide:
      if (*right == 0) {
        SayLine(in, "Divisão por zero");
        return false;
      }
      // Computed in 64 bits, so the one overflowing quotient, -2147483648 / -1, wraps back to
      // -2147483648 like every other overflow of the language instead of trapping.
      result = int64_t{*left} / *right;
      break;
  }
  in.vars.Slot(slot) = DecimalText(Wrap32(result));
  // Trailing text fails the command, but only after the result has been stored.
  return args.empty();
}

bool Subtrai(Interpreter& in, std::string& args) {
  return Arithmetic(in, args, ArithmeticOp::kSubtract);
}
bool Multiplica(Interpreter& in, std::string& args) {
  return Arithmetic(in, args, ArithmeticOp::kMultiply);
}
bool Divide(Interpreter& in, std::string& args) {
  return Arithmetic(in, args, ArithmeticOp::kDivide);
}

// ---- Texts ----

bool Concatena(Interpreter& in, std::string& args) {
  int slot = 0;
  std::string value;
  if (!TakeVariable(in, args, slot) || !TakeValue(in, args, value) || !args.empty()) return false;
  in.vars.Slot(slot) += value;
  return true;
}

// Reads a value and takes it, trimmed, as an integer.
std::optional<int32_t> TakeTrimmedInteger(Interpreter& in, std::string& args) {
  std::string value;
  if (!TakeValue(in, args, value)) return std::nullopt;
  return ParseInteger(TrimView(value));
}

bool Copia(Interpreter& in, std::string& args) {
  int target = 0;
  int source = 0;
  if (!TakeVariable(in, args, target) || !TakeVariable(in, args, source)) return false;
  const std::optional<int32_t> from = TakeTrimmedInteger(in, args);
  if (!from) return false;
  const std::optional<int32_t> to = TakeTrimmedInteger(in, args);
  if (!to) return false;
  in.vars.Slot(target) = SubText(in.vars.Slot(source), *from, int64_t{*to} - *from + 1);
  return true;
}

bool Deleta(Interpreter& in, std::string& args) {
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  const std::optional<int32_t> from = TakeTrimmedInteger(in, args);
  if (!from) return false;
  const std::optional<int32_t> count = TakeTrimmedInteger(in, args);
  if (!count) return false;
  DeleteText(in.vars.Slot(slot), *from, *count);
  return true;
}

// Replaces old by new at every position from the last possible one down to the first, each test
// made on the text as changed so far; so a replacement can join the bytes to its left into a new
// occurrence, and an empty old matches at every position. The scanned part is kept reversed, so
// that both the window at the scan position and the byte that the scan takes in from the left
// sit at its back, and each step costs no more than the bytes it compares or writes.
// Gives nothing when the result would grow past kMaxReplaceResult.
std::optional<std::string> ReplaceFromRight(std::string_view text, std::string_view old_text,
                                            std::string_view new_text) {
  const size_t width = old_text.size();
  if (width > text.size()) return std::string(text);
  const std::string old_reversed(old_text.rbegin(), old_text.rend());
  const std::string new_reversed(new_text.rbegin(), new_text.rend());
  const size_t limit = std::max(kMaxReplaceResult, text.size());
  // An empty old matches at every one of the size + 1 positions, so its result size is known
  // before any work is done.
  if (width == 0 && !new_text.empty() &&
      (text.size() + 1 > (limit - text.size()) / new_text.size())) {
    return std::nullopt;
  }
  std::string scanned(text.rbegin(), text.rbegin() + static_cast<std::ptrdiff_t>(width));
  scanned.reserve(width == 0 ? text.size() + (text.size() + 1) * new_text.size() : text.size());
  size_t unscanned = text.size() - width;
  for (;;) {
    if (scanned.size() >= width &&
        std::equal(old_reversed.begin(), old_reversed.end(), scanned.end() - static_cast<std::ptrdiff_t>(width))) {
      scanned.resize(scanned.size() - width);
      if (unscanned + scanned.size() + new_reversed.size() > limit) return std::nullopt;
      scanned += new_reversed;
    }
    if (unscanned == 0) break;
    scanned += text[--unscanned];
  }
  std::reverse(scanned.begin(), scanned.end());
  return scanned;
}

bool Substitui(Interpreter& in, std::string& args) {
  int slot = 0;
  std::string old_text;
  std::string new_text;
  if (!TakeVariable(in, args, slot) || !TakeValue(in, args, old_text) ||
      !TakeValue(in, args, new_text)) {
    return false;
  }
  std::optional<std::string> result = ReplaceFromRight(in.vars.Slot(slot), old_text, new_text);
  if (!result) return false;
  in.vars.Slot(slot) = std::move(*result);
  return true;
}

// ---- Files ----

// Directories and missing paths do not count as files.
bool IsExistingFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// Reads the two file names of the Base64 file commands and checks that the source exists.
bool TakeSourceAndTarget(Interpreter& in, std::string& args, std::filesystem::path& source,
                         std::filesystem::path& target) {
  std::string source_name;
  std::string target_name;
  if (!TakeValue(in, args, source_name) || !TakeValue(in, args, target_name)) return false;
  source = in.svc.host.Resolve(source_name);
  target = in.svc.host.Resolve(target_name);
  return IsExistingFile(source);
}

// Writes every complete line held in `pending` and keeps the incomplete rest.
void WriteBase64Lines(std::ofstream& out, std::string& pending) {
  size_t at = 0;
  for (; pending.size() - at >= kBase64LineLength; at += kBase64LineLength) {
    out.write(pending.data() + at, static_cast<std::streamsize>(kBase64LineLength));
    out.write("\r\n", 2);
  }
  pending.erase(0, at);
}

bool CodArqBase64(Interpreter& in, std::string& args) {
  std::filesystem::path source_path;
  std::filesystem::path target_path;
  if (!TakeSourceAndTarget(in, args, source_path, target_path)) return false;
  std::ifstream source(source_path, std::ios::binary);
  if (!source) return false;
  std::ofstream target(target_path, std::ios::binary | std::ios::trunc);
  if (!target) return false;

  std::array<char, kFileBlock> block{};
  std::string held;     // up to two bytes waiting for the rest of their group
  std::string pending;  // encoded characters not yet written as a full line
  for (;;) {
    source.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<size_t>(source.gcount());
    if (got == 0) break;
    held.append(block.data(), got);
    const size_t rest = EncodeBase64Groups(held, pending);
    held.erase(0, held.size() - rest);
    WriteBase64Lines(target, pending);
    if (!target) return false;
  }
  if (source.bad()) return false;
  EncodeBase64Tail(held, pending);
  WriteBase64Lines(target, pending);
  if (!pending.empty()) {
    target.write(pending.data(), static_cast<std::streamsize>(pending.size()));
    target.write("\r\n", 2);
  }
  target.close();
  return !target.fail();
}

bool DecodArqBase64(Interpreter& in, std::string& args) {
  std::filesystem::path source_path;
  std::filesystem::path target_path;
  if (!TakeSourceAndTarget(in, args, source_path, target_path)) return false;
  std::ifstream source(source_path, std::ios::binary);
  if (!source) return false;
  std::ofstream target(target_path, std::ios::binary | std::ios::trunc);
  if (!target) return false;

  std::array<char, kFileBlock> block{};
  std::string decoded;
  decoded.reserve(kFileBlock + 3);
  Base64Decoder decoder;
  bool ended = false;
  while (!ended) {
    source.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<size_t>(source.gcount());
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      if (block[i] == '=') {
        ended = true;
        break;
      }
      decoder.Add(block[i], decoded);
    }
    if (decoded.size() >= kFileBlock) {
      target.write(decoded.data(), static_cast<std::streamsize>(decoded.size()));
      decoded.clear();
    }
  }
  decoder.Finish(decoded);
  target.write(decoded.data(), static_cast<std::streamsize>(decoded.size()));
  target.close();
  return !source.bad() && !target.fail();
}

// The size of a readable regular file; nothing when it cannot be opened.
std::optional<uintmax_t> FileSize(const std::filesystem::path& path) {
  if (!IsExistingFile(path)) return std::nullopt;
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return std::nullopt;
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

bool TakeFileSize(Interpreter& in, std::string& args, uintmax_t& size, int& slot) {
  std::string name;
  if (!TakeValue(in, args, name) || !TakeVariable(in, args, slot)) return false;
  const std::optional<uintmax_t> found = FileSize(in.svc.host.Resolve(name));
  if (!found) return false;
  size = *found;
  return true;
}

bool TamArq(Interpreter& in, std::string& args) {
  uintmax_t size = 0;
  int slot = 0;
  if (!TakeFileSize(in, args, size, slot)) return false;
  in.vars.Slot(slot) = std::to_string(size);
  return true;
}

// Two decimals with the comma as the decimal separator, since the runtime speaks to a
// Portuguese host, and a unit whose spacing ("500,00 B", "1,50KB") is part of what scripts show.
std::string ReadableSize(uintmax_t bytes) {
  static constexpr std::array<std::string_view, 5> kUnits = {" B", "KB", " MB", "GB", " TB"};
  double size = static_cast<double>(bytes);
  size_t divisions = 0;
  while (size >= 1024) {
    size /= 1024;
    ++divisions;
  }
  std::array<char, 32> buffer{};
  // to_chars ignores the C locale, so the separator is always the one replaced here.
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), size,
                                    std::chars_format::fixed, 2);
  std::string text(buffer.data(), result.ptr);
  std::replace(text.begin(), text.end(), '.', ',');
  if (divisions < kUnits.size()) text += kUnits[divisions];
  return text;
}

bool HTamArq(Interpreter& in, std::string& args) {
  uintmax_t size = 0;
  int slot = 0;
  if (!TakeFileSize(in, args, size, slot)) return false;
  in.vars.Slot(slot) = ReadableSize(size);
  return true;
}

constexpr CommandEntry kStringCommands[] = {
    {"SOMA", Soma},
    {"SUBTRAI", Subtrai},
    {"MULTIPLICA", Multiplica},
    {"DIVIDE", Divide},
    {"CONCATENA", Concatena},
    {"COPIA", Copia},
    {"DELETA", Deleta},
    {"SUBSTITUI", Substitui},
    {"UTF8PARAANSI", Utf8ParaAnsi},
    {"ANSIPARAUTF8", AnsiParaUtf8},
    {"CODBASE64", CodBase64},
    {"DECODBASE64", DecodBase64},
    {"CODARQBASE64", CodArqBase64},
    {"DECODARQBASE64", DecodArqBase64},
    {"REMOVEQUOTED", RemoveQuoted},
    {"ADQUOTED", AdQuoted},
    {"TAMARQ", TamArq},
    {"HTAMARQ", HTamArq},
};

}  // namespace

std::span<const CommandEntry> StringCommands() { return kStringCommands; }

}  // namespace navelo
