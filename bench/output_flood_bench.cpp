// The desktop program while the unit talks without pause and without line breaks
// (relayed data, a wrong baud rate): the simulated unit with its babble fault on an
// unpaced pseudo-terminal, inside this process, as `vqxsim --babble` beside vqxsu.
//
// Measured over a stretch of the flood, in each of the Settings view (output window
// hidden) and the Terminal view (output window shown): the whole process's CPU and the
// user-interface thread's CPU, each as a share of one core. Baseline in the same run: the
// same program on a quiet unit (no babble), over as long.
//
// Run: QT_QPA_PLATFORM=offscreen build/default/bench/output_flood_bench [seconds per stretch]

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include "desktop_program.h"
#include "runner/sim_runner.h"
#include "window/control_ids.h"

namespace {

using namespace vqx;
using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Load {
  double process = 0;  // share of one core
  double ui = 0;
};

// The process and this (the user-interface) thread over `seconds` of the event loop.
Load Measure(double seconds) {
  const double processBefore = ProcessCpuSeconds();
  const double uiBefore = ThreadCpuSeconds();
  const auto start = Clock::now();
  QTest::qWait(static_cast<int>(seconds * 1000));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  return {(ProcessCpuSeconds() - processBefore) / wall, (ThreadCpuSeconds() - uiBefore) / wall};
}

struct Stretches {
  Load settings;
  Load terminal;
  double windowAnswersMs = 0;  // the click on the Terminal view button until it returns
};

Stretches Run(const std::string& directory, bool babble, double seconds) {
  desktop::ProgramOptions options;
  options.demo = true;
  options.dataDirectory = directory;
  options.tuneDemoUnit = [babble](sim::SimConfig& config) { config.faults.babble = babble; };
  desktop::DesktopProgram program(std::move(options));
  std::string error;
  if (!program.Start(&error)) {
    std::fprintf(stderr, "vqxsu: %s\n", error.c_str());
    std::exit(1);
  }
  // Past the escape and the read (or "not responding"): the steady state.
  if (!QTest::qWaitFor(
          [&] { return program.Logic().IsUnitIdle() || program.Logic().GetStatusState() == kStatusNotResponding; },
          30000)) {
    std::fprintf(stderr, "vqxsu: the read did not end\n");
    std::exit(1);
  }
  Stretches result;
  result.settings = Measure(seconds);
  auto* terminal = qobject_cast<QAbstractButton*>(program.Surface().Control(ids::kViewTerminal));
  const auto click = Clock::now();
  terminal->click();
  QCoreApplication::processEvents();
  result.windowAnswersMs = std::chrono::duration<double, std::milli>(Clock::now() - click).count();
  result.terminal = Measure(seconds);
  program.Shutdown();
  return result;
}

void Print(const char* name, const Load& load, const Load& baseline) {
  std::printf("  %-16s process %5.1f%% of a core (quiet unit %4.1f%%), user-interface thread %5.1f%% (quiet %4.1f%%)\n",
              name, 100 * load.process, 100 * baseline.process, 100 * load.ui, 100 * baseline.ui);
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  char pattern[] = "/tmp/vqx-flood-bench-XXXXXX";
  const char* directory = ::mkdtemp(pattern);
  if (directory == nullptr) return 1;

  const Stretches quiet = Run(directory, false, seconds);
  const Stretches flood = Run(directory, true, seconds);
  std::printf("a unit talking without pause or line breaks on an unpaced pseudo-terminal, %.0f s per view\n", seconds);
  Print("Settings view", flood.settings, quiet.settings);
  Print("Terminal view", flood.terminal, quiet.terminal);
  std::printf("  switching to the Terminal view during the flood took %.0f ms (quiet unit %.0f ms)\n",
              flood.windowAnswersMs, quiet.windowAnswersMs);
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
  return 0;
}
