// How late bytes cross a pseudo-terminal while the test suites' pattern runs on it: a
// host writes a short timed line every 50 ms to each of N terminals, a unit thread per
// terminal polls its end every 10 ms and answers. Prints the worst delivery delay and
// the longest poll for 1 terminal (the baseline) and for 8, in the same run.
//
// With both cores busy (`yes >/dev/null &` twice), the kernel worker that moves bytes
// across a pseudo-terminal can go unscheduled for seconds: a poll with a 10 ms time-out
// then waits for it, and the bytes arrive late and together. Run it idle and under that
// load to see whether a machine does this.
//
//   build/default/bench/pty_stall_bench [seconds per run, default 20]

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "posix/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MicrosNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

struct Worst {
  double deliveryMs = 0;
  double pollMs = 0;
};

// The unit's end: polls as the simulated unit does, reads the host's timed lines, answers.
void Unit(int master, const std::atomic<bool>& stop, Worst& worst) {
  std::string pending;
  char buffer[512];
  while (!stop.load()) {
    const long long before = MicrosNow();
    pollfd pfd{master, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, 10);
    const long long after = MicrosNow();
    worst.pollMs = std::max(worst.pollMs, static_cast<double>(after - before) / 1000.0);
    if (ready <= 0 || (pfd.revents & POLLIN) == 0) continue;
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) continue;
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const long long sent = std::atoll(pending.c_str());
      pending.erase(0, end + 1);
      worst.deliveryMs = std::max(worst.deliveryMs, static_cast<double>(after - sent) / 1000.0);
    }
    (void)!::write(master, "OK\r\n", 4);
  }
}

// The host's end: a timed line every 50 ms, reading the answers in between.
void Host(const std::string& path, const std::atomic<bool>& stop) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return;
  char buffer[512];
  while (!stop.load()) {
    const std::string line = std::to_string(MicrosNow()) + "\n";
    (void)!::write(fd, line.data(), line.size());
    const auto until = Clock::now() + std::chrono::milliseconds(50);
    while (Clock::now() < until) {
      pollfd pfd{fd, POLLIN, 0};
      if (::poll(&pfd, 1, 1) > 0 && (pfd.revents & POLLIN) != 0) (void)!::read(fd, buffer, sizeof buffer);
    }
  }
  ::close(fd);
}

Worst Run(size_t terminals, int seconds) {
  std::vector<std::unique_ptr<vqx::PtyPair>> ptys;
  std::vector<Worst> worst(terminals);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < terminals; ++i) {
    auto pty = std::make_unique<vqx::PtyPair>();
    std::string error;
    if (!pty->Create(&error)) {
      std::fprintf(stderr, "pty: %s\n", error.c_str());
      std::exit(1);
    }
    threads.emplace_back(Unit, pty->MasterFd(), std::cref(stop), std::ref(worst[i]));
    threads.emplace_back(Host, pty->SlavePath(), std::cref(stop));
    ptys.push_back(std::move(pty));
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  stop.store(true);
  for (auto& t : threads) t.join();
  Worst all;
  for (const Worst& w : worst) {
    all.deliveryMs = std::max(all.deliveryMs, w.deliveryMs);
    all.pollMs = std::max(all.pollMs, w.pollMs);
  }
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const Worst one = Run(1, seconds);
  std::printf("1 terminal:  worst delivery %8.1f ms, longest 10 ms poll %8.1f ms\n", one.deliveryMs, one.pollMs);
  const Worst eight = Run(8, seconds);
  std::printf("8 terminals: worst delivery %8.1f ms, longest 10 ms poll %8.1f ms\n", eight.deliveryMs, eight.pollMs);
  std::printf("ratio 8/1:   delivery %.1f, poll %.1f\n", eight.deliveryMs / std::max(one.deliveryMs, 0.001),
              eight.pollMs / std::max(one.pollMs, 0.001));
  return 0;
}
