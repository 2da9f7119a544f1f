// URLs of the download: splitting one into scheme, host, port and path, resolving the target of
// a redirect, and percent-encoding a text for use in a URL.
#pragma once

#include <string>
#include <string_view>

namespace navelo {

struct UrlParts {
  bool secure = false;    // the scheme is https, in any letter case
  std::string scheme;     // as written ("http" when the URL has none)
  std::string authority;  // host and port as written
  std::string host;
  int port = 80;          // 443 for https without a port
  std::string path = "/"; // from the first "/" after the host, query included
  bool valid = false;     // false when the port is not a number from 1 to 65535 or no host
};

UrlParts UrlSplit(std::string_view url);

// The URL a Location value leads to from the current URL: absolute URLs as they are, and
// "//host/path", "/path", "path" and "?query" resolved against the current one.
std::string ResolveLocation(std::string_view current_url, std::string_view location);

// Letters, digits, "-", ".", "_" and "~" pass; every other byte becomes "%" and two upper-case
// hexadecimal digits.
std::string PercentEncode(std::string_view text);

}  // namespace navelo
