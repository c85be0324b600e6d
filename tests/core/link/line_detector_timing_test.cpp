// The search's timing against the simulated unit on the fake clock, on a line that takes
// each character's time to cross: a try's reply window runs on into the next try's quiet
// time, and a unit already in command mode is found by a bare CR before any escape.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "link/line_candidates.h"
#include "link/line_detector.h"
#include "support/sim_wired_port.h"

namespace vqx::testing {
namespace {

using sim::SimMode;

LineSettings Line(int32_t baud, const char* framing) {
  LineSettings settings;
  EXPECT_TRUE(ParseFraming(framing, &settings)) << framing;
  settings.baudRate = baud;
  return settings;
}
// "38400 7O1".
LineSettings Line(const std::string& text) { return Line(std::stoi(text), text.substr(text.find(' ') + 1).c_str()); }

// A serial port whose bytes leave one after another at the open setting's pace: each
// reaches the unit when its last bit has, and Drain waits (on the fake clock) until the
// last one has. Every byte is logged with the time the unit heard it, so a test can check
// the quiet times the unit saw.
class PacedLine final : public ISerialPort {
 public:
  struct Heard {
    uint32_t atMs;
    char byte;
    bool atUnitSetting;  // sent at the unit's own line settings
  };

  PacedLine(FakeClock& clock, SimWiredPort& unit) : clock_(clock), unit_(unit) {}

  PortOpenResult Open(const char* name, const LineSettings& settings) override {
    SendPending();
    if (refusesOddParity && settings.parity == 'O') {
      unit_.Close();
      PortOpenResult refused;
      refused.error = PortOpenError::Other;  // as Wine's serial driver on a pseudo-terminal
      return refused;
    }
    return unit_.Open(name, settings);
  }
  void Close() override {
    SendPending();
    unit_.Close();
  }
  int32_t QueuedBytes() override { return unit_.QueuedBytes(); }
  bool ReadByte(uint8_t& byte) override { return unit_.ReadByte(byte); }
  size_t Write(const uint8_t* data, size_t size) override {
    if (!unit_.isOpen) return 0;
    SendPending();
    pending_.assign(reinterpret_cast<const char*>(data), size);
    pendingFrom_ = clock_.now;
    return size;
  }
  bool Drain(uint32_t limitMs) override {
    const uint32_t leftAt = pendingFrom_ + static_cast<uint32_t>(pending_.size()) * CharMs();
    if (static_cast<int32_t>(leftAt - clock_.now) > static_cast<int32_t>(limitMs)) {
      clock_.Advance(limitMs);
      return false;
    }
    SendPending();
    return true;
  }

  std::vector<Heard> heard;
  bool refusesOddParity = false;

 private:
  uint32_t CharMs() const {
    const LineSettings& s = unit_.openedSettings;
    const uint32_t bits = 2U + static_cast<uint32_t>(s.dataBits) + (s.parity == 'N' ? 0U : 1U) + (s.stopBits == 2 ? 1U : 0U);
    return (bits * 1000U + static_cast<uint32_t>(s.baudRate) - 1) / static_cast<uint32_t>(s.baudRate);
  }
  // The bytes still on their way arrive, each at its time; the clock ends after the last.
  void SendPending() {
    const uint32_t charMs = CharMs();
    const sim::SerialFrame host = unit_.HostFrame();
    for (size_t i = 0; i < pending_.size(); ++i) {
      const uint32_t at = pendingFrom_ + static_cast<uint32_t>(i + 1) * charMs;
      if (static_cast<int32_t>(at - clock_.now) > 0) clock_.now = at;
      heard.push_back({clock_.now, pending_[i], unit_.unitLine && host == *unit_.unitLine});
      unit_.Write(reinterpret_cast<const uint8_t*>(&pending_[i]), 1);
    }
    pending_.clear();
  }

  FakeClock& clock_;
  SimWiredPort& unit_;
  std::string pending_;
  uint32_t pendingFrom_ = 0;
};

class DetectionTimingTest : public ::testing::Test {
 protected:
  // The unit needs exactly the quiet time the search allows: a quiet time measured from
  // the write rather than from the last byte leaving the line is too short for it.
  static constexpr uint32_t kGuardMs = DetectionTimings{}.guardMs;

  explicit DetectionTimingTest(uint32_t replyDelayMs = 0) : unit(clock, Config(replyDelayMs)) {
    detector.SetProgress([this](const DetectionProgress& p) { progress.push_back(DetectionProgressText(p)); });
  }
  static sim::SimConfig Config(uint32_t replyDelayMs) {
    sim::SimConfig config;
    config.guardMs = kGuardMs;
    config.replyDelayMs = replyDelayMs;
    return config;
  }

  void UnitAt(const LineSettings& s) {
    unit.unitLine = sim::SerialFrame{static_cast<uint32_t>(s.baudRate), s.dataBits, s.parity, s.stopBits};
  }
  // Someone escaped the unit at its own setting and left it in command mode.
  void LeaveUnitInCommandMode(const LineSettings& s, bool echo, bool leaveTransparent = false) {
    UnitAt(s);
    unit.Open("COM1", s);
    const auto send = [&](const std::string& text) {
      unit.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      clock.Advance(kGuardMs + 500);
      unit.QueuedBytes();
      for (uint8_t b = 0; unit.ReadByte(b);) {
      }
    };
    clock.Advance(kGuardMs);
    send("+++");
    ASSERT_EQ(unit.unit.Mode(), SimMode::Command);
    if (!echo) send("ECHO OFF\r");
    if (leaveTransparent) send("TRAN\r");
    unit.Close();
    unit.TakeWritten();
    clock.Advance(60000);
  }
  SimMode ModeAfterAWhile() {
    clock.Advance(10000);
    unit.QueuedBytes();
    return unit.unit.Mode();
  }
  size_t EscapesSent() const {
    size_t n = 0;
    for (size_t at = unit.written.find("+++"); at != std::string::npos; at = unit.written.find("+++", at + 3)) ++n;
    return n;
  }
  // Each "+++" the unit heard at its own setting came after a quiet line of the guard time.
  void ExpectGuardBeforeEachEscape() const {
    int escapes = 0;
    for (size_t i = 0; i + 2 < line.heard.size(); ++i) {
      const auto& h = line.heard;
      if (!(h[i].byte == '+' && h[i + 1].byte == '+' && h[i + 2].byte == '+' && h[i].atUnitSetting)) continue;
      ++escapes;
      if (i > 0) {
        EXPECT_GE(h[i].atMs - h[i - 1].atMs, kGuardMs) << "quiet before the \"+++\" heard at " << h[i].atMs;
      }
      i += 2;
    }
    EXPECT_GE(escapes, 1);
  }

  FakeClock clock;
  SimWiredPort unit;
  PacedLine line{clock, unit};
  LineDetector detector{line, clock};
  std::vector<std::string> progress;
};

TEST_F(DetectionTimingTest, AnUnansweredTryCostsTheTwoQuietTimesAndTheSweepLessThanTwoSeconds) {
  const LineSettings at = Line(115200, "8N1");
  UnitAt(at);
  const DetectionResult result = detector.Run("COM1", true);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(LineSettingsText(result.settings), "115200 8N1");
  EXPECT_FALSE(result.foundInCommandMode);
  // Every one of the 54 settings swept, the slow rates' characters and all.
  EXPECT_LT(result.sweepMs, 2000u);
  EXPECT_GT(result.sweepMs, 54u * DetectionTimings{}.sweepAnswerMs);
  // The first quiet time, four unanswered tries of two quiet times each (no more than
  // 4.3 s), the escape of the try that finds the unit.
  const uint32_t searchMs = result.elapsedMs - result.sweepMs;
  EXPECT_GE(searchMs, kGuardMs + 4 * 2 * kGuardMs + kGuardMs);
  EXPECT_LE(searchMs, kGuardMs + 4 * 4300 + kGuardMs + 100);
  ExpectGuardBeforeEachEscape();
  EXPECT_EQ(unit.unit.Mode(), SimMode::Command);
}

// Bytes sent at the previous try's setting end the unit's quiet time when their last bit
// has crossed the line, which at 300 baud is long after the write returned.
TEST_F(DetectionTimingTest, AfterTriesAtSlowRatesTheUnitStillHearsAFullQuietTimeBeforeItsEscape) {
  detector.SetCandidates({Line(300, "8N1"), Line(300, "7E1"), Line(1200, "8N1"), Line(300, "8O1")});
  for (const char* framing : {"7E1", "8O1"}) {
    SCOPED_TRACE(framing);
    line.heard.clear();
    UnitAt(Line(300, framing));
    const DetectionResult result = detector.Run("COM1", false);
    ASSERT_EQ(result.outcome, DetectionOutcome::Found);
    EXPECT_EQ(LineSettingsText(result.settings), std::string("300 ") + framing);
    ExpectGuardBeforeEachEscape();
    EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
  }
}

class LateAnswerTest : public DetectionTimingTest {
 protected:
  LateAnswerTest() : DetectionTimingTest(2500) {}
  // A unit whose echo is on says something at once (the probe's line end) and is heard
  // out at its setting; without echo, its answer is all it says.
  void UnitAt(const LineSettings& s, bool echo) {
    LeaveUnitInCommandMode(s, echo, true);
    ASSERT_EQ(unit.unit.Mode(), SimMode::Transparent);
  }
};

// Without echo, the answer comes after the try has moved on to the next setting and sent
// its "+++": it arrives there garbled, and the setting it came from is asked again.
TEST_F(LateAnswerTest, AUnitAnsweringLateInTheReplyWindowIsFoundAtItsSettingNotALaterOne) {
  struct Case {
    const char* unit;
    std::vector<LineSettings> order;
    int tries;
  };
  const std::vector<Case> cases = {
      {"19200 8N1", {Line(9600, "8N1"), Line(19200, "8N1"), Line(38400, "8N1")}, 2},
      {"115200 8N1", DefaultDetectionOrder(), 5},        // the next setting, 4800, is slower
      {"300 8N1", DefaultDetectionOrder(), 9},           // the next, 9600 7E1, much faster
      {"38400 7O1", {Line(38400, "8N1"), Line(38400, "7O1"), Line(38400, "8E1")}, 2},
      {"57600 8N1", {Line(9600, "8N1"), Line(57600, "8N1")}, 2},  // the last: its window whole
  };
  for (const bool echo : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.unit) + (echo ? ", echo on" : ", echo off"));
      UnitAt(Line(c.unit), echo);
      detector.SetCandidates(c.order);
      line.heard.clear();
      const DetectionResult result = detector.Run("COM1", true);
      ASSERT_EQ(result.outcome, DetectionOutcome::Found);
      EXPECT_EQ(LineSettingsText(result.settings), c.unit);
      EXPECT_EQ(result.triesMade, c.tries);
      EXPECT_EQ(unit.unit.Mode(), SimMode::Command);
      EXPECT_EQ(LineSettingsText(unit.openedSettings), c.unit) << "left open at the setting found";
      ExpectGuardBeforeEachEscape();
      line.Close();
      unit.unit.OnBytes("TRAN\r", clock.now);
      ASSERT_EQ(ModeAfterAWhile(), SimMode::Transparent);
    }
  }
}

TEST_F(LateAnswerTest, CancelWhileALateAnswerIsOnItsWayLeavesTheUnitTransparent) {
  UnitAt(Line(19200, "8N1"), false);
  detector.SetCandidates({Line(9600, "8N1"), Line(19200, "8N1"), Line(38400, "8N1")});
  std::atomic<bool> cancel{false};
  detector.SetCancel(&cancel);
  // The third try begins before the second one's answer: the unit is in command mode.
  detector.SetProgress([&](const DetectionProgress& p) {
    if (p.tryNumber == 3) cancel = true;
  });
  const DetectionResult result = detector.Run("COM1", true);
  EXPECT_EQ(result.outcome, DetectionOutcome::Cancelled);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
  EXPECT_EQ(unit.unit.ReceivedLines().back(), "TRAN");
}

TEST_F(DetectionTimingTest, AUnitLeftInCommandModeIsFoundByTheSweepWithoutAnEscape) {
  for (const bool echo : {true, false}) {
    for (const char* at : {"9600 8N1", "38400 7O1", "300 7N1"}) {
      SCOPED_TRACE(std::string(at) + (echo ? ", echo on" : ", echo off"));
      LeaveUnitInCommandMode(Line(at), echo);
      const DetectionResult result = detector.Run("COM1", false);
      ASSERT_EQ(result.outcome, DetectionOutcome::Found);
      EXPECT_EQ(LineSettingsText(result.settings), at);
      EXPECT_TRUE(result.foundInCommandMode);
      EXPECT_EQ(EscapesSent(), 0u);
      // At 300 baud the unit echoes what it made of the 53 CRs before, slowly, and the
      // sweep hears that out at each setting.
      EXPECT_LT(result.sweepMs, Line(at).baudRate == 300 ? 3000u : 2000u);
      EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
      EXPECT_EQ(unit.unit.ReceivedLines().back(), "TRAN");
      unit.TakeWritten();
    }
  }
}

class SlowCommandModeTest : public DetectionTimingTest {
 protected:
  SlowCommandModeTest() : DetectionTimingTest(120) {}
};

// Its answer to the sweep's CR comes only while the sweep is at the next setting; the
// garbled bytes there send the sweep back for a longer look.
TEST_F(SlowCommandModeTest, AUnitInCommandModeThatAnswersSlowlyIsFoundByTheSweepsSecondLook) {
  LeaveUnitInCommandMode(Line(19200, "8N1"), true);
  const DetectionResult result = detector.Run("COM1", true);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(LineSettingsText(result.settings), "19200 8N1");
  EXPECT_TRUE(result.foundInCommandMode);
  EXPECT_EQ(EscapesSent(), 0u);
  EXPECT_LT(result.sweepMs, 2000u);
  EXPECT_EQ(unit.unit.Mode(), SimMode::Command);
}

TEST_F(DetectionTimingTest, NothingFoundOrCancelledInTheSweepLeavesEveryUnitTransparent) {
  // At none of the settings tried...
  UnitAt(Line(4800, "8N1"));
  detector.SetCandidates({Line(9600, "8N1"), Line(2400, "8N1"), Line(1200, "8N1")});
  DetectionResult result = detector.Run("COM1", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::NotFound);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
  // ...and a cancel while the sweep runs sends nothing after it.
  std::atomic<bool> cancel{false};
  detector.SetCancel(&cancel);
  detector.SetCandidates(DefaultDetectionOrder());
  detector.SetProgress([&](const DetectionProgress&) { cancel = true; });
  unit.TakeWritten();
  result = detector.Run("COM1", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::Cancelled);
  EXPECT_EQ(EscapesSent(), 0u);
  EXPECT_EQ(ModeAfterAWhile(), SimMode::Transparent);
}

// The sweep passes over a setting the driver refuses outright; the tries still stop there.
TEST_F(DetectionTimingTest, ASettingTheDriverRefusesIsPassedOverByTheSweep) {
  line.refusesOddParity = true;
  detector.SetCandidates({Line(9600, "7O1"), Line(9600, "8N1")});
  LeaveUnitInCommandMode(Line(9600, "8N1"), true);
  DetectionResult result = detector.Run("COM1", false);
  ASSERT_EQ(result.outcome, DetectionOutcome::Found);
  EXPECT_EQ(LineSettingsText(result.settings), "9600 8N1");
  EXPECT_TRUE(result.foundInCommandMode);
  result = detector.Run("COM1", false);
  EXPECT_EQ(result.outcome, DetectionOutcome::PortProblem);
  EXPECT_EQ(result.openResult.error, PortOpenError::Other);
}

}  // namespace
}  // namespace vqx::testing
