// How much a serial device server adds to a full read: the same simulated unit (paced at
// 9600 baud) read by vqxctl's session through its pseudo-terminal, and through ser2net on
// 127.0.0.1 with rfc2217://, alternately, 3 runs each; medians and their ratio. The pty
// read is the baseline of the same run. Needs ser2net (scripts/install-deps).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "runner/sim_runner.h"
#include "support/ser2net_server.h"
#include "unit_session.h"

namespace {

using Clock = std::chrono::steady_clock;

double ReadSeconds(const std::string& port) {
  vqx::cli::SessionOptions options;
  options.line.port = port;
  options.quiet = true;
  std::ostringstream progress;
  vqx::cli::UnitSession session(options, progress);
  std::string error;
  const auto t0 = Clock::now();
  if (session.Connect(&error) != vqx::cli::kExitOk) {
    std::fprintf(stderr, "%s: %s\n", port.c_str(), error.c_str());
    return -1;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  session.Close();
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  vqx::sim::SimConfig config;
  config.faults.pace = true;
  config.hostBaud = 9600;
  vqx::sim::SimRunner unit(config);
  std::string error;
  if (!unit.Start(&error)) {
    std::fprintf(stderr, "vqxsim: %s\n", error.c_str());
    return 1;
  }
  vqx::testing::Ser2netServer server;
  if (!server.Start(unit.SlavePath(), &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::vector<double> pty, net;
  for (int run = 0; run < 3; ++run) {
    pty.push_back(ReadSeconds(unit.SlavePath()));
    net.push_back(ReadSeconds(server.Rfc2217Url()));
    std::printf("run %d: pty %.3f s, rfc2217 %.3f s\n", run + 1, pty.back(), net.back());
    std::fflush(stdout);
  }
  const double base = Median(pty);
  const double over = Median(net);
  std::printf("full read, medians of 3: pty %.3f s (baseline), rfc2217:// on localhost %.3f s: %+.0f ms, %.3f times\n",
              base, over, (over - base) * 1000.0, over / base);
  return 0;
}
