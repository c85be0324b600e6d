// The vqxsu program as a process: its options, its message without a display, and the
// orderly end on SIGTERM, SIGINT and a hang-up of the terminal it was started from.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_window.h"
#include "app/preferences_block.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/random_closes.h"
#include "support/terminal_child.h"

namespace {

using ::testing::HasSubstr;

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs vqxsu with the arguments and environment given, in directory; when signalAfter
// is set, sends the signal that long after the start.
Outcome RunVqxsu(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::filesystem::path& directory, int signalNumber = 0,
                 std::chrono::milliseconds signalAfter = std::chrono::milliseconds(0)) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], 1);
    ::dup2(pipeFds[1], 2);
    ::close(pipeFds[0]);
    if (::chdir(directory.c_str()) != 0) ::_exit(127);
    std::vector<char*> argv{const_cast<char*>(VQXSU_PATH)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    ::execve(VQXSU_PATH, argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (signalNumber != 0) {
    std::this_thread::sleep_for(signalAfter);
    ::kill(pid, signalNumber);
  }
  Outcome outcome;
  std::array<char, 4096> buffer{};
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer.data(), buffer.size())) > 0) outcome.output.append(buffer.data(), static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

std::vector<std::string> OffscreenEnvironment() {
  std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen", "PATH=/usr/bin:/bin"};
  for (const char* keep : {"HOME", "TSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "XDG_RUNTIME_DIR"}) {
    if (const char* value = std::getenv(keep)) env.push_back(std::string(keep) + "=" + value);
  }
  return env;
}

class VqxsuProcess : public ::testing::Test {
 protected:
  VqxsuProcess() : dir_(std::filesystem::temp_directory_path() / ("vqxsu-proc-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
  }
  ~VqxsuProcess() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::filesystem::path dir_;
};

TEST_F(VqxsuProcess, HelpVersionAndAnUnknownOptionAnswerWithoutStartingAWindow) {
  const Outcome help = RunVqxsu({"--help"}, {}, dir_);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.output, HasSubstr("--demo"));
  const Outcome version = RunVqxsu({"--version"}, {}, dir_);
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_THAT(version.output, HasSubstr("Version 1.3 (Build 7)"));
  const Outcome unknown = RunVqxsu({"--port=/dev/ttyS0"}, {}, dir_);
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_THAT(unknown.output, HasSubstr("unknown option '--port=/dev/ttyS0'"));
}

TEST_F(VqxsuProcess, WithoutADisplayItSaysWhatToDoInstead) {
  const Outcome outcome = RunVqxsu({"--demo"}, {"PATH=/usr/bin:/bin"}, dir_);
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.output, HasSubstr("no graphical display"));
  EXPECT_THAT(outcome.output, HasSubstr("xvfb-run -a vqxsu --demo"));
}

TEST_F(VqxsuProcess, SigtermAndSigintEndTheDemoAsClosingTheWindowDoesWithExitCode0) {
  for (const int signalNumber : {SIGTERM, SIGINT}) {
    const Outcome outcome = RunVqxsu({"--demo"}, OffscreenEnvironment(), dir_, signalNumber, std::chrono::milliseconds(1500));
    EXPECT_EQ(outcome.exitCode, 0) << "signal " << signalNumber << ": " << outcome.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "VQXSU_Prefs.cfg")) << "the demo's port is never saved";
}

// vqxsu started from a terminal, reading the unit on the port its preferences name, when
// that terminal goes away (the window closed, the ssh connection dropped) or SIGHUP comes.
class VqxsuHangUp : public VqxsuProcess {
 protected:
  VqxsuHangUp() {
    vqx::sim::SimConfig config;
    config.replyDelayMs = 150;  // the read lasts some seconds
    sim_ = std::make_unique<vqx::sim::SimRunner>(std::move(config));
    std::string error;
    started_ = sim_->Start(&error);
    EXPECT_TRUE(started_) << error;
    auto prefs = std::make_unique<vqx::PreferencesBlock>();
    std::memset(prefs.get(), 0, sizeof(vqx::PreferencesBlock));
    prefs->formatMark = vqx::kPreferencesFormatMark;
    prefs->view = vqx::kViewSettings;
    prefs->baudRate = 9600;
    prefs->dataBits = 8;
    prefs->stopBits = 1;
    prefs->parity = 'N';
    std::strncpy(prefs->portName, sim_->SlavePath().c_str(), sizeof(prefs->portName) - 1);
    std::ofstream(dir_ / "VQXSU_Prefs.cfg", std::ios::binary)
        .write(reinterpret_cast<const char*>(prefs.get()), sizeof(vqx::PreferencesBlock));
  }
  ~VqxsuHangUp() override { sim_->Stop(); }

  // vqxsu on a terminal of its own, once the unit has taken five lines of the read.
  bool StartAndReachTheRead(vqx::testing::TerminalChild& child) {
    vqx::testing::TerminalChildOptions options;
    options.env = OffscreenEnvironment();
    options.directory = dir_.string();
    if (!child.Start(VQXSU_PATH, {}, options)) return false;
    return sim_->WaitFor([](const vqx::sim::SimUnit& unit) { return unit.ReceivedLines().size() >= 5; },
                         std::chrono::milliseconds(vqx::kReplyTimeoutMs * 10));
  }

  std::string UnitCheck() {
    std::string why;
    sim_->WaitFor(
        [&](const vqx::sim::SimUnit& unit) {
          why = vqx::testing::UnitLeftProperly(unit, 0);
          return why.empty();
        },
        std::chrono::milliseconds(vqx::kReplyTimeoutMs));
    return why;
  }

  std::unique_ptr<vqx::sim::SimRunner> sim_;
  bool started_ = false;
};

// The program sees the signal within moments, its leave takes at most LeaveLimitMs; the
// rest is margin for a loaded machine.
constexpr auto kVqxsuEndLimit = std::chrono::milliseconds(vqx::CAppWindow::LeaveLimitMs() + 3 * vqx::kReplyTimeoutMs);

TEST_F(VqxsuHangUp, ClosingItsTerminalMidReadClosesTheProgramInOrderAndTheUnitEndsTransparentWithTranLast) {
  ASSERT_TRUE(started_);
  vqx::testing::TerminalChild child;
  ASSERT_TRUE(StartAndReachTheRead(child)) << "the read did not start";
  child.CloseTerminal();
  const auto code = child.WaitForExit(kVqxsuEndLimit);
  ASSERT_TRUE(code.has_value()) << "vqxsu still runs after its terminal hung up";
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(UnitCheck(), "");
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

TEST_F(VqxsuHangUp, SighupMidReadClosesTheProgramInOrderAndTheUnitEndsTransparentWithTranLast) {
  ASSERT_TRUE(started_);
  vqx::testing::TerminalChild child;
  ASSERT_TRUE(StartAndReachTheRead(child)) << "the read did not start";
  child.Signal(SIGHUP);
  const auto code = child.WaitForExit(kVqxsuEndLimit);
  ASSERT_TRUE(code.has_value()) << "vqxsu still runs after SIGHUP";
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(UnitCheck(), "");
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

}  // namespace
