// How long finding a unit's line settings takes in real time, against the simulated unit
// on a pseudo-terminal at 115200 8N1 (its fifth setting in the order tried), with a
// 2000 ms guard and its output paced at that rate, as a unit on a real line behaves:
//   baseline  one try at the setting known beforehand: the quiet time, "+++", the quiet
//             time, the probe and its answer, then TRAN and its answer;
//   detect    the whole order from 9600 8N1 on, as vqxctl detect runs it: four tries
//             whose answers come back garbled, then the same as the baseline.
// Printed with the ratio and with what the tries' own times add up to (each unanswered
// try: the reply time-out, which is also the next try's quiet time, and the quiet time
// after "+++").
//
// Measured on an AMD EPYC virtual machine (2 cores, Linux 6.18, load average about 9 from
// other builds), medians of 2 runs: baseline 4.306 s, detect 24.912 s (5.79 x); the four
// unanswered tries' own times are 20.600 s of the 20.606 s difference (+6 ms).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/line_candidates.h"
#include "link/line_detector.h"
#include "runner/sim_runner.h"
#include "system_port.h"

namespace {

using namespace vqx;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 2;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Seconds to find the unit with these tries, or a negative number when it was not found.
double TimeDetection(const std::vector<LineSettings>& order, int* tries) {
  sim::SimConfig config;
  config.guardMs = 2000;
  config.line = sim::SerialFrame{115200, 8, 'N', 1};
  config.faults.pace = true;
  config.hostBaud = 115200;
  sim::SimRunner unit(std::move(config));
  std::string error;
  if (!unit.Start(&error)) {
    std::fprintf(stderr, "detect_bench: %s\n", error.c_str());
    return -1;
  }
  const std::unique_ptr<ISerialPort> port = CreateSystemSerialPort();
  LineDetector detector(*port, SystemClock());
  detector.SetCandidates(order);
  const auto start = Clock::now();
  const DetectionResult result = detector.Run(unit.SlavePath(), false);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  unit.Stop();
  *tries = result.triesMade;
  if (result.outcome != DetectionOutcome::Found || LineSettingsText(result.settings) != "115200 8N1" ||
      result.unitLeft != UnitLeft::Transparent) {
    std::fprintf(stderr, "detect_bench: the unit was not found at 115200 8N1 and returned\n");
    return -1;
  }
  return seconds;
}

}  // namespace

int main() {
  LineSettings known;
  known.baudRate = 115200;
  std::vector<double> baseline, detect;
  int baselineTries = 0, detectTries = 0;
  for (int run = 0; run < kRuns; ++run) {
    const double b = TimeDetection({known}, &baselineTries);
    const double d = TimeDetection(DefaultDetectionOrder(), &detectTries);
    if (b < 0 || d < 0) return 1;
    baseline.push_back(b);
    detect.push_back(d);
    std::printf("run %d: baseline %.3f s, detect %.3f s\n", run + 1, b, d);
  }
  const DetectionTimings timings;
  const double unanswered = (timings.guardMs + timings.replyWindowMs) / 1000.0;
  const double b = Median(baseline);
  const double d = Median(detect);
  std::printf("unit at 115200 8N1, medians of %d runs:\n", kRuns);
  std::printf("  baseline (%d try at the known setting)  %.3f s\n", baselineTries, b);
  std::printf("  detect   (%d tries from 9600 8N1)       %.3f s  = %.2f x baseline\n", detectTries, d, d / b);
  std::printf("  the %d unanswered tries' own times      %.3f s; detect - baseline = %.3f s (+%.0f ms)\n",
              detectTries - 1, (detectTries - 1) * unanswered, d - b,
              (d - b - (detectTries - 1) * unanswered) * 1000.0);
  return 0;
}
