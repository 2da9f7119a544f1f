// URL splitting, redirect resolution and percent-encoding.
#include "net/url.h"

namespace navelo {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

UrlParts UrlSplit(std::string_view url) {
  UrlParts parts;
  parts.secure = url.size() >= 5 && EqualsFolded(url.substr(0, 5), "HTTPS");
  std::string_view rest = url;
  const size_t separator = url.find("://");
  if (separator != std::string_view::npos) {
    parts.scheme = std::string(url.substr(0, separator));
    rest = url.substr(separator + 3);
  } else {
    parts.scheme = parts.secure ? "https" : "http";
  }
  if (rest.size() > 999) rest = rest.substr(0, 999);
  // The port is looked for in the host part only, so a ":" in the path stays in the path.
  const size_t path_start = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, path_start);
  if (path_start != std::string_view::npos) {
    parts.path = std::string(rest.substr(path_start));
    if (parts.path[0] == '?') parts.path.insert(0, "/");
  }
  parts.authority = std::string(authority);
  parts.port = parts.secure ? 443 : 80;
  const size_t colon = authority.find(':');
  parts.host = std::string(authority.substr(0, colon));
  bool port_ok = true;
  if (colon != std::string_view::npos) {
    const std::string_view port_text = authority.substr(colon + 1);
    // At most five digits are ever added up, so a port text of any length cannot overflow.
    int port = 0;
    port_ok = !port_text.empty() && port_text.size() <= 5;
    for (size_t i = 0; port_ok && i < port_text.size(); ++i) {
      const char c = port_text[i];
      if (c < '0' || c > '9') port_ok = false;
      else port = port * 10 + (c - '0');
    }
    if (port_ok && (port < 1 || port > 65535)) port_ok = false;
    if (port_ok) parts.port = static_cast<int>(port);
  }
  parts.valid = port_ok && !parts.host.empty();
  return parts;
}

std::string ResolveLocation(std::string_view current_url, std::string_view location) {
  location = TrimBlanks(location);
  const size_t scheme_end = location.find("://");
  if (scheme_end != std::string_view::npos &&
      location.substr(0, scheme_end).find_first_of("/?#") == std::string_view::npos) {
    return std::string(location);
  }
  const UrlParts base = UrlSplit(current_url);
  if (location.substr(0, 2) == "//") return base.scheme + ":" + std::string(location);
  const std::string origin = base.scheme + "://" + base.authority;
  if (location.empty()) return origin + base.path;
  if (location[0] == '/') return origin + std::string(location);
  std::string path = base.path.substr(0, base.path.find('?'));
  if (location[0] == '?') return origin + path + std::string(location);
  path.erase(path.rfind('/') + 1);
  return origin + path + std::string(location);
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

}  // namespace navelo
