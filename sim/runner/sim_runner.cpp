#include "runner/sim_runner.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace vqx::sim {

namespace {
// Bounds how late a stop request or a due byte can be noticed.
constexpr SimMs kMaxPollMs = 10;
// A wait that overran its time-out by more than this handed over bytes the line had held
// back. On Linux, with both cores busy, the kernel worker that moves bytes across a
// pseudo-terminal can go unscheduled for seconds, and a read then waits for it: the
// host's "+++" arrives long after it was sent, together with what followed it.
constexpr SimMs kHeldBackMs = 50;

// The unit reports the line it is set to.
SimConfig WithLineSettings(SimConfig config) {
  if (!config.line) return config;
  const SerialFrame& line = *config.line;
  const auto load = [&](std::string_view keyword, const std::string& value) {
    if (const SettingDef* def = SettingsModel::Find(keyword)) config.settings.Load(*def, value);
  };
  load("BAUD", std::to_string(line.baud));
  load("DATA", std::to_string(line.dataBits));
  load("PARITY", std::string(1, line.parity));
  load("STOP", std::to_string(line.stopBits));
  return config;
}
}  // namespace

SimRunner::SimRunner(SimConfig config, std::unique_ptr<SimLine> line)
    : epoch_(std::chrono::steady_clock::now()),
      frame_(config.line),
      unit_(WithLineSettings(std::move(config)), 0),
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

SimMs SimRunner::TakeLongestHoldMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(longestHoldMs_, 0);
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
    const SimMs waitStart = NowMs();
    const SimLine::Readiness ready = line_->Wait(static_cast<uint32_t>(waitMs), !unsent.empty());

    ptrdiff_t got = 0;
    if (ready.readable) got = line_->Receive(buffer, sizeof buffer);
    now = NowMs();
    // Held back, the bytes were sent at some moment since the wait began; a unit on a
    // wire would have heard them then.
    const SimMs heldMs = got > 0 && now - waitStart > waitMs ? now - waitStart - waitMs : 0;
    std::optional<SimMs> sentSince;
    if (heldMs > kHeldBackMs) sentSince = waitStart;
    std::vector<SimEvent> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (got > 0) {
        longestHoldMs_ = std::max(longestHoldMs_, heldMs);
        if (frame_) {
          // The unit's UART reads a character with a framing or parity error as NUL.
          std::string heard;
          const std::string_view sent(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
          for (const UartChar& c : Reframe(sent, line_->HostFrame(*frame_), *frame_)) {
            heard.push_back(static_cast<char>(c.error ? 0 : c.value));
          }
          unit_.OnBytes(heard, now, sentSince);
        } else {
          unit_.OnBytes(buffer, static_cast<size_t>(got), now, sentSince);
        }
      }
      unit_.Tick(now);
      std::string output = unit_.TakeOutput(now);
      if (frame_ && !output.empty()) {
        // What the host's UART reads of it, errors and all (a raw line passes them on).
        std::string read;
        for (const UartChar& c : Reframe(output, *frame_, line_->HostFrame(*frame_))) {
          read.push_back(static_cast<char>(c.value));
        }
        output = std::move(read);
      }
      unsent += output;
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
