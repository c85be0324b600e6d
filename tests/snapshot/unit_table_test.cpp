#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "connection_book.h"
#include "csv_cell.h"
#include "support/sample_settings.h"
#include "unit_table.h"

namespace vqx::snapshot {
namespace {

using ::testing::StartsWith;

UnitTable Parsed(const std::string& text) {
  std::string error;
  std::optional<UnitTable> table = ParseUnitTable(text, &error);
  EXPECT_TRUE(table) << error;
  return table ? *table : UnitTable{};
}

std::string Refusal(const std::string& text) {
  std::string error;
  EXPECT_FALSE(ParseUnitTable(text, &error)) << text;
  return error;
}

TEST(UnitTableCsv, ReadsKeysAndValuesByFieldKindAndAnEmptyCellGivesNothing) {
  const UnitTable table = Parsed(
      "macAddress,port,name,ipAddress,voipPort,vocoder,allowTelnet,serialParity,webPassword\n"
      "00-50-c2-12-34-56,,Tower 1,10.0.0.5,1221,ADPCM 24Kbps,yes,e,'=secret\n"
      ",COM3,Tower 2,10.0.0.6,,5,0,O,\n"
      "001A2B3C4D5E,/dev/ttyUSB0,,,  1300 ,,FALSE,Even,x\n");
  ASSERT_EQ(table.rows.size(), 3u);

  const UnitRow& first = table.rows[0];
  EXPECT_EQ(first.line, 2u);
  EXPECT_EQ(first.macAddress, "00:50:C2:12:34:56");
  EXPECT_EQ(first.port, "");
  EXPECT_STREQ(first.values.values.name, "Tower 1");
  EXPECT_EQ(first.values.values.voipPort, 1221);
  EXPECT_EQ(first.values.values.vocoder, 3) << "a list value by its text";
  EXPECT_EQ(first.values.values.securityFlags & kSecurityNoTelnet, 0);
  EXPECT_EQ(first.values.values.serialParity, 'E');
  EXPECT_STREQ(first.values.values.webPassword, "=secret") << "the spreadsheet's apostrophe is dropped";
  EXPECT_FALSE(first.values.Has("macAddress")) << "the key is no value";

  const UnitRow& second = table.rows[1];
  EXPECT_EQ(second.macAddress, "");
  EXPECT_EQ(second.port, "COM3");
  EXPECT_EQ(second.values.values.vocoder, 5) << "a list value by its number";
  EXPECT_NE(second.values.values.securityFlags & kSecurityNoTelnet, 0);
  EXPECT_FALSE(second.values.Has("voipPort"));
  EXPECT_FALSE(second.values.Has("webPassword"));
  EXPECT_EQ(second.values.present, (std::set<std::string>{"name", "ipAddress", "vocoder", "allowTelnet",
                                                          "serialParity"}));

  const UnitRow& third = table.rows[2];
  EXPECT_EQ(third.macAddress, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(third.port, "/dev/ttyUSB0");
  EXPECT_EQ(third.values.values.voipPort, 1300);
  EXPECT_EQ(third.values.values.serialParity, 'E') << "parity by its text";
  EXPECT_FALSE(third.values.Has("name"));
}

TEST(UnitTableCsv, QuotedCellsFollowRfc4180AndAByteOrderMarkAndCrLfAreRead) {
  const UnitTable table = Parsed(
      "\xEF\xBB\xBFport,name,webPassword\r\n"
      "COM1,\"Tower, East\",\"say \"\"hi\"\"\"\r\n"
      "\r\n"
      "\"COM2\",\"\",\"\"\r\n");
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].port, "COM1") << "the byte order mark is no part of the first column's name";
  EXPECT_STREQ(table.rows[0].values.values.name, "Tower, East");
  EXPECT_STREQ(table.rows[0].values.values.webPassword, "say \"hi\"");
  EXPECT_EQ(table.rows[1].line, 4u) << "the blank line is skipped, and counted";
  EXPECT_EQ(table.rows[1].port, "COM2");
  EXPECT_TRUE(table.rows[1].values.present.empty());

  // A line break inside quotes is part of the cell; the row is where it starts.
  EXPECT_EQ(Refusal("port,name\nCOM1,A\nCOM2,\"two\nlines\"\n"),
            "line 3, column 2 (name): the text contains a line break, which cannot be sent to the unit");
  EXPECT_EQ(Refusal("port,name\nCOM1,\"x\ny\",z\nCOM2,\"B\n"), "line 2: 3 cells, but the header has 2 columns");
  EXPECT_EQ(Refusal("port,name\nCOM1,\"A\"\nCOM2,\"B\nCOM3,C\n"),
            "line 3: a quoted cell is not closed (its closing \" is missing)");
  EXPECT_EQ(Refusal("port,name\nCOM1,\"A\"B\n"), "line 2: text after the closing quote of a cell");
}

TEST(CsvRecords, ARecordWhoseQuotedCellSpansLinesIsAtItsFirstLineAndTheNextCountsThemAll) {
  detail::CsvRecordReader reader("a,\"b\r\nc\",\"\"\"\"\r\n\"d\n\ne\"\nf,\n", 8, 64);
  std::vector<std::string> cells;
  size_t line = 0;
  std::string error;
  ASSERT_TRUE(reader.Next(&cells, &line, &error)) << error;
  EXPECT_EQ(line, 1u);
  EXPECT_EQ(cells, (std::vector<std::string>{"a", "b\r\nc", "\""}));
  ASSERT_TRUE(reader.Next(&cells, &line, &error)) << error;
  EXPECT_EQ(line, 3u);
  EXPECT_EQ(cells, (std::vector<std::string>{"d\n\ne"}));
  EXPECT_TRUE(reader.Quoted(0));
  ASSERT_TRUE(reader.Next(&cells, &line, &error)) << error;
  EXPECT_EQ(line, 6u);
  EXPECT_EQ(cells, (std::vector<std::string>{"f", ""}));
  EXPECT_TRUE(reader.AtEnd());
}

TEST(UnitTableCsv, EachRefusalNamesItsLineColumnAndColumnName) {
  const std::string header = "macAddress,port,name,ipAddress,vocoder,allowTelnet,voipPort\n";
  const std::string row2 = "00:50:C2:12:34:56,COM1,Tower 1,10.0.0.5,1,yes,1221\n";
  const struct {
    std::string text;
    std::string refusal;
  } cases[] = {
      {"macAddress,Name\n", "line 1, column 2 (Name): not a field of a snapshot (did you mean name?)"},
      {"port,record\n", "line 1, column 2 (record): belongs to a whole unit's snapshot"},
      {"port,name,name\n", "line 1, column 3 (name): also column 2; give each column once"},
      {"port,vocoder,vocoderText\nCOM1,5,PCM 64Kbps\nCOM2,1,PCM 64Kbps\n",
       "line 3, column 2 (vocoder): 1 is \"GSM 13Kbps\" but vocoderText says \"PCM 64Kbps\""},
      {"port,vocoder,vocoderText\nCOM1,PCM 64Kbps,PCM 64Kbps\n",
       "line 2, column 3 (vocoderText): vocoder is given twice in this row (also column 2)"},
      {"port,,name\n", "line 1, column 2: a column without a name"},
      {"name,vocoder\nA,1\n", "line 1: the header needs a macAddress or a port column"},
      {"port,dhcp\n", "line 1, column 2 (dhcp): read only"},
      {"port,firmwareVersion\n", "line 1, column 2 (firmwareVersion): read only"},
      {"port,serialNumber\n", "line 1, column 2 (serialNumber): read only"},
      {header + row2 + "00:50:C2:12:34:57,COM2,Tower 2,10.0.0.300,1,yes,1221\n",
       "line 3, column 4 (ipAddress): \"10.0.0.300\": 300 is more than 255"},
      {header + row2 + "00:50:C2:12:34:57,COM2,Tower 2,10.0.0.6,PCM 65Kbps,yes,1221\n",
       "line 3, column 5 (vocoder): \"PCM 65Kbps\" is not offered; expected one of"},
      {header + row2 + "00:50:C2:12:34:57,COM2,Tower 2,10.0.0.6,9,yes,1221\n",
       "line 3, column 5 (vocoder): 9 is not offered; expected one of"},
      {header + row2 + "00:50:C2:12:34:57,COM2,Tower 2,10.0.0.6,1,maybe,1221\n",
       "line 3, column 6 (allowTelnet): \"maybe\" is not a yes or no"},
      {header + row2 + "00:50:C2:12:34:57,COM2,Tower 2,10.0.0.6,1,no,12x\n",
       "line 3, column 7 (voipPort): \"12x\" is not a whole number"},
      {header + row2 + "00:50:C2:12:34:57,COM2,Tower 2,10.0.0.6,1,no,99999999999\n",
       "line 3, column 7 (voipPort): 99999999999 is out of range; expected a whole number"},
      {header + row2 + "00:50:C2:12:34,COM2,Tower 2,10.0.0.6,1,no,1221\n",
       "line 3, column 1 (macAddress): \"00:50:C2:12:34\" is not a MAC address"},
      {header + row2 + ",,Tower 2,10.0.0.6,1,no,1221\n",
       "line 3: no macAddress or port; each row must say which unit it is for"},
      {header + row2 + "00-50-c2-12-34-56,COM2,Tower 2,10.0.0.6,1,no,1221\n",
       "line 3, column 1 (macAddress): 00:50:C2:12:34:56 is already on line 2; each unit has one row"},
      {header + row2 + ",com1,Tower 2,10.0.0.6,1,no,1221\n",
       "line 3, column 2 (port): \"com1\" is already on line 2; one unit hangs on each port"},
      {header + row2 + "\n,COM2,Tower 1,10.0.0.6,1,no,1221\n",
       "line 4, column 3 (name): \"Tower 1\" is already on line 2; two units must not share it"},
      {header + row2 + ",COM2,Tower 2,10.0.0.5,1,no,1221\n",
       "line 3, column 4 (ipAddress): \"10.0.0.5\" is already on line 2; two units must not share it"},
      {header + row2 + ",COM2,Tower 2,10.0.0.6\n", "line 3: 4 cells, but the header has 7 columns"},
  };
  for (const auto& c : cases) EXPECT_THAT(Refusal(c.text), StartsWith(c.refusal)) << c.text;
}

TEST(UnitTableJson, ReadsTypedEntriesWithNullAsNotGivenAndRefusesByEntryAndField) {
  const UnitTable table = Parsed(
      "  [ {\"macAddress\": \"00:50:c2:12:34:56\", \"name\": \"Tower 1\", \"vocoderText\": \"PCM 64Kbps\",\n"
      "     \"allowTelnet\": false, \"voipPort\": null},\n"
      "    {\"port\": \"COM4\", \"ipAddress\": \"10.0.0.7\"} ]\n");
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].line, 1u);
  EXPECT_EQ(table.rows[0].macAddress, "00:50:C2:12:34:56");
  EXPECT_EQ(table.rows[0].values.values.vocoder, 5);
  EXPECT_NE(table.rows[0].values.values.securityFlags & kSecurityNoTelnet, 0);
  EXPECT_FALSE(table.rows[0].values.Has("voipPort"));
  EXPECT_EQ(table.rows[1].line, 2u);
  EXPECT_EQ(table.rows[1].port, "COM4");
  EXPECT_EQ(Parsed("\xEF\xBB\xBF[\r\n{\"port\": \"COM1\"}\r\n]\r\n").rows.size(), 1u) << "a byte order mark, CR LF";

  const struct {
    std::string text;
    std::string refusal;
  } cases[] = {
      {"{\"port\": \"COM1\"}", "expected a list of units (a JSON array of objects), not object"},
      {"[{\"port\": \"COM1\"}, 5]", "entry 2: expected an object"},
      {"[{\"port\": \"COM1\"}, {\"port\": \"COM2\", \"ipAddress\": \"10.0.0\"}]", "entry 2, ipAddress: \"10.0.0\""},
      {"[{\"port\": \"COM1\", \"dhcp\": true}]", "entry 1, dhcp: read only"},
      {"[{\"port\": \"COM1\", \"record\": \"00\"}]", "entry 1, record: belongs to a whole unit's snapshot"},
      {"[{\"port\": \"COM1\", \"nmae\": \"A\"}]", "entry 1, nmae: not a field of a snapshot"},
      {"[{\"macAddress\": 5}]", "entry 1, macAddress: expected a text, not number"},
      {"[{\"macAddress\": \"00:50:C2:12:34:5G\"}]", "entry 1, macAddress: \"00:50:C2:12:34:5G\" is not a MAC"},
      {"[{\"name\": \"A\"}]", "entry 1: no macAddress or port"},
      {"[{\"macAddress\": \"00:50:C2:12:34:56\"}, {\"macAddress\": \"0050C2123456\"}]",
       "entry 2, macAddress: 00:50:C2:12:34:56 is already on entry 1"},
      {"[{\"port\": \"A\", \"name\": \"N\"}, {\"port\": \"B\"}, {\"port\": \"C\", \"name\": \"N\"}]",
       "entry 3, name: \"N\" is already on entry 1"},
      {"[{\"port\": \"COM1\"}", "not valid JSON at line 1"},
  };
  for (const auto& c : cases) EXPECT_THAT(Refusal(c.text), StartsWith(c.refusal)) << c.text;
}

// A parser that takes a NUL for the end of the text accepts what stands before it and
// silently drops the rest of the file.
TEST(TextFilesWithANulByte, AreRefusedWithWhereTheNulIsWhateverTheFileIsFor) {
  using namespace std::string_literals;
  EXPECT_EQ(Refusal("port,name\nCOM1,ab\0c\n"s),
            "contains a NUL byte at line 2, column 8; a text file holds none (is it a binary file, or saved as "
            "UTF-16?)");
  EXPECT_THAT(Refusal("[{\"port\": \"COM1\"}]\n\0[{\"port\""s), StartsWith("contains a NUL byte at line 2, column 1"));

  std::string reason;
  EXPECT_FALSE(ParseJsonText("{\"vocoder\": 2}\0{\"name\":"s, &reason));
  EXPECT_THAT(reason, StartsWith("contains a NUL byte at line 1, column 15"));
  // An address book, JSON or CSV.
  EXPECT_FALSE(ConnectionsFromJson("[]\0garbage"s, &reason));
  EXPECT_THAT(reason, StartsWith("contains a NUL byte at line 1, column 3"));
  EXPECT_FALSE(ConnectionsFromCsv("address,description\n10.0.0.5,To\0wer\n"s, &reason));
  EXPECT_THAT(reason, StartsWith("contains a NUL byte at line 2, column 12"));
}

TEST(UnitMac, EveryCommonFormGivesTheUnitsOwnTextAndAnythingElseNothing) {
  EXPECT_EQ(NormaliseMac("00:50:c2:12:34:56"), "00:50:C2:12:34:56");
  EXPECT_EQ(NormaliseMac("00-50-C2-12-34-56"), "00:50:C2:12:34:56");
  EXPECT_EQ(NormaliseMac(" 0050c2123456\t"), "00:50:C2:12:34:56");
  EXPECT_EQ(NormaliseMac("00:50:C2:12:34:56"), "00:50:C2:12:34:56");
  for (const char* bad : {"", "00:50:C2:12:34", "00:50:C2:12:34:56:78", "00:50-C2:12:34:56", "00:50:C2:12:34:5G",
                          "0050.C212.3456", "00:50:C2:12:345:6", "0050c212345"}) {
    EXPECT_EQ(NormaliseMac(bad), std::nullopt) << bad;
  }
}

TEST(UnitRowLookup, AMacRowIsOnlyItsUnitsAndAPortRowTakesWhateverUnitIsOnItsPort) {
  const UnitTable table = Parsed(
      "macAddress,port,name\n"
      "00:50:C2:12:34:56,,By MAC\n"
      "00:50:C2:AA:BB:CC,COM7,Pinned\n"
      ",COM3,By port\n");
  const auto nameOf = [&](std::string_view mac, std::string_view port) {
    const UnitRow* row = FindUnitRow(table, mac, port);
    return row == nullptr ? std::string("none") : std::string(row->values.values.name);
  };
  EXPECT_EQ(nameOf("00-50-c2-12-34-56", "COM9"), "By MAC");
  EXPECT_EQ(nameOf("00:50:C2:12:34:56", "COM3"), "By MAC") << "the MAC decides before the port";
  EXPECT_EQ(nameOf("00:50:C2:99:99:99", "com3"), "By port");
  EXPECT_EQ(nameOf("", "COM3"), "By port") << "a unit whose MAC was not read";
  EXPECT_EQ(nameOf("00:50:C2:AA:BB:CC", "COM7"), "Pinned");
  EXPECT_EQ(nameOf("00:50:C2:AA:BB:CC", "COM3"), "none") << "a pinned unit on another port is nobody's row";
  EXPECT_EQ(nameOf("00:50:C2:99:99:99", "COM7"), "none") << "a port with a MAC row is that MAC's only";
  EXPECT_EQ(nameOf("00:50:C2:99:99:99", ""), "none");
}

TEST(UnitTarget, TheRowWinsOverTheTemplateWhichWinsOverTheUnit) {
  const DeviceSettings current = testing::SampleSettings();  // telnet and HTTP configuration refused
  std::string error;
  const std::optional<PartialSettings> tmpl =
      FromJson({{"vocoder", 1}, {"voipPort", 2000}, {"allowTelnet", true}, {"name", "Template"}}, &error);
  ASSERT_TRUE(tmpl) << error;
  const UnitTable table = Parsed("port,voipPort,name,allowHttpConfiguration\nCOM1,2001,Row,yes\n");

  const DeviceSettings target = TargetFor(current, *tmpl, &table.rows[0]);
  EXPECT_EQ(target.voipPort, 2001);
  EXPECT_STREQ(target.name, "Row");
  EXPECT_EQ(target.vocoder, 1) << "the template where the row says nothing";
  EXPECT_EQ(target.securityFlags & (kSecurityNoTelnet | kSecurityNoHttpConfiguration), 0)
      << "one security bit from the template, one from the row";
  EXPECT_EQ(target.qosDscp, current.qosDscp) << "the unit's own where neither says anything";
  EXPECT_STREQ(target.macAddress, current.macAddress);

  const DeviceSettings templateOnly = TargetFor(current, *tmpl, nullptr);
  EXPECT_EQ(templateOnly.voipPort, 2000);
  EXPECT_STREQ(templateOnly.name, "Template");
}

TEST(UnitTableSize, AHundredThousandRowsAreReadInBoundedTimeAndOneMoreIsRefused) {
  std::string text = "macAddress,port,name,ipAddress,vocoder\r\n";
  text.reserve(kMostUnitRows * 60);
  char row[96];
  for (size_t i = 0; i < kMostUnitRows; ++i) {
    std::snprintf(row, sizeof row, "00:50:C2:%02X:%02X:%02X,,\"Unit, %zu\",10.%zu.%zu.%zu,%zu\r\n",
                  static_cast<unsigned>(i >> 16), static_cast<unsigned>((i >> 8) & 0xFF),
                  static_cast<unsigned>(i & 0xFF), i, i >> 16, (i >> 8) & 0xFF, i & 0xFF, 1 + i % 5);
    text += row;
  }
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const std::optional<UnitTable> table = ParseUnitTable(text, &error);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(table) << error;
  ASSERT_EQ(table->rows.size(), kMostUnitRows);
  EXPECT_EQ(table->rows.back().line, kMostUnitRows + 1);
  EXPECT_STREQ(table->rows.back().values.values.name, ("Unit, " + std::to_string(kMostUnitRows - 1)).c_str());
  // Seconds under a sanitizer on a loaded machine; a parse that copied the text or the
  // header per row would take minutes.
  EXPECT_LT(took, std::chrono::seconds(20));

  // One row more, of the cheapest kind there is.
  std::string ports = "port\n";
  for (size_t i = 0; i <= kMostUnitRows; ++i) ports += "P" + std::to_string(i) + "\n";
  EXPECT_EQ(Refusal(ports), "line " + std::to_string(kMostUnitRows + 2) + ": the table holds more than " +
                                std::to_string(kMostUnitRows) + " units; split it into smaller ones");
}

}  // namespace
}  // namespace vqx::snapshot
