#pragma once

#include <termios.h>

#include "unit/serial_frame.h"

namespace vqx::sim {

// The host's line settings as the master side of a pseudo-terminal shows them. Linux
// carries the speed, CSTOPB and PARODD from the slave; it forces CS8 and clears PARENB on
// a pseudo-terminal, so data bits and even parity cannot be seen. What cannot be seen is
// taken to match the unit (the benefit of the doubt), except that a unit at odd parity
// sees a host without PARODD as one without parity.
SerialFrame HostFrameSeen(const termios& master, const SerialFrame& unit);

// The rate a termios speed code stands for; 0 for one it does not know.
uint32_t BaudOfSpeed(speed_t speed);

}  // namespace vqx::sim
