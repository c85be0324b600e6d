#pragma once

#include <cstdint>

namespace vqx {

// What the status panel shows. The link sets one of them itself (entering command mode,
// as it starts the escape); the window logic sets the others. Numbered 1 to 10 in this
// order; a value outside 1..10 stops the program (status.cpp).
enum StatusState : int8_t {
  kStatusPortNotOpen = 1,
  kStatusTransparent,
  kStatusEnteringCommand,
  kStatusDisconnected,
  kStatusAttempting,
  kStatusConnected,
  kStatusNotResponding,
  kStatusQuerying,
  kStatusCommunicating,
  kStatusRebootWait,
};

}  // namespace vqx
