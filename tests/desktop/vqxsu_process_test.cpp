// The vqxsu program as a process: its options, its message without a display, and the
// orderly end on SIGTERM and SIGINT.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace
