#include "protocol/reply_recognizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/response_table.h"

namespace vqx {
namespace {

struct Recognised {
  Recognition outcome;
  ResponseRecord reply;
};

// Lines are given as received; the remark is derived as the assembler would.
Recognised Recognise(const std::string& line, bool inSecondProbe = false, ResponseRecord start = {}) {
  const bool remark = line.size() >= 2 && line[line.size() - 2] == ')';
  Recognised r{Recognition::Idle, start};
  r.outcome = RecognizeReply(line.c_str(), remark, inSecondProbe, r.reply);
  return r;
}

TEST(ReplyRecognizer, PlainRepliesAndTheirLine) {
  const Recognised ok = Recognise("OK\r\n");
  EXPECT_EQ(ok.outcome, Recognition::ReplyReady);
  EXPECT_EQ(ok.reply.responseId, kRspOk);
  EXPECT_STREQ(ok.reply.line, "OK\r\n");
  EXPECT_EQ(Recognise("DIS\n").reply.responseId, kRspDis);
}

TEST(ReplyRecognizer, ErrCountsAsOkOnlyAnsweringTheSecondProbe) {
  EXPECT_EQ(Recognise("ERR\n").reply.responseId, kRspErr);
  const Recognised second = Recognise("ERR\n", /*inSecondProbe=*/true);
  EXPECT_EQ(second.outcome, Recognition::ReplyReady);
  EXPECT_EQ(second.reply.responseId, kRspOk);
}

TEST(ReplyRecognizer, KeywordsAreExactAndCaseSensitive) {
  EXPECT_EQ(Recognise("ok\n").outcome, Recognition::Idle);
  EXPECT_EQ(Recognise("OKAY\n").outcome, Recognition::Idle);
  EXPECT_EQ(Recognise("    \n").outcome, Recognition::Idle);
  EXPECT_EQ(Recognise("\t. \n").outcome, Recognition::Idle);
  // The point ends a word, so "OK." is still OK.
  EXPECT_EQ(Recognise("OK.\n").reply.responseId, kRspOk);
}

TEST(ReplyRecognizer, AddressReplyReadsOctetsAndTheDhcpRemark) {
  const Recognised plain = Recognise("MYIP 192.168.001.020\n");
  EXPECT_EQ(plain.outcome, Recognition::ReplyReady);
  EXPECT_EQ(plain.reply.responseId, kRspMyip);
  const uint8_t expected[4] = {192, 168, 1, 20};
  EXPECT_EQ(std::memcmp(plain.reply.address, expected, 4), 0);
  EXPECT_EQ(plain.reply.value, 0);

  EXPECT_EQ(Recognise("MYIP 192.168.001.020 (DHCP)\n").reply.value, 1);
  EXPECT_EQ(Recognise("MYIP 192.168.001.020 (DHCP)\r\n").reply.value, 0);
  EXPECT_EQ(Recognise("SUBNET 255.255.255.000 (DHCP)\n").reply.responseId, kRspSubnet);
}

TEST(ReplyRecognizer, OctetsKeepTheirLowEightBits) {
  const Recognised r = Recognise("GATEIP 256.257.10.300\n");
  ASSERT_EQ(r.outcome, Recognition::ReplyReady);
  const uint8_t expected[4] = {0, 1, 10, 44};
  EXPECT_EQ(std::memcmp(r.reply.address, expected, 4), 0);
}

TEST(ReplyRecognizer, MissingArgumentsFailAndNonDigitsAreIgnored) {
  EXPECT_EQ(Recognise("MYIP 192.168\n").outcome, Recognition::Failed);
  EXPECT_EQ(Recognise("MYIP\r\n").outcome, Recognition::Failed);
  EXPECT_EQ(Recognise("MYIP none\n").outcome, Recognition::Unusable);
  EXPECT_EQ(Recognise("MYIP 1.x.3.4\n").outcome, Recognition::Unusable);
  EXPECT_EQ(Recognise("BAUD\n").outcome, Recognition::Failed);
  EXPECT_EQ(Recognise("HANGTM -5\n").outcome, Recognition::Unusable);
  EXPECT_EQ(Recognise("CON\n").outcome, Recognition::Failed);
  EXPECT_EQ(Recognise("ATT <none>\n").outcome, Recognition::Unusable);
  EXPECT_EQ(Recognise("what?\n").outcome, Recognition::Idle);
}

TEST(ReplyRecognizer, PeerAddressTakesAnOptionalPort) {
  ResponseRecord start;
  start.value = 777;
  const Recognised withPort = Recognise("CON 10.1.2.3:5000\n", false, start);
  EXPECT_EQ(withPort.outcome, Recognition::ReplyReady);
  EXPECT_EQ(withPort.reply.responseId, kRspCon);
  const uint8_t expected[4] = {10, 1, 2, 3};
  EXPECT_EQ(std::memcmp(withPort.reply.address, expected, 4), 0);
  EXPECT_EQ(withPort.reply.value, 5000);

  const Recognised noPort = Recognise("ATT 010.001.002.003\n", false, start);
  EXPECT_EQ(noPort.outcome, Recognition::ReplyReady);
  EXPECT_EQ(noPort.reply.responseId, kRspAtt);
  EXPECT_EQ(noPort.reply.value, 777);  // not set
}

TEST(ReplyRecognizer, NumbersReadLeadingDigitsOnly) {
  EXPECT_EQ(Recognise("HANGTM 1.5\n").reply.value, 1);
  EXPECT_EQ(Recognise("BAUD 9600baud\n").reply.value, 9600);
  const Recognised r = Recognise("SRVRPORT 65535\r\n");
  EXPECT_EQ(r.reply.responseId, kRspSrvrport);
  EXPECT_EQ(r.reply.value, 65535);
  EXPECT_EQ(Recognise("PORT 99999999999999\n").reply.value, INT32_MAX);
}

TEST(ReplyRecognizer, TextIsTheRestOfTheLineWithSpacesAndPoints) {
  const Recognised r = Recognise("NAME Tower 2. North\r\n");
  EXPECT_EQ(r.outcome, Recognition::ReplyReady);
  EXPECT_STREQ(r.reply.text, "Tower 2. North");
  EXPECT_STREQ(Recognise("VER VQX-2 v1.00\n").reply.text, "VQX-2 v1.00");
  EXPECT_STREQ(Recognise("MAC 00:50:C2:12:34:56\n\r").reply.text, "00:50:C2:12:34:56");
  // Only the single delimiter that ended the keyword is eaten.
  EXPECT_STREQ(Recognise("PASS  two spaces\n").reply.text, " two spaces");
}

// The unit says "<none>" for an empty name or password; an empty value after the
// keyword is still a reply without its argument.
TEST(ReplyRecognizer, TextPlaceholderIsTheEmptyTextAndAnEmptyValueFails) {
  ResponseRecord start;
  std::strcpy(start.text, "kept");
  const Recognised none = Recognise("NAME <none>\n", false, start);
  EXPECT_EQ(none.outcome, Recognition::ReplyReady);
  EXPECT_EQ(none.reply.responseId, kRspName);
  EXPECT_STREQ(none.reply.text, "");
  EXPECT_STREQ(Recognise("PASS <none>\r\n", false, start).reply.text, "");
  EXPECT_EQ(Recognise("NAME\r\n", false, start).outcome, Recognition::Failed);
}

// Only the exact placeholder means empty: a name or password of the user's own that
// begins with '<' or ends with '>' is read as it stands, or a backup would lose it.
TEST(ReplyRecognizer, TextsThatOnlyLookLikeThePlaceholderAreReadAsTheyStand) {
  for (const char* text : {"<Relay-7>", "<pw", "<", "<>", "x>", "<none", "none>", "<none> ", " <none>", "<NONE>",
                           "<none>x"}) {
    SCOPED_TRACE(text);
    const Recognised name = Recognise(std::string("NAME ") + text + "\r\n");
    EXPECT_EQ(name.outcome, Recognition::ReplyReady);
    EXPECT_STREQ(name.reply.text, text);
    EXPECT_STREQ(Recognise(std::string("PASS ") + text + "\n").reply.text, text);
  }
}

TEST(ReplyRecognizer, OverlongTextIsCutToItsField) {
  const std::string text(100, 'T');
  const Recognised r = Recognise("NAME " + text + "\n");
  EXPECT_EQ(r.outcome, Recognition::ReplyReady);
  EXPECT_EQ(std::string(r.reply.text), std::string(63, 'T'));
}

TEST(ReplyRecognizer, EchoReadsTheSecondLetter) {
  EXPECT_EQ(Recognise("ECHO OFF\n").reply.value, 0);
  const Recognised on = Recognise("ECHO ON\n");
  EXPECT_EQ(on.reply.responseId, kRspEcho);
  EXPECT_EQ(on.reply.value, 1);
  EXPECT_EQ(Recognise("ECHO O\n").reply.value, 0);
  EXPECT_EQ(Recognise("ECHO\n").outcome, Recognition::Failed);
  EXPECT_EQ(Recognise("ECHO <x>\n").outcome, Recognition::Unusable);
}

TEST(ReplyRecognizer, EveryTableKeywordIsRecognisedWithItsId) {
  for (int32_t id = 1; id < kResponseCount; ++id) {
    std::string line = ResponseKeywordTable[id];
    switch (ResponseReplyKind(id)) {
      case ReplyKind::PeerAddress:
      case ReplyKind::Address: line += " 1.2.3.4"; break;
      case ReplyKind::Number: line += " 7"; break;
      case ReplyKind::Text: line += " abc"; break;
      case ReplyKind::Switch: line += " ON"; break;
      default: break;
    }
    const Recognised r = Recognise(line + "\n");
    EXPECT_EQ(r.outcome, Recognition::ReplyReady) << line;
    EXPECT_EQ(r.reply.responseId, id) << line;
  }
}

}  // namespace
}  // namespace vqx
