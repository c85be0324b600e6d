// The escape into command mode: "+++" between two quiet intervals, CR probes, time-outs.

#include <cstdint>

#include "link_fixture.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"

namespace vqx::testing {
namespace {

using EscapeTest = LinkTest;

TEST_F(EscapeTest, PlusesWaitForTheFirstQuietIntervalAndCarryNoLineEnd) {
  OpenPort();
  ASSERT_TRUE(comm.StartCommandMode());
  EXPECT_EQ(comm.GetState(), LinkState::EscapeWait);
  ASSERT_EQ(host.statusStates.size(), 1u);
  EXPECT_EQ(host.statusStates[0], kStatusEnteringCommand);

  AdvanceAndCheck(kEscapeGuardMs);  // exactly 2100 ms is not yet "over"
  EXPECT_EQ(port.written, "");
  AdvanceAndCheck(1);
  EXPECT_EQ(port.TakeWritten(), "+++");
  EXPECT_EQ(host.output, "+++");
  EXPECT_EQ(comm.GetState(), LinkState::EscapeSent);
  EXPECT_TRUE(comm.AwaitingReply());
}

TEST_F(EscapeTest, ProbeFollowsTheSecondQuietIntervalAndReadingResumesOnlyThen) {
  OpenPort();
  ASSERT_TRUE(comm.StartCommandMode());
  port.Receive("garbage\n");
  AdvanceAndCheck(kEscapeGuardMs + 1);
  AdvanceAndCheck(kEscapeGuardMs);
  EXPECT_EQ(port.TakeWritten(), "+++");
  EXPECT_EQ(port.reads, 0);  // nothing read during the quiet intervals
  clock.Advance(1);
  comm.Poll();
  EXPECT_EQ(port.TakeWritten(), "\r");
  EXPECT_EQ(comm.GetState(), LinkState::ProbeSent);
  // What the unit said before the probe is shown, then the probe's line start.
  EXPECT_EQ(host.output, "+++garbage\n\r\n");
  EXPECT_EQ(port.reads, 8);
  port.Receive("OK\n");
  PollTimes(3);
  EXPECT_EQ(port.reads, 8 + 3);
}

// A user who typed WHAT and pressed Attention before the listing ended: the rest of the
// listing is no answer to the probe, only the unit's reply after it is.
TEST_F(EscapeTest, WhatTheUnitSaidBeforeTheProbeIsNeverTakenForItsAnswer) {
  OpenPort();
  ASSERT_TRUE(comm.StartCommandMode());
  port.Receive("  MYIP = 192.168.1.20\nBAUD 9600\n  NAME = Tow");
  AdvanceAndCheck(kEscapeGuardMs + 1);
  AdvanceAndCheck(kEscapeGuardMs + 1);
  ASSERT_EQ(comm.GetState(), LinkState::ProbeSent);
  port.Receive("er\nOK\n");
  PollUntilDrained();
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_EQ(comm.TakeReply()->responseId, kRspOk);
}

TEST_F(EscapeTest, EachQuietIntervalEndsOnTheFirstPollPastItsGuardTime) {
  OpenPort();
  ASSERT_TRUE(comm.StartCommandMode());
  clock.Advance(kEscapeGuardMs);
  PollTimes(500);  // exactly the guard time is not yet over, however often polled
  EXPECT_EQ(port.written, "");
  clock.Advance(1);
  comm.Poll();
  EXPECT_EQ(port.TakeWritten(), "+++");
  clock.Advance(kEscapeGuardMs);
  PollTimes(500);
  EXPECT_EQ(port.written, "");
  clock.Advance(1);
  comm.Poll();
  EXPECT_EQ(port.TakeWritten(), "\r");
  EXPECT_EQ(comm.GetState(), LinkState::ProbeSent);
}

TEST_F(EscapeTest, QuietTimeBeforeThePlusesRunsFromTheLastByteOnTheWire) {
  ASSERT_TRUE(comm.Open("COM1", 1200, 'N', 8, 1));
  port.drain.clock = &clock;
  ASSERT_TRUE(comm.SendCommand(Query(kCmdBaud)));
  const uint32_t written = clock.now;
  port.drain.drainedAt = written + 300;  // the line still sends earlier output for 300 ms
  ASSERT_TRUE(comm.StartCommandMode());
  EXPECT_EQ(clock.now, written + 300);  // the escape waited for the line
  EXPECT_EQ(port.TakeWritten(), "BAUD\r\n");
  clock.now = written + 300 + kEscapeGuardMs;  // past 2100 ms since the write
  PollTimes(200);
  EXPECT_EQ(port.written, "");
  clock.Advance(1);
  comm.Poll();
  EXPECT_EQ(port.TakeWritten(), "+++");
}

TEST_F(EscapeTest, QuietTimeAfterThePlusesRunsFromTheirLastByteOnTheWire) {
  OpenPort();
  port.drain.clock = &clock;
  ASSERT_TRUE(comm.StartCommandMode());
  clock.Advance(kEscapeGuardMs + 1);
  port.drain.drainedAt = clock.now + 30;  // three characters at 1200 baud
  comm.Poll();
  ASSERT_EQ(port.TakeWritten(), "+++");
  ASSERT_EQ(port.drain.doneTimes.size(), 1u);
  const uint32_t onTheWire = port.drain.doneTimes.back();
  clock.now = onTheWire + kEscapeGuardMs;
  PollTimes(200);
  EXPECT_EQ(port.written, "");
  clock.Advance(1);
  comm.Poll();
  EXPECT_EQ(port.TakeWritten(), "\r");
}

TEST_F(EscapeTest, OutputThatNeverLeavesHoldsTheEscapeOnlyForItsWireTimeInShortSlices) {
  ASSERT_TRUE(comm.Open("COM1", 1200, 'N', 8, 1));
  port.drain.clock = &clock;
  port.drain.stuck = true;  // flow control held: nothing leaves
  ASSERT_TRUE(comm.SendCommand(Query(kCmdSecurity)));  // "SECURITY\r\n", 10 bytes
  const uint32_t start = clock.now;
  ASSERT_TRUE(comm.StartCommandMode());
  // 10 bytes of at most 12 bits at 1200 baud take 100 ms; twice that and 250 ms of slack.
  EXPECT_EQ(clock.now - start, 450u);
  for (const uint32_t limit : port.drain.limits) EXPECT_LE(limit, 20u) << "the port lock is held only briefly";
  AdvanceAndCheck(kEscapeGuardMs + 1);
  EXPECT_EQ(comm.GetState(), LinkState::EscapeSent);
}

TEST_F(EscapeTest, DrainOfAClosedOrLostPortReturnsAtOnce) {
  port.drain.clock = &clock;
  port.drain.stuck = true;
  EXPECT_FALSE(comm.DrainOutput());  // never opened
  OpenPort();
  port.lost = true;
  comm.Poll();
  const uint32_t before = clock.now;
  EXPECT_FALSE(comm.DrainOutput());
  EXPECT_EQ(clock.now, before);
}

TEST_F(EscapeTest, OkToTheFirstProbeIsCommandModeReached) {
  OpenPort();
  EscapeToProbe();
  port.Receive("\rOK\n\r");
  PollUntilDrained();
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  const ResponseRecord* reply = comm.TakeReply();
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->responseId, kRspOk);
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_EQ(comm.TakeReply(), nullptr);
}

TEST_F(EscapeTest, SecondProbeGoesOutThreeSecondsAfterThePlusesAndErrThenCountsAsOk) {
  OpenPort();
  ASSERT_TRUE(comm.StartCommandMode());
  AdvanceAndCheck(kEscapeGuardMs + 1);  // "+++" here
  AdvanceAndCheck(kEscapeGuardMs + 1);  // probe here, 2101 ms after "+++"
  port.TakeWritten();
  AdvanceAndCheck(kReplyTimeoutMs - (kEscapeGuardMs + 1));  // 3000 ms since "+++": not over
  EXPECT_EQ(comm.GetState(), LinkState::ProbeSent);
  AdvanceAndCheck(1);
  EXPECT_EQ(comm.GetState(), LinkState::SecondProbe);
  EXPECT_EQ(port.TakeWritten(), "\r");

  port.Receive("ERR\n");
  PollUntilDrained();
  const ResponseRecord* reply = comm.TakeReply();
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->responseId, kRspOk);
}

TEST_F(EscapeTest, ErrToTheFirstProbeStaysErr) {
  OpenPort();
  EscapeToProbe();
  port.Receive("ERR\n");
  PollUntilDrained();
  const ResponseRecord* reply = comm.TakeReply();
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->responseId, kRspErr);
}

TEST_F(EscapeTest, SilentUnitFailsThreeSecondsAfterTheSecondProbe) {
  OpenPort();
  EscapeToProbe();
  AdvanceAndCheck(kReplyTimeoutMs);
  ASSERT_EQ(comm.GetState(), LinkState::SecondProbe);
  AdvanceAndCheck(kReplyTimeoutMs);
  EXPECT_EQ(comm.GetState(), LinkState::SecondProbe);
  AdvanceAndCheck(1);
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
  EXPECT_FALSE(comm.AwaitingReply());
  EXPECT_EQ(port.TakeWritten(), "\r");
}

// A line that is no reply (a banner, noise) must not end the escape in a state that
// nothing leaves: the probes go on and time out as if nothing had been said.
TEST_F(EscapeTest, UnrecognisedAnswerKeepsTheProbesAndTheirTimeOutRunning) {
  OpenPort();
  EscapeToProbe();
  port.Receive("Welcome\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::ProbeSent);
  EXPECT_TRUE(comm.AwaitingReply());
  AdvanceAndCheck(kReplyTimeoutMs + 1);
  EXPECT_EQ(comm.GetState(), LinkState::SecondProbe);
  EXPECT_EQ(port.TakeWritten(), "\r");
  AdvanceAndCheck(kReplyTimeoutMs + 1);
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
}

TEST_F(EscapeTest, AReplyWithAnUnreadableValueStillCountsAsTheUnitAnswering) {
  OpenPort();
  EscapeToProbe();
  port.Receive("ECHO <on>\n");
  PollUntilDrained();
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_EQ(comm.TakeReply()->responseId, kRspErr);
}

TEST_F(EscapeTest, TimelineSurvivesTheClockWrappingAround) {
  clock.now = UINT32_MAX - 1000;
  OpenPort();
  EscapeToProbe();  // both intervals cross zero
  EXPECT_LT(clock.now, 10000u);
}

TEST_F(EscapeTest, StartOutsideIdleChangesNothing) {
  EXPECT_FALSE(comm.StartCommandMode());  // Closed
  OpenPort();
  port.Receive("OK\n");
  PollUntilDrained();
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_FALSE(comm.StartCommandMode());
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_TRUE(host.statusStates.empty());
}

}  // namespace
}  // namespace vqx::testing
