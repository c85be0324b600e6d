#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unit/command_interpreter.h"
#include "unit/escape_detector.h"
#include "unit/output_scheduler.h"
#include "unit/sim_config.h"

namespace vqx::sim {

enum class SimMode { Transparent, Command, Rebooting };

std::string_view ModeName(SimMode mode);

// Things worth telling a person watching the unit (the --verbose trace).
struct SimEvent {
  enum class Kind { LineReceived, LineSent, Refused, ModeChanged };
  Kind kind;
  SimMs atMs;
  std::string text;
};

// A simulated VQX-2, free of any operating-system call: received bytes and the
// time go in, output bytes with the earliest time they may be sent come out.
class SimUnit {
 public:
  explicit SimUnit(SimConfig config, SimMs nowMs = 0);

  // Bytes heard at nowMs. sentSinceMs tells that the line held them back: each was sent
  // at some moment between then and now, and the gaps between them are unknown.
  void OnBytes(const uint8_t* data, size_t size, SimMs nowMs, std::optional<SimMs> sentSinceMs = std::nullopt);
  void OnBytes(std::string_view bytes, SimMs nowMs, std::optional<SimMs> sentSinceMs = std::nullopt);
  // Lets time pass: ends the escape guard time and the reboot.
  void Tick(SimMs nowMs);

  std::optional<SimMs> NextOutputDue() const { return output_.NextDue(); }
  std::string TakeOutput(SimMs nowMs) { return output_.TakeDue(nowMs); }
  // With the babble fault: the next bytes of the endless stream (no CR or LF in them).
  std::string Babble(size_t length);
  const std::deque<TimedByte>& PendingOutput() const { return output_.Pending(); }

  void SetFaults(const FaultConfig& faults);
  const FaultConfig& Faults() const { return config_.faults; }

  SimMode Mode() const { return mode_; }
  bool EchoOn() const { return state_.echo; }
  const SettingsModel& Settings() const { return state_.settings; }
  const SettingsModel& SavedSettings() const { return saved_; }
  const PeerConfig& Peer() const { return state_.peer; }
  // Every command line received, as typed, without its line end.
  const std::vector<std::string>& ReceivedLines() const { return received_; }
  // The bytes received since the unit last entered transparent mode: what a unit passes
  // on to its network peer ("+++" too, until its guard time has passed).
  const std::string& ForwardedBytes() const { return forwarded_; }
  std::vector<SimEvent> DrainEvents();

 private:
  void Advance(SimMs nowMs);
  void EnterCommandMode(SimMs nowMs);
  void OnCommandByte(uint8_t byte, SimMs nowMs);
  void ExecuteLine(SimMs nowMs);
  void Transmit(std::string_view bytes, SimMs atMs);
  void SetMode(SimMode mode, SimMs nowMs);
  void PowerUp(SimMs nowMs);
  uint32_t NextNoise();
  std::string Noise(size_t length);

  SimConfig config_;
  CommandInterpreter interpreter_;
  EscapeDetector escape_;
  OutputScheduler output_;
  SimMode mode_ = SimMode::Transparent;
  UnitState state_;
  SettingsModel saved_;
  SimMs rebootEndsMs_ = 0;
  std::string line_;
  bool lineOverflow_ = false;
  bool lastWasCr_ = false;
  uint32_t noise_;
  std::vector<std::string> received_;
  std::string forwarded_;
  std::vector<SimEvent> events_;
};

}  // namespace vqx::sim
