// The registry-export text format: value data, lines, whole documents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configtool/platform/settings_store.h"

namespace k470 {
namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora";

// UTF-16LE of "Lumora Data" with its NUL, as regedit exports a REG_EXPAND_SZ.
const char* kLumoraDataHex2 =
    "hex(2):4c,00,75,00,6d,00,6f,00,72,00,61,00,20,00,44,00,61,00,74,00,61,00,00,00";

struct DataCase {
  const char* data;
  bool ok;
  uint32_t type;
  uint32_t number;
  const char* text;
};

class RegDataTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(RegDataTest, ParsesOrRejects) {
  const DataCase& c = GetParam();
  auto value = ParseRegData(c.data);
  ASSERT_EQ(value.has_value(), c.ok) << c.data;
  if (!c.ok) return;
  EXPECT_EQ(value->type, c.type) << c.data;
  if (c.type == REG_DWORD) {
    EXPECT_EQ(value->number, c.number) << c.data;
  }
  if (c.type == REG_SZ || c.type == REG_EXPAND_SZ) {
    EXPECT_EQ(value->text, c.text) << c.data;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegDataTest,
    ::testing::Values(
        DataCase{"dword:0000000a", true, REG_DWORD, 10, ""},
        DataCase{"dword:FFFFFFFF", true, REG_DWORD, 0xFFFFFFFF, ""},
        DataCase{"dword:2", true, REG_DWORD, 2, ""},
        DataCase{"dword:100000000", false, 0, 0, ""},  // nine digits do not fit
        DataCase{"dword:", false, 0, 0, ""},
        DataCase{"dword:12g4", false, 0, 0, ""},
        DataCase{"\"CORVANE AG\"", true, REG_SZ, 0, "CORVANE AG"},
        DataCase{"\"\"", true, REG_SZ, 0, ""},
        DataCase{"\"C:\\\\Programme\\\\\\\"x\\\"\"", true, REG_SZ, 0, "C:\\Programme\\\"x\""},
        DataCase{"\"Gerät für Straße\"", true, REG_SZ, 0, "Gerät für Straße"},
        DataCase{"\"C:\\Programme\"", false, 0, 0, ""},  // a lone backslash is not regedit's
        DataCase{"\"unterminated", false, 0, 0, ""},
        DataCase{"\"a\"b", false, 0, 0, ""},
        DataCase{kLumoraDataHex2, true, REG_EXPAND_SZ, 0, "Lumora Data"},
        DataCase{"hex(2):41,00,42,00,\\\n  43,00,00,00", true, REG_EXPAND_SZ, 0, "ABC"},
        DataCase{"hex(2):41,00,\\\r\n  42,00", true, REG_EXPAND_SZ, 0, "AB"},  // no NUL at the end
        DataCase{"hex(2):41,00,42", false, 0, 0, ""},                          // odd UTF-16
        DataCase{"hex(2):", true, REG_EXPAND_SZ, 0, ""},
        DataCase{"hex(1):e4,00,00,00", true, REG_SZ, 0, "ä"},
        DataCase{"hex(2):3d,d8,00,de,00,00", true, REG_EXPAND_SZ, 0, "\xF0\x9F\x98\x80"},  // surrogate pair
        DataCase{"hex(4):02,00,00,00", true, REG_DWORD, 2, ""},
        DataCase{"hex(4):02,00", false, 0, 0, ""},  // a number of the wrong size
        DataCase{"hex:01,ff", true, REG_BINARY, 0, ""},
        DataCase{"hex(b):01,00,00,00,00,00,00,00", true, REG_QWORD, 0, ""},
        DataCase{"hex(2):41,00,", false, 0, 0, ""},
        DataCase{"hex(2):41,00 \\ 42,00", false, 0, 0, ""},  // a backslash not ending the line
        DataCase{"hex(2):4100", false, 0, 0, ""},
        DataCase{"hex(zz):00", false, 0, 0, ""},
        DataCase{"-", false, 0, 0, ""},  // a removal: no value
        DataCase{"dword :1", false, 0, 0, ""}));

TEST(RegValueLineTest, EveryTypeRoundTripsThroughItsLine) {
  std::string longText(150, 'x');
  std::vector<RegValue> values = {
      RegValue::Dword(0),
      RegValue::Dword(0xDEADBEEF),
      RegValue::String(""),
      RegValue::String("Lumora \"K471\" C:\\dir"),
      RegValue::String("Gerät für Straße"),
      RegValue::String("two\nlines\r\n"),  // cannot stand in quotes: written as hex(1)
      RegValue::ExpandString("Lumora Data"),
      RegValue::ExpandString(longText + "ä€"),
  };
  RegValue binary;
  binary.type = REG_BINARY;
  binary.bytes = {0, 1, 0xFE, 0xFF};
  values.push_back(binary);
  for (const auto& value : values) {
    std::string line = FormatRegValueLine("Name", value);
    ASSERT_EQ(line.substr(0, 7), "\"Name\"=");
    auto parsed = ParseRegData(line.substr(7));
    ASSERT_TRUE(parsed.has_value()) << line;
    EXPECT_EQ(*parsed, value) << line;
  }
}

TEST(RegValueLineTest, FormatsAsRegeditWritesIt) {
  EXPECT_EQ(FormatRegValueLine("ComPort", RegValue::Dword(10)), "\"ComPort\"=dword:0000000a");
  EXPECT_EQ(FormatRegValueLine("a\"b", RegValue::String("x\\y")), "\"a\\\"b\"=\"x\\\\y\"");
  EXPECT_EQ(FormatRegValueLine("", RegValue::String("d")), "@=\"d\"");
  EXPECT_EQ(FormatRegValueLine("defaultProductName", RegValue::ExpandString("Lumora Data")),
            "\"defaultProductName\"=hex(2):4c,00,75,00,6d,00,6f,00,72,00,61,00,20,00,44,00,\\\n"
            "  61,00,74,00,61,00,00,00");
  // Wrapped lines stay within 80 columns.
  std::string line = FormatRegValueLine("defaultDeviceName", RegValue::ExpandString(std::string(100, 'Z')));
  size_t start = 0;
  while (start < line.size()) {
    size_t end = line.find('\n', start);
    if (end == std::string::npos) end = line.size();
    EXPECT_LE(end - start, 80u);
    start = end + 1;
  }
}

TEST(RegDocumentTest, HeaderDecidesWhetherTheFileIsOurs) {
  EXPECT_TRUE(RegDocument::Parse("").has_value());
  EXPECT_TRUE(RegDocument::Parse("\n  \r\n").has_value());
  EXPECT_TRUE(RegDocument::Parse("Windows Registry Editor Version 5.00\r\n").has_value());
  EXPECT_TRUE(RegDocument::Parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n").has_value());
  EXPECT_FALSE(RegDocument::Parse("REGEDIT4\n").has_value());
  EXPECT_FALSE(RegDocument::Parse("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n\"ComPort\"=dword:1\n").has_value());
  EXPECT_FALSE(RegDocument::Parse("export PATH=/usr/bin\n").has_value());
  EXPECT_FALSE(RegDocument::Parse("\nWindows Registry Editor Version 5.00\n").has_value());
}

TEST(RegDocumentTest, ReadsAUtf16ExportAsRegeditSavesIt) {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\r\n"
      "\"defaultVendorName\"=\"Größe AG\"\r\n\"ComPort\"=dword:00000003\r\n\r\n";
  // UTF-8 to UTF-16LE by hand (every character here is in the BMP).
  std::string utf16 = "\xFF\xFE";
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    size_t n = 1;
    if (c >= 0xC0) {
      cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
      n = 2;
    }
    utf16 += static_cast<char>(cp & 0xFF);
    utf16 += static_cast<char>(cp >> 8);
    i += n;
  }
  auto doc = RegDocument::Parse(utf16);
  ASSERT_TRUE(doc.has_value());
  EXPECT_EQ(doc->Find(kKey, "defaultVendorName"), RegValue::String("Größe AG"));
  EXPECT_EQ(doc->Find(kKey, "ComPort"), RegValue::Dword(3));
}

TEST(RegDocumentTest, LookupFollowsImportSemantics) {
  auto doc = RegDocument::Parse(
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[hkey_local_machine\\software\\corvane\\lumora]\n"
      "\"comport\"=dword:00000001\n"
      "\"Gone\"=\"x\"\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
      "\"ComPort\"=dword:00000007\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
      "\"ComPort\"=dword:00000002\n"
      "\"Gone\"=-\n"
      "\"Bad\"=dword:zz\n"
      "\"Wrapped\"=hex(2):41,00,\\\n"
      "  42,00,00,00\n"
      "\"After\"=\"ok\"\n");
  ASSERT_TRUE(doc.has_value());
  EXPECT_TRUE(doc->HasKey(kKey));
  // Names and key paths ignore case; the later line wins.
  EXPECT_EQ(doc->Find(kKey, "ComPort"), RegValue::Dword(2));
  EXPECT_EQ(doc->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "comPORT"), RegValue::Dword(7));
  EXPECT_FALSE(doc->Find(kKey, "Gone").has_value());
  // A malformed value is missing, and does not disturb its neighbours.
  EXPECT_FALSE(doc->Find(kKey, "Bad").has_value());
  EXPECT_EQ(doc->Find(kKey, "Wrapped"), RegValue::ExpandString("AB"));
  EXPECT_EQ(doc->Find(kKey, "After"), RegValue::String("ok"));
  EXPECT_FALSE(doc->Find(kKey, "Missing").has_value());
  EXPECT_FALSE(doc->HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane"));
}

TEST(RegDocumentTest, ARemovedKeyForgetsWhatCameBefore) {
  auto doc = RegDocument::Parse(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n\"A\"=dword:1\n\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n\n");
  ASSERT_TRUE(doc.has_value());
  EXPECT_FALSE(doc->HasKey(kKey));
  EXPECT_FALSE(doc->Find(kKey, "A").has_value());
  doc->Set(kKey, "B", RegValue::Dword(2));
  EXPECT_TRUE(doc->HasKey(kKey));
  EXPECT_EQ(doc->Find(kKey, "B"), RegValue::Dword(2));
  EXPECT_FALSE(doc->Find(kKey, "A").has_value());
}

TEST(RegDocumentTest, SetChangesOnlyItsValueAndKeepsEverythingElse) {
  const std::string before =
      "Windows Registry Editor Version 5.00\r\n"
      "; written by hand\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
      "\"COMPORT\"=dword:00000001\n"
      "\"ExtraPorts\"=\"/dev/ttyUSB7,rfcomm0\"\n"
      "\"Broken\"=dword:xyz\n"
      "some garbage line\n"
      "\"defaultProductName\"=hex(2):41,00,\\\n"
      "  00,00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Other]\n"
      "\"X\"=\"y\"\n";
  auto doc = RegDocument::Parse(before);
  ASSERT_TRUE(doc.has_value());
  doc->Set(kKey, "ComPort", RegValue::Dword(4));
  doc->Set(kKey, "Broken", RegValue::Dword(5));
  doc->Set(kKey, "NewOne", RegValue::String("n"));
  EXPECT_EQ(doc->Serialize(),
            "Windows Registry Editor Version 5.00\n"
            "; written by hand\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
            "\"COMPORT\"=dword:00000004\n"
            "\"ExtraPorts\"=\"/dev/ttyUSB7,rfcomm0\"\n"
            "\"Broken\"=dword:00000005\n"
            "some garbage line\n"
            "\"defaultProductName\"=hex(2):41,00,\\\n"
            "  00,00\n"
            "\"NewOne\"=\"n\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\Other]\n"
            "\"X\"=\"y\"\n");
  // What was written reads back.
  auto again = RegDocument::Parse(doc->Serialize());
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->Find(kKey, "ComPort"), RegValue::Dword(4));
  EXPECT_EQ(again->Find(kKey, "Broken"), RegValue::Dword(5));
  EXPECT_EQ(again->Find(kKey, "defaultProductName"), RegValue::ExpandString("A"));
}

TEST(RegDocumentTest, StrayLineEndsAndBackslashesDoNotSpreadOnRewrite) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\First]\n"
      "\"Dangling\"=hex(2):41,00,\\\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
      "\"Cut\"=hex:01,\\\n"
      "\"ComPort\"=dword:00000003\n";
  auto doc = RegDocument::Parse(text);
  ASSERT_TRUE(doc.has_value());
  // The backslash does not swallow the next key or the next value.
  EXPECT_TRUE(doc->HasKey(kKey));
  EXPECT_EQ(doc->Find(kKey, "ComPort"), RegValue::Dword(3));
  EXPECT_FALSE(doc->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\First", "Dangling").has_value());
  // A rewrite reads back as itself, also after setting a value.
  std::string written = doc->Serialize();
  EXPECT_EQ(RegDocument::Parse(written)->Serialize(), written);
  doc->Set("HKEY_LOCAL_MACHINE\\SOFTWARE\\First", "New", RegValue::Dword(1));
  auto again = RegDocument::Parse(doc->Serialize());
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\First", "New"), RegValue::Dword(1));
  EXPECT_EQ(again->Find(kKey, "ComPort"), RegValue::Dword(3));
}

TEST(RegDocumentTest, ANewFileLooksLikeAnExport) {
  RegDocument doc;
  doc.Set(kKey, "ComPort", RegValue::Dword(2));
  EXPECT_EQ(doc.Serialize(),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
            "\"ComPort\"=dword:00000002\n"
            "\n");
  doc.Set("HKEY_LOCAL_MACHINE\\SOFTWARE\\Second", "A", RegValue::String("b"));
  EXPECT_EQ(doc.Serialize(),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora]\n"
            "\"ComPort\"=dword:00000002\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Second]\n"
            "\"A\"=\"b\"\n"
            "\n");
}

}  // namespace
}  // namespace k470
