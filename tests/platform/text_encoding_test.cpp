// Tests of the cp1252 <-> UTF-8 conversion at the edges.
#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace navelo {
namespace {

TEST(TextEncodingTest, EveryCp1252ByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("a\xE7\xE3o \x80"), "a\xC3\xA7\xC3\xA3o \xE2\x82\xAC");
}

TEST(TextEncodingTest, ForeignCharactersBecomeQuestionMarksAndBrokenBytesPassThrough) {
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD!"), "?!");         // a CJK character
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80"), "?");      // an emoji
  EXPECT_EQ(Utf8ToCp1252("caf\xE9"), "caf\xE9");         // already cp1252
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "\xC3");               // cut short
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "\xC0\xAF");       // overlong "/" is not a slash
  EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "\xED\xA0\x80");  // a lone surrogate
}

}  // namespace
}  // namespace navelo
