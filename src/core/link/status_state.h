#pragma once

#include <cstdint>

namespace vqx {

// What the status panel shows. The link sets one of them itself (entering command mode,
// as it starts the escape); the window logic sets the others.
enum StatusState : int8_t {
  kStatusPortNotOpen = 1,
  kStatusTransparent = 2,
  kStatusEnteringCommand = 3,
  kStatusDisconnected = 4,
  kStatusAttempting = 5,
  kStatusConnected = 6,
  kStatusNotResponding = 7,
  kStatusQuerying = 8,
  kStatusCommunicating = 9,
  kStatusRebootWait = 10,
};

}  // namespace vqx
