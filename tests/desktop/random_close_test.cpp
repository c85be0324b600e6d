// Closing the desktop program at any moment of a read leaves the unit transparent with
// nothing on the wire after TRAN; a unit that does not confirm TRAN is reported.

#include <gmock/gmock.h>

#include <chrono>
#include <random>

#include "desktop/desktop_fixture.h"
#include "link/serial_comm.h"
#include "support/random_closes.h"

namespace vqx::desktop::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

// The longest a close may take: the leave's own bound and a margin for a loaded machine.
constexpr auto kCloseLimit = std::chrono::milliseconds(CAppWindow::LeaveLimitMs() + kReplyTimeoutMs);

class CloseAnywhereTest : public DesktopTest {
 protected:
  std::string UnitCheck(size_t linesBefore) {
    return program_->DemoUnit()->WithUnit(
        [&](const sim::SimUnit& unit) { return vqx::testing::UnitLeftProperly(unit, linesBefore); });
  }
  // Closes the way the user or the system would; returns how long the close took.
  Clock::duration CloseBy(int way) {
    const auto start = Clock::now();
    switch (way % 3) {
      case 0: program_->Window().close(); break;
      case 1: program_->Window().MenuAction(ids::kMenuExit)->trigger(); break;
      default:
        // What the SIGTERM and SIGINT handler of vqxsu does.
        QApplication::closeAllWindows();
        break;
    }
    return Clock::now() - start;
  }
};

TEST_F(CloseAnywhereTest, CloseWhileEnteringCommandModeAfterThePlusesFinishesTheEscapeAndLeaves) {
  StartDemo();
  ASSERT_TRUE(program_->DemoUnit()->WaitFor([](const sim::SimUnit& u) { return u.ForwardedBytes() == "+++"; }, 15s));
  EXPECT_EQ(program_->Logic().GetStatusState(), kStatusEnteringCommand);
  const Clock::duration took = CloseBy(0);
  EXPECT_LT(took, kCloseLimit);
  EXPECT_EQ(UnitCheck(0), "");
  EXPECT_THAT(program_->DemoUnit()->ReceivedLines(), ElementsAre("", "ECHO ON", "TRAN"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(CloseAnywhereTest, AUnitThatRefusesTranIsReportedInAMessageBoxAtClose) {
  ProgramOptions options;
  options.demo = true;
  options.dataDirectory = dir_.string();
  options.tuneDemoUnit = [](sim::SimConfig& config) { config.unsupported = {"TRAN"}; };
  Start(std::move(options));
  ASSERT_TRUE(WaitForUnitIdle());
  CloseBy(1);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_THAT(boxes[0].text, HasSubstr("may still be in command mode"));
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
}

// The acceptance: VQX_RANDOM_CLOSES=50 for the full run (about five minutes).
TEST_F(CloseAnywhereTest, ClosedAtRandomMomentsOfAReadTheUnitIsAlwaysLeftTransparentWithNothingAfterTran) {
  const int closes = vqx::testing::RandomCloseCount(10);
  const uint32_t seed = vqx::testing::RandomCloseSeed();
  std::mt19937 random(seed);

  // How long a read takes here, from the start to the idle status.
  StartDemo();
  const auto calibrationStart = Clock::now();
  ASSERT_TRUE(WaitForUnitIdle());
  const auto readSpan = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - calibrationStart);
  CloseBy(0);
  program_.reset();

  for (int i = 0; i < closes; ++i) {
    // Most reads start with the program; some are started by Attention, one follows the
    // reboot wait after SAVE.
    const bool afterReboot = i == closes - 1;
    const bool byAttention = !afterReboot && i % 10 == 5;
    const char* kind = afterReboot ? "the read after the reboot wait" : byAttention ? "a read by Attention" : "the first read";
    StartDemo(1000);
    if (byAttention || afterReboot) {
      ASSERT_TRUE(WaitForUnitIdle());
      if (afterReboot) {
        Click(ids::kViewTerminal);
        TypeInto(ids::kCommandEntry, "SAVE");
        QTest::keyClick(Control<QLineEdit>(ids::kCommandEntry), Qt::Key_Return);
        ASSERT_TRUE(WaitFor([&] { return program_->Logic().GetStatusState() == kStatusRebootWait; }, 5s));
        ASSERT_TRUE(WaitFor([&] { return program_->Logic().GetStatusState() != kStatusRebootWait; },
                            std::chrono::milliseconds(kRebootWaitMs + kReplyTimeoutMs)));
      } else {
        Click(ids::kAttention);
      }
    }
    const size_t linesBefore = LinesReceived();
    const auto delay = std::chrono::milliseconds(
        std::uniform_int_distribution<int64_t>(0, static_cast<int64_t>(readSpan.count()))(random));
    QTest::qWait(static_cast<int>(delay.count()));
    const int8_t statusAtClose = program_->Logic().GetStatusState();
    const Clock::duration took = CloseBy(i);
    SCOPED_TRACE("close " + std::to_string(i + 1) + " of " + std::to_string(closes) + " (seed " +
                 std::to_string(seed) + "), " + std::to_string(delay.count()) + " ms into " + kind +
                 ", status " + std::to_string(statusAtClose));
    EXPECT_TRUE(program_->IsShutDown());
    EXPECT_EQ(program_->Link().GetState(), LinkState::Closed);
    EXPECT_LT(took, kCloseLimit);
    EXPECT_EQ(UnitCheck(linesBefore), "");
    EXPECT_TRUE(Boxes().empty()) << Boxes().front().text;
    if (HasFailure()) return;
    program_.reset();
  }
}

}  // namespace
}  // namespace vqx::desktop::testing
