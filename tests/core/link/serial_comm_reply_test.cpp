// Receiving: one byte per Poll, one reply held at a time, hand-over during sends,
// a port that disappears.

#include "link_fixture.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"

namespace vqx::testing {
namespace {

using ReplyTest = LinkTest;

TEST_F(ReplyTest, OneBytePerPollAndEachShownByteCountsAsActivity) {
  OpenPort();
  port.Receive("OK\r\n");
  comm.Poll();
  EXPECT_EQ(host.output, "O");
  EXPECT_EQ(host.activity, 1);
  comm.Poll();
  comm.Poll();
  comm.Poll();
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_EQ(host.activity, 4);
  EXPECT_EQ(host.output, "OK\r\n");
}

TEST_F(ReplyTest, WaitingReplyLeavesLaterInputQueued) {
  OpenPort();
  port.Receive("OK\nERR\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
  EXPECT_EQ(port.incoming.size(), 4u);
  ASSERT_NE(comm.TakeReply(), nullptr);
  PollUntilDrained();
  const ResponseRecord* second = comm.TakeReply();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->responseId, kRspErr);
}

TEST_F(ReplyTest, EmptyQueueIsNotRead) {
  OpenPort();
  PollTimes(50);
  EXPECT_EQ(port.reads, 0);
  EXPECT_EQ(port.queueQueries, 50);
}

TEST_F(ReplyTest, ArgumentlessReplyFailsTheLink) {
  OpenPort();
  port.Receive("MYIP 192.168\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
}

// A host that polls from inside the send, as the worker would while the
// user-interface thread writes: the reply must survive the end of the send.
class PollingHost final : public ILinkHost {
 public:
  explicit PollingHost(CSerialComm& comm) : comm_(comm) {}
  void AppendOutput(const char* text) override {
    output += text;
    if (pollDuringSend && comm_.GetState() == LinkState::Sending) {
      pollDuringSend = false;
      for (int i = 0; i < 50; ++i) comm_.Poll();
    }
  }
  void SetStatusState(StatusState) override {}
  void NoteLinkActivity() override {}
  bool AcceptTypedCommand(const char*, const char*) override { return true; }

  bool pollDuringSend = true;
  std::string output;

 private:
  CSerialComm& comm_;
};

TEST_F(ReplyTest, ReplyRecognisedDuringASendIsHandedOverAfterIt) {
  PollingHost pollingHost(comm);
  comm.AttachHost(&pollingHost);
  OpenPort();
  port.Receive("OK\nBAUD 9600\n");
  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  const ResponseRecord* reply = comm.TakeReply();
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->responseId, kRspOk);
  // Only one reply was held; the next line waited in the queue.
  EXPECT_EQ(port.incoming.size(), 10u);
}

TEST_F(ReplyTest, LineCompletedRightAfterATimeOutReplacesTheFailure) {
  OpenPort();
  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  port.Receive("OK");
  PollTimes(99);  // reads "OK"; the next Poll is a time check
  clock.Advance(kReplyTimeoutMs + 1);
  port.Receive("\n");
  comm.Poll();  // times the link out, then reads the LF that completes the reply
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
}

TEST_F(ReplyTest, AReplyTheSystemHeldBackPastTheTimeOutIsTakenButSilenceStillTimesOut) {
  // The read itself waits four seconds for the start of the unit's answer (a kernel
  // worker left unscheduled on a busy machine): the unit did not keep us waiting.
  OpenPort();
  port.drain.clock = &clock;
  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  clock.Advance(kReplyTimeoutMs / 2);
  port.heldBack = "VER 1.";
  port.heldBackMs = kReplyTimeoutMs + 1000;
  PollThroughTimeCheck();
  EXPECT_TRUE(comm.AwaitingReply());
  port.Receive("20\n\r");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);

  // A unit silent past the time-out still times out, read without waiting or not.
  ASSERT_NE(comm.TakeReply(), nullptr);
  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  AdvanceAndCheck(kReplyTimeoutMs + 1);
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
  comm.ResetLink();
  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  clock.Advance(kReplyTimeoutMs + 1);
  port.heldBack = "VER 1.";
  port.heldBackMs = 500;
  PollThroughTimeCheck();
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
}

TEST_F(ReplyTest, LostPortFailsOnceThenStaysQuietUntilReopened) {
  OpenPort();
  ASSERT_TRUE(comm.SendCommand(Query(kCmdVer)));
  port.lost = true;
  comm.Poll();
  EXPECT_EQ(comm.GetState(), LinkState::Failed);
  EXPECT_TRUE(comm.PortLost());
  EXPECT_FALSE(comm.AwaitingReply());
  EXPECT_FALSE(port.isOpen) << "the gone device is let go, so a re-plugged adapter keeps its name";
  comm.ResetLink();
  const int queries = port.queueQueries;
  PollTimes(1000);
  EXPECT_EQ(port.queueQueries, queries);  // no spinning on a dead port
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_FALSE(comm.SendCommand(Query(kCmdVer)));  // nothing can be written

  comm.Close();
  OpenPort();
  EXPECT_FALSE(comm.PortLost());
  port.Receive("OK\n");
  PollUntilDrained();
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
}

}  // namespace
}  // namespace vqx::testing
