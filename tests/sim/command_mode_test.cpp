#include <gtest/gtest.h>

#include "unit_driver.h"

namespace vqx::sim {
namespace {

using testing::UnitDriver;

TEST(SimEcho, EchoesEveryByteAsReceivedUntilEchoOff) {
  UnitDriver d;
  d.Escape();
  EXPECT_TRUE(d.unit().EchoOn());
  // The CR is echoed as a whole line end before the reply, so the reply never joins
  // the echoed command; the LF of the pair is not echoed again.
  EXPECT_EQ(d.Send("VER\r\n"), "VER\r\nVER VQX-2 v1.00\n\r");
  EXPECT_EQ(d.Send("ECHO OFF\r\n"), "ECHO OFF\r\nOK\n\r");
  EXPECT_FALSE(d.unit().EchoOn());
  EXPECT_EQ(d.Ask("VER"), "VER VQX-2 v1.00\n\r");
  EXPECT_EQ(d.Ask("ECHO"), "ECHO OFF\n\r");
  // The line that switches echo on is not echoed itself, not even its LF.
  EXPECT_EQ(d.Ask("ECHO ON"), "OK\n\r");
  EXPECT_EQ(d.Send("ECHO\r"), "ECHO\r\nECHO ON\n\r");
}

TEST(SimEcho, EchoOfTypedBytesIsImmediateAndByteWise) {
  UnitDriver d;
  d.Escape();
  EXPECT_EQ(d.Send("M"), "M");
  EXPECT_EQ(d.Send("Y"), "Y");
  EXPECT_EQ(d.Send("IP"), "IP");
  EXPECT_EQ(d.Send("\r"), "\r\nMYIP 192.168.001.020\n\r");
}

TEST(SimLines, LineEndsAtCrAtLoneLfAndIgnoresLfAfterCr) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Send("PORT\n"), "PORT 2000\n\r");
  EXPECT_EQ(d.Send("PORT\r"), "PORT 2000\n\r");
  // The LF of that CR LF pair arriving late is still not an empty line.
  EXPECT_EQ(d.Send("\n"), "");
  EXPECT_EQ(d.Send("\n"), "OK\n\r");
  EXPECT_EQ(d.Send("\r"), "OK\n\r");
  EXPECT_EQ(d.Send("   \r"), "OK\n\r");
}

TEST(SimLines, BackspaceRemovesTheLastTypedCharacter) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Send("DSCX\x7fP\r"), "DSCP 46\n\r");
  EXPECT_EQ(d.Send("\bDSCP\r"), "DSCP 46\n\r");
}

TEST(SimLines, OverlongLineIsRefusedAsAWhole) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("NAME " + std::string(400, 'x')), "ERR\n\r");
  EXPECT_EQ(d.Ask("NAME"), "NAME VQX-2\n\r");
}

TEST(SimLines, ReceivedLinesAreLoggedAsTyped) {
  UnitDriver d;
  d.Escape();
  d.Send("\r");
  d.Send("echo off\r\n");
  d.Ask("myip");
  EXPECT_EQ(d.unit().ReceivedLines(), (std::vector<std::string>{"", "echo off", "myip"}));
}

struct QueryCase {
  const char* line;
  const char* reply;
};

class SimDefaultQuery : public ::testing::TestWithParam<QueryCase> {};

TEST_P(SimDefaultQuery, AnswersKeywordAndValueInReplyForm) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask(GetParam().line), std::string(GetParam().reply) + "\n\r");
}

INSTANTIATE_TEST_SUITE_P(
    EveryQuery, SimDefaultQuery,
    ::testing::Values(
        QueryCase{"MYIP", "MYIP 192.168.001.020"}, QueryCase{"SUBNET", "SUBNET 255.255.255.000"},
        QueryCase{"GATEIP", "GATEIP 192.168.001.001"},
        QueryCase{"SRVRIP", "SRVRIP 192.168.001.030"}, QueryCase{"BAUD", "BAUD 9600"},
        QueryCase{"PORT", "PORT 2000"}, QueryCase{"BCAST", "BCAST 0"},
        QueryCase{"CONMODE", "CONMODE 0"}, QueryCase{"NAME", "NAME VQX-2"},
        QueryCase{"SECURITY", "SECURITY 0"}, QueryCase{"VER", "VER VQX-2 v1.00"},
        QueryCase{"COR", "COR 0"}, QueryCase{"CORINH", "CORINH 0"}, QueryCase{"DATA", "DATA 8"},
        QueryCase{"STOP", "STOP 1"}, QueryCase{"PARITY", "PARITY N"},
        QueryCase{"HANGTM", "HANGTM 1000"}, QueryCase{"VOCODER", "VOCODER 1"},
        QueryCase{"PASS", "PASS admin"}, QueryCase{"SRVRPORT", "SRVRPORT 2000"},
        QueryCase{"CMDPORT", "CMDPORT 2001"}, QueryCase{"DSCP", "DSCP 46"},
        QueryCase{"VSENSE", "VSENSE 1"}, QueryCase{"BOOST", "BOOST 0"},
        QueryCase{"DUPLEX", "DUPLEX 0"}, QueryCase{"RXDELAY", "RXDELAY 0"},
        QueryCase{"TXDELAY", "TXDELAY 0"}, QueryCase{"MAC", "MAC 00:50:C2:12:34:56"},
        QueryCase{"STAT", "DIS"}, QueryCase{"ECHO", "ECHO OFF"},
        QueryCase{"myip", "MYIP 192.168.001.020"}, QueryCase{"Vocoder", "VOCODER 1"}));

TEST(SimQuery, DhcpAddressesCarryTheRemarkRightBeforeTheLineEnd) {
  SimConfig config;
  config.settings.SetDhcp(true);
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  const std::string reply = d.Ask("MYIP");
  EXPECT_EQ(reply, "MYIP 192.168.001.020 (DHCP)\n\r");
  EXPECT_EQ(reply[reply.find('\n') - 1], ')');
  EXPECT_EQ(d.Ask("SUBNET"), "SUBNET 255.255.255.000 (DHCP)\n\r");
  EXPECT_EQ(d.Ask("GATEIP"), "GATEIP 192.168.001.001\n\r");
  // A static address set by command ends the DHCP lease.
  EXPECT_EQ(d.Ask("MYIP 10.0.0.5"), "OK\n\r");
  EXPECT_EQ(d.Ask("MYIP"), "MYIP 010.000.000.005\n\r");
  EXPECT_EQ(d.Ask("SUBNET"), "SUBNET 255.255.255.000\n\r");
}

TEST(SimQuery, StatusReportsConnectedOrAttemptingPeerWithPort) {
  SimConfig config;
  config.peer = {PeerStatus::Connected, {172, 16, 5, 9}, 6000};
  UnitDriver con(config);
  con.EnterQuietCommandMode();
  EXPECT_EQ(con.Ask("STAT"), "CON 172.016.005.009:6000\n\r");

  config.peer.status = PeerStatus::Attempting;
  UnitDriver att(config);
  att.EnterQuietCommandMode();
  EXPECT_EQ(att.Ask("STAT"), "ATT 172.016.005.009:6000\n\r");
}

TEST(SimQuery, EmptyTextIsReportedAsNone) {
  SimConfig config;
  ASSERT_EQ(config.settings.Load(*SettingsModel::Find("NAME"), ""), SetOutcome::Ok);
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("NAME"), "NAME <none>\n\r");
  EXPECT_EQ(d.Ask("PASS "), "OK\n\r");
  EXPECT_EQ(d.Ask("PASS"), "PASS <none>\n\r");
}

TEST(SimQuery, HelpAndWhatAnswerSeveralLinesThenOk) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  for (const char* word : {"HELP", "WHAT"}) {
    const std::string reply = d.Ask(word);
    size_t lines = 0;
    for (size_t pos = 0; (pos = reply.find("\n\r", pos)) != std::string::npos; pos += 2) ++lines;
    EXPECT_GE(lines, 4u) << word;
    EXPECT_TRUE(reply.ends_with("\n\rOK\n\r")) << word;
  }
  EXPECT_NE(d.Ask("WHAT").find("192.168.001.020"), std::string::npos);
}

TEST(SimQuery, EveryVocabularyKeywordIsKnownAndUnknownWordsAreRefused) {
  for (std::string_view word : CommandInterpreter::Vocabulary()) {
    UnitDriver d;
    d.EnterQuietCommandMode();
    EXPECT_NE(d.Ask(word).substr(0, 4), "ERR\n") << word;
  }
  EXPECT_EQ(CommandInterpreter::Vocabulary().size(), 37u);
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("FOO"), "ERR\n\r");
  EXPECT_EQ(d.Ask("MYIPX"), "ERR\n\r");
  EXPECT_EQ(d.Ask("+++"), "ERR\n\r");
}

TEST(SimLineEnding, RepliesEndAsConfigured) {
  SimConfig config;
  config.lineEnding = LineEnding::CrLf;
  UnitDriver crlf(config);
  crlf.EnterQuietCommandMode();
  EXPECT_EQ(crlf.Ask("PORT"), "PORT 2000\r\n");

  config.lineEnding = LineEnding::Lf;
  UnitDriver lf(config);
  lf.EnterQuietCommandMode();
  EXPECT_EQ(lf.Ask("HELP").find('\r'), std::string::npos);
  EXPECT_EQ(lf.Ask("PORT 1"), "OK\n");
}

}  // namespace
}  // namespace vqx::sim
