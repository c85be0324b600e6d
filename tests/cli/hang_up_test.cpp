// vqxctl run from a terminal that goes away in the middle of a read (the window closed,
// the ssh connection dropped, SIGHUP sent): the unit is returned to transparent mode with
// TRAN the last it hears, and vqxctl ends with 129, whatever the terminal or a pipe on its
// output now does with writes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/app_window.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/random_closes.h"
#include "support/terminal_child.h"
#include "unit_session.h"

namespace vqx::cli {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using vqx::testing::TerminalChild;
using vqx::testing::TerminalChildOptions;

// Each reply after this long: the read takes some seconds, so every moment chosen below
// falls inside it, and the escape still takes its full guard times.
constexpr uint32_t kReplyDelayMs = 150;
// The program sees the hang-up within moments; the leave takes at most LeaveLimitMs. The
// rest is margin for a loaded machine.
constexpr auto kEndLimit = std::chrono::milliseconds(CAppWindow::LeaveLimitMs() + 3 * kReplyTimeoutMs);
// Long enough for the escape and a whole read on a loaded machine.
constexpr auto kReadLimit = std::chrono::milliseconds(kReadPhaseLimitMs);

using Moment = std::function<bool(const sim::SimUnit&, size_t linesBefore)>;

// In the escape's closing quiet time: the unit took "+++" and nothing since.
bool InTheEscape(const sim::SimUnit& unit, size_t linesBefore) {
  return unit.Mode() == sim::SimMode::Command && unit.ReceivedLines().size() == linesBefore;
}

Moment AfterLines(size_t count) {
  return [count](const sim::SimUnit& unit, size_t linesBefore) { return unit.ReceivedLines().size() >= linesBefore + count; };
}

class VqxctlHangUpTest : public ::testing::Test {
 protected:
  VqxctlHangUpTest() {
    sim::SimConfig config;
    config.replyDelayMs = kReplyDelayMs;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    started_ = sim_->Start(&error);
    EXPECT_TRUE(started_) << error;
  }
  ~VqxctlHangUpTest() override { sim_->Stop(); }

  // Starts `vqxctl read` on a terminal of its own and waits for the moment; false (after
  // a failure) when it did not come.
  bool StartReadUntil(TerminalChild& child, const Moment& moment, TerminalChildOptions options = {}) {
    linesBefore_ = sim_->ReceivedLines().size();
    if (!child.Start(VQXCTL_PATH, {"read", "--port", sim_->SlavePath()}, options)) {
      ADD_FAILURE() << "vqxctl could not be started on a terminal";
      return false;
    }
    const size_t before = linesBefore_;
    if (!sim_->WaitFor([&](const sim::SimUnit& unit) { return moment(unit, before); }, kReadLimit)) {
      ADD_FAILURE() << "the read never reached the moment; the unit took " << sim_->ReceivedLines().size() - before
                    << " lines";
      return false;
    }
    return true;
  }

  // Empty when the unit is transparent with nothing after its TRAN.
  std::string UnitCheck() {
    std::string why;
    sim_->WaitFor(
        [&](const sim::SimUnit& unit) {
          why = vqx::testing::UnitLeftProperly(unit, linesBefore_);
          return why.empty();
        },
        std::chrono::milliseconds(kReplyTimeoutMs));
    return why;
  }

  std::unique_ptr<sim::SimRunner> sim_;
  bool started_ = false;
  size_t linesBefore_ = 0;
};

TEST_F(VqxctlHangUpTest, ClosingTheTerminalInTheEscapeOrAnyTimeInTheReadLeavesTheUnitTransparentAndExits129) {
  ASSERT_TRUE(started_);
  const std::pair<const char*, Moment> moments[] = {
      {"in the escape's closing quiet time", &InTheEscape},
      {"after 3 lines", AfterLines(3)},
      {"after 20 lines", AfterLines(20)},
  };
  for (const auto& [name, moment] : moments) {
    SCOPED_TRACE(std::string("terminal closed ") + name);
    TerminalChild child;
    if (!StartReadUntil(child, moment)) return;
    child.CloseTerminal();
    const auto code = child.WaitForExit(kEndLimit);
    ASSERT_TRUE(code.has_value()) << "vqxctl still runs after the hang-up";
    EXPECT_EQ(*code, 129);
    EXPECT_EQ(UnitCheck(), "");
    ASSERT_GT(sim_->ReceivedLines().size(), linesBefore_);
    EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
  }
}

TEST_F(VqxctlHangUpTest, SighupWhileTheTerminalIsStoppedStillReturnsTheUnitInsteadOfWaitingToWrite) {
  ASSERT_TRUE(started_);
  TerminalChild child;
  if (!StartReadUntil(child, AfterLines(5))) return;
  // Ctrl-S on the terminal: every write to it waits until output resumes.
  const int terminal = ::open(child.TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::tcflow(terminal, TCOOFF), 0);
  child.Signal(SIGHUP);
  const auto code = child.WaitForExit(kEndLimit);
  ::tcflow(terminal, TCOON);
  ::close(terminal);
  ASSERT_TRUE(code.has_value()) << "vqxctl waits on the stopped terminal";
  EXPECT_EQ(*code, 129);
  EXPECT_EQ(UnitCheck(), "");
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

TEST_F(VqxctlHangUpTest, SighupWithStandardErrorPipedToAReaderThatIsGoneReturnsTheUnitAndExits129) {
  ASSERT_TRUE(started_);
  // `vqxctl read 2>&1 | tee log`: the hang-up ends tee as well, and vqxctl's next write
  // meets a pipe without a reader.
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  TerminalChildOptions options;
  options.stderrFd = pipeFds[1];
  TerminalChild child;
  const bool reached = StartReadUntil(child, AfterLines(5), options);
  ::close(pipeFds[1]);
  if (!reached) return;
  ::close(pipeFds[0]);
  child.Signal(SIGHUP);
  const auto code = child.WaitForExit(kEndLimit);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 129) << "141 is SIGPIPE";
  EXPECT_EQ(UnitCheck(), "");
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

TEST_F(VqxctlHangUpTest, StartedUnderNohupASighupMidReadIsIgnoredAndTheReadCompletes) {
  ASSERT_TRUE(started_);
  TerminalChildOptions options;
  options.ignoreHangUp = true;
  TerminalChild child;
  if (!StartReadUntil(child, AfterLines(5), options)) return;
  child.Signal(SIGHUP);
  std::string shown;
  std::optional<int> code;
  const auto end = std::chrono::steady_clock::now() + kReadLimit;
  while (!(code = child.WaitForExit(200ms)) && std::chrono::steady_clock::now() < end) shown += child.DrainTerminal();
  shown += child.DrainTerminal();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0) << shown;
  EXPECT_THAT(shown, HasSubstr("Name: VQX-2"));
  EXPECT_EQ(UnitCheck(), "");
}

}  // namespace
}  // namespace vqx::cli
