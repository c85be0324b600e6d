#pragma once

// A program run as it is from a terminal or an ssh session: in a session of its own, with
// a pseudo-terminal as its controlling terminal and its standard input, output and error.
// Closing the master side is the terminal window or the ssh connection going away: the
// kernel hangs the terminal up and sends SIGHUP to the program.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vqx::testing {

struct TerminalChildOptions {
  std::vector<std::string> env;   // the whole environment; empty: the test's own
  std::string directory;          // working directory; empty: the test's own
  int stderrFd = -1;              // standard error here instead of the terminal
  bool ignoreHangUp = false;      // as nohup starts a program
  unsigned short columns = 0;     // the terminal's width; 0: one that does not say
};

class TerminalChild {
 public:
  TerminalChild() = default;
  TerminalChild(const TerminalChild&) = delete;
  TerminalChild& operator=(const TerminalChild&) = delete;
  ~TerminalChild() {
    if (pid_ > 0 && !exitCode_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    CloseTerminal();
  }

  // False when the pseudo-terminal or the process could not be made.
  bool Start(const std::string& program, const std::vector<std::string>& args, const TerminalChildOptions& options = {}) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return false;
    const char* name = ::ptsname(master_);
    if (name == nullptr) return false;
    slavePath_ = name;
    struct winsize size {};
    size.ws_col = options.columns;
    size.ws_row = options.columns == 0 ? 0 : 24;
    if (::ioctl(master_, TIOCSWINSZ, &size) != 0) return false;
    // Everything the child needs is made before the fork: only async-signal-safe calls after it.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : options.env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char** environment = options.env.empty() ? environ : envp.data();
    const char* directory = options.directory.empty() ? nullptr : options.directory.c_str();
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      ::setsid();
      // The first terminal a session leader opens becomes its controlling terminal.
      const int slave = ::open(slavePath_.c_str(), O_RDWR);
      if (slave < 0) ::_exit(126);
      ::dup2(slave, 0);
      ::dup2(slave, 1);
      ::dup2(options.stderrFd >= 0 ? options.stderrFd : slave, 2);
      if (slave > 2) ::close(slave);
      ::signal(SIGHUP, options.ignoreHangUp ? SIG_IGN : SIG_DFL);
      ::signal(SIGPIPE, SIG_DFL);
      if (directory != nullptr && ::chdir(directory) != 0) ::_exit(126);
      ::execve(program.c_str(), argv.data(), environment);
      ::_exit(127);
    }
    return true;
  }

  pid_t Pid() const { return pid_; }
  const std::string& TerminalPath() const { return slavePath_; }
  void Signal(int signalNumber) const { ::kill(pid_, signalNumber); }

  // The terminal window or the ssh connection goes away.
  void CloseTerminal() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // What the terminal shows so far, without waiting.
  std::string DrainTerminal() {
    std::string text;
    if (master_ < 0) return text;
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    ::fcntl(master_, F_SETFL, flags);
    return text;
  }

  // The exit code (128 + the signal for one that ended it), or nothing when the program
  // still runs after limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit) {
    if (exitCode_) return exitCode_;
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode_;
      }
      if (std::chrono::steady_clock::now() >= end) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 private:
  int master_ = -1;
  std::string slavePath_;
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
};

}  // namespace vqx::testing
