// Command lines as the adapter receives them, and the argument rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configtool/protocol/at_commands.h"
#include "configtool/protocol/station_data.h"
#include "configtool/res/string_ids.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

TEST(CommandLineTest, PrefixCommandArgumentAndOneCr) {
  struct Case {
    std::string prefix;
    uint32_t id;
    std::string args;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"AT+KDV24", IDS_CMD_GET_PREFIX, "", "AT^GETPRE\r"},
      // "^GETPRE" goes out behind "AT" whatever prefix was learnt.
      {"AT+XY", IDS_CMD_GET_PREFIX, "", "AT^GETPRE\r"},
      {"AT+KDV24", IDS_CMD_COMPATIBLE, "", "AT+KDV24C\r"},
      {"AT+XY", IDS_CMD_COMPATIBLE, "", "AT+XYC\r"},
      {"AT+KDV24", IDS_CMD_PRODUCT, ",0", "AT+KDV24I2,0\r"},
      {"AT+KDV24", IDS_CMD_REGISTRATIONS, "1", "AT+KDV24#R1\r"},
      {"AT+KDV24", IDS_CMD_MODE, "3", "AT+KDV24B3\r"},
      {"AT+KDV24", IDS_CMD_BIT_RATE, "10", "AT+KDV24\\R10\r"},
      {"AT+KDV24", IDS_CMD_SET_NAME, "Büro,0", "AT+KDV24NB\xFCro,0\r"},
      {"AT+KDV24", IDS_CMD_LEAVE_CONFIG, "", "AT+KDV24O\r"},
      // A line end inside an argument would split the line in two.
      {"AT+KDV24", IDS_CMD_SET_NAME, "A\rB\nC\x01,0", "AT+KDV24NABC,0\r"},
      // 1171 has no entry: nothing to send.
      {"AT+KDV24", 1171, "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildCommandLine(c.prefix, c.id, c.args), c.line) << c.id << c.args;
}

TEST(CommandLineTest, ArgumentForms) {
  EXPECT_EQ(FormatNumberList({3u}), "3");
  EXPECT_EQ(FormatNumberList({1u, std::nullopt, 655u}), "1,655");
  EXPECT_EQ(FormatNumberList({std::nullopt}), "");
  EXPECT_EQ(JoinTexts({"1234", "5678"}), "1234,5678");
  EXPECT_EQ(JoinTexts({"only"}), "only");
  EXPECT_EQ(JoinTexts({}), "");
  EXPECT_EQ(FormatPartnerArgument(0), "0");
  EXPECT_EQ(FormatPartnerArgument(9), "9");
  EXPECT_EQ(BuildCommandLine("AT+KDV24", IDS_CMD_SELECT_PARTNER, FormatPartnerArgument(10)), "AT+KDV24#D:\r");
}

TEST(CommandLineTest, NameIsQuotedAndCutToTwentyAdapterCharacters) {
  struct Case {
    std::string name;
    unsigned target;
    std::string wire;  // the argument as it goes out
  };
  const std::vector<Case> cases = {
      {"Werkstatt", 0, "Werkstatt,0"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXY", 0, "ABCDEFGHIJKLMNOPQRST,0"},
      {"OK", 0, "\"OK\",0"},
      {"REMOTE_CONFIG", 1, "\"REMOTE_CONFIG\",1"},
      {"OKAY", 1, "OKAY,1"},
      // Umlauts are one character for the adapter: 20 of them fit.
      {"ÄÖÜäöüßÄÖÜäöüßÄÖÜäöüß", 0, "\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xC4\xD6\xDC\xE4\xF6\xFC,0"},
      {"", 1, ",1"},
  };
  for (const auto& c : cases) {
    std::string line = BuildCommandLine("AT+KDV24", IDS_CMD_SET_NAME, FormatNameArgument(c.name, c.target));
    EXPECT_EQ(line, "AT+KDV24N" + c.wire + "\r") << c.name;
  }
}

TEST(CharacterFormatTest, EveryCombinationOfTheThreeTables) {
  // Rows: data bits 7, 8; parity none, even, odd; stop bits 1, 2.
  const char expected[2][3][2] = {
      {{0, 0}, {'0', '7'}, {'1', '8'}},
      {{'2', '9'}, {'3', 0}, {'4', 0}},
  };
  for (int d = 0; d < 2; ++d) {
    for (int p = 0; p < 3; ++p) {
      for (int s = 0; s < 2; ++s) {
        char code = CharacterFormatCode(d, p, s);
        EXPECT_EQ(code, expected[d][p][s]) << d << p << s;
        if (code == 0) continue;
        int32_t rd = -2, rp = -2, rs = -2;
        ASSERT_TRUE(DecodeCharacterFormat(code, rd, rp, rs));
        EXPECT_EQ(rd, d);
        EXPECT_EQ(rp, p);
        EXPECT_EQ(rs, s);
      }
    }
  }
  EXPECT_EQ(CharacterFormatCode(2, 0, 0), 0);
  for (char code : {'5', '6', 'x', '\0'}) {
    int32_t rd = 0, rp = 0, rs = 0;
    EXPECT_FALSE(DecodeCharacterFormat(code, rd, rp, rs));
    EXPECT_EQ(rd, -1);
    EXPECT_EQ(rp, -1);
    EXPECT_EQ(rs, -1);
  }
}

TEST(OptionTableTest, RowsValuesAndGermanTexts) {
  struct Case {
    const OptionTable* table;
    std::vector<int32_t> values;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {&OperatingModeTable,
       {0, 1, 2, 3, 4},
       {"Direktverbindung", "AT-Befehle ( PC-seitig )", "AT-Befehle ( Modem-seitig )",
        "AVM-kompatibel ( PC-seitig )", "AVM-kompatibel ( Geräte-seitig )"}},
      {&BitRateTable,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
       {"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"}},
      {&DataBitsTable, {7, 8}, {"7", "8"}},
      {&ParityTable, {'N', 'E', 'O'}, {"ohne ( N )", "gerade ( E )", "ungerade ( O )"}},
      {&StopBitsTable, {1, 2}, {"1", "2"}},
      {&FlowControlTable,
       {0, 1, 2, 3, 4, 5, 6},
       {"ohne", "Software ( XON/XOFF )", "Hardware ( RTS/CTS )", "Hardware ( DTR/DSR )", "Unidir. SW ( PC-seitig )",
        "Unidir. SW ( Geräte-seitig )", "XON/XOFF und RTS/CTS"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.table->GetSize(), c.values.size());
    for (size_t row = 0; row < c.values.size(); ++row) {
      EXPECT_EQ(c.table->GetValue(static_cast<int>(row)), c.values[row]);
      EXPECT_EQ(c.table->GetText(static_cast<int>(row)), c.texts[row]);
    }
    EXPECT_FALSE(c.table->HasRow(-1));
    EXPECT_FALSE(c.table->HasRow(static_cast<int>(c.values.size())));
    EXPECT_EQ(c.table->GetText(static_cast<int>(c.values.size())), "");
  }
}

TEST(CommandTableTest, CommandWordsByTheirIds) {
  // The ids the protocol names, as the adapter spells them.
  EXPECT_EQ(LoadString(1138), "AT+KDV24");
  EXPECT_EQ(LoadString(1141), "\\F");
  EXPECT_EQ(LoadString(1172), "\\P");
  EXPECT_EQ(LoadString(1180), "^GETPRE");
  EXPECT_EQ(LoadString(1181), "REMOTE_CONFIG");
  EXPECT_EQ(LoadString(1182), "C");
  EXPECT_EQ(FindString(1171), nullptr);
  EXPECT_EQ(LoadString(228),
            "Das %s wird bereits von der Gegenseite konfiguriert. Das Konfigurationsprogramm wird beendet.");
}

}  // namespace
}  // namespace k470
