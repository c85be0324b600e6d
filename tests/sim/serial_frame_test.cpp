// The line between the host's UART and the unit's: what one side reads of the other's
// bytes when their settings differ, and what the host's settings look like from the
// unit's end of a pseudo-terminal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/host_frame.h"
#include "unit/serial_frame.h"

namespace vqx::sim {
namespace {

SerialFrame Frame(const char* text) {
  SerialFrame frame;
  EXPECT_TRUE(ParseSerialFrame(text, &frame)) << text;
  return frame;
}

std::vector<uint8_t> Values(const std::vector<UartChar>& chars) {
  std::vector<uint8_t> values;
  for (const UartChar& c : chars) values.push_back(c.value);
  return values;
}

bool AnyError(const std::vector<UartChar>& chars) {
  for (const UartChar& c : chars) {
    if (c.error) return true;
  }
  return false;
}

TEST(SerialFrame, TextsNameRateAndFramingAndRefuseWhatNoUnitOffers) {
  EXPECT_EQ(SerialFrameText(Frame("57600")), "57600-8N1");
  EXPECT_EQ(SerialFrameText(Frame("19200-7o2")), "19200-7O2");
  SerialFrame frame;
  for (const char* bad : {"", "-8N1", "9600-", "9600-9N1", "9600-8X1", "9600-8N3", "fast", "20"}) {
    EXPECT_FALSE(ParseSerialFrame(bad, &frame)) << bad;
  }
}

TEST(SerialFrame, EqualSettingsCarryEveryByteUnchanged) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const std::vector<UartChar> got = Reframe(all, Frame("9600-8N1"), Frame("9600-8N1"));
  ASSERT_EQ(got.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(got[static_cast<size_t>(i)].value, i);
  EXPECT_FALSE(AnyError(got));
}

// The bit model itself, against the same settings given as different rates: 8N1 at 9600
// read by 8N1 at 9601 is still the same byte stream.
TEST(SerialFrame, RatesWithinAFractionOfAPercentStillReadEachOther) {
  const std::string text = "+++\rTRAN\r\n";
  SerialFrame near = Frame("9600-8N1");
  near.baud = 9650;
  const std::vector<UartChar> got = Reframe(text, Frame("9600-8N1"), near);
  EXPECT_EQ(Values(got), std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_FALSE(AnyError(got));
}

TEST(SerialFrame, AnotherRateTurnsTheEscapeAndTheAnswerIntoSomethingElse) {
  for (const char* unit : {"19200", "38400", "57600", "115200", "4800", "2400", "1200", "300"}) {
    const std::vector<UartChar> heard = Reframe("+++", Frame("9600"), Frame(unit));
    EXPECT_NE(Values(heard), (std::vector<uint8_t>{'+', '+', '+'})) << unit;
    const std::vector<UartChar> read = Reframe("\r\nOK\n\r", Frame(unit), Frame("9600"));
    std::string text;
    for (const UartChar& c : read) text.push_back(static_cast<char>(c.value));
    EXPECT_EQ(text.find("OK"), std::string::npos) << unit;
  }
}

// Same frame length, same rate: the unit's parity bit lands in the host's bit 7.
TEST(SerialFrame, SevenBitEvenParityReadAt8N1SetsBitSevenWhereTheParityBitIsOne) {
  const std::vector<UartChar> read = Reframe("OK\r\n", Frame("9600-7E1"), Frame("9600-8N1"));
  EXPECT_EQ(Values(read), (std::vector<uint8_t>{0xCF, 0x4B, 0x8D, 0x0A}));
  EXPECT_FALSE(AnyError(read));
  // The other way the host's bit 7 (0 in ASCII) is read as the parity bit: '+' (four
  // ones) passes, CR (three) arrives with a parity error.
  const std::vector<UartChar> heard = Reframe("+++\r", Frame("9600-8N1"), Frame("9600-7E1"));
  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(Values(heard), (std::vector<uint8_t>{'+', '+', '+', '\r'}));
  EXPECT_FALSE(heard[0].error || heard[1].error || heard[2].error);
  EXPECT_TRUE(heard[3].error);
}

TEST(SerialFrame, AReceiverChecksOnlyTheFirstStopBit) {
  const std::string text = "+++\rOK\n\r";
  const std::vector<UartChar> twoToOne = Reframe(text, Frame("9600-8N2"), Frame("9600-8N1"));
  const std::vector<UartChar> oneToTwo = Reframe(text, Frame("9600-8N1"), Frame("9600-8N2"));
  EXPECT_EQ(Values(twoToOne), std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(Values(oneToTwo), std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_FALSE(AnyError(twoToOne) || AnyError(oneToTwo));
}

TEST(SerialFrame, ASlowSendersStartBitIsABreakToAFastReceiver) {
  const std::vector<UartChar> heard = Reframe("\r", Frame("300"), Frame("115200"));
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard[0].value, 0);
  EXPECT_TRUE(heard[0].error);
}

termios Master(speed_t speed, tcflag_t cflag) {
  termios t{};
  t.c_cflag = cflag;
  cfsetospeed(&t, speed);
  cfsetispeed(&t, speed);
  return t;
}

TEST(HostFrame, SpeedStopBitsAndOddParityAreTakenFromTheMaster) {
  const SerialFrame seen = HostFrameSeen(Master(B57600, CS8 | CSTOPB | PARODD), Frame("9600-8N1"));
  EXPECT_EQ(SerialFrameText(seen), "57600-8O2");
}

// A pseudo-terminal forces CS8 and clears PARENB: what it hides is taken to match.
TEST(HostFrame, WhatThePseudoTerminalHidesIsTakenToMatchTheUnitButOddParityIsSeen) {
  EXPECT_EQ(SerialFrameText(HostFrameSeen(Master(B19200, CS8), Frame("19200-7E1"))), "19200-7E1");
  EXPECT_EQ(SerialFrameText(HostFrameSeen(Master(B19200, CS8), Frame("19200-7O1"))), "19200-7N1");
  EXPECT_EQ(SerialFrameText(HostFrameSeen(Master(B19200, CS8 | PARODD), Frame("19200-7O1"))), "19200-7O1");
  EXPECT_EQ(SerialFrameText(HostFrameSeen(Master(B9600, CS7 | PARENB), Frame("9600-8N1"))), "9600-7E1");
}

}  // namespace
}  // namespace vqx::sim
