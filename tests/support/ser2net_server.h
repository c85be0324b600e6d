#pragma once

// ser2net (4.x) started by a test in the foreground with a generated configuration: one
// Telnet accepter with the COM-PORT-OPTION (RFC 2217) and one raw accepter on free TCP
// ports of 127.0.0.1, both reaching one serial device (the simulated unit's
// pseudo-terminal), as a serial device server on a mast would.

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

extern char** environ;

namespace vqx::testing {

class Ser2netServer {
 public:
  Ser2netServer() = default;
  ~Ser2netServer() {
    Kill();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  Ser2netServer(const Ser2netServer&) = delete;
  Ser2netServer& operator=(const Ser2netServer&) = delete;

  // Where ser2net is, or empty.
  static std::string Program() {
    for (const char* candidate : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
      if (access(candidate, X_OK) == 0) return candidate;
    }
    return {};
  }

  static std::string NotInstalled() {
    return "ser2net is not installed, and the tests of units behind a serial server need it: run "
           "scripts/install-deps (it installs the Debian package ser2net), or apt install ser2net";
  }

  // False with *error saying why (ser2net missing, or it did not start listening).
  bool Start(const std::string& device, std::string* error) {
    const std::string program = Program();
    if (program.empty()) {
      *error = NotInstalled();
      return false;
    }
    char pattern[] = "/tmp/vqx-ser2net-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      *error = "cannot make a temporary folder";
      return false;
    }
    dir_ = pattern;
    rfc2217Port_ = FreePort();
    rawPort_ = FreePort();
    const std::string config = (dir_ / "ser2net.yaml").string();
    std::ofstream(config) << "%YAML 1.1\n---\n"
                          << "connection: &unit2217\n"
                          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port_ << "\n"
                          << "  connector: serialdev," << device << ",9600n81,local\n"
                          << "  options:\n    kickolduser: true\n"
                          << "connection: &unitraw\n"
                          << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
                          << "  connector: serialdev," << device << ",9600n81,local\n"
                          << "  options:\n    kickolduser: true\n";
    const std::string log = (dir_ / "ser2net.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // -n: stay in the foreground; -d: log to standard error, not to syslog; -c: our file;
    // -P: a pid file of our own, not the system's.
    const std::string pidFile = (dir_ / "ser2net.pid").string();
    std::string a0 = program, a1 = "-n", a2 = "-d", a3 = "-c", a4 = config, a5 = "-P", a6 = pidFile;
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), a6.data(), nullptr};
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      *error = "cannot start " + program;
      return false;
    }
    // Listening on both ports is the sign it is ready; a loaded machine may take seconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Listening(rfc2217Port_) && Listening(rawPort_)) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        *error = "ser2net ended at once: " + Log();
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    *error = "ser2net did not listen within 20 s: " + Log();
    return false;
  }

  // The server goes away at once, as a mast's server losing power: its connections close.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  uint16_t Rfc2217Port() const { return rfc2217Port_; }
  std::string Rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_); }
  std::string RawUrl() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }
  std::string Log() const {
    std::ifstream in(dir_ / "ser2net.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // A TCP port of 127.0.0.1 nothing listens on (the system's pick, let go at once).
  static uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
  }

 private:
  // A listening socket on 127.0.0.1:port, as /proc/net/tcp shows it (state 0A). Asked
  // there rather than by connecting, which would open the serial device.
  static bool Listening(uint16_t port) {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (local == wanted && state == "0A") return true;
    }
    return false;
  }

  std::filesystem::path dir_;
  pid_t pid_ = -1;
  uint16_t rfc2217Port_ = 0;
  uint16_t rawPort_ = 0;
};

}  // namespace vqx::testing
