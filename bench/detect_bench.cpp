// How long finding a unit's line settings takes in real time, against the simulated unit
// on a pseudo-terminal at 115200 8N1 (the fifth setting of the order tried), with a
// 2000 ms guard and its output paced at that rate, as a unit on a real line behaves. Each
// run measures the search as it was before (each try listening for the whole reply
// window, no sweep) and as it is now, in the same run:
//   baseline  one try at the setting known beforehand: the quiet time, "+++", the quiet
//             time, the probe and its answer, then TRAN and its answer;
//   detect    the whole order from 9600 8N1 on, as vqxctl detect runs it: (now) a bare
//             CR at each of the 54 settings, then four tries whose answers come back
//             garbled, then the same as the baseline;
//   command   (now) the unit left in command mode at 115200 8N1 beforehand: the sweep
//             finds it, then TRAN and its answer.
// An unanswered try's cost is (detect - baseline) / 4, less the sweep's own time.
//
// Measured on an AMD EPYC virtual machine (2 cores shared with other builds), medians
// of 2 runs: an unanswered try 5.151 s before, 4.251 s now; found at the fifth setting in
// 24.911 s before, 22.779 s now; the sweep of 54 settings 1.518 s; a unit left in command
// mode found and returned in 0.701 s.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/line_candidates.h"
#include "link/line_detector.h"
#include "runner/sim_runner.h"
#include "system_port.h"

namespace {

using namespace vqx;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 2;
constexpr uint32_t kUnitGuardMs = 2000;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

struct Timed {
  double seconds = -1;  // negative: not found where it should have been
  double sweepSeconds = 0;
  int tries = 0;
};

void Send(ISerialPort& port, const char* text) {
  port.Write(reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text));
  port.Drain(1000);
}

// The unit at 115200 8N1, found with these tries and timings; inCommandMode: escaped
// beforehand at its own setting and left there.
Timed TimeDetection(const std::vector<LineSettings>& order, const DetectionTimings& timings, bool inCommandMode) {
  sim::SimConfig config;
  config.guardMs = kUnitGuardMs;
  config.line = sim::SerialFrame{115200, 8, 'N', 1};
  config.faults.pace = true;
  config.hostBaud = 115200;
  sim::SimRunner unit(std::move(config));
  std::string error;
  Timed timed;
  if (!unit.Start(&error)) {
    std::fprintf(stderr, "detect_bench: %s\n", error.c_str());
    return timed;
  }
  const std::unique_ptr<ISerialPort> port = CreateSystemSerialPort();
  LineSettings at;
  at.baudRate = 115200;
  if (inCommandMode) {
    port->Open(unit.SlavePath().c_str(), at);
    std::this_thread::sleep_for(std::chrono::milliseconds(kUnitGuardMs + 200));
    Send(*port, "+++");
    unit.WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Command; },
                 std::chrono::milliseconds(2 * kUnitGuardMs));
    port->Close();
  }
  LineDetector detector(*port, SystemClock());
  detector.SetCandidates(order);
  detector.SetTimings(timings);
  const auto start = Clock::now();
  const DetectionResult result = detector.Run(unit.SlavePath(), false);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  unit.Stop();
  timed.tries = result.triesMade;
  timed.sweepSeconds = result.sweepMs / 1000.0;
  if (result.outcome != DetectionOutcome::Found || LineSettingsText(result.settings) != "115200 8N1" ||
      result.unitLeft != UnitLeft::Transparent || result.foundInCommandMode != inCommandMode) {
    std::fprintf(stderr, "detect_bench: the unit was not found at 115200 8N1 and returned\n");
    return timed;
  }
  timed.seconds = seconds;
  return timed;
}

}  // namespace

int main() {
  LineSettings known;
  known.baudRate = 115200;
  DetectionTimings before;
  before.guardMs = kEscapeGuardMs + 50;  // the search's guard before
  before.sweepFirst = false;
  before.overlapReplyWindow = false;
  const DetectionTimings now;

  std::vector<double> oldBase, oldDetect, newBase, newDetect, sweep, command, oldTry, newTry;
  int tries = 0;
  for (int run = 0; run < kRuns; ++run) {
    const Timed ob = TimeDetection({known}, before, false);
    const Timed od = TimeDetection(DefaultDetectionOrder(), before, false);
    const Timed nb = TimeDetection({known}, now, false);
    const Timed nd = TimeDetection(DefaultDetectionOrder(), now, false);
    const Timed cm = TimeDetection(DefaultDetectionOrder(), now, true);
    if (ob.seconds < 0 || od.seconds < 0 || nb.seconds < 0 || nd.seconds < 0 || cm.seconds < 0) return 1;
    tries = nd.tries;
    oldBase.push_back(ob.seconds);
    oldDetect.push_back(od.seconds);
    newBase.push_back(nb.seconds);
    newDetect.push_back(nd.seconds);
    sweep.push_back(nd.sweepSeconds);
    command.push_back(cm.seconds);
    oldTry.push_back((od.seconds - ob.seconds) / (od.tries - 1));
    newTry.push_back(((nd.seconds - nd.sweepSeconds) - (nb.seconds - nb.sweepSeconds)) / (nd.tries - 1));
    std::printf("run %d: before: baseline %.3f s, detect %.3f s; now: baseline %.3f s, detect %.3f s "
                "(sweep %.3f s), in command mode %.3f s\n",
                run + 1, ob.seconds, od.seconds, nb.seconds, nd.seconds, nd.sweepSeconds, cm.seconds);
  }
  std::printf("unit at 115200 8N1 (try %d of 54), medians of %d runs:\n", tries, kRuns);
  std::printf("                          before     now\n");
  std::printf("  baseline (known)      %7.3f s %7.3f s\n", Median(oldBase), Median(newBase));
  std::printf("  detect (%d tries)      %7.3f s %7.3f s  = %.2f x before\n", tries, Median(oldDetect),
              Median(newDetect), Median(newDetect) / Median(oldDetect));
  std::printf("  each unanswered try   %7.3f s %7.3f s  = %.2f x before (own times %.3f s, %.3f s)\n",
              Median(oldTry), Median(newTry), Median(newTry) / Median(oldTry),
              (before.guardMs + before.replyWindowMs) / 1000.0, 2 * now.guardMs / 1000.0);
  std::printf("  sweep of 54 settings              %7.3f s (nothing answering)\n", Median(sweep));
  std::printf("  found in command mode             %7.3f s (sweep to 115200 8N1, then TRAN and its OK)\n",
              Median(command));
  return 0;
}
