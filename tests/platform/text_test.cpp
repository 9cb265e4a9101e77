#include "configtool/platform/text.h"

#include <gtest/gtest.h>

namespace k470 {
namespace {

TEST(TextTest, Cp1252RoundTripsThroughUtf8) {
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(bytes)), bytes);
}

TEST(TextTest, GermanTextsAndSpecialCharactersConvert) {
  EXPECT_EQ(Cp1252ToUtf8("Anschlu\xDF \xE4\xF6\xFC \x80"), "Anschluß äöü €");
  EXPECT_EQ(Utf8ToCp1252("Anschluß äöü €"), "Anschlu\xDF \xE4\xF6\xFC \x80");
}

TEST(TextTest, CharactersWithoutASingleByteFormBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x82\xAC\xF0\x9F\x98\x80z"), "a\x80?z");
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");         // cut sequence
  EXPECT_EQ(Utf8ToCp1252("\xFF" "a"), "?a");    // not UTF-8 at all
  EXPECT_EQ(Utf8ToCp1252("\xC3" "a"), "?a");    // continuation missing
}

TEST(TextTest, TrimAndCaseRules) {
  EXPECT_EQ(TrimRight("ab \t\r\n"), "ab");
  EXPECT_EQ(TrimLeft("\r\n ab "), "ab ");
  EXPECT_TRUE(EqualsIgnoreCase("_u_s_b_", "_U_S_B_"));
  EXPECT_FALSE(EqualsIgnoreCase("COM1", "COM10"));
  EXPECT_TRUE(StartsWithIgnoreCase("com12", "COM1"));
  EXPECT_EQ(Format("%s, Version %i.%03i%c", "K470prop", 1, 23, 'a'), "K470prop, Version 1.023a");
}

}  // namespace
}  // namespace k470
