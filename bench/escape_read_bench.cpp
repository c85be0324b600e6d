// How long a full read of the unit takes in real time (escape, ECHO OFF, 28 queries,
// STAT) against the simulated unit on a pseudo-terminal, paced at 9600 baud with a
// 2000 ms guard, as a unit on a real line behaves:
//   baseline  a scripted host in this run: exactly the two quiet times of the escape
//             (2100 ms each, slept, not polled), then each line as soon as the previous
//             reply has arrived; that is 4.2 s plus the wire time and nothing else;
//   vqxctl    the command-line path (UnitSession::Connect: window logic, worker, port);
//   vqxsu     the desktop path (DesktopProgram with its Qt window, offscreen), from
//             the end of Start (port open, worker started) to the status
//             "connected/disconnected".
// Each is printed with its excess over the baseline; the goal is at most 100 ms.
//
// Measured on an AMD EPYC virtual machine (2 cores, Linux 6.18), RelWithDebInfo, medians
// of 3 runs (see the README's performance section for the figures before and after the
// escape's clock checks ran on every pass).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_window.h"
#include "link/serial_comm.h"
#include "protocol/command_table.h"
#include "runner/sim_runner.h"
#include "system_port.h"
#include "unit_session.h"

#ifdef VQX_BENCH_DESKTOP
#include <QApplication>
#include <QTest>

#include "desktop_program.h"
#endif

namespace {

using namespace vqx;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr uint32_t kBaud = 9600;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void TuneUnit(sim::SimConfig& config) {
  config.guardMs = 2000;
  config.faults.pace = true;
  config.hostBaud = kBaud;
}

sim::SimConfig UnitConfig() {
  sim::SimConfig config;
  TuneUnit(config);
  return config;
}

// Waits for one reply line (ends in LF); false after the reply time-out.
bool AwaitLine(ISerialPort& port) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
  while (Clock::now() < deadline) {
    const int32_t queued = port.QueuedBytes();
    if (queued < 0) return false;
    if (queued == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      continue;
    }
    uint8_t byte = 0;
    if (port.ReadByte(byte) && byte == '\n') return true;
  }
  return false;
}

bool SendAndAwait(ISerialPort& port, const std::string& line) {
  const std::string wire = line + "\r\n";
  if (port.Write(reinterpret_cast<const uint8_t*>(wire.data()), wire.size()) != wire.size()) return false;
  return AwaitLine(port);
}

double ScriptedRead() {
  sim::SimRunner unit(UnitConfig());
  std::string error;
  if (!unit.Start(&error)) return -1;
  auto port = CreateSystemSerialPort();
  if (!port->Open(unit.SlavePath().c_str(), LineSettings{static_cast<int32_t>(kBaud), 'N', 8, 1}).ok) return -1;
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(kEscapeGuardMs + 1));
  port->Write(reinterpret_cast<const uint8_t*>("+++"), 3);
  std::this_thread::sleep_for(std::chrono::milliseconds(kEscapeGuardMs + 1));
  port->Write(reinterpret_cast<const uint8_t*>("\r"), 1);
  if (!AwaitLine(*port)) return -1;
  if (!SendAndAwait(*port, "ECHO OFF")) return -1;
  for (const int32_t id : kFullReadOrder) {
    if (!SendAndAwait(*port, CommandKeywordTable[static_cast<size_t>(id)])) return -1;
  }
  if (!SendAndAwait(*port, "STAT")) return -1;
  const double s = Seconds(Clock::now() - t0);
  port->Close();
  return s;
}

double CliRead() {
  sim::SimRunner unit(UnitConfig());
  std::string error;
  if (!unit.Start(&error)) return -1;
  cli::SessionOptions options;
  options.line.port = unit.SlavePath();
  options.line.baudRate = static_cast<int32_t>(kBaud);
  options.quiet = true;
  std::ostringstream progress;
  cli::UnitSession session(options, progress);
  const auto t0 = Clock::now();
  if (session.Connect(&error) != cli::kExitOk) {
    std::fprintf(stderr, "vqxctl path: %s\n", error.c_str());
    return -1;
  }
  const double s = Seconds(Clock::now() - t0);
  session.Close();
  return s;
}

#ifdef VQX_BENCH_DESKTOP
double DesktopRead(const std::string& directory) {
  desktop::ProgramOptions options;
  options.demo = true;
  options.dataDirectory = directory;
  options.tuneDemoUnit = TuneUnit;
  desktop::DesktopProgram program(std::move(options));
  std::string error;
  if (!program.Start(&error)) {
    std::fprintf(stderr, "vqxsu path: %s\n", error.c_str());
    return -1;
  }
  // Start opens the port and starts the worker last: the escape begins now, after the
  // window (and the demo unit) have been built.
  const auto t0 = Clock::now();
  const bool done = QTest::qWaitFor([&] { return program.Logic().IsUnitIdle(); }, 30000);
  const double s = Seconds(Clock::now() - t0);
  program.Shutdown();
  return done ? s : -1;
}
#endif

void Report(const char* name, double seconds, double baseline) {
  std::printf("%-9s %6.3f s  = %.3fx baseline, %+5.0f ms over it\n", name, seconds, seconds / baseline,
              (seconds - baseline) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef VQX_BENCH_DESKTOP
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  char pattern[] = "/tmp/vqx-escape-bench-XXXXXX";
  const char* directory = ::mkdtemp(pattern);
  if (directory == nullptr) return 1;
#else
  (void)argc;
  (void)argv;
#endif
  std::vector<double> scripted, cli, desk;
  for (int i = 0; i < kRuns; ++i) {
    scripted.push_back(ScriptedRead());
    cli.push_back(CliRead());
#ifdef VQX_BENCH_DESKTOP
    desk.push_back(DesktopRead(directory));
#endif
  }
  const auto failed = [](const std::vector<double>& v) { return std::any_of(v.begin(), v.end(), [](double s) { return s < 0; }); };
  if (failed(scripted) || failed(cli) || failed(desk)) {
    std::fprintf(stderr, "a full read did not finish\n");
    return 1;
  }
  const double baseline = Median(scripted);
  std::printf("full read of the simulated unit at %u baud, 2000 ms unit guard, median of %d runs\n", kBaud, kRuns);
  std::printf("%-9s %6.3f s  (4.2 s of escape + wire and reply time)\n", "baseline", baseline);
  Report("vqxctl", Median(cli), baseline);
#ifdef VQX_BENCH_DESKTOP
  Report("vqxsu", Median(desk), baseline);
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
#else
  std::printf("vqxsu     not built (no Qt)\n");
#endif
  return 0;
}
