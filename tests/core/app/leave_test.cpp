// The orderly stop against the simulated unit on the fake clock: whatever the program was
// doing when it was closed, the unit ends in transparent mode and hears nothing after
// TRAN, or the user is told that it may not have.

#include <gmock/gmock.h>

#include <algorithm>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "protocol/command_table.h"

namespace vqx::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The unit thinks a moment before each answer, so that a close can fall between a
// command and its reply.
sim::SimConfig ThinkingUnit() {
  sim::SimConfig config = DefaultSimConfig();
  config.replyDelayMs = 40;
  return config;
}

class LeaveTest : public AppSimTest {
 protected:
  LeaveTest() : AppSimTest(ThinkingUnit()) {}

  // Closes as the command-line tool does and checks the unit once its own guard time
  // (a "+++" just sent) has passed.
  LeaveOutcome Close() {
    closeStart_ = clock.now;
    const LeaveOutcome outcome = app.Shutdown();
    closeTook_ = ElapsedMs(clock.now, closeStart_);
    clock.Advance(kEscapeGuardMs + 100);
    port.QueuedBytes();  // hands the unit what the line still held and lets its time pass
    return outcome;
  }
  std::vector<std::string> LinesSince(size_t mark) const {
    const auto& all = port.unit.ReceivedLines();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(mark, all.size())), all.end()};
  }
  size_t LinesNow() const { return port.unit.ReceivedLines().size(); }
  bool UnitTransparent() const { return port.unit.Mode() == sim::SimMode::Transparent; }

  uint32_t closeStart_ = 0;
  uint32_t closeTook_ = 0;
};

TEST_F(LeaveTest, CloseBeforeTheEscapeWentOutSendsNothing) {
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::EscapeWait; }));
  EXPECT_EQ(Close(), LeaveOutcome::NothingToLeave);
  EXPECT_EQ(port.TakeWritten(), "") << "nothing went out, so there is nothing to undo";
  EXPECT_TRUE(UnitTransparent());
  EXPECT_THAT(port.unit.ReceivedLines(), IsEmpty());
  EXPECT_THAT(surface.MessageBoxes(), IsEmpty());
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
}

TEST_F(LeaveTest, CloseJustAfterPlusPlusPlusCompletesTheEscapeThenSendsEchoOnAndTran) {
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::EscapeSent; }));
  ASSERT_EQ(port.TakeWritten(), "+++");
  port.unit.DrainEvents();
  EXPECT_EQ(Close(), LeaveOutcome::Transparent);
  // The unit still echoes (no ECHO OFF went out): its echo of ECHO ON is not the answer.
  std::vector<sim::SimEvent> received;
  for (const sim::SimEvent& e : port.unit.DrainEvents()) {
    if (e.kind == sim::SimEvent::Kind::LineReceived) received.push_back(e);
  }
  ASSERT_EQ(received.size(), 3u);
  EXPECT_GE(received[2].atMs, received[1].atMs + 40) << "TRAN waits for the OK to ECHO ON, not for its echo";
  EXPECT_EQ(port.TakeWritten(), "\rECHO ON\r\nTRAN\r\n");
  EXPECT_THAT(port.unit.ReceivedLines(), ElementsAre("", "ECHO ON", "TRAN"));
  EXPECT_TRUE(UnitTransparent());
  EXPECT_GE(closeTook_, kEscapeGuardMs) << "the guard after \"+++\" is kept before the probe";
  EXPECT_LE(closeTook_, CAppWindow::LeaveLimitMs());
  EXPECT_EQ(window.GetStatusState(), kStatusTransparent);
  EXPECT_THAT(surface.MessageBoxes(), IsEmpty());
}

TEST_F(LeaveTest, CloseWithAQueryInFlightWaitsForItsReplyAndSendsNothingAfterTran) {
  ASSERT_TRUE(window.Create());
  // Some settings read, the next query written and its answer not yet in.
  ASSERT_TRUE(RunUntil([&] {
    return CAppWindowTestAccess::FullReadActive(window) && window.GetSettingReadState(5) != ReadMark::NotRead && comm.AwaitingReply() &&
           comm.GetState() == LinkState::Idle;
  }));
  const size_t mark = LinesNow();
  ASSERT_GT(mark, 0u);
  const std::string inFlight = port.unit.ReceivedLines().back();
  EXPECT_EQ(Close(), LeaveOutcome::Transparent);
  EXPECT_THAT(LinesSince(mark - 1), ElementsAre(inFlight, "ECHO ON", "TRAN"));
  EXPECT_TRUE(UnitTransparent());
  EXPECT_LE(closeTook_, 3 * CAppWindow::kLeaveStepMs);

  // The worker's passes, a click, a timer tick and a typed line after the stop send nothing.
  port.TakeWritten();
  Passes(2000);
  Click(ids::kAttention);
  Click(ids::kUpdateSettings);
  window.OnTimer(ids::kRebootTimer);
  window.OnEnterKey();
  Passes(2000);
  EXPECT_EQ(port.TakeWritten(), "");
}

TEST_F(LeaveTest, EchoOnsReplyIsTakenBeforeTranGoesOut) {
  CreateAndRead();
  port.unit.DrainEvents();
  EXPECT_EQ(Close(), LeaveOutcome::Transparent);
  std::vector<sim::SimEvent> received;
  for (const sim::SimEvent& e : port.unit.DrainEvents()) {
    if (e.kind == sim::SimEvent::Kind::LineReceived) received.push_back(e);
  }
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].text, "ECHO ON");
  EXPECT_EQ(received[1].text, "TRAN");
  EXPECT_GE(received[1].atMs, received[0].atMs + 40) << "TRAN waits for the unit's OK to ECHO ON";
  EXPECT_TRUE(UnitTransparent());
}

// A busy machine's serial driver can hand the unit the host's bytes seconds late (seen
// with pseudo-terminals under load). The unit then hears ECHO ON and TRAN together, after
// ECHO ON's own step has run out, and answers both inside the reply time-out.
TEST_F(LeaveTest, AUnitThatHearsEchoOnAndTranLateButInsideTheReplyTimeOutIsReportedTransparent) {
  CreateAndRead();
  port.hearDelayMs = kReplyTimeoutMs - 500;
  const size_t mark = LinesNow();
  EXPECT_EQ(Close(), LeaveOutcome::Transparent);
  EXPECT_THAT(LinesSince(mark), ElementsAre("ECHO ON", "TRAN"));
  EXPECT_TRUE(UnitTransparent());
  EXPECT_THAT(surface.MessageBoxes(), IsEmpty());
  EXPECT_LE(closeTook_, CAppWindow::LeaveLimitMs());
}

TEST_F(LeaveTest, CloseWhileAttentionEscapesAUnitAlreadyInCommandModeStillLeavesIt) {
  CreateAndRead();
  Click(ids::kAttention);
  ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::EscapeWait; }));
  const size_t mark = LinesNow();
  port.TakeWritten();
  EXPECT_EQ(Close(), LeaveOutcome::Transparent);
  EXPECT_EQ(port.TakeWritten(), "ECHO ON\r\nTRAN\r\n") << "no \"+++\": the unit is in command mode already";
  EXPECT_THAT(LinesSince(mark), ElementsAre("ECHO ON", "TRAN"));
  EXPECT_TRUE(UnitTransparent());
}

TEST_F(LeaveTest, UnitThatNeverAnswersTranIsReportedToTheUserWithinTheBound) {
  CreateAndRead();
  sim::FaultConfig silent;
  silent.silent = true;
  port.unit.SetFaults(silent);
  EXPECT_EQ(Close(), LeaveOutcome::NotConfirmed);
  EXPECT_LE(closeTook_, CAppWindow::LeaveLimitMs());
  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_THAT(boxes[0].text, HasSubstr("may still be in command mode"));
  EXPECT_THAT(boxes[0].text, HasSubstr("switch the VQX-2 off and on"));
  EXPECT_EQ(window.Shutdown(), LeaveOutcome::NothingToLeave) << "a second close does nothing";
  EXPECT_EQ(surface.MessageBoxes().size(), 1u);
}

TEST_F(LeaveTest, CloseDuringTheRebootWaitSendsNothingAndTheUnitStartsUpTransparent) {
  CreateAndRead();
  Click(ids::kViewTerminal);
  surface.UserSetText(ids::kCommandEntry, "SAVE");
  window.OnEnterKey();
  ASSERT_EQ(window.GetStatusState(), kStatusRebootWait);
  RunUntil([&] { return port.unit.Mode() == sim::SimMode::Rebooting && !comm.AwaitingReply(); }, 1000);
  const size_t mark = LinesNow();
  port.TakeWritten();
  EXPECT_EQ(Close(), LeaveOutcome::NothingToLeave);
  EXPECT_EQ(port.TakeWritten(), "");
  clock.Advance(DefaultSimConfig().rebootMs);
  port.unit.Tick(clock.now);
  EXPECT_TRUE(UnitTransparent());
  EXPECT_THAT(LinesSince(mark), IsEmpty());
}

TEST_F(LeaveTest, ATypedTranThatTheUnitTookLeavesNothingToDoAtClose) {
  CreateAndRead();
  Click(ids::kViewTerminal);
  surface.UserSetText(ids::kCommandEntry, "TRAN");
  window.OnEnterKey();
  ASSERT_TRUE(RunUntilStatus(kStatusTransparent, 2000));
  const size_t mark = LinesNow();
  port.TakeWritten();
  EXPECT_EQ(Close(), LeaveOutcome::NothingToLeave);
  EXPECT_EQ(port.TakeWritten(), "") << "ECHO ON would reach the unit's network peer";
  EXPECT_THAT(LinesSince(mark), IsEmpty());
  EXPECT_TRUE(UnitTransparent());
}

class SilentUnitLeaveTest : public AppSimTest {
 protected:
  static sim::SimConfig Silent() {
    sim::SimConfig config = DefaultSimConfig();
    config.faults.silent = true;
    return config;
  }
  SilentUnitLeaveTest() : AppSimTest(Silent()) {}
};

// A unit that hears but cannot be heard (a broken receive wire, another baud rate) is in
// command mode after the escape all the same: it gets ECHO ON and TRAN. Nothing it said
// shows that, so there is no warning either.
TEST_F(SilentUnitLeaveTest, AUnitThatNeverAnsweredTheEscapeStillGetsEchoOnAndTranButNoWarning) {
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(RunUntilStatus(kStatusNotResponding));
  port.TakeWritten();
  ASSERT_EQ(port.unit.Mode(), sim::SimMode::Command);
  EXPECT_EQ(app.Shutdown(), LeaveOutcome::NothingToLeave);
  EXPECT_EQ(port.TakeWritten(), "ECHO ON\r\nTRAN\r\n");
  port.unit.Tick(clock.now);
  EXPECT_EQ(port.unit.Mode(), sim::SimMode::Transparent);
  EXPECT_THAT(surface.MessageBoxes(), IsEmpty());
}

// Closed in the quiet time after "+++", the program sends the probe itself. A unit whose
// answer does not come back in time is in command mode all the same: without ECHO ON and
// TRAN it would pass no radio traffic, while the program said there was nothing to leave.
TEST_F(SilentUnitLeaveTest, ClosedJustAfterPlusPlusPlusAUnitWhoseAnswerNeverCameStillGetsEchoOnAndTran) {
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::EscapeSent; }));
  ASSERT_EQ(port.TakeWritten(), "+++");
  EXPECT_EQ(app.Shutdown(), LeaveOutcome::NothingToLeave);
  EXPECT_THAT(port.TakeWritten(), ::testing::EndsWith("ECHO ON\r\nTRAN\r\n"));
  port.unit.Tick(clock.now);
  EXPECT_EQ(port.unit.Mode(), sim::SimMode::Transparent);
  EXPECT_THAT(surface.MessageBoxes(), IsEmpty());
}

class RefusingUnitLeaveTest : public AppSimTest {
 protected:
  static sim::SimConfig RefusesTran() {
    sim::SimConfig config = DefaultSimConfig();
    config.unsupported = {"TRAN"};
    return config;
  }
  RefusingUnitLeaveTest() : AppSimTest(RefusesTran()) {}
};

TEST_F(RefusingUnitLeaveTest, AUnitThatAnswersErrToTranIsReportedAsPossiblyInCommandMode) {
  CreateAndRead();
  EXPECT_EQ(app.Shutdown(), LeaveOutcome::NotConfirmed);
  EXPECT_EQ(port.unit.ReceivedLines().back(), "TRAN");
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text, kStillInCommandModeText);
}

// A unit that takes 2.5 s for each answer, inside the reply time-out, is slow but fine:
// the leave waits for its answers as the read did, and it ends transparent.
class SlowUnitLeaveTest : public AppSimTest {
 protected:
  static sim::SimConfig Slow() {
    sim::SimConfig config = DefaultSimConfig();
    config.replyDelayMs = 2500;
    return config;
  }
  SlowUnitLeaveTest() : AppSimTest(Slow()) {}
};

TEST_F(SlowUnitLeaveTest, ASlowUnitIsStillLeftTransparent) {
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(RunUntil([&] { return CAppWindowTestAccess::FullReadActive(window) && window.GetSettingReadState(2) != ReadMark::NotRead; }, 120000));
  EXPECT_GE(comm.SlowestReplyMs(), 2500u);
  EXPECT_EQ(app.Shutdown(), LeaveOutcome::Transparent);
  clock.Advance(kEscapeGuardMs + 100);
  port.unit.Tick(clock.now);
  EXPECT_EQ(port.unit.Mode(), sim::SimMode::Transparent);
  EXPECT_EQ(port.unit.ReceivedLines().back(), "TRAN");
  EXPECT_THAT(surface.MessageBoxes(), IsEmpty());
}

}  // namespace
}  // namespace vqx::testing
