// Parser of the NAVELO_KEYS key file.
#include "console/key_script.h"

#include <cctype>
#include <cstdlib>

#include "console/key_codes.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The bytes of one character key (cp1252 byte c) with modifiers; a letter typed with Ctrl is
// marked as such in mods.
std::string CharacterKeyBytes(unsigned char c, KeyModifiers& mods) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  const bool digit = c >= '0' && c <= '9';
  if (mods.ctrl && mods.alt && (letter || digit)) {
    return std::string{'\0', static_cast<char>(CtrlAltCode(c))};
  }
  if (mods.ctrl && letter) {
    mods.letter = true;
    return std::string(1, static_cast<char>((c | 32) - 'a' + 1));
  }
  // Ctrl+[ \ ] ^ _ type the control bytes 27 to 31.
  if (mods.ctrl && !mods.alt && (c == '[' || c == '\\' || c == ']' || c == '^' || c == '_')) {
    return std::string(1, static_cast<char>(c & 31));
  }
  if (mods.shift && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
  return std::string(1, static_cast<char>(c));
}

}  // namespace

std::string SpecialKeyBytes(std::string_view name, const KeyModifiers& mods) {
  if (EqualsNoCase(name, "Enter")) return std::string(1, mods.ctrl ? 10 : 13);
  if (EqualsNoCase(name, "Esc")) return "\x1B";
  if (EqualsNoCase(name, "Tab")) return "\t";
  if (EqualsNoCase(name, "Backspace")) return std::string(1, static_cast<char>(mods.ctrl ? 127 : 8));
  if (EqualsNoCase(name, "Space")) return " ";
  for (const auto& key : kExtendedKeys) {
    if (EqualsNoCase(name, key.name)) {
      return std::string{'\0', static_cast<char>(ExtendedCode(key, mods))};
    }
  }
  return {};
}

KeyScriptResult ParseKeyScript(std::string_view text) {
  KeyScriptResult result;
  const std::string bytes = Utf8ToCp1252(text);
  int pending_wait = -1;
  auto add = [&](ScriptedKey key) {
    key.wait_ms = pending_wait;
    pending_wait = -1;
    result.keys.push_back(std::move(key));
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r' || c == '\n') continue;
    if (c != '{') {
      ScriptedKey key;
      key.modifiers.shift = c >= 'A' && c <= 'Z';
      key.bytes = CharacterKeyBytes(c, key.modifiers);
      add(std::move(key));
      continue;
    }
    if (i + 1 < bytes.size() && bytes[i + 1] == '{') {
      ScriptedKey key;
      key.bytes = "{";
      add(std::move(key));
      ++i;
      continue;
    }
    const size_t close = bytes.find('}', i + 1);
    if (close == std::string::npos) {
      result.error = "chave sem fim: " + bytes.substr(i);
      return result;
    }
    std::string_view body = std::string_view(bytes).substr(i + 1, close - i - 1);
    i = close;
    if (body.size() > 5 && EqualsNoCase(body.substr(0, 5), "wait ")) {
      pending_wait = std::atoi(std::string(body.substr(5)).c_str());
      if (pending_wait < 0) pending_wait = 0;
      continue;
    }
    if (EqualsNoCase(body, "close")) {
      ScriptedKey key;
      key.kind = ScriptedKey::Kind::kClose;
      add(std::move(key));
      continue;
    }
    ScriptedKey key;
    for (;;) {
      const size_t plus = body.find('+');
      if (plus == std::string_view::npos || plus + 1 == body.size()) break;
      const std::string_view mod = body.substr(0, plus);
      if (EqualsNoCase(mod, "Shift")) {
        key.modifiers.shift = true;
      } else if (EqualsNoCase(mod, "Ctrl")) {
        key.modifiers.ctrl = true;
      } else if (EqualsNoCase(mod, "Alt")) {
        key.modifiers.alt = true;
      } else {
        break;
      }
      body.remove_prefix(plus + 1);
    }
    if (body.size() == 1) {
      key.bytes = CharacterKeyBytes(static_cast<unsigned char>(body[0]), key.modifiers);
    } else {
      key.bytes = SpecialKeyBytes(body, key.modifiers);
    }
    if (key.bytes.empty()) {
      result.error = "tecla desconhecida: {" + std::string(body) + "}";
      return result;
    }
    add(std::move(key));
  }
  return result;
}

}  // namespace navelo
