#pragma once

// A serial port wired straight to a simulated unit in the same thread, on the fake clock:
// what the link writes reaches the unit at the clock's time, and what the unit answers
// becomes readable once the clock has reached the time the unit sends it. No threads, no
// pty, no real time: every test that uses it runs the same way every time.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "port/serial_port.h"
#include "support/fake_link_parts.h"
#include "unit/serial_frame.h"
#include "unit/sim_unit.h"

namespace vqx::testing {

class SimWiredPort final : public FakePortBase {
 public:
  SimWiredPort(FakeClock& clock, sim::SimConfig config) : unit(std::move(config), clock.now), clock_(clock) {}

  int32_t QueuedBytes() override {
    Pump();
    return static_cast<int32_t>(incoming_.size() - readPos_);
  }
  bool ReadByte(uint8_t& byte) override {
    if (readPos_ >= incoming_.size()) return false;
    byte = static_cast<uint8_t>(incoming_[readPos_++]);
    if (readPos_ == incoming_.size()) {
      incoming_.clear();
      readPos_ = 0;
    }
    return true;
  }
  size_t Write(const uint8_t* data, size_t size) override {
    if (!isOpen) return 0;
    written.append(reinterpret_cast<const char*>(data), size);
    if (hearDelayMs > 0) {
      held_.push_back({clock_.now, std::string(reinterpret_cast<const char*>(data), size)});
      return size;
    }
    Deliver(data, size, std::nullopt);
    return size;
  }
  // What is written reaches the unit at once; drain models a slow line for the tests
  // that need one.
  bool Drain(uint32_t limitMs) override { return drain.Wait(limitMs); }

  // Everything written since the last call.
  std::string TakeWritten() {
    std::string w;
    w.swap(written);
    return w;
  }

  // The host's side as opened, every setting carried (unlike a pseudo-terminal).
  sim::SerialFrame HostFrame() const {
    return {static_cast<uint32_t>(openedSettings.baudRate), openedSettings.dataBits == 7 ? 7 : 8,
            openedSettings.parity == 'E' || openedSettings.parity == 'O' ? openedSettings.parity : 'N',
            openedSettings.stopBits == 2 ? 2 : 1};
  }

  sim::SimUnit unit;
  // The unit's serial settings; unset, bytes pass unchanged whatever the host opened.
  std::optional<sim::SerialFrame> unitLine;
  FakeDrain drain;
  std::string written;
  // A receiver the system serves late (a busy machine's serial driver): what is written
  // reaches the unit this long after, in one piece, as from a line that held it back.
  uint32_t hearDelayMs = 0;

 private:
  struct Held {
    uint32_t writtenAt;
    std::string bytes;
  };

  void Deliver(const uint8_t* data, size_t size, std::optional<uint32_t> sentSince) {
    if (unitLine) {
      // The unit's UART reads a character with a framing or parity error as NUL.
      std::string heard;
      for (const sim::UartChar& c : sim::Reframe({reinterpret_cast<const char*>(data), size}, HostFrame(), *unitLine)) {
        heard.push_back(static_cast<char>(c.error ? 0 : c.value));
      }
      unit.OnBytes(heard, clock_.now, sentSince);
    } else {
      unit.OnBytes(data, size, clock_.now, sentSince);
    }
  }

  void Pump() {
    // Held writes, each to the unit once its delay has passed.
    while (!held_.empty() && ElapsedMs(clock_.now, held_.front().writtenAt) >= hearDelayMs) {
      Held held = std::move(held_.front());
      held_.pop_front();
      Deliver(reinterpret_cast<const uint8_t*>(held.bytes.data()), held.bytes.size(), held.writtenAt);
    }
    unit.Tick(clock_.now);
    const std::string output = unit.TakeOutput(clock_.now);
    if (!unitLine) {
      incoming_ += output;
      return;
    }
    if (!isOpen) return;  // a closed port hears nothing
    for (const sim::UartChar& c : sim::Reframe(output, *unitLine, HostFrame())) incoming_.push_back(static_cast<char>(c.value));
  }

  FakeClock& clock_;
  std::deque<Held> held_;
  std::string incoming_;
  size_t readPos_ = 0;
};

}  // namespace vqx::testing
