// How a fleet run scales with the number of units: vqxctl fleet (read, plan, write,
// SAVE, reboot wait, read again, verify, TRAN) against 1, 8 and 32 simulated units on
// pseudo-terminals, paced at 9600 baud with a 2000 ms guard as units on real lines are.
//   baseline  one unit: the same command with a single port, in this run;
//   8 units   goal at most 1.3 times the baseline's wall time;
//   32 units  goal at most 2 times;
// and the CPU time vqxctl spends per unit (user + system of this process; the simulated
// units run in a child process so that their work is not counted).
//
// Measured on a 2-core virtual machine shared with other builds, RelWithDebInfo, one run:
//    1 unit   10.874 s  1.00x  CPU 0.395 s per unit
//    8 units  11.250 s  1.03x  CPU 0.210 s per unit
//   32 units  11.437 s  1.05x  CPU 0.117 s per unit
// Each unit's time is its line's (the escape's guard times, the bytes at 9600 baud, the
// reboot wait), which the units spend side by side; a worker thread per unit mostly
// sleeps. The CPU per unit falls with the count because the process's fixed costs
// (starting, reading the template and the table) are shared.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "runner/sim_runner.h"

namespace {

using namespace vqx;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBaud = 9600;
constexpr uint32_t kSimRebootMs = 1000;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Mac(size_t unit) {
  char text[24];
  std::snprintf(text, sizeof(text), "00:20:4A:00:%02X:%02X", static_cast<unsigned>(unit / 256),
                static_cast<unsigned>(unit % 256));
  return text;
}

// Starts count units in a child process (before this process has a thread) and returns
// their ports; the child serves until it is killed.
pid_t StartUnits(size_t count, std::vector<std::string>* ports) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    std::vector<std::unique_ptr<sim::SimRunner>> units;
    std::string list;
    for (size_t i = 0; i < count; ++i) {
      sim::SimConfig config;
      config.guardMs = 2000;
      config.rebootMs = kSimRebootMs;
      config.faults.pace = true;
      config.hostBaud = kBaud;
      config.settings.Load(*sim::SettingsModel::Find("MAC"), Mac(i));
      units.push_back(std::make_unique<sim::SimRunner>(std::move(config)));
      std::string error;
      if (!units.back()->Start(&error)) _exit(1);
      list += units.back()->SlavePath() + "\n";
    }
    list += "\n";
    if (write(pipeFds[1], list.data(), list.size()) != static_cast<ssize_t>(list.size())) _exit(1);
    for (;;) pause();
  }
  close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  while (text.size() < 2 || text.substr(text.size() - 2) != "\n\n") {
    const ssize_t n = read(pipeFds[0], buffer, sizeof(buffer));
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) ports->push_back(line);
  }
  return child;
}

struct Measure {
  double wall = 0;
  double cpu = 0;
  int code = 0;
};

Measure RunFleet(const std::vector<std::string>& ports, const std::filesystem::path& dir, int round) {
  std::string list;
  std::string table = "macAddress,name,ipAddress\n";
  for (size_t i = 0; i < ports.size(); ++i) {
    list += (i ? "," : "") + ports[i];
    table += Mac(i) + ",Round " + std::to_string(round) + " unit " + std::to_string(i) + ",10." +
             std::to_string(round % 250) + "." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + "\n";
  }
  const std::string tablePath = (dir / "units.csv").string();
  const std::string templatePath = (dir / "site.json").string();
  std::ofstream(tablePath) << table;
  std::ofstream(templatePath) << R"({"vocoder": 3})";
  std::ostringstream out, err;
  cli::CliEnvironment env{out, err};
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  const int code = cli::RunVqxctl(
      {"--quiet", "fleet", templatePath, tablePath, "--ports", list, "--yes", "--reboot-wait", "1.5"}, env);
  Measure m;
  m.wall = std::chrono::duration<double>(Clock::now() - start).count();
  m.cpu = CpuSeconds() - cpu;
  m.code = code;
  if (code != 0) std::fprintf(stderr, "fleet of %zu ended %d:\n%s%s\n", ports.size(), code, out.str().c_str(), err.str().c_str());
  return m;
}

}  // namespace

int main() {
  const size_t sizes[] = {1, 8, 32};
  std::vector<std::vector<std::string>> ports(3);
  std::vector<pid_t> children;
  for (size_t i = 0; i < 3; ++i) children.push_back(StartUnits(sizes[i], &ports[i]));
  const auto dir = std::filesystem::temp_directory_path() / ("vqx-fleet-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  std::printf("fleet: read, write, SAVE, 1.5 s reboot wait, read again, verify; 9600 baud, 2000 ms guard\n");
  Measure results[3];
  for (size_t i = 0; i < 3; ++i) results[i] = RunFleet(ports[i], dir, static_cast<int>(i));
  const double baseline = results[0].wall;
  for (size_t i = 0; i < 3; ++i) {
    const double goal = sizes[i] == 1 ? 1.0 : sizes[i] == 8 ? 1.3 : 2.0;
    std::printf("%2zu unit%s  %7.3f s  %.2fx baseline (goal <= %.1fx)  CPU %.3f s per unit%s\n", sizes[i],
                sizes[i] == 1 ? " " : "s", results[i].wall, results[i].wall / baseline, goal,
                results[i].cpu / static_cast<double>(sizes[i]), results[i].code == 0 ? "" : "  (FAILED)");
  }
  for (pid_t child : children) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
