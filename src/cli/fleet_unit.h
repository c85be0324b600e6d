#pragma once

// One unit of a fleet run, on its own thread: read and plan, wait at the barrier for the
// run's decision, then write and verify or leave the unit alone; the unit is returned to
// transparent mode on every way out.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "fleet.h"
#include "fleet_status.h"
#include "port/serial_port.h"
#include "unit_table.h"

namespace vqx::cli {

// What every unit waits for after its plan, and the bound on ports open at once.
class FleetGate {
 public:
  enum class Decision { Undecided, Write, Release };

  explicit FleetGate(size_t units, size_t slots) : units_(units), free_(slots) {}

  // A unit reached the barrier (planned, or finished before it).
  void Arrive();
  // Waits until every unit arrived, or interrupt is set (then false). tick runs every
  // quarter second meanwhile (the status board's redraw).
  bool WaitForAll(const std::atomic<bool>* interrupt, const std::function<void()>& tick);
  void Decide(Decision decision);
  // The decision, once made; Release when interrupt is set first.
  Decision Await(const std::atomic<bool>* interrupt);

  // A port may be opened; held until Leave. False when interrupt was set while waiting.
  bool Enter(const std::atomic<bool>* interrupt);
  void Leave();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const size_t units_;
  size_t arrived_ = 0;
  size_t free_;
  Decision decision_ = Decision::Undecided;
};

// Everything a unit's thread needs; the run outlives every thread.
struct FleetUnitContext {
  const FleetArgs& args;
  const snapshot::PartialSettings& tmpl;
  const snapshot::UnitTable& table;
  FleetGate& gate;
  FleetStatusBoard& board;
  const std::atomic<bool>* interrupt;
  // The session's options but the port; the port is the unit's own.
  SessionOptions session;
  // Keep the port open across the barrier (every unit has a slot); otherwise the unit is
  // returned after its plan and read again before it is written.
  bool holdAcrossBarrier = true;
  // The serial port for a port name; the system's when empty.
  std::function<std::unique_ptr<ISerialPort>(const std::string&)> portFactory;
};

// Runs unit index of the fleet from its read to its return to transparent mode. The
// result is the thread's own until the thread ends; the caller reads it after join,
// except mac (for the duplicate check), which it reads after the barrier under the gate.
void RunFleetUnit(FleetUnitContext& context, size_t index, FleetUnitResult& result);

}  // namespace vqx::cli
