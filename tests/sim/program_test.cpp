#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "raw_host.h"
#include "vqx_version.h"

namespace vqx::sim {
namespace {

using namespace std::chrono_literals;
using testing::Pause;
using testing::RawHost;

// The vqxsim program running as a child, its stdout and stderr on pipes.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      std::vector<char*> argv;
      args.insert(args.begin(), VQXSIM_PROGRAM);
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Program() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }

  // The first line the program prints, or "" after two seconds.
  std::string FirstLine() {
    std::string line;
    char c;
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (read(out_, &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    return line;
  }
  std::string Stderr() {
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(err_, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    return text;
  }
  void Signal(int sig) { kill(pid_, sig); }
  // The exit status, or -1 when the program did not exit normally.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool waited_ = false;
};

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

TEST(SimProgram, PrintsDeviceServesAUnitAndStopsCleanlyOnSigterm) {
  const std::string link = ::testing::TempDir() + "vqxsim-program-test-link";
  Program program({"--guard-ms", "40", "--link", link, "--verbose", "--unsupported", "DSCP"});
  const std::string device = program.FirstLine();
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  EXPECT_TRUE(Exists(link));

  RawHost host(link);
  ASSERT_TRUE(host.ok());
  Pause(200);  // well beyond the 40 ms guard time even on a busy machine
  host.Write("+++");
  Pause(200);
  host.Write("\r");
  EXPECT_EQ(host.ReadUntil("OK\n\r", 2s), "\r\nOK\n\r");
  host.Write("DSCP\r");
  EXPECT_EQ(host.ReadUntil("ERR\n\r", 2s), "DSCP\r\nERR\n\r");

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(Exists(device));
  const std::string trace = program.Stderr();
  EXPECT_NE(trace.find("<- DSCP"), std::string::npos) << trace;
  EXPECT_NE(trace.find("-> ERR"), std::string::npos) << trace;
}

TEST(SimProgram, DamagedSettingsFileIsRefusedWithReasonBeforeServing) {
  const std::string path = ::testing::TempDir() + "vqxsim-damaged.json";
  std::ofstream(path) << R"({"NAME": "Tower", "VOCODER": 9})";
  Program program({"--settings", path});
  EXPECT_EQ(program.FirstLine(), "");
  EXPECT_EQ(program.Wait(), 2);
  EXPECT_NE(program.Stderr().find("VOCODER"), std::string::npos);
  std::remove(path.c_str());
}

TEST(SimProgram, VersionPrintsTheProjectVersionAndServesNoUnit) {
  Program program({"--version"});
  EXPECT_EQ(program.FirstLine(), "vqxsim " VQX_VERSION " - a simulated VQX-2 of the VQX Setup Utility");
  EXPECT_EQ(program.Wait(), 0);
}

TEST(SimProgram, UnknownOptionIsRefused) {
  Program program({"--colour"});
  EXPECT_EQ(program.Wait(), 2);
  EXPECT_NE(program.Stderr().find("--colour"), std::string::npos);
}

}  // namespace
}  // namespace vqx::sim
