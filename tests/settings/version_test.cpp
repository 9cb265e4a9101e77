#include "configtool/platform/version.h"

#include <gtest/gtest.h>

namespace k470 {
namespace {

TEST(VersionTest, TextFromTheFourNumbers) {
  struct Case {
    uint16_t a, b, c, d;
    const char* text;
  };
  const Case cases[] = {
      {1, 23, 0, 0, "Version 1.023 "},  // no letter: the caller's blank stays
      {1, 23, 0, 2, "Version 1.023b"},
      {1, 23, 0, 1, "Version 1.023a"},
      {1, 23, 99, 1, "Version 1.023a"},  // the third number is not shown
      {2, 5, 0, 26, "Version 2.005z"},
      {0, 0, 0, 0, "Version 0.000 "},
      {12, 1234, 0, 0, "Version 12.1234 "},
      {1, 0, 0, 0x101, "Version 1.000a"},  // only the low 8 bits make the letter
  };
  for (const auto& c : cases) EXPECT_EQ(VersionText(c.a, c.b, c.c, c.d), c.text);
}

TEST(VersionTest, FieldsLeaveTheCallersLetterWhenThereIsNone) {
  uint32_t ms = 0;
  char letter = '#';
  VersionFields({3, 7, 9, 0}, ms, letter);
  EXPECT_EQ(ms, 0x00030007u);
  EXPECT_EQ(letter, '#');
  VersionFields({3, 7, 9, 3}, ms, letter);
  EXPECT_EQ(letter, 'c');
  EXPECT_EQ(FormatAboutVersion("K470prop", ms, letter), "K470prop, Version 3.007c");
  // A letter outside ASCII would not be valid UTF-8.
  EXPECT_EQ(FormatVersion(ms, static_cast<char>(0xE4)), "Version 3.007?");
}

TEST(VersionTest, ProgramVersionComesFromTheProject) {
  FileVersion v = ProgramFileVersion();
  uint32_t ms = 0;
  char letter = ' ';
  GetProgramVersion(ms, letter);
  EXPECT_EQ(VersionMajor(ms), v.major);
  EXPECT_EQ(VersionMinor(ms), v.minor);
  EXPECT_EQ(letter, v.revision == 0 ? ' ' : static_cast<char>('a' + v.revision - 1));
  EXPECT_EQ(ProgramVersionText(), VersionText(v.major, v.minor, v.build, v.revision));
}

}  // namespace
}  // namespace k470
