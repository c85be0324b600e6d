// Finding a unit's line settings against the simulated unit on the fake clock: the unit
// hears the host's bytes as its own UART would, and the host reads its answers likewise.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "link/line_candidates.h"
#include "link/line_detector.h"
#include "support/sim_wired_port.h"

namespace vqx::testing {
namespace {

using sim::SerialFrame;
using sim::SimMode;

LineSettings Line(int32_t baud, const char* framing) {
  LineSettings settings;
  EXPECT_TRUE(ParseFraming(framing, &settings)) << framing;
  settings.baudRate = baud;
  return settings;
}

sim::SimConfig UnitConfig() {
  sim::SimConfig config;
  config.guardMs = 1000;
  return config;
}

class LineDetectorTest : public ::testing::Test {
 protected:
  explicit LineDetectorTest(sim::SimConfig config = UnitConfig()) : port(clock, std::move(config)) {
    detector.SetProgress([this](const DetectionProgress& p) { progress.push_back(DetectionProgressText(p)); });
  }

  void UnitAt(uint32_t baud, int dataBits, char parity, int stopBits = 1) {
    port.unitLine = SerialFrame{baud, dataBits, parity, stopBits};
  }
  // The unit's mode once it has had time to act on the last thing it heard.
  SimMode ModeAfterAWhile() {
    clock.Advance(5000);
    port.QueuedBytes();
    return port.unit.Mode();
  }

  FakeClock clock;
  SimWiredPort port;
  LineDetector detector{port, clock};
  std::vector<std::string> progress;
};

TEST(LineCandidates, EveryRateAt8N1ComesFirstThenTheOtherFramingsInTurn) {
  const std::vector<LineSettings> order = DefaultDetectionOrder();
  ASSERT_EQ(order.size(), 9u * 6u);
  const int32_t rates[] = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 1200, 300};
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(LineSettingsText(order[i]), std::to_string(rates[i]) + " 8N1");
    EXPECT_EQ(LineSettingsText(order[9 + i]), std::to_string(rates[i]) + " 7E1");
  }
  EXPECT_EQ(LineSettingsText(order.back()), "300 7N1");
}

TEST(LineCandidates, FramingTextsOutsideWhatTheUnitOffersAreRefused) {
  LineSettings settings = Line(9600, "8N1");
  for (const char* bad : {"", "8N", "9N1", "6N1", "8X1", "8N3", "8N10", "N81"}) {
    EXPECT_FALSE(ParseFraming(bad, &settings)) << bad;
  }
  EXPECT_EQ(LineSettingsText(settings), "9600 8N1");  // untouched by the refusals
  ASSERT_TRUE(ParseFraming("7o2", &settings));
  EXPECT_EQ(LineSettingsText(settings), "9600 7O2");
}

TEST_F(LineDetectorTest, UnitAt57600IsFoundOnlyAfterTheThreeRatesBeforeItAndStaysInCommandMode) {
  UnitAt(57600, 8, 'N');
  const DetectionResult result = detector.Run("COM1", true);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(LineSettingsText(result.settings), "57600 8N1");
  EXPECT_EQ(result.triesMade, 4);
  EXPECT_EQ(result.unitLeft, UnitLeft::InCommandMode);
  EXPECT_TRUE(port.isOpen);
  EXPECT_EQ(LineSettingsText(port.openedSettings), "57600 8N1");
  EXPECT_EQ(port.unit.Mode(), SimMode::Command);
  EXPECT_EQ(progress, (std::vector<std::string>{"Trying 9600 8N1 (1 of 54)", "Trying 19200 8N1 (2 of 54)",
                                                "Trying 38400 8N1 (3 of 54)", "Trying 57600 8N1 (4 of 54)"}));
}

// 7E1 and 8N1 frames are the same length: only the parity bit tells them apart, and the
// 8N1 try at the right rate reads the unit's OK with the parity bit in bit 7.
TEST_F(LineDetectorTest, SevenBitEvenParityUnitIsFoundAtItsFramingNotAtTheRightRateWith8N1) {
  UnitAt(19200, 7, 'E');
  const DetectionResult result = detector.Run("COM1", false);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(LineSettingsText(result.settings), "19200 7E1");
  EXPECT_EQ(result.triesMade, 11);
  EXPECT_EQ(result.unitLeft, UnitLeft::Transparent);
  EXPECT_FALSE(port.isOpen);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
  EXPECT_EQ(port.unit.ReceivedLines().back(), "TRAN");
}

// Receivers check only the first stop bit: a unit at two stop bits answers the one-stop
// try at its rate, and that setting works both ways.
TEST_F(LineDetectorTest, UnitAtTwoStopBitsAnswersTheOneStopBitTryAtItsRate) {
  UnitAt(38400, 8, 'N', 2);
  const DetectionResult result = detector.Run("COM1", false);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(LineSettingsText(result.settings), "38400 8N1");
  EXPECT_EQ(result.unitLeft, UnitLeft::Transparent);
}

TEST_F(LineDetectorTest, EachFailedTryCostsOnlyItsTwoQuietTimes) {
  UnitAt(115200, 8, 'N');
  const DetectionTimings timings;
  const DetectionResult result = detector.Run("COM1", true);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  ASSERT_EQ(result.triesMade, 5);
  // The sweep, the first quiet time, four unanswered tries (the quiet time after "+++",
  // then the one after the probe, in which the reply is listened for), the found try's
  // escape; a little for the 2 ms steps at which the line is looked at.
  const uint32_t expected = result.sweepMs + timings.guardMs + 4 * (2 * timings.guardMs) + timings.guardMs;
  EXPECT_LT(result.sweepMs, 2000u);
  EXPECT_GE(result.elapsedMs, expected);
  EXPECT_LE(result.elapsedMs, expected + 100);
}

TEST_F(LineDetectorTest, UnitAlreadyInCommandModeAnswersErrAndIsFound) {
  UnitAt(9600, 8, 'N');
  port.Open("COM1", Line(9600, "8N1"));
  clock.Advance(2000);
  const std::string plus = "+++";
  port.Write(reinterpret_cast<const uint8_t*>(plus.data()), plus.size());
  ASSERT_EQ(ModeAfterAWhile(), SimMode::Command);

  const DetectionResult result = detector.Run("COM1", false);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(result.triesMade, 1);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
}

TEST_F(LineDetectorTest, PortThatCannotBeOpenedIsReportedWithItsReason) {
  port.openSucceeds = false;
  const DetectionResult result = detector.Run("COM9", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::PortProblem);
  EXPECT_EQ(result.openResult.error, PortOpenError::NotFound);
  EXPECT_EQ(port.written, "");
}

TEST_F(LineDetectorTest, CancelDuringASecondTryStopsThereAndLeavesTheUnitTransparent) {
  UnitAt(57600, 8, 'N');
  std::atomic<bool> cancel{false};
  detector.SetCancel(&cancel);
  detector.SetProgress([&](const DetectionProgress& p) {
    if (p.tryNumber == 2) cancel = true;
  });
  const DetectionResult result = detector.Run("COM1", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::Cancelled);
  EXPECT_EQ(result.triesMade, 2);
  EXPECT_FALSE(port.isOpen);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
}

class SilentUnitDetectionTest : public LineDetectorTest {
 protected:
  static sim::SimConfig Silent() {
    sim::SimConfig config = UnitConfig();
    config.faults.silent = true;
    return config;
  }
  SilentUnitDetectionTest() : LineDetectorTest(Silent()) {}
};

// A unit that hears but cannot be heard (a broken transmit wire) is escaped at its own
// setting and never says so: the run ends with TRAN at every setting it tried.
TEST_F(SilentUnitDetectionTest, NothingIsFoundAndTheUnitEscapedUnheardIsReturnedToTransparentMode) {
  UnitAt(19200, 8, 'N');
  detector.SetCandidates(DetectionOrder({9600, 19200, 38400}, {Line(0, "8N1")}));
  const DetectionResult result = detector.Run("COM1", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::NotFound);
  EXPECT_EQ(result.triesMade, 3);
  EXPECT_EQ(result.unitLeft, UnitLeft::Transparent);  // nothing answered anywhere
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
  EXPECT_EQ(port.unit.ReceivedLines().back(), "TRAN");
}

class NoisyUnitDetectionTest : public LineDetectorTest {
 protected:
  static sim::SimConfig Noisy() {
    sim::SimConfig config = UnitConfig();
    config.faults.garbage = true;
    return config;
  }
  NoisyUnitDetectionTest() : LineDetectorTest(Noisy()) {}
};

// Escaped at the first try, the unit answers noise: it gets TRAN at that setting before
// the next try's bytes could reach it as commands.
TEST_F(NoisyUnitDetectionTest, UnitWhoseAnswerCannotBeReadIsSentTranBeforeTheNextTry) {
  UnitAt(9600, 8, 'N');
  detector.SetCandidates(DetectionOrder({9600, 19200}, {Line(0, "8N1")}));
  bool commandModeAtSecondTry = true;
  detector.SetProgress([&](const DetectionProgress& p) {
    if (p.tryNumber == 2) commandModeAtSecondTry = port.unit.Mode() == SimMode::Command;
  });
  const DetectionResult result = detector.Run("COM1", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::NotFound);
  EXPECT_FALSE(commandModeAtSecondTry);
  EXPECT_EQ(result.returnsSent, 1);
  EXPECT_EQ(result.unitLeft, UnitLeft::NotConfirmed);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
}

}  // namespace
}  // namespace vqx::testing
