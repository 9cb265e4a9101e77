// The reading rules of the adapter's replies and of the release-time text,
// as tables of text in, result out.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "configtool/protocol/reply_rules.h"
#include "configtool/res/string_ids.h"

namespace k470 {
namespace {

TEST(QuoteResultWordTest, QuotesAndUnquotesOnlyExactResultWords) {
  struct Case {
    std::string text;
    int mode;
    bool result;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"REMOTE_CONFIG", QUOTE_RESULT_WORD, true, "\"REMOTE_CONFIG\""},
      {"OK", QUOTE_RESULT_WORD, true, "\"OK\""},
      {"BASE_FULL", QUOTE_RESULT_WORD, true, "\"BASE_FULL\""},
      {"INVALID_PIN", QUOTE_RESULT_WORD, true, "\"INVALID_PIN\""},
      {"FAILURE", QUOTE_RESULT_WORD, true, "\"FAILURE\""},
      {"ERROR", QUOTE_RESULT_WORD, true, "\"ERROR\""},
      {"\"OK\"", UNQUOTE_RESULT_WORD, true, "OK"},
      {"\"REMOTE_CONFIG\"", UNQUOTE_RESULT_WORD, true, "REMOTE_CONFIG"},
      // The mode asked for nothing to change: still a result word.
      {"\"OK\"", QUOTE_RESULT_WORD, true, "\"OK\""},
      {"OK", UNQUOTE_RESULT_WORD, true, "OK"},
      // Not result words.
      {"OKAY", QUOTE_RESULT_WORD, false, "OKAY"},
      {"ok", QUOTE_RESULT_WORD, false, "ok"},
      {"ERRORS", QUOTE_RESULT_WORD, false, "ERRORS"},
      {"\"OK", UNQUOTE_RESULT_WORD, false, "\"OK"},
      {"\"OK\"x", UNQUOTE_RESULT_WORD, false, "\"OK\"x"},
      {"\"ERROR\"\"", UNQUOTE_RESULT_WORD, false, "\"ERROR\"\""},
      {"\"\"", UNQUOTE_RESULT_WORD, false, "\"\""},
      {"\"", UNQUOTE_RESULT_WORD, false, "\""},
      {"", QUOTE_RESULT_WORD, false, ""},
      {"Basis", QUOTE_RESULT_WORD, false, "Basis"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(QuoteResultWord(text, c.mode), c.result) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
  }
}

TEST(ResultCodeAtEndTest, FindsTheWordThatTheLastCrCompletes) {
  struct Case {
    std::string buffer;
    uint32_t code;
  };
  const std::vector<Case> cases = {
      {"\rOK\r", IDS_RESULT_OK},
      {"0=Name\r\rOK\r", IDS_RESULT_OK},
      {"x\rERROR\r", IDS_RESULT_ERROR},
      {"\rFAILURE\r", IDS_RESULT_FAILURE},
      {"\rINVALID_PIN\r", IDS_RESULT_INVALID_PIN},
      {"\rBASE_FULL\r", IDS_RESULT_BASE_FULL},
      {"\rREMOTE_CONFIG\r", IDS_RESULT_REMOTE_CONFIG},
      {"OK\r", 0},             // no CR in front
      {"0=OK\r", 0},           // a list value, not the word
      {"\rOK", 0},             // not complete yet
      {"\r\"OK\"\r", 0},       // a quoted name
      {"\rXOK\r", 0},
      {"\rok\r", 0},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ResultCodeAtEnd(c.buffer), c.code) << c.buffer;
}

TEST(ReadDecimalTest, ReadsLikeTheCRuntimeButSaturates) {
  struct Case {
    std::string text;
    int32_t value;
  };
  const std::vector<Case> cases = {
      {"42", 42},
      {"  -7x", -7},
      {"+5", 5},
      {"\r\n12\r", 12},
      {"1 2", 1},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"99999999999", std::numeric_limits<int32_t>::max()},
      {"-99999999999", std::numeric_limits<int32_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadDecimal(c.text), c.value) << c.text;
}

TEST(ReplyValueTest, StationTypeLinkStateAndOwnIndex) {
  EXPECT_EQ(ReadStationType("0\r"), STATION_BASE);
  EXPECT_EQ(ReadStationType("1"), STATION_HANDSET);
  EXPECT_EQ(ReadStationType("2"), STATION_UNKNOWN);
  EXPECT_EQ(ReadStationType(""), STATION_UNKNOWN);
  EXPECT_EQ(ReadLinkState("0\r\r"), 0);
  EXPECT_EQ(ReadLinkState("1"), 1);
  EXPECT_EQ(ReadLinkState("x"), -1);
  EXPECT_EQ(ReadOwnIndex("3\r"), 3);
  EXPECT_EQ(ReadOwnIndex("255"), 255);
  EXPECT_EQ(ReadOwnIndex("256"), OWN_INDEX_NONE);
  EXPECT_EQ(ReadOwnIndex("-1"), OWN_INDEX_NONE);
  EXPECT_EQ(ReadOwnIndex("x"), 0);
}

TEST(ReleaseTimeTest, ParseAcceptsMinutesAndMinutesWithSeconds) {
  struct Case {
    std::string text;
    int seconds;
  };
  const std::vector<Case> cases = {
      {"10:55", 655}, {"10:56", -1},  {"1,5", 90},     {"1:75", 135},   {"", 0},
      {"1:2:3", -1},  {"12a", -1},    {"0", 0},        {"00:00", 0},    {"10,9", 654},
      {"10.916", 654}, {"11", -1},    {" 1 : 30 ", 90}, {"1.", 60},     {".5", 30},
      {"1:", 60},     {":30", 30},    {"1::", -1},     {"1.5.", -1},    {"-1", -1},
      {"1e2", -1},    {"0:655", 655}, {"0:656", -1},   {"99999999999:0", -1},
      {"99999999999999999999999999", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseReleaseTime(c.text), c.seconds) << '"' << c.text << '"';
}

TEST(ReleaseTimeTest, FormatShowsMinutesAndSecondsOrHours) {
  struct Case {
    int seconds;
    std::string text;
  };
  const std::vector<Case> cases = {
      {90, "01:30"}, {3725, "01:02:05"}, {655, "10:55"}, {0, "00:00"}, {59, "00:59"}, {3600, "01:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatReleaseTime(c.seconds), c.text) << c.seconds;
  // Every time the adapter accepts reads back as itself.
  for (int s = 0; s <= RELEASE_TIME_MAX; ++s) EXPECT_EQ(ParseReleaseTime(FormatReleaseTime(s)), s);
}

TEST(SettingsRuleTest, ReadsEachKeyAtItsFirstOccurrence) {
  struct Expected {
    int32_t mode, bitRate, dataBits, parity, stopBits, localFlowControl, flowControl, type, partnerIndex;
  };
  struct Case {
    std::string text;
    Expected expected;
  };
  // Before each reading: format 8-even-2 (rows 1, 1, 1) and a base, so the
  // table shows which fields keep their values when their key is missing.
  const std::vector<Case> cases = {
      {"B1 \\R7 \\F2 \\P0 \\Q2 #T1 #D0", {1, 7, 1, 0, 0, 0, 2, STATION_HANDSET, 0}},
      {"B5\\R10\\F9\\P1\\Q6#T0#D3.......", {5, 10, 1, 0, 1, 1, 6, STATION_BASE, 3}},
      {"B0\\R0\\F0\\Q0 #T1 #D9 ........", {0, 0, 0, 1, 0, 0, 0, STATION_HANDSET, 9}},
      {"B3 \\F8 \\F1 \\Q4 \\Q5 ..........", {3, -1, 0, 2, 1, 0, 4, STATION_BASE, -1}},
      {"B9 \\R \\F5 \\P \\Q7 #Tx #Dz ----", {-1, 0, -1, -1, -1, 0, -1, STATION_UNKNOWN, 0}},
      {"B2 \\F6 ........................", {2, -1, -1, -1, -1, 0, -1, STATION_BASE, -1}},
      {"no keys at all in this text", {-1, -1, 1, 1, 1, 0, -1, STATION_BASE, -1}},
      {"....................\\F", {-1, -1, -1, -1, -1, 0, -1, STATION_BASE, -1}},
      {"....................#T", {-1, -1, 1, 1, 1, 0, -1, STATION_UNKNOWN, -1}},
  };
  for (const auto& c : cases) {
    LineSettings settings;
    settings.dataBits = settings.parity = settings.stopBits = 1;
    settings.localFlowControl = 1;
    int32_t type = STATION_BASE;
    int32_t partnerIndex = 7;
    ApplySettingsReply(c.text, settings, type, partnerIndex);
    const Expected& e = c.expected;
    EXPECT_EQ(settings.mode, e.mode) << c.text;
    EXPECT_EQ(settings.bitRate, e.bitRate) << c.text;
    EXPECT_EQ(settings.dataBits, e.dataBits) << c.text;
    EXPECT_EQ(settings.parity, e.parity) << c.text;
    EXPECT_EQ(settings.stopBits, e.stopBits) << c.text;
    EXPECT_EQ(settings.localFlowControl, e.localFlowControl) << c.text;
    EXPECT_EQ(settings.flowControl, e.flowControl) << c.text;
    EXPECT_EQ(type, e.type) << c.text;
    EXPECT_EQ(partnerIndex, e.partnerIndex) << c.text;
  }
}

TEST(ListRuleTest, RegistrationListFollowsTheAdapter) {
  struct Case {
    std::vector<std::string> before;
    std::string text;
    std::vector<std::string> after;
    bool changed;
    bool holds;
  };
  const std::vector<Case> cases = {
      {{}, "0=Name\r1=\r\r", {"Name", ""}, true, true},
      {{"Name", ""}, "0=Name\r1=\r\r", {"Name", ""}, false, true},
      {{"", ""}, "0=\r1=\r\r", {"", ""}, false, false},
      // Entries behind the last one listed are gone.
      {{"A", "B", "C"}, "0=A\r1=B\r\r", {"A", "B"}, true, true},
      // Names that read like result words travel in quotes.
      {{"A"}, "0=\"OK\"\r", {"OK"}, true, true},
      {{}, "0=Name  \r\n1=x\r", {"Name", "x"}, true, true},
      // The adapter's single-byte umlauts are stored as UTF-8.
      {{}, "0=M\xFC"
           "ller\r",
       {"Müller"}, true, true},
      {{"Müller"}, "0=M\xFC"
                   "ller\r",
       {"Müller"}, false, true},
      // A line that does not fit empties the list.
      {{"A", "B"}, "garbage\r", {}, true, false},
      {{"A"}, "5=X\r", {}, true, false},
      {{"A"}, "1=B\r3=X\r", {}, true, false},
      {{"A"}, "-1=X\r", {}, true, false},
      {{}, "1=X\r", {}, true, false},
      // The same index twice: the later value wins and the list ends there.
      {{"A", "B"}, "0=A\r0=C\r", {"C"}, true, true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> names = c.before;
    bool holds = !c.holds;
    EXPECT_EQ(ApplyRegistrationList(c.text, names, holds), c.changed) << c.text;
    EXPECT_EQ(names, c.after) << c.text;
    EXPECT_EQ(holds, c.holds) << c.text;
  }
}

TEST(ListRuleTest, SlotStatesAndReleaseTimes) {
  struct SlotCase {
    std::vector<uint8_t> before;
    std::string text;
    std::vector<uint8_t> after;
    bool changed;
  };
  const std::vector<SlotCase> slots = {
      {{}, "0=0\r1=1\r2=\r3=x\r", {3, 4, 0, 0}, true},
      {{3, 4, 0, 0}, "0=0\r1=1\r2=\r3=x\r", {3, 4, 0, 0}, false},
      // Only the registration list is cut behind its last line.
      {{3, 4}, "0=1\r", {4, 4}, true},
      {{3, 4}, "no list\r", {}, true},
  };
  for (const auto& c : slots) {
    std::vector<uint8_t> states = c.before;
    EXPECT_EQ(ApplySlotStateList(c.text, states), c.changed) << c.text;
    EXPECT_EQ(states, c.after) << c.text;
  }

  struct TimeCase {
    std::vector<uint16_t> before;
    std::string text;
    std::vector<uint16_t> after;
    bool changed;
  };
  const std::vector<TimeCase> times = {
      {{}, "0=60\r1=\r", {60, RELEASE_TIME_NONE}, true},
      {{60}, "0=60\r", {60}, false},
      {{60}, "0=655\r", {655}, true},
      // "None" and out-of-range values never compare equal to what is stored.
      {{60, RELEASE_TIME_NONE}, "0=60\r1=\r", {60, RELEASE_TIME_NONE}, true},
      {{60}, "0=700\r", {RELEASE_TIME_NONE}, true},
      {{RELEASE_TIME_NONE}, "0=700\r", {RELEASE_TIME_NONE}, true},
      {{0}, "0=-5\r", {RELEASE_TIME_NONE}, true},
  };
  for (const auto& c : times) {
    std::vector<uint16_t> values = c.before;
    EXPECT_EQ(ApplyReleaseTimeList(c.text, values), c.changed) << c.text;
    EXPECT_EQ(values, c.after) << c.text;
  }
}

}  // namespace
}  // namespace k470
