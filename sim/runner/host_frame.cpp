#include "runner/host_frame.h"

namespace vqx::sim {

uint32_t BaudOfSpeed(speed_t speed) {
  struct Entry {
    speed_t speed;
    uint32_t baud;
  };
  static constexpr Entry kSpeeds[] = {
      {B50, 50},       {B75, 75},       {B110, 110},     {B134, 134},       {B150, 150},       {B200, 200},
      {B300, 300},     {B600, 600},     {B1200, 1200},   {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
      {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
  };
  for (const Entry& entry : kSpeeds) {
    if (entry.speed == speed) return entry.baud;
  }
  return 0;
}

SerialFrame HostFrameSeen(const termios& master, const SerialFrame& unit) {
  SerialFrame host = unit;
  const uint32_t baud = BaudOfSpeed(cfgetospeed(&master));
  if (baud != 0) host.baud = baud;
  host.stopBits = (master.c_cflag & CSTOPB) != 0 ? 2 : 1;
  if ((master.c_cflag & CSIZE) == CS7) host.dataBits = 7;  // where the system carries it
  if ((master.c_cflag & PARODD) != 0) {
    host.parity = 'O';
  } else if ((master.c_cflag & PARENB) != 0) {
    host.parity = 'E';
  } else if (unit.parity == 'O') {
    host.parity = 'N';
  }
  return host;
}

}  // namespace vqx::sim
