#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "unit/serial_frame.h"
#include "unit/settings_model.h"

namespace vqx::sim {

// Simulated time: milliseconds from any origin, never wrapping.
using SimMs = uint64_t;

enum class LineEnding { LfCr, CrLf, Lf };

enum class PeerStatus { Connected, Attempting, Disconnected };

struct PeerConfig {
  PeerStatus status = PeerStatus::Disconnected;
  Address address{10, 1, 2, 3};
  uint16_t port = 5000;
};

// Misbehaviours of a unit or of its cable; may change while the unit runs.
struct FaultConfig {
  bool silent = false;         // receives and acts, never transmits
  bool garbage = false;        // transmits noise instead of replies and echo
  uint32_t splitDelayMs = 0;   // at least this long between two output bytes
  bool pace = false;           // output no faster than the host baud rate allows
  bool babble = false;         // talks without pause and without line breaks (relayed
                               // data, a wrong baud rate), in every mode, still listening
};

struct SimConfig {
  uint32_t guardMs = 1000;     // quiet time needed on both sides of "+++"
  uint32_t rebootMs = 5000;    // silence after SAVE and REBOOT
  uint32_t replyDelayMs = 0;   // thinking time before each reply
  LineEnding lineEnding = LineEnding::LfCr;
  std::set<std::string> unsupported;  // upper-case keywords answered ERR
  std::set<std::string> refusedSets;  // upper-case setting keywords shown, but ERR to a new value
  PeerConfig peer;             // connection state after every power-up
  SettingsModel settings = SettingsModel::Defaults();
  FaultConfig faults;
  uint32_t hostBaud = 9600;    // 10 bits per byte when pacing
  uint32_t noiseSeed = 1;
  // The unit's serial port. Unset: bytes pass unchanged whatever the host sets. Set: the
  // runner reframes both directions between it and the host's settings as the
  // pseudo-terminal shows them, and the unit's BAUD, DATA, PARITY and STOP report it.
  std::optional<SerialFrame> line;
};

std::string_view LineEndingText(LineEnding ending);

}  // namespace vqx::sim
