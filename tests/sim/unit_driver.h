#pragma once

#include <string>
#include <string_view>

#include "unit/sim_unit.h"

namespace vqx::sim::testing {

// Drives a SimUnit through an explicit clock, the way a host would.
class UnitDriver {
 public:
  explicit UnitDriver(SimConfig config = {}) : unit_(std::move(config), 0) {}

  SimUnit& unit() { return unit_; }
  SimMs now() const { return now_; }

  // Sends bytes now; returns whatever the unit has transmitted by now.
  std::string Send(std::string_view bytes) {
    unit_.OnBytes(bytes, now_);
    return unit_.TakeOutput(now_);
  }
  std::string Wait(SimMs ms) {
    now_ += ms;
    unit_.Tick(now_);
    return unit_.TakeOutput(now_);
  }
  // Quiet, "+++", quiet: the escape with the given guard time satisfied.
  void Escape(SimMs guardMs = 1000) {
    Wait(guardMs);
    Send("+++");
    Wait(guardMs);
  }
  // Escape and switch the echo off, so Ask() returns just the replies.
  void EnterQuietCommandMode() {
    Escape();
    Send("ECHO OFF\r\n");
  }
  std::string Ask(std::string_view line) { return Send(std::string(line) + "\r\n"); }

 private:
  SimUnit unit_;
  SimMs now_ = 0;
};

}  // namespace vqx::sim::testing
