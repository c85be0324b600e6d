#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "port/serial_port.h"
#include "runner/sim_line.h"
#include "unit/sim_unit.h"

namespace vqx::sim {

// Serves a SimUnit on its end of a serial line (the master side of a pseudo-terminal,
// or an in-process line where there are none) from a background thread; the utility
// opens SlavePath() with a port from CreateHostPort(). All accessors are safe to call
// from any thread while the unit is served.
class SimRunner {
 public:
  // line: the platform's own when null.
  explicit SimRunner(SimConfig config, std::unique_ptr<SimLine> line = nullptr);
  ~SimRunner();
  SimRunner(const SimRunner&) = delete;
  SimRunner& operator=(const SimRunner&) = delete;

  // Creates the pseudo-terminal (unless it is still open) and starts serving.
  bool Start(std::string* error);
  // Stops serving; the device node stays until CloseLine() or destruction.
  void Stop();
  // The cable or adapter disappears: stops serving and removes the device node.
  void CloseLine();

  std::string SlavePath() const;
  // A serial port that reaches this unit when SlavePath() is opened with it (the
  // system's serial port where the line is a pseudo-terminal).
  std::unique_ptr<ISerialPort> CreateHostPort() { return line_->CreateHostPort(); }
  bool Serving() const { return serving_.load(); }

  SimMode Mode() const;
  SettingsModel Settings() const;
  SettingsModel SavedSettings() const;
  std::vector<std::string> ReceivedLines() const;
  void SetFaults(const FaultConfig& faults);

  // Runs `fn` on the unit under the lock, for anything the accessors lack.
  template <typename Fn>
  auto WithUnit(Fn&& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    return fn(unit_);
  }
  // The longest the system held back bytes for the unit (how much a wait that ended with
  // bytes overran its time-out) since the last call: the unit heard them that much later
  // than the host sent them, and answered that much later.
  SimMs TakeLongestHoldMs();
  // Waits until `done` holds for the unit; false after `timeout`.
  bool WaitFor(const std::function<bool(const SimUnit&)>& done, std::chrono::milliseconds timeout);

  // Receives every event of the unit on the serving thread; set before Start.
  void SetEventSink(std::function<void(const SimEvent&)> sink) { sink_ = std::move(sink); }

 private:
  void Serve();
  SimMs NowMs() const;

  const std::chrono::steady_clock::time_point epoch_;
  const std::optional<SerialFrame> frame_;  // the unit's line settings, when it models them
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  SimUnit unit_;
  SimMs longestHoldMs_ = 0;  // under mutex_
  const std::unique_ptr<SimLine> line_;
  std::string slavePath_;
  std::function<void(const SimEvent&)> sink_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> serving_{false};
};

}  // namespace vqx::sim
