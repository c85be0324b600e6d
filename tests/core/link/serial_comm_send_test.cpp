// Sending: program commands, typed lines, refusals and the reply time-out.

#include <cstring>

#include "link_fixture.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"

namespace vqx::testing {
namespace {

using SendTest = LinkTest;

TEST_F(SendTest, CommandsAreShownAfterALineBreakAndWrittenBackToBack) {
  OpenPort();
  CommandRecord name;
  name.commandId = kCmdName;
  name.value = 0;
  std::strcpy(name.text, "Tower");
  EXPECT_TRUE(comm.SendCommand(name));
  EXPECT_TRUE(comm.SendCommand(Query(kCmdSave)));
  EXPECT_EQ(port.TakeWritten(), "NAME Tower\r\nSAVE\r\n");
  EXPECT_EQ(host.output, "\r\nNAME Tower\r\n\r\nSAVE\r\n");
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_TRUE(comm.AwaitingReply());
  EXPECT_EQ(comm.LastCommand().commandId, kCmdSave);
}

TEST_F(SendTest, NothingGoesOutUnlessIdle) {
  EXPECT_FALSE(comm.SendCommand(Query(kCmdVer)));  // Closed
  OpenPort();
  port.Receive("OK\n");
  PollUntilDrained();
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_FALSE(comm.SendCommand(Query(kCmdVer)));
  EXPECT_FALSE(comm.SendTypedLine("VER\r\n"));
  EXPECT_EQ(port.written, "");
  EXPECT_EQ(host.output, "OK\n");
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
}

TEST_F(SendTest, TextWithLineBreakIsRefusedAndTheLinkStaysUsable) {
  OpenPort();
  CommandRecord name;
  name.commandId = kCmdName;
  name.value = 0;
  std::strcpy(name.text, "x\r\nSAVE");
  EXPECT_FALSE(comm.SendCommand(name));
  EXPECT_EQ(port.written, "");
  EXPECT_EQ(host.output, "");
  EXPECT_FALSE(comm.AwaitingReply());
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_TRUE(comm.SendCommand(Query(kCmdName)));
}

TEST_F(SendTest, UnansweredCommandFailsAfterThreeSeconds) {
  OpenPort();
  ASSERT_TRUE(comm.SendCommand(Query(kCmdBaud)));
  AdvanceAndCheck(kReplyTimeoutMs);
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  AdvanceAndCheck(1);
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
  EXPECT_FALSE(comm.AwaitingReply());
  comm.ResetLink();
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

TEST_F(SendTest, FailedWriteOfACommandStillTimesOut) {
  OpenPort();
  port.failWrites = true;
  EXPECT_FALSE(comm.SendCommand(Query(kCmdBaud)));
  EXPECT_EQ(host.output, "\r\nBAUD\r\n");
  AdvanceAndCheck(kReplyTimeoutMs + 1);
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
}

// A query that gets only noise back is still unanswered: its time-out fails the link,
// which the window reports as not responding, instead of a read that waits for ever.
TEST_F(SendTest, UnrecognisedLineKeepsTheOwnCommandsTimeOutRunning) {
  OpenPort();
  ASSERT_TRUE(comm.SendCommand(Query(kCmdBaud)));
  port.Receive("what?\n");
  PollUntilDrained();
  EXPECT_TRUE(comm.AwaitingReply());
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  AdvanceAndCheck(kReplyTimeoutMs + 1);
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
}

// A typed line may get any answer, or none the program knows: the terminal does not
// turn that into "not responding".
TEST_F(SendTest, UnrecognisedAnswerToATypedLineClearsTheTimeOut) {
  OpenPort();
  ASSERT_TRUE(comm.SendTypedLine("FOO\r\n"));
  port.Receive("what?\n");
  PollUntilDrained();
  EXPECT_FALSE(comm.AwaitingReply());
  AdvanceAndCheck(kReplyTimeoutMs * 3);
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

// The unit answered the query, but with a value that cannot be stored: the window gets a
// refusal of that setting, so the read goes on without it.
TEST_F(SendTest, AReplyWithAnUnreadableValueToAnOwnQueryBecomesARefusal) {
  OpenPort();
  for (const char* line : {"MYIP 10.x.3.4\n", "SRVRIP <none>\n", "BAUD fast\n", "ECHO <off>\n"}) {
    ASSERT_TRUE(comm.SendCommand(Query(kCmdMyip))) << line;
    port.Receive(line);
    PollUntilDrained();
    ASSERT_EQ(comm.GetState(), LinkState::ReplyReady) << line;
    EXPECT_EQ(comm.TakeReply()->responseId, kRspErr) << line;
    EXPECT_FALSE(comm.AwaitingReply());
  }
  // The same line after a typed query is only shown.
  ASSERT_TRUE(comm.SendTypedLine("MYIP\r\n"));
  port.Receive("MYIP 10.x.3.4\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

TEST_F(SendTest, TypedLineGoesOutAsTypedWhileTheWindowSeesTheUpperCaseWord) {
  OpenPort();
  EXPECT_TRUE(comm.SendTypedLine("myip 10.0.0.7\r\n"));
  EXPECT_EQ(port.TakeWritten(), "myip 10.0.0.7\r\n");
  EXPECT_EQ(host.output, "\r\nmyip 10.0.0.7\r\n");
  ASSERT_EQ(host.typedKeywords.size(), 1u);
  EXPECT_EQ(host.typedKeywords[0], "MYIP");
  EXPECT_EQ(host.typedArguments[0], "10.0.0.7");
  EXPECT_TRUE(comm.AwaitingReply());
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

TEST_F(SendTest, TypedArgumentRulesFollowTheLine) {
  OpenPort();
  comm.SendTypedLine("MYIP\r\n");
  comm.SendTypedLine("  name   North Tower\r\n");
  comm.SendTypedLine("NAME \r\n");
  ASSERT_EQ(host.typedArguments.size(), 3u);
  EXPECT_EQ(host.typedArguments[0], "<no argument>");
  EXPECT_EQ(host.typedKeywords[1], "NAME");
  EXPECT_EQ(host.typedArguments[1], "  North Tower");  // further spaces belong to it
  EXPECT_EQ(host.typedArguments[2], "<no argument>");
}

TEST_F(SendTest, TypedLineRefusedByTheWindowIsNeitherShownNorWritten) {
  OpenPort();
  host.acceptTyped = false;
  EXPECT_FALSE(comm.SendTypedLine("ECHO ON\r\n"));
  EXPECT_EQ(port.written, "");
  EXPECT_EQ(host.output, "");
  EXPECT_FALSE(comm.AwaitingReply());
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

TEST_F(SendTest, BlankTypedLineSendsNothing) {
  OpenPort();
  EXPECT_FALSE(comm.SendTypedLine("   \r\n"));
  EXPECT_EQ(port.written, "");
  EXPECT_TRUE(host.typedKeywords.empty());
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

// A driver whose write time-out ran out mid-line took only part of it: the window must
// see a failed send, never a sent one.
TEST_F(SendTest, ALineWrittenOnlyInPartIsAFailedSend) {
  OpenPort();
  port.writeLimit = 3;
  EXPECT_FALSE(comm.SendCommand(Query(kCmdBaud)));
  EXPECT_EQ(port.TakeWritten(), "BAU");
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_FALSE(comm.SendTypedLine("VER\r\n"));
  EXPECT_EQ(port.TakeWritten(), "VER");
  port.writeLimit = SIZE_MAX;
  EXPECT_TRUE(comm.SendCommand(Query(kCmdBaud)));
  EXPECT_EQ(port.TakeWritten(), "BAUD\r\n");
}

TEST_F(SendTest, FailedTypedWriteDoesNotArmTheTimeOut) {
  OpenPort();
  port.failWrites = true;
  EXPECT_FALSE(comm.SendTypedLine("VER\r\n"));
  EXPECT_FALSE(comm.AwaitingReply());
  AdvanceAndCheck(kReplyTimeoutMs * 2);
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
}

TEST_F(SendTest, HelpAnswersAreShownButNotRecognisedUntilTheNextCommand) {
  OpenPort();
  ASSERT_TRUE(comm.SendTypedLine("help\r\n"));
  EXPECT_TRUE(comm.SuppressParse());
  port.Receive("MYIP 1.2.3.4\nOK\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_NE(host.output.find("MYIP 1.2.3.4\nOK\n"), std::string::npos);

  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  EXPECT_FALSE(comm.SuppressParse());
  port.Receive("OK\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
}

TEST_F(SendTest, OpenAppliesLineSettingsAndFailureLeavesTheLinkClosed) {
  ASSERT_TRUE(comm.Open("/dev/ttyUSB0", 115200, 'O', 7, 2));
  EXPECT_EQ(port.openedName, "/dev/ttyUSB0");
  EXPECT_EQ(port.openedSettings.baudRate, 115200);
  EXPECT_EQ(port.openedSettings.parity, 'O');
  EXPECT_EQ(port.openedSettings.dataBits, 7);
  EXPECT_EQ(port.openedSettings.stopBits, 2);
  comm.Close();
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
  port.openSucceeds = false;
  EXPECT_FALSE(comm.Open("nothing", 9600, 'N', 8, 1));
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
  EXPECT_EQ(comm.LastOpenResult().error, PortOpenError::NotFound);
  comm.ResetLink();
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
}

}  // namespace
}  // namespace vqx::testing
