#pragma once

// A serial port wired straight to a simulated unit in the same thread, on the fake clock:
// what the link writes reaches the unit at the clock's time, and what the unit answers
// becomes readable once the clock has reached the time the unit sends it. No threads, no
// pty, no real time: every test that uses it runs the same way every time.

#include <cstdint>
#include <string>

#include "port/serial_port.h"
#include "support/fake_link_parts.h"
#include "unit/sim_unit.h"

namespace vqx::testing {

class SimWiredPort final : public ISerialPort {
 public:
  SimWiredPort(FakeClock& clock, sim::SimConfig config) : unit(std::move(config), clock.now), clock_(clock) {}

  PortOpenResult Open(const char* name, const LineSettings& settings) override {
    openedName = name;
    openedSettings = settings;
    ++openCount;
    isOpen = openSucceeds;
    PortOpenResult r;
    r.ok = openSucceeds;
    r.error = openSucceeds ? PortOpenError::None : PortOpenError::NotFound;
    return r;
  }
  void Close() override { isOpen = false; }
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
    unit.OnBytes(data, size, clock_.now);
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

  sim::SimUnit unit;
  bool openSucceeds = true;
  bool isOpen = false;
  FakeDrain drain;
  int openCount = 0;
  std::string openedName;
  LineSettings openedSettings;
  std::string written;

 private:
  void Pump() {
    unit.Tick(clock_.now);
    incoming_ += unit.TakeOutput(clock_.now);
  }

  FakeClock& clock_;
  std::string incoming_;
  size_t readPos_ = 0;
};

}  // namespace vqx::testing
