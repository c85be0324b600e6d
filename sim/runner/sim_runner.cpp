#include "runner/sim_runner.h"

#include <algorithm>

namespace vqx::sim {

namespace {
// Bounds how late a stop request or a due byte can be noticed.
constexpr SimMs kMaxPollMs = 10;
}  // namespace

SimRunner::SimRunner(SimConfig config, std::unique_ptr<SimLine> line)
    : epoch_(std::chrono::steady_clock::now()),
      unit_(std::move(config), 0),
      line_(line ? std::move(line) : CreatePlatformSimLine()) {}

SimRunner::~SimRunner() { CloseLine(); }

SimMs SimRunner::NowMs() const {
  const auto elapsed = std::chrono::steady_clock::now() - epoch_;
  return static_cast<SimMs>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

bool SimRunner::Start(std::string* error) {
  if (thread_.joinable()) return true;
  if (!line_->IsOpen()) {
    if (!line_->Open(error)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    slavePath_ = line_->HostPortName();
  }
  stop_ = false;
  serving_ = true;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void SimRunner::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  serving_ = false;
}

void SimRunner::CloseLine() {
  Stop();
  line_->Close();
}

std::string SimRunner::SlavePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slavePath_;
}

SimMode SimRunner::Mode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unit_.Mode();
}

SettingsModel SimRunner::Settings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unit_.Settings();
}

SettingsModel SimRunner::SavedSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unit_.SavedSettings();
}

std::vector<std::string> SimRunner::ReceivedLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unit_.ReceivedLines();
}

void SimRunner::SetFaults(const FaultConfig& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  unit_.SetFaults(faults);
}

bool SimRunner::WaitFor(const std::function<bool(const SimUnit&)>& done,
                        std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(unit_); });
}

void SimRunner::Serve() {
  std::string unsent;
  uint8_t buffer[512];
  while (!stop_) {
    SimMs now = NowMs();
    SimMs waitMs = kMaxPollMs;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (const auto due = unit_.NextOutputDue()) waitMs = *due > now ? std::min(*due - now, waitMs) : 0;
    }
    const SimLine::Readiness ready = line_->Wait(static_cast<uint32_t>(waitMs), !unsent.empty());

    ptrdiff_t got = 0;
    if (ready.readable) got = line_->Receive(buffer, sizeof buffer);
    now = NowMs();
    std::vector<SimEvent> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (got > 0) unit_.OnBytes(buffer, static_cast<size_t>(got), now);
      unit_.Tick(now);
      unsent += unit_.TakeOutput(now);
      // As fast as the line takes it: the line has no baud rate.
      if (unit_.Faults().babble && unsent.size() < sizeof buffer) unsent += unit_.Babble(4096);
      events = unit_.DrainEvents();
    }
    changed_.notify_all();
    if (sink_) {
      for (const SimEvent& e : events) sink_(e);
    }

    if (!unsent.empty()) unsent.erase(0, line_->Send(unsent.data(), unsent.size()));
    // A line in trouble reports ready without data; do not spin on it.
    if ((ready.troubled && got <= 0) || got < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kMaxPollMs));
    }
  }
}

}  // namespace vqx::sim
