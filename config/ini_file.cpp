// Private-profile reading and writing: the file is split into lines that keep their exact bytes,
// looked up with the host platform's matching rules, edited, and replaced whole.
#include "config/ini_file.h"

#include <exception>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "platform/text_encoding.h"

namespace navelo {
namespace fs = std::filesystem;
namespace {

constexpr size_t kMaxValue = 49999;  // the 50 000-byte value buffer less its terminating zero
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n", "\r", or empty for a last line without one
};

// A file that starts with a UTF-8 byte-order mark holds UTF-8 text (as an editor may save it);
// names and values are converted at the boundary so callers always deal in cp1252.
struct Document {
  bool utf8 = false;
  std::vector<Line> lines;

  // The line end new lines get: the file's own, or CR LF for a file that has none yet.
  std::string LineEnd() const {
    for (const Line& line : lines)
      if (!line.end.empty()) return line.end;
    return "\r\n";
  }
};

Document Split(std::string_view data) {
  Document doc;
  if (data.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
    doc.utf8 = true;
    data.remove_prefix(kUtf8Mark.size());
  }
  while (!data.empty()) {
    const size_t cut = data.find_first_of("\r\n");
    if (cut == std::string_view::npos) {
      doc.lines.push_back({std::string(data), ""});
      break;
    }
    const size_t len = data.compare(cut, 2, "\r\n") == 0 ? 2 : 1;
    doc.lines.push_back({std::string(data.substr(0, cut)), std::string(data.substr(cut, len))});
    data.remove_prefix(cut + len);
  }
  return doc;
}

std::string Join(const Document& doc) {
  std::string out = doc.utf8 ? std::string(kUtf8Mark) : std::string();
  for (const Line& line : doc.lines) out += line.text + line.end;
  return out;
}

std::string_view Trim(std::string_view s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

// Names that could not be written without changing the meaning of the file, and so can never
// be found in one either.
bool ValidSection(std::string_view name) {
  return !name.empty() && name.find_first_of("]\r\n") == std::string_view::npos;
}
bool ValidKey(std::string_view name) {
  return !name.empty() && name[0] != '[' && name[0] != ';' &&
         name.find_first_of("=\r\n") == std::string_view::npos;
}

enum class Kind { kOther, kSection, kKey };
struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;
  std::string_view value;
};

Parsed Parse(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty() || t[0] == ';') return {};
  if (t[0] == '[') {
    // A header ends at its first "]"; what follows is ignored. A "[" line without "]" is
    // skipped like any other line that is not a key, so the keys after it stay in the section
    // before it rather than being lost to a section nobody can name.
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return {};
    return {Kind::kSection, Trim(t.substr(1, close - 1)), {}};
  }
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return {};
  const std::string_view name = Trim(t.substr(0, eq));
  if (name.empty()) return {};
  return {Kind::kKey, name, Trim(t.substr(eq + 1))};
}

// Where a key is, by line index (-1: none). Only the first section of the name counts, and in
// it the first key of the name; keys before any section header belong to no section.
struct Location {
  int section = -1;
  int key = -1;
  int last_key = -1;  // the section's last key line, where a new key goes
};

Location Find(const Document& doc, std::string_view section, std::string_view key) {
  Location loc;
  bool inside = false;
  for (int i = 0; i < static_cast<int>(doc.lines.size()); ++i) {
    const Parsed p = Parse(doc.lines[i].text);
    if (p.kind == Kind::kSection) {
      if (inside) break;
      inside = IniSameName(p.name, section);
      if (inside) loc.section = i;
    } else if (p.kind == Kind::kKey && inside) {
      loc.last_key = i;
      if (loc.key < 0 && IniSameName(p.name, key)) loc.key = i;
    }
  }
  return loc;
}

// False when the file is missing or cannot be read. The stream library reports a read error
// (a folder in place of the file, a failing disk) by throwing, hence the catch.
bool ReadWhole(const fs::path& file, std::string& data) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  try {
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    data.clear();
    return false;
  }
  return !in.bad();
}

std::string TempName(const fs::path& target) {
  unsigned long long salt = 0;
  try {
    std::random_device device;
    salt = (static_cast<unsigned long long>(device()) << 32) ^ device();
  } catch (const std::exception&) {
    salt = static_cast<unsigned long long>(std::hash<std::string>{}(target.string()));
  }
  char hex[17];
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int i = 15; i >= 0; --i, salt >>= 4) hex[i] = kDigits[salt & 15];
  hex[16] = '\0';
  return "." + target.filename().string() + "." + hex + ".tmp";
}

// Writes data to a new file beside the target and renames it over the target, so that a reader
// sees either the old file or the new one. The folder must exist: the host platform does not
// create folders for a profile write either.
bool ReplaceFile(const fs::path& target, const std::string& data) {
  std::error_code ec;
  fs::path real = target;
  // Writing through a symbolic link keeps the link and changes the file it points to.
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) real = resolved;
  }
  const fs::path temp = real.parent_path() / TempName(real);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  const fs::file_status old = fs::status(real, ec);
  if (!ec && fs::exists(old)) fs::permissions(temp, old.permissions(), ec);
  fs::rename(temp, real, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace

bool IniSameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string IniRead(const fs::path& file, std::string_view section, std::string_view key,
                    std::string_view default_value) {
  section = Trim(section);
  key = Trim(key);
  std::string data;
  if (!ValidSection(section) || !ValidKey(key) || !ReadWhole(file, data))
    return std::string(default_value);
  const Document doc = Split(data);
  const std::string sec = doc.utf8 ? Cp1252ToUtf8(section) : std::string(section);
  const std::string name = doc.utf8 ? Cp1252ToUtf8(key) : std::string(key);
  const Location loc = Find(doc, sec, name);
  if (loc.key < 0) return std::string(default_value);

  std::string_view value = Parse(doc.lines[loc.key].text).value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  std::string out = doc.utf8 ? Utf8ToCp1252(value) : std::string(value);
  if (out.size() > kMaxValue) out.resize(kMaxValue);
  return out;
}

bool IniWrite(const fs::path& file, std::string_view section, std::string_view key,
              std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!ValidSection(section) || !ValidKey(key)) return false;
  // Values are single lines: a line break would turn the rest into lines of their own.
  value = value.substr(0, value.find_first_of("\r\n"));

  std::string data;
  const bool existed = ReadWhole(file, data);
  std::error_code ec;
  // A file that is there but cannot be read must not be replaced by one holding just this key.
  if (!existed && fs::status(file, ec).type() != fs::file_type::not_found) return false;
  Document doc = Split(data);
  auto encode = [&doc](std::string_view s) {
    return doc.utf8 ? Cp1252ToUtf8(s) : std::string(s);
  };
  const std::string sec = encode(section), name = encode(key), text = encode(value);
  const std::string end = doc.LineEnd();
  const Location loc = Find(doc, sec, name);

  if (loc.key >= 0) {
    // The key keeps the spelling the file gave it.
    doc.lines[loc.key].text = std::string(Parse(doc.lines[loc.key].text).name) + "=" + text;
  } else if (loc.section >= 0) {
    const int after = loc.last_key >= 0 ? loc.last_key : loc.section;
    if (doc.lines[after].end.empty()) doc.lines[after].end = end;
    doc.lines.insert(doc.lines.begin() + after + 1, Line{name + "=" + text, end});
  } else {
    if (!doc.lines.empty()) {
      if (doc.lines.back().end.empty()) doc.lines.back().end = end;
      if (!Trim(doc.lines.back().text).empty()) doc.lines.push_back({"", end});
    }
    doc.lines.push_back({"[" + sec + "]", end});
    doc.lines.push_back({name + "=" + text, end});
  }

  const std::string out = Join(doc);
  if (existed && out == data) return true;
  return ReplaceFile(file, out);
}

}  // namespace navelo
