// The window logic around the search for the unit's line settings: the offer after an
// unanswered escape, handing the port over and taking it back, and the read that starts
// in the command mode the search left the unit in.

#include <string>

#include "core/app/app_fixture.h"

namespace vqx::testing {
namespace {

class DetectionOfferTest : public AppScriptedTest {
 protected:
  // Create; the escape and both probes go unanswered.
  void EscapeGoesUnanswered() {
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(RunUntilStatus(kStatusNotResponding));
  }
  int Offers() const {
    int n = 0;
    for (const auto& box : surface.MessageBoxes()) n += box.text == OfferDetectionText("COM1") ? 1 : 0;
    return n;
  }
};

TEST_F(DetectionOfferTest, UnansweredEscapeIsOfferedOnceAndYesIsReported) {
  surface.SetMessageBoxAnswerer([](const HeadlessSurface::MessageBoxRecord& box) {
    return box.text == OfferDetectionText("COM1") ? kAnswerYes : 1;
  });
  EscapeGoesUnanswered();
  EXPECT_TRUE(window.OfferLineDetection());
  ASSERT_EQ(Offers(), 1);
  // It names the port the read went out on, and breaks lines only where a sentence ends:
  // the box wraps the rest to its own width.
  const std::string text = surface.MessageBoxes().back().text;
  EXPECT_NE(text.find("not responding on COM1."), std::string::npos) << text;
  for (size_t at = text.find_first_of("\r\n"); at != std::string::npos; at = text.find_first_of("\r\n", at + 1)) {
    ASSERT_GT(at, 0u);
    EXPECT_NE(std::string(".?\r\n").find(text[at - 1]), std::string::npos) << "a break inside a sentence: " << text;
  }
  EXPECT_EQ(surface.MessageBoxes().back().buttons, MessageButtons::YesNo);
  EXPECT_FALSE(window.OfferLineDetection()) << "asked once for each unanswered read";
  EXPECT_EQ(Offers(), 1);

  // The next read that goes unanswered is asked about again.
  window.SetStatusState(kStatusCommunicating);
  EXPECT_FALSE(window.OfferLineDetection());
  ASSERT_TRUE(RunUntilStatus(kStatusNotResponding));
  EXPECT_TRUE(window.OfferLineDetection());
  EXPECT_EQ(Offers(), 2);
}

TEST_F(DetectionOfferTest, NoIsReportedAndNothingIsOfferedWhileTheDialogIsOpen) {
  EscapeGoesUnanswered();
  ASSERT_TRUE(window.BeginSerialPortDialog());
  EXPECT_FALSE(window.OfferLineDetection());
  EXPECT_EQ(Offers(), 0);
  window.EndSerialPortDialog();
  EXPECT_FALSE(window.OfferLineDetection()) << "the default answer is not Yes";
  EXPECT_EQ(Offers(), 1);
}

// A query the unit stops answering in the middle of a read is no line settings problem.
TEST_F(DetectionOfferTest, UnitThatStopsAnsweringInTheReadIsNotOffered) {
  CreateAndEscape();
  UnitSays("OK\n");  // the probe; ECHO OFF goes out and is never answered
  ASSERT_TRUE(RunUntilStatus(kStatusNotResponding));
  EXPECT_FALSE(window.OfferLineDetection());
  EXPECT_EQ(Offers(), 0);
}

TEST_F(DetectionOfferTest, PortIsHandedOverClosedAndTheStoredOneComesBack) {
  ASSERT_TRUE(window.Create());
  window.ReleasePortForDetection();
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(port.written, "") << "nothing had gone out: nothing to leave";

  const int opens = port.openCount;
  EXPECT_TRUE(window.ReopenStoredPort());
  EXPECT_EQ(port.openCount, opens + 1);
  EXPECT_EQ(port.openedName, "COM1");
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);

  port.openSucceeds = false;
  window.ReleasePortForDetection();
  EXPECT_FALSE(window.ReopenStoredPort());
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  ASSERT_FALSE(surface.MessageBoxes().empty());
  EXPECT_EQ(surface.MessageBoxes().back().text.rfind(kPortOpenFailedText, 0), 0u);
}

TEST_F(DetectionOfferTest, UnitTheProgramHadInCommandModeIsReturnedBeforeTheHandOver) {
  CreateAndEscape();
  UnitSays("OK\n");
  UnitSays("OK\n");  // ECHO OFF; the read is under way
  port.TakeWritten();
  // The unit answers every line of the leave at once.
  port.Receive("OK\nOK\nOK\n");
  window.ReleasePortForDetection();
  const std::string written = port.TakeWritten();
  EXPECT_NE(written.find("ECHO ON\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("TRAN\r\n"), std::string::npos) << written;
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
}

class ReadInCommandModeTest : public AppSimTest {};

TEST_F(ReadInCommandModeTest, ReadStartsAtEchoOffWithoutAnotherEscape) {
  // The unit in command mode already, as the search leaves it.
  port.unit.OnBytes("+++", clock.now + 2000);
  clock.Advance(5000);
  port.unit.Tick(clock.now);
  ASSERT_EQ(port.unit.Mode(), sim::SimMode::Command);
  ASSERT_TRUE(window.Create());
  window.BeginReadInCommandMode();
  ASSERT_TRUE(RunUntilUnitIdle());
  EXPECT_EQ(port.written.find("+++"), std::string::npos) << "no escape";
  const auto lines = port.unit.ReceivedLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "ECHO OFF");
  EXPECT_EQ(lines.back(), "STAT");
  EXPECT_TRUE(window.IsReadFinished());
  EXPECT_TRUE(window.CommandModePossible()) << "the stop returns the unit to transparent mode";
}

}  // namespace
}  // namespace vqx::testing
