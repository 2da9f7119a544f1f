// URL splitting, redirect targets, percent-encoding and the progress report's numbers.
#include <gtest/gtest.h>

#include "net/http_download.h"
#include "net/url.h"

namespace navelo {
namespace {

TEST(UrlSplit, SchemeHostPortAndPath) {
  UrlParts u = UrlSplit("httpS://H/a?x=1");
  EXPECT_TRUE(u.secure);
  EXPECT_EQ(u.host, "H");
  EXPECT_EQ(u.port, 443);
  EXPECT_EQ(u.path, "/a?x=1");
  EXPECT_TRUE(u.valid);

  u = UrlSplit("http://H:8080/p");
  EXPECT_FALSE(u.secure);
  EXPECT_EQ(u.host, "H");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.path, "/p");

  u = UrlSplit("http://H");
  EXPECT_EQ(u.host, "H");
  EXPECT_EQ(u.port, 80);
  EXPECT_EQ(u.path, "/");

  // A colon in the path is not a port.
  u = UrlSplit("http://H/a:b/c");
  EXPECT_EQ(u.port, 80);
  EXPECT_EQ(u.path, "/a:b/c");

  u = UrlSplit("http://H?q=1");
  EXPECT_EQ(u.host, "H");
  EXPECT_EQ(u.path, "/?q=1");

  EXPECT_FALSE(UrlSplit("http://H:abc/").valid);
  EXPECT_FALSE(UrlSplit("http://H:70000/").valid);
  EXPECT_FALSE(UrlSplit("http://:80/").valid);
  EXPECT_TRUE(UrlSplit("H/x").valid);  // without a scheme: plain http
}

TEST(UrlSplit, PortsOfAnyLengthAreReadSafely) {
  // Digits beyond five are never added up (they would overflow); such ports are refused.
  EXPECT_FALSE(UrlSplit("http://h:99999999999999999999/x").valid);
  EXPECT_FALSE(UrlSplit("http://h:" + std::string(900, '9') + "/x").valid);
  EXPECT_FALSE(UrlSplit("http://h:123456/x").valid);
  EXPECT_FALSE(UrlSplit("http://h:80x/x").valid);
  EXPECT_FALSE(UrlSplit("http://h:-80/x").valid);
  EXPECT_FALSE(UrlSplit("http://h:0/x").valid);
  EXPECT_FALSE(UrlSplit("http://h:/x").valid);
  const UrlParts u = UrlSplit("http://h:08080/x");
  EXPECT_TRUE(u.valid);
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(UrlSplit("https://h:65535").port, 65535);
}

TEST(ResolveLocation, AbsoluteAndRelativeTargets) {
  const std::string base = "https://h:8443/a/b/c?q=1";
  EXPECT_EQ(ResolveLocation(base, "http://x/y"), "http://x/y");
  EXPECT_EQ(ResolveLocation(base, " //x/y "), "https://x/y");
  EXPECT_EQ(ResolveLocation(base, "/z"), "https://h:8443/z");
  EXPECT_EQ(ResolveLocation(base, "d?e=f"), "https://h:8443/a/b/d?e=f");
  EXPECT_EQ(ResolveLocation(base, "?r=2"), "https://h:8443/a/b/c?r=2");
  EXPECT_EQ(ResolveLocation("http://h", "x"), "http://h/x");
  // A path that merely contains "://" later on is relative.
  EXPECT_EQ(ResolveLocation("http://h/", "go?to=http://e"), "http://h/go?to=http://e");
}

TEST(PercentEncode, KeepsUnreservedBytesOnly) {
  EXPECT_EQ(PercentEncode("a b/\xE7"), "a%20b%2F%E7");
  EXPECT_EQ(PercentEncode("a b&c"), "a%20b%26c");
  EXPECT_EQ(PercentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(PercentEncode(std::string("\0\xFF", 2)), "%00%FF");
}

TEST(ProgressReport, GeneralFormatWithThreeDigits) {
  EXPECT_EQ(FormatGeneral3(45.67), "45,7");
  EXPECT_EQ(FormatGeneral3(100), "100");
  EXPECT_EQ(FormatGeneral3(0.5), "0,5");
  EXPECT_EQ(FormatGeneral3(1010), "1,01E03");
  EXPECT_EQ(FormatGeneral3(999.7), "1E03");
  EXPECT_EQ(FormatGeneral3(0.000001234), "1,23E-06");
  EXPECT_EQ(FormatGeneral3(0), "0");
  EXPECT_EQ(FormatGeneral3(1.0), "1");
}

TEST(ProgressReport, Sentences) {
  EXPECT_EQ(ProgressHead({true, 12345, 0}), "12345 bytes escritos em disco.");
  EXPECT_EQ(ProgressHead({false, 512, 2048}), "Recebidos: 25% de 2KB.");
  EXPECT_EQ(ProgressHead({false, 3 << 20, 6 << 20}), "Recebidos: 50% de 6MB.");
  EXPECT_EQ(ProgressHead({false, 1, 3}), "Recebidos: 33,3% de 3Bytes.");
  // The exponent of a tiny share is cut off.
  EXPECT_EQ(ProgressHead({false, 1, int64_t{5} << 30}), "Recebidos: 1,86% de 5GB.");
  EXPECT_EQ(ProgressAmount(500), "500 Bytes gravados.");
  EXPECT_EQ(ProgressAmount(1536), "1,5 KBytes gravados.");
  EXPECT_EQ(ProgressAmount(3 << 20), "3 MegaBytes gravados.");
  EXPECT_EQ(ProgressAmount(int64_t{3} << 30), "3 GigaBytes gravados.");
}

}  // namespace
}  // namespace navelo
