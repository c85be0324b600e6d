#pragma once

#include <termios.h>

#include "port/line_settings.h"

namespace vqx::posix {

// Raw line: no canonical input, no echo, no signals, no CR/LF translation either way,
// no output processing, 8 bits clean, receiver on, modem lines ignored, no flow control.
// VMIN=1/VTIME=0: on a non-blocking descriptor an empty queue then reads as EAGAIN,
// which keeps a read of 0 meaning hang-up (with VMIN=0 an empty queue also reads 0).
void MakeRaw(termios& attributes);

// What MakeRaw sets, as far as reading and writing bytes unchanged depends on it.
bool IsRaw(const termios& attributes);

// Data bits, parity, stop bits and, when the driver has a constant for it, the speed.
// Returns false when the baud rate has no constant; the speed is then left as it was.
bool ApplyLineSettings(termios& attributes, const LineSettings& settings);

// The four line settings the attributes stand for (a speed with no known rate gives 0).
LineSettings LineOfAttributes(const termios& attributes);

// The termios speed constant of a baud rate, false when there is none.
bool SpeedForBaud(int32_t baudRate, speed_t* speed);

}  // namespace vqx::posix
