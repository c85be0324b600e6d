#include "protocol/command_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/command_table.h"

namespace vqx {
namespace {

CommandRecord Record(int32_t id, int32_t value) {
  CommandRecord r;
  r.commandId = id;
  r.value = value;
  return r;
}

std::string Form(const CommandRecord& r) {
  char line[kLineSize];
  size_t length = 0;
  EXPECT_EQ(FormCommandLine(r, line, &length), FormatResult::Formed);
  EXPECT_EQ(length, std::strlen(line));
  return line;
}

TEST(CommandFormat, BareFormIgnoresArgumentFieldsForEveryKind) {
  CommandRecord myip = Record(kCmdMyip, -1);
  myip.address[0] = 10;
  myip.address[3] = 5;
  EXPECT_EQ(Form(myip), "MYIP\r\n");
  EXPECT_EQ(Form(Record(kCmdStat, -1)), "STAT\r\n");
  EXPECT_EQ(Form(Record(kCmdMac, -1)), "MAC\r\n");
  EXPECT_EQ(Form(Record(kCmdTran, -1)), "TRAN\r\n");
  CommandRecord name = Record(kCmdName, -1);
  std::strcpy(name.text, "Tower");
  EXPECT_EQ(Form(name), "NAME\r\n");
}

TEST(CommandFormat, AddressOctetsArePaddedToThreeDigits) {
  CommandRecord r = Record(kCmdMyip, 0);
  const uint8_t address[4] = {192, 168, 1, 20};
  std::memcpy(r.address, address, 4);
  EXPECT_EQ(Form(r), "MYIP 192.168.001.020\r\n");

  CommandRecord subnet = Record(kCmdSubnet, 0);
  const uint8_t mask[4] = {255, 255, 0, 0};
  std::memcpy(subnet.address, mask, 4);
  EXPECT_EQ(Form(subnet), "SUBNET 255.255.000.000\r\n");

  CommandRecord gate = Record(kCmdGateip, 7);
  const uint8_t g[4] = {5, 100, 0, 255};
  std::memcpy(gate.address, g, 4);
  EXPECT_EQ(Form(gate), "GATEIP 005.100.000.255\r\n");
}

TEST(CommandFormat, IntegersKeepTheirSign) {
  EXPECT_EQ(Form(Record(kCmdHangtm, 30)), "HANGTM 30\r\n");
  EXPECT_EQ(Form(Record(kCmdCorinh, -5)), "CORINH -5\r\n");
  EXPECT_EQ(Form(Record(kCmdStat, 2)), "STAT 2\r\n");
  EXPECT_EQ(Form(Record(kCmdBaud, 115200)), "BAUD 115200\r\n");
}

TEST(CommandFormat, SwitchIsOnForAnyValueButZero) {
  EXPECT_EQ(Form(Record(kCmdEcho, 0)), "ECHO OFF\r\n");
  EXPECT_EQ(Form(Record(kCmdEcho, 1)), "ECHO ON\r\n");
  EXPECT_EQ(Form(Record(kCmdEcho, 42)), "ECHO ON\r\n");
}

TEST(CommandFormat, TextGoesOutUnchangedIncludingSpacesAndPoints) {
  CommandRecord r = Record(kCmdName, 0);
  std::strcpy(r.text, "Tower 2. North");
  EXPECT_EQ(Form(r), "NAME Tower 2. North\r\n");
}

TEST(CommandFormat, LongestTextFitsTheLine) {
  CommandRecord r = Record(kCmdPass, 0);
  std::memset(r.text, 'x', kTextSize - 1);
  r.text[kTextSize - 1] = '\0';
  EXPECT_EQ(Form(r), "PASS " + std::string(63, 'x') + "\r\n");
}

TEST(CommandFormat, UnterminatedTextIsCutAtTheField) {
  CommandRecord r = Record(kCmdName, 0);
  std::memset(r.text, 'y', kTextSize);  // no terminator at all
  EXPECT_EQ(Form(r), "NAME " + std::string(63, 'y') + "\r\n");
}

TEST(CommandFormat, TextWithLineBreakIsRefusedSoNoSecondCommandIsInjected) {
  for (const char* text : {"Tower\r\nSAVE", "Tower\nREBOOT", "\r", "a\rb"}) {
    CommandRecord r = Record(kCmdName, 0);
    std::strcpy(r.text, text);
    char line[kLineSize];
    size_t length = 99;
    EXPECT_EQ(FormCommandLine(r, line, &length), FormatResult::RefusedLineBreak) << text;
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(line, "");
  }
}

TEST(CommandFormatDeathTest, ImpossibleRecordsStopTheProgramNamingTheLink) {
  EXPECT_DEATH(Form(Record(kCmdMac, 0)), "CSerialComm");
  EXPECT_DEATH(Form(Record(kCmdTran, 1)), "CSerialComm");
  EXPECT_DEATH(Form(Record(0, -1)), "CSerialComm");
  EXPECT_DEATH(Form(Record(38, 5)), "CSerialComm");
}

TEST(CommandTable, KeywordsAndKindsLineUp) {
  EXPECT_STREQ(CommandKeywordTable[0], "");
  EXPECT_STREQ(CommandKeywordTable[kCmdMyip], "MYIP");
  EXPECT_STREQ(CommandKeywordTable[kCmdEcho], "ECHO");
  EXPECT_STREQ(CommandKeywordTable[kCmdMac], "MAC");
  EXPECT_EQ(kCmdMac, 37);
  EXPECT_EQ(FindCommandId("SRVRPORT"), 29);
  EXPECT_EQ(FindCommandId("srvrport"), 0);
  EXPECT_EQ(FindCommandId(""), 0);
  EXPECT_EQ(CommandArgumentKind(kCmdConn), ArgumentKind::Address);
  EXPECT_EQ(CommandArgumentKind(kCmdParity), ArgumentKind::Text);
  EXPECT_EQ(CommandArgumentKind(kCmdDisc), ArgumentKind::None);
  EXPECT_EQ(CommandArgumentKind(99), ArgumentKind::None);
}

}  // namespace
}  // namespace vqx
