// vqxctl interrupted (Ctrl-C) at any moment of a read leaves the unit transparent with
// nothing on the wire after TRAN; a unit that does not confirm TRAN ends with exit 8.
// One simulated unit serves every run, as one unit in the field serves run after run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "cli_run.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/random_closes.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSimRebootMs = 1000;

using Outcome = testing::VqxctlOutcome;

class CliInterruptTest : public ::testing::Test {
 protected:
  ~CliInterruptTest() override {
    if (sim_) sim_->Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void StartSim(sim::SimConfig config = {}) {
    config.rebootMs = kSimRebootMs;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  // Runs vqxctl with Ctrl-C pressed after interruptAfter (never, when the run ends first).
  Outcome Run(std::vector<std::string> args, std::chrono::milliseconds interruptAfter) {
    std::atomic<bool> interrupt{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread user([&] {
      std::unique_lock lock(mutex);
      if (!ended.wait_for(lock, interruptAfter, [&] { return done; })) interrupt.store(true);
    });
    Outcome run = testing::RunVqxctlHere(args, &interrupt);
    {
      std::lock_guard lock(mutex);
      done = true;
    }
    ended.notify_all();
    user.join();
    return run;
  }

  std::vector<std::string> Command(const std::string& command, std::vector<std::string> rest) {
    std::vector<std::string> args = {command, "--port", sim_->SlavePath(), "--quiet"};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }

  // Waits out a reboot the run may have left the unit in, then checks it.
  std::string UnitCheck(size_t linesBefore) {
    std::string why;
    sim_->WaitFor(
        [&](const sim::SimUnit& unit) {
          why = vqx::testing::UnitLeftProperly(unit, linesBefore);
          return why.empty();
        },
        std::chrono::milliseconds(kSimRebootMs + kReplyTimeoutMs));
    return why;
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::filesystem::path dir_ = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqxctl-int-" + std::to_string(::getpid()) + "-" +
                      std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }();
  std::unique_ptr<sim::SimRunner> sim_;
};

TEST_F(CliInterruptTest, AUnitThatRefusesTranEndsWithExit8AndSaysItMayStillBeInCommandMode) {
  sim::SimConfig config;
  config.unsupported = {"TRAN"};
  StartSim(std::move(config));
  const Outcome run = Run(Command("read", {"--format", "json"}), 60s);
  EXPECT_EQ(run.code, 8);
  EXPECT_THAT(run.err, HasSubstr("may still be in command mode"));
  EXPECT_THAT(run.out, HasSubstr("\"name\"")) << "the read itself is still printed";
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

TEST_F(CliInterruptTest, APortLostInTheMiddleOfTheReadWarnsThatTheUnitMayStillBeInCommandMode) {
  StartSim();
  std::thread unplug([&] {
    sim_->WaitFor([](const sim::SimUnit& u) { return u.ReceivedLines().size() >= 5; }, 30s);
    sim_->CloseLine();
  });
  const Outcome run = Run(Command("read", {}), 60s);
  unplug.join();
  EXPECT_NE(run.code, 0);
  EXPECT_NE(run.code, 130);
  EXPECT_THAT(run.err, HasSubstr("may still be in command mode"));
}

// The issue's acceptance: VQX_RANDOM_CLOSES=50 for the full run (about four minutes).
TEST_F(CliInterruptTest, InterruptedAtRandomMomentsOfAReadTheUnitIsAlwaysLeftTransparentWithNothingAfterTran) {
  StartSim();
  const int runs = vqx::testing::RandomCloseCount(10);
  const uint32_t seed = vqx::testing::RandomCloseSeed();
  std::mt19937 random(seed);
  const std::string relay = WriteFile("relay.json", R"({ "name": "Relay-7" })");
  const std::string tower = WriteFile("tower.json", R"({ "name": "Tower" })");

  // How long a read takes here.
  const auto calibrationStart = Clock::now();
  const Outcome first = Run(Command("read", {}), 60s);
  ASSERT_EQ(first.code, 0) << first.err;
  const auto readSpan = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - calibrationStart);
  ASSERT_EQ(UnitCheck(0), "");

  for (int i = 0; i < runs; ++i) {
    // Most runs are interrupted in their read; some while typed lines are answered after
    // it, and one in the read that follows the reboot after SAVE.
    const bool apply = i == runs - 1;
    const bool send = !apply && i % 10 == 5;
    std::vector<std::string> args = apply ? Command("apply", {i % 2 == 0 ? relay : tower, "--reboot-wait", "1.5"})
                                    : send ? Command("send", {"VER", "STAT", "NAME", "HELP", "WHAT"})
                                           : Command("read", {});
    // The apply run: past its first read and the reboot wait, into the read after it.
    const int64_t offset = apply ? readSpan.count() + 1500 : send ? readSpan.count() : 0;
    const auto delay = std::chrono::milliseconds(
        offset + std::uniform_int_distribution<int64_t>(0, static_cast<int64_t>(readSpan.count()))(random));
    const size_t linesBefore = sim_->ReceivedLines().size();
    const auto start = Clock::now();
    const Outcome run = Run(args, delay);
    const auto took = Clock::now() - start;
    SCOPED_TRACE("run " + std::to_string(i + 1) + " of " + std::to_string(runs) + " (seed " + std::to_string(seed) +
                 "): " + args[0] + " interrupted after " + std::to_string(delay.count()) + " ms; exit " +
                 std::to_string(run.code) + "; " + run.err);
    EXPECT_TRUE(run.code == 0 || run.code == 130);
    EXPECT_LT(took, delay + std::chrono::milliseconds(CAppWindow::LeaveLimitMs() + kReplyTimeoutMs));
    EXPECT_EQ(UnitCheck(linesBefore), "");
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace vqx::cli
